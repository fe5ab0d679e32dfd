#include "Platform/UI/Testing/Environment.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/AudioSession.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/PhotoAlbum.h"
#include "Platform/UI/PopoverController.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Testing/PhotoAlbumRecorder.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Transaction.h"
#include "Platform/UI/TouchRouter.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/ViewController.h"

#include <fmt/format.h>

namespace ui::testing {

namespace {

std::shared_ptr<Window> window;
long baseline[4] = { 0, 0, 0, 0 };

void resetToolkit()
{
    gfx::setTextEngine(nullptr);
    Images::clearCache();
    TouchRouter::resetForTesting();
    ViewAnimation::resetForTesting();
    Transaction::resetForTesting();
    Renderer::resetForTesting();
    TiledLayer::resetForTesting();
    Screen::resetForTesting();
    Keyboard::shared().resetForTesting();
    ViewController::resetForTesting();
    AlertView::resetForTesting();
    Pasteboard::resetForTesting();
    AudioSession::shared().resetForTesting();
    PrintInteractionController::shared().reset();
    DocumentInteractionController::resetForTesting();
    PopoverController::resetForTesting();
    MailComposeController::resetForTesting();
    ImagePickerController::setLibrary({});
    ImagePickerController::setLibrarySource(nullptr);
    PhotoAlbum::setBackend(std::make_shared<PhotoAlbumRecorder>());
}

} // namespace

void Environment::begin(std::shared_ptr<Application> application)
{
    resetToolkit();
    baseline[0] = LiveObjects::views;
    baseline[1] = LiveObjects::layers;
    baseline[2] = LiveObjects::recognizers;
    baseline[3] = LiveObjects::controllers;
    Application::setShared(application ? std::move(application) : std::make_shared<Application>());
    window = Window::create(Screen::main()->bounds());
    window->makeKeyAndVisible();
}

void Environment::end()
{
    window.reset();
    Application::setShared(nullptr);
    core::RunLoop::main().resetForTesting();
    resetToolkit();
}

std::vector<std::string> Environment::leftovers()
{
    std::vector<std::string> lines;
    const char* names[4] = { "views", "layers", "gesture recognizers", "controllers" };
    long counts[4] = { LiveObjects::views, LiveObjects::layers, LiveObjects::recognizers, LiveObjects::controllers };
    for (int i = 0; i < 4; ++i)
        if (counts[i] != baseline[i])
            lines.push_back(fmt::format("{} {} left alive", counts[i] - baseline[i], names[i]));
    return lines;
}

Application& Environment::application()
{
    return *Application::shared();
}

const std::shared_ptr<Window>& Environment::keyWindow()
{
    return window;
}

} // namespace ui::testing
