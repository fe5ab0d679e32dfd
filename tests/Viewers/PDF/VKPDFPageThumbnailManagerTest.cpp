#include "PDFViewerTestCase.h"

#include "Shell/VKApplication.h"
#include "Kit/VKImageOperationQueue.h"
#include "PDF/VKPDFDocument.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Support/NotificationRecorder.h"
#include "Viewers/PDF/VKPDFPageThumbnailManager.h"
#include "Viewers/PDF/VKPDFPageThumbnailRenderOperation.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

using namespace test;

namespace {

class VKPDFPageThumbnailManagerTest : public PDFViewerTestCase {
protected:
    void SetUp() override
    {
        PDFViewerTestCase::SetUp();
        PdfBuilder builder;
        addBarPages(builder, 6);
        document = VKPDFDocument::initWithData(builder.build());
        ASSERT_TRUE(document);
        VKPDFPageThumbnailRenderOperation::setRunHookForTesting([this](const VKPDFPageThumbnailRenderOperation& render) {
            {
                std::lock_guard lock(mutex);
                rendered.push_back(render.pageNumber());
            }
            while (hold.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    void TearDown() override
    {
        hold = false;
        document.reset();
        PDFViewerTestCase::TearDown();
    }
    VKPDFPageThumbnailManager& manager() { return VKPDFPageThumbnailManager::sharedManager(); }
    std::vector<uint32_t> renders()
    {
        std::lock_guard lock(mutex);
        return rendered;
    }

    std::shared_ptr<VKPDFDocument> document;
    std::mutex mutex;
    std::vector<uint32_t> rendered;
    std::atomic<bool> hold { false };
};

TEST_F(VKPDFPageThumbnailManagerTest, AMissQueuesARenderWhoseFileAndNoticeFollow)
{
    std::string root = VKApplication::sharedApplication()->metadataDirectory() + "/VKPDFThumbnails";
    EXPECT_EQ(manager().thumbnailsPath(), root);
    EXPECT_EQ(manager().thumbnailPathForDocument(1, "DOC-1"), root + "/DOC-1/1.png");
    bool isDirectory = false;
    EXPECT_TRUE(core::fs::exists(root + "/DOC-1", &isDirectory) && isDirectory);

    // Announced with the document as sender.
    NotificationRecorder notices(VKPDFDocumentThumbnailImageDidUpdate, document);
    EXPECT_FALSE(manager().thumbnailForDocument(document, 1, "DOC-1", 100));
    ASSERT_TRUE(waitFor([&] { return !notices.received.empty(); }));
    EXPECT_EQ(notices.received[0][VKPDFDocumentPageNumberKey].toInteger(), 1);
    // 612 × 792 fitted into 100: 77 × 100, and it serves 100 but not 150.
    auto image = manager().thumbnailForDocument(document, 1, "DOC-1", 100);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 77);
    EXPECT_EQ(image->pixelHeight(), 100);
    EXPECT_EQ(renders(), (std::vector<uint32_t> { 1 }));
    EXPECT_FALSE(manager().thumbnailForDocument(document, 1, "DOC-1", 150));
    ASSERT_TRUE(waitFor([&] { return notices.received.size() == 2; }));
    image = manager().thumbnailForDocument(document, 1, "DOC-1", 150);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelHeight(), 150);

    // A damaged file renders again.
    core::fs::writeFileAtomically(root + "/DOC-1/1.png", "not a picture");
    EXPECT_FALSE(manager().thumbnailForDocument(document, 1, "DOC-1", 100));
    ASSERT_TRUE(waitFor([&] { return notices.received.size() == 3; }));
    EXPECT_TRUE(manager().thumbnailForDocument(document, 1, "DOC-1", 100));

    manager().zapThumbnails();
    EXPECT_FALSE(core::fs::exists(root));
}

TEST_F(VKPDFPageThumbnailManagerTest, OnlyTheNewestWaitingRequestOfADocumentRenders)
{
    // The worker is busy with page 1 of the first document.
    hold = true;
    manager().thumbnailForDocument(document, 1, "DOC-A", 100);
    ASSERT_TRUE(waitFor([&] { return renders().size() == 1; }));
    for (uint32_t page : { 3u, 4u, 5u })
        manager().thumbnailForDocument(document, page, "DOC-A", 100);
    manager().thumbnailForDocument(document, 2, "DOC-B", 100);
    NotificationRecorder notices(VKPDFDocumentThumbnailImageDidUpdate);
    hold = false;
    ASSERT_TRUE(waitFor([&] { return notices.received.size() == 3; }));
    auto done = renders();
    std::sort(done.begin(), done.end());
    EXPECT_EQ(done, (std::vector<uint32_t> { 1, 2, 5 }));

    auto a = VKPDFPageThumbnailRenderOperation::initWithDocument(document, 3, "X", 100);
    auto b = VKPDFPageThumbnailRenderOperation::initWithDocument(nullptr, 9, "X", 50);
    auto c = VKPDFPageThumbnailRenderOperation::initWithDocument(document, 3, "Y", 100);
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(*c));
}

TEST_F(VKPDFPageThumbnailManagerTest, UnsafeIdentifiersAndFailedPagesCostNothingMore)
{
    NotificationRecorder notices(VKPDFDocumentThumbnailImageDidUpdate);
    std::string root = manager().thumbnailsPath();
    for (std::string bad : { std::string(), std::string("a/b"), std::string(".."), std::string("x..y"),
             std::string("nul\0byte", 8), std::string(".") }) {
        EXPECT_FALSE(manager().thumbnailForDocument(document, 1, bad, 100));
        EXPECT_EQ(manager().thumbnailPathForDocument(1, bad), "");
    }
    runLoop();
    EXPECT_TRUE(renders().empty());
    EXPECT_FALSE(core::fs::exists(root));

    // A page past the end cannot be drawn: one attempt, one notice, and the
    // overlay asking again queues nothing.
    EXPECT_FALSE(manager().thumbnailForDocument(document, 60, "DOC-C", 100));
    ASSERT_TRUE(waitFor([&] { return notices.received.size() == 1; }));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(manager().thumbnailForDocument(document, 60, "DOC-C", 100));
    VKImageOperationQueue::resetSharedQueue();
    runLoop();
    EXPECT_EQ(renders(), (std::vector<uint32_t> { 60 }));
    EXPECT_EQ(notices.received.size(), 1u);
}

} // namespace
