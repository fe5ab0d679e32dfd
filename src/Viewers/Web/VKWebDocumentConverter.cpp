#include "Viewers/Web/VKWebDocumentConverter.h"

#include "FileModel/VKZipArchiver.h"
#include "Kit/StringAdditions.h"
#include "Kit/VKFunctions.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Process.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/PDF/Document.h"
#include "Platform/PDF/PageDrawing.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <mutex>
#include <utility>

struct VKWebDocumentConverter::Conversion::State {
    Request request;
    Completion completion;
    std::mutex mutex;
    bool cancelled = false;
    core::Process* process = nullptr;
    std::string folder;
};

namespace {

using State = VKWebDocumentConverter::Conversion::State;

std::mutex queueMutex;
std::deque<std::shared_ptr<State>> queue;
bool workerRunning = false;
std::atomic<double> conversionTimeOut { VKWebDocumentConverter::DefaultTimeOut };

const char* const officeTypes[] = {
    "application/msword",
    "application/msword-xml",
    "application/vnd.ms-excel",
    "application/vnd.ms-excel-xml",
    "application/vnd.ms-powerpoint",
    "application/vnd.ms-powerpoint-xml",
    "application/vnd.apple.pages",
    "application/vnd.apple.numbers",
    "application/vnd.apple.keynote",
};

bool isCancelled(State& state)
{
    std::lock_guard lock(state.mutex);
    return state.cancelled;
}

// A package's contents at the root of a zip named like the package.
bool zipPackageContents(const std::string& package, const std::string& zipPath)
{
    auto archiver = VKZipArchiver::archiverWithPath(zipPath);
    if (!archiver)
        return false;
    archiver->setRootPath(package);
    auto names = core::fs::sortedContentsOfDirectory(package);
    if (!names)
        return archiver->discard(), false;
    for (const auto& name : *names)
        if (!archiver->addItemAtPath(core::path::appendingPathComponent(package, name), true, 1))
            return archiver->discard(), false;
    return archiver->close();
}

// The PDF's pages as PNGs of `width` pixels and the page listing them.
std::optional<std::string> writeSlides(const std::string& pdfPath, const std::string& folder, const std::string& name,
    int width, core::Error& error)
{
    core::Data bytes;
    if (!core::fs::readFile(pdfPath, bytes, &error))
        return std::nullopt;
    auto document = pdf::Document::open(std::move(bytes));
    if (!document || document->isLocked()) {
        error = core::Error(core::Error::CocoaDomain, 259, "The converted slides are not a readable PDF.");
        return std::nullopt;
    }
    int count = document->pageCount();
    int shown = std::min(count, VKWebDocumentConverter::MaximumSlides);
    std::string html = fmt::format("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                                   "<meta name=\"viewport\" content=\"width=device-width\"><title>{}</title>\n"
                                   "<style>body{{margin:0;background:#1e1e1e;}}"
                                   "img{{display:block;width:100%;height:auto;margin:0 0 8px 0;background:#fff;}}"
                                   "p{{color:#ccc;font:15px sans-serif;text-align:center;margin:0;padding:16px;}}</style>"
                                   "</head><body>\n",
        vkStringByEscapingHTML(name));
    for (int number = 1; number <= shown; ++number) {
        pdf::Page page = document->page(number);
        gfx::Rect box = VKPDFPageGetRotatedBoxRect(page);
        if (!page || !(box.width() > 0) || !(box.height() > 0))
            continue;
        // Very tall pages are cut to four widths rather than allocating without bound.
        int height = int(std::clamp(std::round(double(box.height()) * width / box.width()), 1.0, 4.0 * width));
        auto context = gfx::BitmapContext::create(width, height);
        if (!context)
            continue;
        gfx::Rect pageRect(0, 0, float(width), float(height));
        context->setFillColor(1, 1, 1, 1);
        context->fillRect(pageRect);
        context->concatCTM(VKPDFPageGetDrawingTransform(page, pdf::Box::Crop, pageRect, 0, true));
        pdf::drawPage(page, *context);
        std::string file = fmt::format("slide-{:03}.png", number);
        if (!context->writePNG(core::path::appendingPathComponent(folder, file), &error))
            return std::nullopt;
        html += fmt::format("<img src=\"{}\" alt=\"Slide {}\">\n", file, number);
    }
    if (count > shown)
        html += fmt::format("<p>{} more slides are not shown.</p>\n", count - shown);
    html += "</body></html>\n";
    std::string page = core::path::appendingPathComponent(folder, "slides.html");
    if (!core::fs::writeFileAtomically(page, html, &error))
        return std::nullopt;
    return page;
}

VKWebDocumentConverter::Outcome run(State& state)
{
    VKWebDocumentConverter::Outcome outcome;
    const auto& request = state.request;
    std::string temporary = VKTemporaryDirectory();
    std::string uuid = vkGenerateUUID();
    std::string folder = core::path::appendingPathComponent(temporary, uuid + "-" + request.name);
    if (!core::fs::createDirectory(folder, true, &outcome.error, 0700))
        return outcome;
    {
        std::lock_guard lock(state.mutex);
        state.folder = folder;
    }
    std::string input = request.path;
    if (core::fs::isDirectory(input)) {
        input = core::path::appendingPathComponent(folder, core::path::lastPathComponent(request.path));
        if (!zipPackageContents(request.path, input)) {
            outcome.error = core::Error(core::Error::CocoaDomain, 512, "The package could not be zipped.");
            return outcome;
        }
    }
    std::string format = request.slides ? "pdf" : "html";
    std::string profile = core::URL::fileURL(core::path::appendingPathComponent(temporary, "LibreOfficeProfile")).absoluteString();
    std::vector<std::string> arguments { "--headless", "--norestore", "--nologo", "--nolockcheck",
        "-env:UserInstallation=" + profile, "--convert-to", format, "--outdir", folder + "/", input };
    std::string log = core::path::appendingPathComponent(temporary, uuid + ".log");

    std::unique_ptr<core::Process> process;
    {
        std::lock_guard lock(state.mutex);
        if (state.cancelled)
            return outcome;
        process = core::Process::start(VKWebDocumentConverter::Program, arguments, log, &outcome.error);
        state.process = process.get();
    }
    if (!process)
        return outcome;
    core::Process::Result result = process->wait(VKWebDocumentConverter::timeOut());
    {
        std::lock_guard lock(state.mutex);
        state.process = nullptr;
    }
    core::Data logged;
    std::string output = core::fs::readFile(log, logged) ? logged.toString() : std::string();
    core::fs::removeItem(log);
    if (result.end == core::Process::Result::End::TimedOut) {
        outcome.error = core::Error(core::Error::CocoaDomain, 3072,
            fmt::format("{} did not finish within {} seconds", VKWebDocumentConverter::Program, VKWebDocumentConverter::timeOut()));
        return outcome;
    }
    if (!result.succeeded()) {
        outcome.error = core::Error(core::Error::CocoaDomain, 3072,
            fmt::format("{} ended with {} {}: {}", VKWebDocumentConverter::Program,
                result.end == core::Process::Result::End::Exited ? "status" : "signal", result.status, output.substr(0, 500)));
        return outcome;
    }
    std::string stem = core::path::deletingPathExtension(core::path::lastPathComponent(input));
    std::string converted = core::path::appendingPathComponent(folder, stem + "." + format);
    if (!core::fs::exists(converted)) {
        outcome.error = core::Error(core::Error::CocoaDomain, 3072,
            fmt::format("{} wrote nothing: {}", VKWebDocumentConverter::Program, output.substr(0, 500)));
        return outcome;
    }
    if (request.slides) {
        int width = std::clamp(request.slideWidth, 1, VKWebDocumentConverter::MaximumSlideWidth);
        auto page = writeSlides(converted, folder, request.name, width, outcome.error);
        if (!page)
            return outcome;
        converted = *page;
    }
    outcome.outputPath = converted;
    outcome.folder = folder;
    return outcome;
}

void work()
{
    for (;;) {
        std::shared_ptr<State> state;
        {
            std::lock_guard lock(queueMutex);
            if (queue.empty()) {
                workerRunning = false;
                return;
            }
            state = queue.front();
            queue.pop_front();
        }
        if (isCancelled(*state))
            continue;
        auto outcome = run(*state);
        std::string folder;
        {
            std::lock_guard lock(state->mutex);
            folder = state->folder;
        }
        if (!outcome.outputPath || isCancelled(*state)) {
            if (!folder.empty())
                core::fs::removeItem(folder);
            outcome.folder.clear();
            outcome.outputPath.reset();
            if (isCancelled(*state))
                continue;
        }
        core::RunLoop::main().post([state, outcome = std::move(outcome)]() mutable {
            if (isCancelled(*state)) {
                if (!outcome.folder.empty())
                    core::fs::removeItem(outcome.folder);
                return;
            }
            auto completion = std::move(state->completion);
            if (completion)
                completion(std::move(outcome));
        });
    }
}

} // namespace

bool VKWebDocumentConverter::isOfficeType(const std::string& mimeType)
{
    return mimeType.starts_with("application/vnd.oasis.opendocument.")
        || std::find(std::begin(officeTypes), std::end(officeTypes), mimeType) != std::end(officeTypes);
}

bool VKWebDocumentConverter::isPresentationType(const std::string& mimeType)
{
    return mimeType.starts_with("application/vnd.ms-powerpoint")
        || mimeType.starts_with("application/vnd.oasis.opendocument.presentation")
        || mimeType == "application/vnd.apple.keynote";
}

bool VKWebDocumentConverter::isAvailable()
{
    return core::Process::findExecutable(Program).has_value();
}

double VKWebDocumentConverter::timeOut()
{
    return conversionTimeOut.load();
}

void VKWebDocumentConverter::setTimeOutForTesting(double seconds)
{
    conversionTimeOut = seconds > 0 ? seconds : DefaultTimeOut;
}

std::shared_ptr<VKWebDocumentConverter::Conversion> VKWebDocumentConverter::convert(Request request, Completion completion)
{
    auto state = std::make_shared<State>();
    state->request = std::move(request);
    state->completion = std::move(completion);
    bool startWorker = false;
    {
        std::lock_guard lock(queueMutex);
        queue.push_back(state);
        startWorker = !std::exchange(workerRunning, true);
    }
    if (startWorker)
        core::Thread::detach(ThreadName, work);
    return std::make_shared<Conversion>(state);
}

void VKWebDocumentConverter::Conversion::cancel()
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->cancelled)
        return;
    m_state->cancelled = true;
    m_state->completion = nullptr;
    if (m_state->process)
        m_state->process->kill();
}
