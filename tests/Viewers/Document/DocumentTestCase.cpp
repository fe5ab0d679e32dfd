#include "DocumentTestCase.h"

#include "Shell/VKApplication.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"

#include "Platform/Core/RunLoop.h"

#include <filesystem>

namespace test {

std::shared_ptr<ui::Application> DocumentTestCase::makeApplication()
{
    return VKApplication::create();
}

void DocumentTestCase::SetUp()
{
    UITestCase::SetUp();
    hooks = std::make_shared<DocumentHooks>();
    VKAppDelegateHooks::setCurrent(hooks);
    host = std::make_shared<DocumentFolderHost>();
    host->folder = VKFileResource::resourceWithPath(makeFolder("Files"));
    showFileList();
}

namespace {

class TurningList : public ui::TableViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

} // namespace

void DocumentTestCase::showFileList(bool turning)
{
    window().setRootViewController(nullptr);
    auto list = turning ? std::make_shared<TurningList>() : std::make_shared<ui::TableViewController>();
    list->setTitle("Files");
    navigation = VKNavigationController::create(list);
    navigation->setToolbarHidden(false);
    window().setRootViewController(navigation);
    runLoop();
}

void DocumentTestCase::TearDown()
{
    window().setRootViewController(nullptr);
    navigation.reset();
    host.reset();
    VKAppDelegateHooks::setCurrent(nullptr);
    UITestCase::TearDown();
}

std::shared_ptr<BandViewer> DocumentTestCase::open(gfx::Size contentSize, std::string_view name, int layout)
{
    std::string relative = "Files/" + std::string(name);
    std::string path = pathInHome(relative);
    if (!std::filesystem::exists(path))
        makeFile(relative, "%PDF-1.4");
    auto viewer = BandViewer::create(VKFileResource::resourceWithPath(path), host, contentSize);
    viewer->layout = layout;
    navigation->pushViewController(viewer, false);
    runLoop();
    return viewer;
}

} // namespace test
