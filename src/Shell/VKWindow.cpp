#include "Shell/VKWindow.h"

#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKAudioPlayerRemoteControl.h"
#include "Shell/VKWindowObserver.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/ViewController.h"

#include <algorithm>

std::shared_ptr<VKWindow> VKWindow::create(const gfx::Rect& frame)
{
    auto window = ui::View::make<VKWindow>(frame);
    window->setupRemoteControl();
    return window;
}

VKWindow::~VKWindow()
{
    if (auto* application = ui::Application::shared(); application && m_receivingRemoteControl)
        application->endReceivingRemoteControlEvents();
}

void VKWindow::setupRemoteControl()
{
    auto* application = ui::Application::shared();
    if (!application)
        return;
    application->beginReceivingRemoteControlEvents();
    m_receivingRemoteControl = true;
    becomeFirstResponder();
}

void VKWindow::addObserver(const std::shared_ptr<VKWindowObserver>& observer)
{
    if (!observer || isObserving(observer.get()))
        return;
    std::erase_if(m_observers, [](const auto& weak) { return weak.expired(); });
    m_observers.push_back(observer);
}

void VKWindow::removeObserver(const VKWindowObserver* observer)
{
    std::erase_if(m_observers, [observer](const auto& weak) {
        auto live = weak.lock();
        return !live || live.get() == observer;
    });
}

size_t VKWindow::observerCountForTesting() const
{
    return size_t(std::count_if(m_observers.begin(), m_observers.end(), [](const auto& weak) { return !weak.expired(); }));
}

bool VKWindow::isObserving(const VKWindowObserver* observer) const
{
    return std::any_of(m_observers.begin(), m_observers.end(),
        [observer](const auto& weak) { return weak.lock().get() == observer; });
}

// Each call goes over a snapshot; an observer that an earlier one removed
// is not called, one removing itself leaves the others in place.
void VKWindow::forEachObserver(const std::function<void(VKWindowObserver&)>& call)
{
    std::vector<std::shared_ptr<VKWindowObserver>> live;
    for (const auto& weak : m_observers)
        if (auto observer = weak.lock())
            live.push_back(std::move(observer));
    for (const auto& observer : live)
        if (isObserving(observer.get()))
            call(*observer);
}

void VKWindow::sendEvent(const ui::Event& event)
{
    auto keep = shared_from_this();
    forEachObserver([&](VKWindowObserver& observer) { observer.handleSendEvent(event, *this); });
    ui::Window::sendEvent(event);
}

void VKWindow::didAddSubview(ui::View* subview)
{
    ui::Window::didAddSubview(subview);
    if (!subview)
        return;
    forEachObserver([&](VKWindowObserver& observer) { observer.windowDidAddSubview(*this, *subview); });
}

void VKWindow::willRemoveSubview(ui::View* subview)
{
    ui::Window::willRemoveSubview(subview);
    if (!subview)
        return;
    forEachObserver([&](VKWindowObserver& observer) { observer.windowWillRemoveSubview(*this, *subview); });
}

void VKWindow::remoteControlReceived(const ui::Event& event)
{
    if (event.type() != ui::Event::Type::RemoteControl)
        return;
    auto hooks = VKAppDelegateHooks::current();
    auto player = hooks ? hooks->mostRecentAudioPlayer() : nullptr;
    if (!player || !player->hasResource()) {
        ui::Window::remoteControlReceived(event);
        return;
    }
    switch (event.subtype()) {
    case ui::Event::RemoteControlPlay:
        player->play();
        break;
    case ui::Event::RemoteControlPause:
        player->pause();
        break;
    case ui::Event::RemoteControlStop:
        player->stop();
        break;
    case ui::Event::RemoteControlTogglePlayPause:
        player->togglePlay();
        break;
    case ui::Event::RemoteControlNextTrack:
        player->handleNext();
        break;
    case ui::Event::RemoteControlPreviousTrack:
        player->handlePrevious();
        break;
    default:
        break;
    }
}

bool VKWindow::shouldAutorotate(ui::Orientation orientation)
{
    return VKWindowShouldAutorotate(*this, orientation);
}

bool VKWindowShouldAutorotate(VKWindow& window, ui::Orientation orientation)
{
    if (!ui::isInterfaceOrientation(orientation))
        return false;
    auto hooks = VKAppDelegateHooks::current();
    if (hooks && hooks->isOrientationLocked()) {
        auto* application = ui::Application::shared();
        return application && orientation == application->statusBarOrientation();
    }
    if (hooks && hooks->isRootPasscodeControllerActive())
        if (auto* lock = hooks->rootPasscodeController())
            return lock->shouldAutorotate(orientation);
    return window.ui::Window::shouldAutorotate(orientation);
}
