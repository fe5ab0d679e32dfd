// The viewer base: which viewer a file gets, following the file through
// moves and deletions, the toolbar in guest mode, loading and rotation,
// memory warnings, the spinner, appearance, and what a popped viewer
// leaves behind (its bitmaps' memory too).

#include "ViewerTestCase.h"

#include "Shell/Interface/VKPlaceholderView.h"
#include "App/Viewers/VKFileInfoViewController.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Support/Cloud/TestCloudService.h"
#include "WebDAV/WebDAVDeleteResponse.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using test::TestViewer;

class VKViewControllerTest : public test::ViewerTestCase {
protected:
    template <class Payload>
    void post(core::NoticeName<Payload> name, std::type_identity_t<Payload> payload)
    {
        core::NotificationCenter::defaultCenter().post(name, nullptr, std::move(payload));
    }
    void move(const std::string& from, const std::string& to,
        core::NoticeName<VKResourceMove> name = VKFolderControllerDidMoveResourceNotification)
    {
        std::filesystem::rename(from, to);
        post(name, { from, to });
    }
    static std::vector<std::string> actions(const VKViewController& viewer)
    {
        std::vector<std::string> found;
        for (const auto& item : viewer.toolbarItems()) {
            if (item->systemItem() != ui::BarButtonItem::SystemItem::FlexibleSpace)
                found.push_back(std::string(magic(*item)));
        }
        return found;
    }
    static std::string_view magic(const ui::BarButtonItem& item)
    {
        using S = ui::BarButtonItem::SystemItem;
        switch (item.systemItem().value_or(S::Done)) {
        case S::Action: return "action";
        case S::Bookmarks: return "bookmarks";
        case S::Add: return "add";
        case S::Trash: return "trash";
        default: return "other";
        }
    }
};

// Records which kind made each viewer.
struct KindRecorder {
    std::vector<std::string> made;
    void registerAll()
    {
        for (auto [kind, name] : std::vector<std::pair<VKViewerKind, std::string>> { { VKViewerKind::Image, "image" },
                 { VKViewerKind::Movie, "movie" }, { VKViewerKind::Audio, "audio" }, { VKViewerKind::Text, "text" },
                 { VKViewerKind::PDF, "pdf" }, { VKViewerKind::Web, "web" } }) {
            VKViewController::setViewerFactory(kind, [this, name](const auto& resource, const auto& folder) {
                made.push_back(name);
                return TestViewer::create(resource, folder);
            });
        }
    }
};

TEST_F(VKViewControllerTest, TheChoiceTestsKindsInOrderAndNeverAnswersNothing)
{
    std::vector<std::pair<std::string, std::string>> files { { "index.html", "web" }, { "a.txt", "text" },
        { "voice-audio.mp4", "movie" }, { "film.mp4", "movie" }, { "doc.pdf", "pdf" }, { "p.jpg", "image" },
        { "s.mp3", "audio" }, { "blob.bin", "web" }, { "Notes.pages", "web" }, { "drawing.svg", "image" },
        { "p.webp", "image" }, { "song.ogg", "audio" }, { "song.flac", "audio" }, { "clip.webm", "movie" },
        { "clip.mkv", "movie" } };
    // Before any viewer registered: the stand-in, with the file and folder.
    for (const auto& [name, kind] : files) {
        auto viewer = VKViewController::viewControllerWithResource(file("Files/" + name), host);
        ASSERT_TRUE(std::dynamic_pointer_cast<VKFileInfoViewController>(viewer)) << name;
        EXPECT_EQ(viewer->resource()->name(), name);
        EXPECT_EQ(viewer->folderController(), host);
    }

    KindRecorder recorder;
    recorder.registerAll();
    for (const auto& [name, kind] : files) {
        auto viewer = VKViewController::viewControllerWithResource(file("Files/" + name), host);
        ASSERT_TRUE(std::dynamic_pointer_cast<TestViewer>(viewer)) << name;
        EXPECT_EQ(recorder.made.back(), kind) << name;
    }
    EXPECT_TRUE(std::dynamic_pointer_cast<TestViewer>(
        VKViewController::audioPlayerControllerForResource(file("Files/a.txt"), host)));
    EXPECT_EQ(recorder.made.back(), "audio");

    // A factory that makes nothing gives the stand-in.
    VKViewController::setViewerFactory(VKViewerKind::PDF, [](const auto&, const auto&) { return nullptr; });
    EXPECT_TRUE(std::dynamic_pointer_cast<VKFileInfoViewController>(
        VKViewController::viewControllerWithResource(file("Files/doc.pdf"), host)));
}

TEST_F(VKViewControllerTest, FollowsTheFileAndItsFolderButNotTheFoldersAbove)
{
    makeFolder("Files/D/F");
    auto viewer = openTestViewer("Files/D/F/x.pdf");
    EXPECT_EQ(viewer->title(), "x");

    move(pathInHome("Files/D/F/x.pdf"), pathInHome("Files/D/F/y.pdf"));
    EXPECT_EQ(viewer->resource()->path(), pathInHome("Files/D/F/y.pdf"));
    EXPECT_EQ(viewer->title(), "y");

    move(pathInHome("Files/D/F"), pathInHome("Files/D/G"), WebDAVDidMoveResourceNotification);
    EXPECT_EQ(viewer->resource()->path(), pathInHome("Files/D/G/y.pdf"));
    EXPECT_EQ(viewer->title(), "y");
    EXPECT_EQ(navigation->topViewController(), viewer.get());

    // The grandparent: nothing changes (the viewer does not know it moved).
    move(pathInHome("Files/D"), pathInHome("Files/E"));
    EXPECT_EQ(viewer->resource()->path(), pathInHome("Files/D/G/y.pdf"));

    // Notices without both paths, or naming other files, change nothing.
    const std::string path = viewer->resource()->path();
    post(VKFolderControllerDidMoveResourceNotification, {});
    post(VKFolderControllerDidMoveResourceNotification, { path, "" });
    EXPECT_EQ(viewer->resource()->path(), path);

    core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(true));
    viewer->setTitleFromResource();
    EXPECT_EQ(viewer->title(), "y.pdf");
}

TEST_F(VKViewControllerTest, DeletionThroughTheFolderScreenOrTheServerClearsResourceAndTitle)
{
    auto first = openTestViewer("Files/a.pdf");
    post(VKFolderControllerWillDeleteResourceNotification, { pathInHome("Files/b.pdf") });
    post(VKFolderControllerWillDeleteResourceNotification, {});
    post(WebDAVWillDeleteResourceNotification, {});
    ASSERT_TRUE(first->resource());
    post(VKFolderControllerWillDeleteResourceNotification, { first->resource()->path() });
    EXPECT_FALSE(first->resource());
    EXPECT_EQ(first->title(), "");
    // It stays, with its content.
    EXPECT_EQ(navigation->topViewController(), first.get());
    EXPECT_TRUE(first->contentView());

    auto second = openTestViewer("Files/c.pdf");
    post(WebDAVWillDeleteResourceNotification, { second->resource()->path(), "" });
    EXPECT_FALSE(second->resource());
    EXPECT_EQ(second->title(), "");
}

TEST_F(VKViewControllerTest, CloudFilesAreFetchedAndFollowTheMirror)
{
    auto service = test::TestCloudService::install("Dropbox");
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    auto store = VKCloudFileStore::sharedStore();
    ASSERT_TRUE(store->bootstrapCloudFileStore());
    const std::string servers = VKApplication::sharedApplication()->serversDirectory();
    auto path = [&](std::string_view name) { return core::path::appendingPathComponent(servers, name); };
    ASSERT_TRUE(store->insertObjectForPath(path("Dropbox/c.pdf")));
    ASSERT_TRUE(store->insertObjectForPath(path("Dropbox/other.pdf")));
    ASSERT_TRUE(store->saveContext());

    // Without a copy each viewer asks the service and loads nothing yet.
    auto resource = VKFileResource::resourceWithPath(path("Dropbox/c.pdf"));
    ASSERT_TRUE(resource && resource->isCloudResource());
    auto plain = TestViewer::create(resource, host, true);
    push(plain);
    auto fetching = TestViewer::create(VKFileResource::resourceWithPath(path("Dropbox/c.pdf")), host);
    push(fetching);
    EXPECT_EQ(plain->loads + fetching->loads, 0);
    auto calls = service->calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "fetchResource /c.pdf"), 2) << ::testing::PrintToString(calls);

    // The fetch progress of the file shows in the placeholder's bar.
    fetching->placeholderView()->setProgressViewHidden(false);
    store->managedObjectForPath(path("Dropbox/c.pdf"))->setFetchProgress(0.5f);
    runLoop();
    EXPECT_FLOAT_EQ(fetching->placeholderView()->progressView()->progress(), 0.5f);

    // Deleting another node changes nothing; deleting the file clears both
    // viewers once, and later saves reach them no more.
    store->deleteObject(store->managedObjectForPath(path("Dropbox/other.pdf")));
    ASSERT_TRUE(store->saveContext());
    EXPECT_TRUE(plain->resource());
    store->deleteObject(store->managedObjectForPath(path("Dropbox/c.pdf")));
    ASSERT_TRUE(store->saveContext());
    for (const auto& viewer : { plain, fetching }) {
        EXPECT_FALSE(viewer->resource());
        EXPECT_EQ(viewer->title(), "");
        EXPECT_EQ(viewer->deletionNotices, 1);
    }
    ASSERT_TRUE(store->insertObjectForPath(path("Dropbox/later.pdf")));
    ASSERT_TRUE(store->saveContext());
    store->deleteObject(store->managedObjectForPath(path("Dropbox/later.pdf")));
    ASSERT_TRUE(store->saveContext());
    EXPECT_EQ(plain->deletionNotices, 1);
}

TEST_F(VKViewControllerTest, TheStandInReadsACloudFilesFactsOnTheMainThread)
{
    test::TestCloudService::install("Dropbox");
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    auto store = VKCloudFileStore::sharedStore();
    ASSERT_TRUE(store->bootstrapCloudFileStore());
    const std::string path = core::path::appendingPathComponent(VKApplication::sharedApplication()->serversDirectory(),
        "Dropbox/Cloud Notes.txt");
    auto node = store->insertObjectForPath(path);
    ASSERT_TRUE(node);
    node->setSize(3 * 1024 * 1024);
    ASSERT_TRUE(store->saveContext());

    auto viewer = VKViewController::viewControllerWithResource(VKFileResource::resourceWithPath(path), host);
    navigation->pushViewController(viewer, false);
    EXPECT_TRUE(core::Thread::runningThreadNames().empty());
    runLoop();
    ASSERT_TRUE(viewer->contentDidLoad());
    EXPECT_NE(driver.dump().find("Size: 3 MB"), std::string::npos) << driver.dump();
}

TEST_F(VKViewControllerTest, GuestModeTakesItemsFromTheToolbar)
{
    auto outside = openTestViewer("Files/a.pdf");
    EXPECT_EQ(actions(*outside), (std::vector<std::string> { "action", "bookmarks", "add", "trash" }));
    EXPECT_EQ(outside->findBarButtonItemWithAction(VKViewController::DeleteItemAction)->systemItem(),
        ui::BarButtonItem::SystemItem::Trash);
    EXPECT_FALSE(outside->findBarButtonItemWithAction(""));
    EXPECT_FALSE(outside->findBarButtonItemWithAction("nothing"));

    hooks->guestMode = true;
    auto guest = openTestViewer("Files/b.pdf");
    EXPECT_TRUE(actions(*guest).empty());
    EXPECT_FALSE(guest->findBarButtonItemWithAction(VKViewController::ShowDocumentActionSheetAction));

    hooks->guestActions = true;
    auto trusted = openTestViewer("Files/c.pdf");
    EXPECT_EQ(actions(*trusted), (std::vector<std::string> { "action", "bookmarks", "add" }));

    // Enabling touches only items with an action.
    trusted->setToolbarItemsEnabled(false);
    for (const auto& item : trusted->toolbarItems())
        EXPECT_EQ(item->isEnabled(), item->systemItem() == ui::BarButtonItem::SystemItem::FlexibleSpace);
}

TEST_F(VKViewControllerTest, WhileContentLoadsTheViewerHoldsItsOrientationAndIgnoresTaps)
{
    auto viewer = openTestViewer("Files/a.pdf", false);
    EXPECT_EQ(viewer->loads, 1);
    EXPECT_TRUE(viewer->contentIsLoading());
    EXPECT_FALSE(viewer->contentDidLoad());
    EXPECT_FALSE(viewer->shouldSingleTapHideUI());
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeLeft));
    EXPECT_TRUE(viewer->shouldAutorotate(ui::Orientation::Portrait));
    driver.tap(*viewer->view());
    advance(1);
    EXPECT_FALSE(viewer->isUIHidden());

    viewer->finishLoading();
    EXPECT_TRUE(viewer->shouldSingleTapHideUI());
    EXPECT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    EXPECT_EQ(viewer->currentInterfaceOrientation(), ui::Orientation::LandscapeLeft);
    EXPECT_EQ(viewer->contentView()->frame(), viewer->view()->bounds());

    // A presented screen answers for the viewer.
    class Upright : public ui::ViewController {
    public:
        bool shouldAutorotate(ui::Orientation orientation) override { return orientation == ui::Orientation::Portrait; }
    };
    navigation->presentModalViewController(std::make_shared<Upright>(), false);
    EXPECT_FALSE(viewer->shouldAutorotate(ui::Orientation::LandscapeRight));
    EXPECT_TRUE(viewer->shouldAutorotate(ui::Orientation::Portrait));
    navigation->dismissModalViewController(false);
    EXPECT_TRUE(viewer->shouldAutorotate(ui::Orientation::LandscapeRight));
}

TEST_F(VKViewControllerTest, TheBaseBarsAreBlackTranslucentOverNoBackgroundOfItsOwn)
{
    auto base = TestViewer::create(file("Files/a.pdf"), host);
    EXPECT_EQ(base->statusBarStyle(), ui::Application::StatusBarStyle::BlackTranslucent);
    EXPECT_FALSE(base->preferredBackgroundColor());
}

TEST_F(VKViewControllerTest, AMemoryWarningOffScreenDropsTheContentAndTheNextAppearanceLoadsAgain)
{
    auto viewer = openTestViewer("Files/a.pdf");
    ASSERT_TRUE(viewer->contentDidLoad());
    navigation->pushViewController(std::make_shared<ui::ViewController>(), false);
    runLoop();
    const int stores = viewer->stores;
    driver.memoryWarning();
    EXPECT_FALSE(viewer->isViewLoaded());
    EXPECT_FALSE(viewer->contentView());
    EXPECT_FALSE(viewer->contentDidLoad());
    EXPECT_FALSE(viewer->contentIsLoading());
    EXPECT_EQ(viewer->stores, stores + 1);

    navigation->popViewController(false);
    runLoop();
    EXPECT_EQ(viewer->loads, 2);
    EXPECT_TRUE(viewer->contentDidLoad());
    EXPECT_TRUE(viewer->contentView());
}

TEST_F(VKViewControllerTest, TheSpinnerStartsWhenAskedStaysCentredAndGoesIntoTheContent)
{
    auto viewer = openTestViewer("Files/a.pdf", false);
    auto& root = *viewer->view();
    viewer->startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::White, 0);
    ui::ActivityIndicator* spinner = viewer->activityIndicator();
    ASSERT_TRUE(spinner);
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_EQ(spinner->superview(), &root);
    EXPECT_EQ(spinner->center(), (gfx::Point { root.bounds().width() / 2, root.bounds().height() / 2 }));
    // Asked again while it spins: nothing changes.
    viewer->startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, 0);
    EXPECT_EQ(viewer->activityIndicator(), spinner);
    EXPECT_EQ(spinner->activityIndicatorViewStyle(), ui::ActivityIndicator::Style::White);
    // The content arrives: the spinner goes over it.
    viewer->finishLoading();
    EXPECT_EQ(spinner->superview(), viewer->contentView().get());
    viewer->stopActivityIndicator();
    EXPECT_FALSE(viewer->activityIndicator());

    // Delayed: not before its time, on the test clock.
    viewer->startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::WhiteLarge, 0.5);
    ASSERT_TRUE(viewer->activityIndicator());
    EXPECT_EQ(viewer->activityIndicator()->superview(), viewer->contentView().get());
    advance(0.49);
    EXPECT_FALSE(viewer->activityIndicator()->isAnimating());
    advance(0.02);
    EXPECT_TRUE(viewer->activityIndicator()->isAnimating());
    viewer->stopActivityIndicator();

    // Stopping cancels a start still waiting.
    viewer->startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, 0.5);
    viewer->stopActivityIndicator();
    advance(1);
    EXPECT_FALSE(viewer->activityIndicator());
}

TEST_F(VKViewControllerTest, AppearingDarkensTheBarsAndLeavingShowsThemAndStoresTheState)
{
    auto viewer = openTestViewer("Files/a.pdf");
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::BlackTranslucent);
    EXPECT_EQ(navigation->navigationBar().barStyle(), ui::NavigationBar::Style::Black);
    EXPECT_TRUE(navigation->navigationBar().isTranslucent());
    EXPECT_EQ(navigation->toolbar().barStyle(), ui::NavigationBar::Style::Black);
    EXPECT_TRUE(navigation->toolbar().isTranslucent());
    EXPECT_EQ(viewer->statusBarStyle(), ui::Application::StatusBarStyle::BlackTranslucent);

    // Loaded content: the bars hide by themselves after 3 s.
    advance(2.9);
    EXPECT_FALSE(viewer->isUIHidden());
    advance(0.2);
    EXPECT_TRUE(viewer->isUIHidden());

    const int stores = viewer->stores;
    auto state = viewer->currentStateDictionary();
    EXPECT_TRUE(state.isDictionary());
    EXPECT_EQ(state.count(), 0u);
    EXPECT_EQ(viewer->stores, stores + 1);

    navigation->pushViewController(std::make_shared<ui::ViewController>(), false);
    runLoop();
    EXPECT_FALSE(viewer->isUIHidden());
    EXPECT_EQ(viewer->stores, stores + 2);
}

TEST_F(VKViewControllerTest, APoppedViewerLeavesNoObservationTimerOrObject)
{
    // The mirror store (which the first viewer opens) has observations of its own.
    ASSERT_TRUE(VKCloudFileStore::sharedStore());
    const size_t observations = core::NotificationCenter::defaultCenter().observationCountForTesting();
    std::weak_ptr<VKViewController> gone;
    {
        auto viewer = openTestViewer("Files/a.pdf", false);
        viewer->startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, 5);
        gone = viewer;
        EXPECT_GT(core::NotificationCenter::defaultCenter().observationCountForTesting(), observations);
        navigation->popViewController(true);
    }
    advance(1);
    EXPECT_TRUE(gone.expired());
    EXPECT_EQ(core::NotificationCenter::defaultCenter().observationCountForTesting(), observations);
    advance(10);
}

// The buffers of the bitmaps a viewer drew (kept for the next bitmaps, up to
// 64 MB) go back to the system once it closes, not when the next viewer
// happens to need them.
TEST_F(VKViewControllerTest, AClosedViewerGivesItsBitmapsBackToTheSystem)
{
    auto residentAnonymousMB = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("RssAnon:", 0) == 0)
                return std::atof(line.c_str() + 8) / 1024;
        return 0.0;
    };
    auto viewer = openTestViewer("Files/a.pdf", false);
    {
        auto page = gfx::BitmapContext::create(4096, 2048); // 32 MB
        ASSERT_TRUE(page);
        page->setFillColor(0, 0, 1, 1);
        page->fillRect(gfx::Rect(0, 0, 4096, 2048));
    }
    const double kept = residentAnonymousMB();
    navigation->popViewController(false);
    viewer.reset();
    advance(1);
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return residentAnonymousMB() < kept - 24; }, 10))
        << kept << " MB resident before the close, " << residentAnonymousMB() << " MB after";
}

TEST_F(VKViewControllerTest, TheStandInShowsTheFilesFacts)
{
    makeFile("Files/Report.pdf", std::string(2048, 'x'));
    auto viewer = VKViewController::viewControllerWithResource(file("Files/Report.pdf"), host);
    push(viewer);
    // The facts are read on a worker, which may already be done here, so
    // only the state after loading is checked.
    ASSERT_TRUE(waitForContent(*viewer));
    EXPECT_FALSE(viewer->contentIsLoading());
    EXPECT_FALSE(viewer->activityIndicator());
    std::string shown = driver.dump();
    for (const char* text : { "Report.pdf", "Kind: application/pdf", "Size: 2 KB", "Modified: " })
        EXPECT_NE(shown.find(text), std::string::npos) << text << "\n" << shown;
    EXPECT_TRUE(viewer->findBarButtonItemWithAction(VKViewController::ShowDocumentActionSheetAction));
    EXPECT_TRUE(viewer->findBarButtonItemWithAction(VKViewController::DeleteItemAction));
}

} // namespace
