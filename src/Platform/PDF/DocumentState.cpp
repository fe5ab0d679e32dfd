#include "Platform/PDF/DocumentState.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/Thread.h"
#include "Platform/PDF/Array.h"
#include "Platform/PDF/ObjectLocks.h"
#include "Platform/PDF/RendererFonts.h"
#include "Platform/PDF/Stream.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <malloc.h>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFLogger.hh>
#include <poppler.h>

namespace pdf::detail {

void DocumentFile::Renderer::close() const
{
    if (page)
        g_object_unref(page);
    g_object_unref(static_cast<PopplerDocument*>(document));
}

void DocumentFile::letGoOfKeptPages(int number)
{
    std::vector<void*> pages;
    {
        std::lock_guard lock(renderersMutex);
        for (Renderer& renderer : idleRenderers) {
            if (renderer.page && renderer.lastPage != number) {
                pages.push_back(renderer.page);
                renderer.page = nullptr;
            }
        }
    }
    for (void* page : pages)
        g_object_unref(page);
}

DocumentFile::~DocumentFile()
{
    // A draw holds the state through its page: none is out now.
    if (idleRenderers.empty())
        return;
    std::lock_guard lock(rendererFontsMutex());
    for (const Renderer& renderer : idleRenderers)
        renderer.close();
    releaseHeldFonts();
}

DocumentState::~DocumentState()
{
    // The objects go before the count says they have gone.
    pages = {};
    qpdf.reset();
    --file->readings;
    // The allocator keeps what a long read's reading held (some 20 MiB
    // resident for the 6 MiB the next reading holds, in long references):
    // it goes back to the system with the reading.
    if (replaced)
        malloc_trim(0);
}

std::mutex& rendererFontsMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<QPDF> quietQPDF()
{
    auto qpdf = std::make_unique<QPDF>();
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    qpdf->setLogger(logger);
    qpdf->setSuppressWarnings(true);
    return qpdf;
}

namespace {
std::atomic<uint64_t> g_mainThreadObjectLocks { 0 };
std::atomic<uint64_t> g_nextReadingNumber { 1 };
std::atomic<size_t (*)()> g_heapMeasure { nullptr };
} // namespace

ObjectsLock lock(const std::shared_ptr<DocumentFile>& file)
{
    if (!file)
        return ObjectsLock();
    if (core::Thread::isMainThread())
        ++g_mainThreadObjectLocks;
    return ObjectsLock(file->objects);
}

ObjectsLock lock(const std::shared_ptr<DocumentState>& document)
{
    return document ? lock(document->file) : ObjectsLock();
}

ObjectsLock lock(const std::shared_ptr<DocumentSource>& document)
{
    return document ? lock(document->file) : ObjectsLock();
}

std::shared_ptr<DocumentState> readDocument(const std::shared_ptr<DocumentFile>& file, std::string_view password,
    bool* needsPassword)
{
    if (needsPassword)
        *needsPassword = false;
    if (password.find('\0') != std::string_view::npos)
        return nullptr;
    auto reading = std::make_shared<DocumentState>();
    reading->file = file;
    ++file->readings;
    reading->serial = file->serial;
    reading->number = g_nextReadingNumber++;
    reading->qpdf = quietQPDF();
    std::string passwordString(password);
    try {
        reading->qpdf->processMemoryFile("document", file->bytes.chars(), file->bytes.size(), passwordString.c_str());
    } catch (const QPDFExc& error) {
        if (error.getErrorCode() == qpdf_e_password) {
            file->encrypted = true;
            if (needsPassword)
                *needsPassword = true;
            return nullptr;
        }
        core::log("Warning, cannot read PDF: {}", error.what());
        return nullptr;
    } catch (const std::exception& error) {
        core::log("Warning, cannot read PDF: {}", error.what());
        return nullptr;
    }
    try {
        file->encrypted = reading->qpdf->isEncrypted();
        reading->pages.open(reading->qpdf->getRoot().getKey("/Pages"), file->bytes.size());
    } catch (const std::exception& error) {
        core::log("Warning, cannot read PDF pages: {}", error.what());
        return nullptr;
    }
    return reading;
}

void setHeapMeasure(size_t (*measure)())
{
    g_heapMeasure = measure;
}

bool DocumentSource::outgrown()
{
    size_t heap = 0;
    if (auto measure = g_heapMeasure.load()) {
        heap = measure();
    } else {
        struct mallinfo2 info = mallinfo2();
        heap = info.uordblks + info.hblkhd;
    }
    if (pagesSeenCount == 1) {
        heapAtReadingStart = heap;
        return false;
    }
    if (pagesSeenCount == 2) {
        heapAfterFirstPage = heap;
        if (firstPageCost == 0) {
            firstPageCost = std::max(heap > heapAtReadingStart ? heap - heapAtReadingStart : 0, kLeastReadingBudget);
            readingBudget = firstPageCost;
        } else if (heapAtRenewal != 0) {
            // A new reading that gave back less than half a budget was
            // made for growth that was not the reading's (other threads',
            // what callers keep, a reading a handle still holds): the next
            // waits for twice as much, so such growth costs few readings.
            if (heap + readingBudget / 2 < heapAtRenewal)
                readingBudget = firstPageCost;
            else if (renewedForGrowth)
                readingBudget *= 2;
        }
        return false;
    }
    renewedForGrowth = heap > heapAfterFirstPage && heap - heapAfterFirstPage > readingBudget;
    heapAtRenewal = heap;
    return renewedForGrowth || pagesSeenCount > kPagesPerReading;
}

PageObject DocumentSource::page(int number)
{
    if (!reading || number < 1 || number > reading->pages.count())
        return { reading, QPDFObjectHandle::newNull() };
    if (number != lastPage) {
        lastPage = number;
        if (pagesSeen.size() <= size_t(number))
            pagesSeen.resize(size_t(number) + 1);
        if (!pagesSeen[size_t(number)]) {
            pagesSeen[size_t(number)] = true;
            ++pagesSeenCount;
            // The heap is judged without the renderers' kept pages, whose
            // text comes and goes with each page drawn.
            file->letGoOfKeptPages(number);
            if (outgrown()) {
                // A new reading goes on from where this one's tree stands;
                // this one goes with the last handle that holds it.
                if (auto next = readDocument(file, file->password, nullptr)) {
                    next->pages.resume(reading->pages.progress(), *next->qpdf);
                    reading->replaced = true;
                    reading = std::move(next);
                    ++readingsMade;
                }
                if (renewedForGrowth)
                    ++file->rendererGeneration;
                pagesSeen.assign(pagesSeen.size(), false);
                pagesSeen[size_t(number)] = true;
                pagesSeenCount = 1;
                outgrown();
            }
        }
    }
    return { reading, reading->pages.page(number) };
}

} // namespace pdf::detail

uint64_t pdf::objectLocksOnMainThread()
{
    return detail::g_mainThreadObjectLocks;
}

namespace pdf::detail {

std::string slashed(std::string_view key)
{
    std::string result;
    result.reserve(key.size() + 1);
    result += '/';
    result += key;
    return result;
}

double parseReal(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    // Several leading minus signs read as one, as PDF readers do.
    bool negative = false;
    while (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() && error != std::errc::result_out_of_range)
        return 0;
    (void)end;
    return negative ? -value : value;
}

bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Object& out)
{
    out = HandleAccess::wrap<Object>(document, object);
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, bool& out)
{
    if (!object.isBool())
        return false;
    out = object.getBoolValue();
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, int64_t& out)
{
    if (!object.isInteger())
        return false;
    out = object.getIntValue();
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, double& out)
{
    if (object.isInteger())
        out = double(object.getIntValue());
    else if (object.isReal())
        out = parseReal(object.getRealValue());
    else
        return false;
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, std::string& out)
{
    if (!object.isName())
        return false;
    std::string name = object.getName();
    out = name.empty() || name[0] != '/' ? name : name.substr(1);
    return true;
}

bool convert(const std::shared_ptr<DocumentState>&, QPDFObjectHandle object, String& out)
{
    if (!object.isString())
        return false;
    out = String(object.getStringValue());
    return true;
}

bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Array& out)
{
    if (!object.isArray())
        return false;
    out = HandleAccess::wrap<Array>(document, object);
    return true;
}

bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Dictionary& out)
{
    if (!object.isDictionary())
        return false;
    out = HandleAccess::wrap<Dictionary>(document, object);
    return true;
}

bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Stream& out)
{
    if (!object.isStream())
        return false;
    out = HandleAccess::wrap<Stream>(document, object);
    return true;
}

PageObject HandleAccess::pageObject(const Page& page)
{
    const auto& document = page.m_document;
    if (!document)
        return { nullptr, QPDFObjectHandle::newNull() };
    return document->page(page.m_number);
}

} // namespace pdf::detail
