// A viewer of a cloud file against the fake cloud service: what opens at
// once and what is fetched, the spinner, "Loading 5 MB" with the bar and
// Cancel, the fade-in, a failure, cancelling, a fetch a sync already runs,
// and notices about other files.

#include "CloudViewerTestCase.h"

#include "Shell/Interface/VKPlaceholderView.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKCloudHooks.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Support/Cloud/TestCloudService.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace test {
namespace {

class VKViewControllerCloudTest : public CloudViewerTestCase {
protected:
    static bool showsProgress(VKViewController& viewer) { return !viewer.placeholderView()->isProgressViewHidden(); }
    static float progress(VKViewController& viewer) { return viewer.placeholderView()->progressView()->progress(); }
    static std::string readFile(const std::string& path)
    {
        std::ifstream stream(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(stream), {});
    }
    void pop()
    {
        navigation->popViewController(false);
        runLoop();
    }
};

TEST_F(VKViewControllerCloudTest, AWholeCopyOpensAtOnceWhileAPackageAndANeverFetchedEmptyFileAreFetched)
{
    fetch("/notes.txt");
    const size_t before = account.server->requests().size();
    auto notes = openCloudViewer("/notes.txt");
    EXPECT_EQ(notes->loads, 1);
    EXPECT_TRUE(notes->contentView());
    EXPECT_FALSE(account.service->isFetchingItemAtPath("/notes.txt"));
    EXPECT_EQ(account.server->requests().size(), before) << "no request";
    pop();

    // Its local size (0) equals its size, but nothing lies at its path yet.
    auto emptyFile = cloudResource("/Docs/empty.txt");
    ASSERT_FALSE(emptyFile->isStoredLocally());
    account.server->addFault(R"({"endpoint":"metadata","path":"/Docs/empty.txt","stall":"e"})");
    auto empty = openCloudViewer("/Docs/empty.txt");
    EXPECT_EQ(empty->loads, 0);
    EXPECT_TRUE(account.service->isFetchingItemAtPath("/Docs/empty.txt"));
    account.server->release("e");
    ASSERT_TRUE(waitFor([&] { return empty->loads == 1; })) << account.server->errors();
    EXPECT_TRUE(emptyFile->isStoredLocally());
    EXPECT_EQ(fileRequests(), (std::vector<std::string> { "/notes.txt", "/Docs/empty.txt" }));
    pop();

    // A package goes to the service each time, whole copy or not; an
    // unchanged one is answered from the cache and never shows the bar.
    fetch("/Deck.key");
    const auto files = fileRequests();
    const size_t requests = account.server->requests().size();
    account.server->addFault(R"({"endpoint":"metadata","path":"/Deck.key","stall":"d"})");
    auto deck = openCloudViewer("/Deck.key");
    EXPECT_EQ(deck->loads, 0);
    account.server->release("d");
    ASSERT_TRUE(waitFor([&] { return deck->loads == 1; })) << account.server->errors();
    EXPECT_GT(account.server->requests().size(), requests);
    EXPECT_EQ(fileRequests(), files);
    EXPECT_FALSE(showsProgress(*deck));
    EXPECT_FLOAT_EQ(deck->contentView()->alpha(), 1.0f);
}

TEST_F(VKViewControllerCloudTest, TheSpinnerThenLoadingWithTheBarThenTheContentFadesIn)
{
    account.server->addFault(R"({"endpoint":"metadata","path":"/Docs/a.txt","stall":"m"})");
    account.server->addFault(R"({"endpoint":"files","path":"/Docs/a.txt","stall":"f","stall_after":2097152})");
    auto viewer = openCloudViewer("/Docs/a.txt");
    EXPECT_EQ(viewer->loads, 0);
    EXPECT_TRUE(account.service->isFetchingItemAtPath("/Docs/a.txt"));
    EXPECT_TRUE(viewer->placeholderView()->isLabelHidden());

    advance(0.19);
    ASSERT_TRUE(viewer->activityIndicator());
    EXPECT_FALSE(viewer->activityIndicator()->isAnimating());
    advance(0.02);
    EXPECT_TRUE(viewer->activityIndicator()->isAnimating());
    EXPECT_EQ(viewer->activityIndicator()->activityIndicatorViewStyle(), ui::ActivityIndicator::Style::White);

    account.server->release("m");
    ASSERT_TRUE(waitFor([&] { return showsProgress(*viewer); })) << account.server->errors();
    EXPECT_FALSE(viewer->activityIndicator());
    EXPECT_EQ(labelText(*viewer), "Loading 5 MB");
    EXPECT_FALSE(viewer->placeholderView()->isCancelButtonHidden());
    // The bar follows the fetch up to where the fake holds the file.
    ASSERT_TRUE(waitFor([&] { return progress(*viewer) >= 0.399f; })) << progress(*viewer);
    EXPECT_LE(progress(*viewer), 0.401f);

    // Notices about other files change nothing.
    const std::string other = cloudResource("/Docs/b.pdf")->path();
    for (auto name : { VKCloudServiceFetchDidCompleteNotification, VKCloudServiceFetchFailedNotification })
        core::NotificationCenter::defaultCenter().post(name, account.service, { {}, other, std::nullopt, false });
    EXPECT_EQ(viewer->loads, 0);
    EXPECT_EQ(labelText(*viewer), "Loading 5 MB");
    EXPECT_TRUE(showsProgress(*viewer));

    account.server->release("f");
    ASSERT_TRUE(waitFor([&] { return viewer->loads > 0; })) << account.server->errors();
    EXPECT_EQ(viewer->loads, 1);
    ASSERT_TRUE(viewer->contentView());
    // The progress stays under the content while it fades in.
    EXPECT_TRUE(showsProgress(*viewer));
    advance(1);
    EXPECT_FLOAT_EQ(viewer->contentView()->alpha(), 1.0f);
    EXPECT_TRUE(viewer->placeholderView()->isProgressViewHidden());
    EXPECT_TRUE(viewer->placeholderView()->isCancelButtonHidden());
    EXPECT_TRUE(viewer->placeholderView()->isLabelHidden());
    EXPECT_EQ(readFile(cloudResource("/Docs/a.txt")->path()), account.big);
    EXPECT_EQ(fileRequests().size(), 1u);

    // A later notice for the shown file loads nothing again.
    fetch("/Docs/a.txt");
    runLoop();
    EXPECT_EQ(viewer->loads, 1);
}

TEST_F(VKViewControllerCloudTest, ADroppedDownloadReadsDownloadFailedAndCancelLeaves)
{
    account.server->addFault(R"({"endpoint":"files","path":"/Docs/a.txt","truncate_after":100000})");
    auto viewer = openCloudViewer("/Docs/a.txt");
    ASSERT_TRUE(waitFor([&] { return labelText(*viewer) == "Download Failed"; })) << account.server->errors();
    EXPECT_FALSE(showsProgress(*viewer));
    EXPECT_FALSE(viewer->placeholderView()->isCancelButtonHidden());
    EXPECT_FALSE(viewer->activityIndicator());
    EXPECT_EQ(viewer->loads, 0);
    EXPECT_FALSE(std::filesystem::exists(cloudResource("/Docs/a.txt")->path())) << "no partial file";
    advance(1);
    EXPECT_FALSE(viewer->activityIndicator()) << "the delayed spinner stays away";

    driver.tap(*viewer->placeholderView()->cancelButton());
    runLoop();
    EXPECT_NE(navigation->topViewController(), viewer.get());
}

TEST_F(VKViewControllerCloudTest, CancelStopsTheFetchAndPopsTheViewerLeavingNoFile)
{
    account.server->addFault(R"({"endpoint":"files","path":"/Docs/a.txt","stall":"c","stall_after":1048576})");
    auto viewer = openCloudViewer("/Docs/a.txt");
    ASSERT_TRUE(waitFor([&] { return showsProgress(*viewer) && progress(*viewer) > 0.19f; })) << account.server->errors();
    driver.tap(*viewer->placeholderView()->cancelButton());
    advance(1);
    EXPECT_NE(navigation->topViewController(), viewer.get());
    EXPECT_FALSE(account.service->isFetchingItemAtPath("/Docs/a.txt"));
    account.server->release("c");
    core::RunLoop::main().runUntil([] { return false; }, 0.5);
    EXPECT_EQ(viewer->loads, 0);
    EXPECT_FALSE(std::filesystem::exists(cloudResource("/Docs/a.txt")->path()));

    // Cancel on a viewer under another screen stops the fetch but pops
    // nothing.
    auto under = openCloudViewer("/Docs/b.pdf", false);
    auto over = openTestViewer("Files/local.txt");
    under->cancelCloudFileFetch(nullptr);
    runLoop();
    EXPECT_EQ(navigation->topViewController(), over.get());
    EXPECT_FALSE(account.service->isFetchingItemAtPath("/Docs/b.pdf"));
}

TEST_F(VKViewControllerCloudTest, AFileASyncIsFetchingShowsTheProgressAtOnceAndIsFetchedOnce)
{
    account.server->addFault(R"({"endpoint":"files","path":"/Docs/a.txt","stall":"s","stall_after":2097152})");
    account.service->fetchResource(cloudResource("/Docs/a.txt"), nullptr);
    ASSERT_TRUE(waitFor([&] { return cloudResource("/Docs/a.txt")->fetchProgress() >= 0.399f; })) << account.server->errors();

    auto viewer = openCloudViewer("/Docs/a.txt");
    EXPECT_TRUE(showsProgress(*viewer));
    EXPECT_EQ(labelText(*viewer), "Loading 5 MB");
    EXPECT_NEAR(progress(*viewer), 0.4f, 0.001f);
    advance(0.5);
    EXPECT_FALSE(viewer->activityIndicator());

    account.server->release("s");
    ASSERT_TRUE(waitFor([&] { return viewer->loads == 1; })) << account.server->errors();
    advance(1);
    EXPECT_FALSE(showsProgress(*viewer));
    EXPECT_EQ(fileRequests().size(), 1u);
}

// Without a server: sizes past 4 GiB, notices before the view loaded and
// after the viewer went.
class VKViewControllerCloudEdgeTest : public ViewerTestCase {
protected:
    void TearDown() override
    {
        ViewerTestCase::TearDown();
        VKCloudFileStore::resetForTesting();
        VKCloudServicesManager::resetForTesting();
        VKCloudHooks::setCurrent(nullptr);
    }
};

TEST_F(VKViewControllerCloudEdgeTest, HugeFilesReadInGigabytesAndLateNoticesTouchNothing)
{
    auto service = TestCloudService::install("Dropbox");
    service->setLinked(true);
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    auto store = VKCloudFileStore::sharedStore();
    ASSERT_TRUE(store->bootstrapCloudFileStore());
    const std::string path = service->localPath() + "/Film.mov";
    auto node = store->insertObjectForPath(path);
    ASSERT_TRUE(node);
    node->setSize(5LL << 30);
    ASSERT_TRUE(store->saveContext());

    auto viewer = TestViewer::create(VKFileResource::resourceWithPath(path), host, true);
    auto notice = [&](core::NoticeName<VKCloudServiceNews> name) {
        core::NotificationCenter::defaultCenter().post(name, service, { {}, path, std::nullopt, false });
    };
    // Not on screen yet: the notices make no view.
    notice(VKCloudServiceFetchWillStartDownloadNotification);
    notice(VKCloudServiceFetchDidCompleteNotification);
    EXPECT_FALSE(viewer->isViewLoaded());
    EXPECT_EQ(viewer->loads, 0);

    push(viewer);
    auto calls = service->calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "fetchResource /Film.mov"), 1);
    notice(VKCloudServiceFetchWillStartDownloadNotification);
    ASSERT_TRUE(viewer->placeholderView()->label());
    EXPECT_EQ(viewer->placeholderView()->label()->text(), "Loading 5 GB");
    // Progress out of range stays on the bar's scale.
    node->setFetchProgress(1.7f);
    runLoop();
    EXPECT_FLOAT_EQ(viewer->placeholderView()->progressView()->progress(), 1.0f);

    // The fade in flight when the viewer goes: nothing is touched.
    notice(VKCloudServiceFetchDidCompleteNotification);
    EXPECT_EQ(viewer->loads, 1);
    navigation->popViewController(false);
    runLoop();
    std::weak_ptr<TestViewer> gone = viewer;
    viewer.reset();
    advance(1);
    EXPECT_TRUE(gone.expired());
}

} // namespace
} // namespace test
