#include "ViewerTestCase.h"

#include "App/Mail/VKEmailController.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"

#include <filesystem>

namespace test {

int FakeFolderHost::moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource)
{
    trashed.push_back(resource->path());
    if (trashResult != VKViewerFolderHost::TrashMoved || !announces)
        return trashResult;
    core::NotificationCenter::defaultCenter().post(VKFolderControllerWillDeleteResourceNotification, nullptr,
        { resource->path() });
    std::filesystem::remove(resource->path());
    return trashResult;
}

std::shared_ptr<TestViewer> TestViewer::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folder, bool loadsAtOnce)
{
    auto viewer = std::make_shared<TestViewer>();
    viewer->loadsAtOnce = loadsAtOnce;
    viewer->initWithResource(resource, folder);
    return viewer;
}

void TestViewer::loadContentView()
{
    ++loads;
    if (loadsAtOnce)
        finishLoading();
}

void TestViewer::finishLoading()
{
    auto content = ui::View::create();
    content->setBackgroundColor(gfx::Color::white(1));
    setContentView(content);
    setContentDidLoad(true);
    setContentLoading(false);
}

std::vector<std::shared_ptr<ui::BarButtonItem>> TestViewer::createToolbarItems()
{
    std::weak_ptr<TestViewer> weak = sharedAs<TestViewer>();
    auto self = shared_from_this();
    auto item = [&](ui::BarButtonItem::SystemItem kind, const char* action, void (TestViewer::*method)(
                                                                              const std::shared_ptr<core::Object>&)) {
        return barButtonSystemItem(kind, self, action, [weak, method](ui::BarButtonItem& tapped) {
            if (auto viewer = weak.lock())
                ((*viewer).*method)(tapped.shared_from_this());
        });
    };
    return {
        item(ui::BarButtonItem::SystemItem::Action, ShowDocumentActionSheetAction,
            &TestViewer::showDocumentActionSheet),
        flexibleSpaceBarButtonItem(),
        item(ui::BarButtonItem::SystemItem::Bookmarks, ShowBookmarksAction, &TestViewer::showDocumentActionSheet),
        item(ui::BarButtonItem::SystemItem::Add, AddBookmarkAction, &TestViewer::showDocumentActionSheet),
        flexibleSpaceBarButtonItem(),
        item(ui::BarButtonItem::SystemItem::Trash, DeleteItemAction, &TestViewer::deleteItem),
    };
}

void ViewerTestCase::SetUp()
{
    UITestCase::SetUp();
    hooks = std::make_shared<ViewerHooks>();
    VKAppDelegateHooks::setCurrent(hooks);
    host = std::make_shared<FakeFolderHost>();
    host->folder = VKFileResource::resourceWithPath(makeFolder("Files"));
    auto list = std::make_shared<ui::TableViewController>();
    list->setTitle("Documents");
    navigation = VKNavigationController::create(list);
    navigation->setToolbarHidden(false);
    window().setRootViewController(navigation);
    runLoop();
}

void ViewerTestCase::TearDown()
{
    window().setRootViewController(nullptr);
    navigation.reset();
    host.reset();
    VKViewController::resetRegistrationsForTesting();
    VKEmailController::setWorkerGateForTesting({});
    UITestCase::TearDown();
}

std::shared_ptr<VKFileResource> ViewerTestCase::file(std::string_view relative, std::string_view contents)
{
    std::string path = pathInHome(relative);
    if (!std::filesystem::exists(path))
        makeFile(relative, contents);
    return VKFileResource::resourceWithPath(path);
}

void ViewerTestCase::push(const std::shared_ptr<VKViewController>& viewer)
{
    navigation->pushViewController(viewer, false);
    runLoop();
}

std::shared_ptr<TestViewer> ViewerTestCase::openTestViewer(std::string_view relative, bool loadsAtOnce)
{
    auto viewer = TestViewer::create(file(relative), host, loadsAtOnce);
    push(viewer);
    return viewer;
}

bool ViewerTestCase::waitForContent(VKViewController& viewer)
{
    return core::RunLoop::main().runUntil([&] { return viewer.contentDidLoad(); }, 10);
}

} // namespace test
