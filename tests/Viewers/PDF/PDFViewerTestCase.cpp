#include "PDFViewerTestCase.h"

#include "Shell/DeviceMemoryAdditions.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Window.h"
#include "Viewers/PDF/VKPDFPageThumbnailManager.h"
#include "Viewers/PDF/VKPDFPageThumbnailRenderOperation.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace test {

namespace {

VKPopupAlert* findPopup(ui::View& view)
{
    if (auto* popup = dynamic_cast<VKPopupAlert*>(&view); popup && !popup->isDismissed())
        return popup;
    for (auto& child : view.subviews())
        if (auto* found = findPopup(*child))
            return found;
    return nullptr;
}

} // namespace

std::vector<int> addBarPages(PdfBuilder& builder, int count, const std::string& entries)
{
    std::vector<int> pages;
    for (int page = 0; page < count; ++page) {
        std::string content = "0.2 0.2 0.2 rg 60 700 300 18 re f ";
        for (int line = 0; line < 30; ++line) {
            content += "0.4 0.4 0.45 rg 60 " + std::to_string(660 - line * 18) + " 220 9 re f ";
            content += "0.4 0.4 0.45 rg 320 " + std::to_string(660 - line * 18) + " 230 9 re f ";
        }
        content += "0.1 0.3 0.8 rg 60 60 80 80 re f";
        pages.push_back(builder.addPage(content, entries));
    }
    return pages;
}

void PDFViewerTestCase::SetUp()
{
    DocumentTestCase::SetUp();
    core::UserDefaults::standard()->registerDefaults({
        { VKPDFViewController::DocumentViewLayoutKey, core::Value(int64_t(1)) },
        { VKPDFViewController::DoublePageSingleFirstKey, core::Value(true) },
        { "VKPagingGestureEnabled", core::Value(true) },
        { "VKPagingGestureInfoShown", core::Value(true) },
    });
}

void PDFViewerTestCase::TearDown()
{
    VKPDFViewController::setLoadHookForTesting({});
    VKPDFPageThumbnailRenderOperation::setRunHookForTesting({});
    vkSetSystemFreeMemoryForTesting(std::nullopt);
    EXPECT_TRUE(waitForLoadThreads());
    VKImageOperationQueue::resetSharedQueue();
    VKPDFPageThumbnailManager::sharedManager().resetForTesting();
    runLoop();
    ui::AlertView::resetForTesting();
    DocumentTestCase::TearDown();
}

std::string PDFViewerTestCase::writeDocument(std::string_view name, PdfBuilder& builder,
    const std::optional<PdfBuilder::Encryption>& encryption)
{
    std::string relative = "Files/" + std::string(name);
    std::string path = pathInHome(relative);
    builder.write(path, encryption);
    return path;
}

std::string PDFViewerTestCase::writeBars(std::string_view name, int count)
{
    PdfBuilder builder;
    addBarPages(builder, count);
    return writeDocument(name, builder);
}

std::shared_ptr<VKPDFViewController> PDFViewerTestCase::openPDF(std::string_view name, bool wait)
{
    std::string path = pathInHome("Files/" + std::string(name));
    auto viewer = VKPDFViewController::create(VKFileResource::resourceWithPath(path), host);
    navigation->pushViewController(viewer, false);
    runLoop();
    if (wait)
        waitForLoad(*viewer);
    return viewer;
}

bool PDFViewerTestCase::waitFor(const std::function<bool()>& condition, double seconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(int(seconds * 1000));
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        runLoop();
    }
    return true;
}

void PDFViewerTestCase::waitForLoad(VKPDFViewController& viewer)
{
    ASSERT_TRUE(waitFor([&] { return !viewer.isLoadingDocument(); }));
    runLoop();
}

bool PDFViewerTestCase::waitForLoadThreads()
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        auto names = core::Thread::runningThreadNames();
        if (std::find(names.begin(), names.end(), "VKPDFLoad") == names.end())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

VKPopupAlert* PDFViewerTestCase::popup()
{
    runLoop();
    for (auto& window : ui::Application::shared()->windows())
        if (auto* found = findPopup(*window))
            return found;
    return nullptr;
}

} // namespace test
