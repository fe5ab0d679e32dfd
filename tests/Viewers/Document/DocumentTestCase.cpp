#include "DocumentTestCase.h"

#include "App/Shell/VKApplication.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Font.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"

#include "Platform/Core/RunLoop.h"

#include <cmath>
#include <filesystem>

namespace test {

std::shared_ptr<BandViewer> BandViewer::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folder, gfx::Size contentSize)
{
    auto viewer = std::make_shared<BandViewer>();
    viewer->size = contentSize;
    viewer->initWithResource(resource, folder);
    return viewer;
}

void BandViewer::loadContentView()
{
    scroll = ui::ScrollView::create(view()->bounds());
    scroll->setBackgroundColor(gfx::Color::white(1));
    // The toolkit takes only real sizes; the frame hears the test's own.
    scroll->setContentSize({ std::isfinite(size.width) ? std::max(0.f, size.width) : 0.f,
        std::isfinite(size.height) ? std::max(0.f, size.height) : 0.f });
    float band = view()->bounds().height();
    if (size.width > 0 && size.height > 0 && size.height < 100000 && band > 0) {
        int index = 0;
        for (float y = 0; y < size.height; y += band, ++index) {
            auto label = ui::Label::create(gfx::Rect(0, y, size.width, std::min(band, size.height - y)),
                std::to_string(index + 1));
            label->setFont(gfx::Font::boldSystemFont(48));
            label->setTextAlignment(gfx::TextAlignment::Center);
            label->setTextColor(gfx::Color::white(0.35f));
            label->setBackgroundColor(index % 2 ? gfx::Color::white(0.93f) : gfx::Color::white(1));
            scroll->addSubview(label);
        }
    }
    setContentView(scroll);
    std::weak_ptr<BandViewer> weak = sharedAs<BandViewer>();
    offsetObservation = scroll->observeContentOffset([weak](const gfx::Point&, const gfx::Point&) {
        if (auto self = weak.lock(); self && !self->contentIsLoading())
            self->currentOffsetDidChange();
    });
    scroll->flashScrollIndicators();
    // Done on the next pass, as a loader's answer comes.
    std::weak_ptr<BandViewer> self = weak;
    core::RunLoop::main().performAfter(0, [self] {
        if (auto viewer = self.lock(); viewer && !viewer->waits) {
            viewer->setupNormalisedPageHeight();
            viewer->contentLoadDidSucceed();
        }
    });
}

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
    auto list = std::make_shared<ui::TableViewController>();
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

std::shared_ptr<BandViewer> DocumentTestCase::open(gfx::Size contentSize, std::string_view name)
{
    std::string relative = "Files/" + std::string(name);
    std::string path = pathInHome(relative);
    if (!std::filesystem::exists(path))
        makeFile(relative, "%PDF-1.4");
    auto viewer = BandViewer::create(VKFileResource::resourceWithPath(path), host, contentSize);
    navigation->pushViewController(viewer, false);
    runLoop();
    return viewer;
}

} // namespace test
