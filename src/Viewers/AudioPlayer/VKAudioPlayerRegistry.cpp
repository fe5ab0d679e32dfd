#include "Viewers/AudioPlayer/VKAudioPlayerRegistry.h"

#include "App/VKAppDelegate.h"
#include "Viewers/AudioPlayer/VKAudioPlayerController.h"

namespace {

std::weak_ptr<VKAudioPlayerController>& mostRecentScreen()
{
    static std::weak_ptr<VKAudioPlayerController> controller;
    return controller;
}

std::shared_ptr<VKAudioPlayerController>& sharedScreen()
{
    static std::shared_ptr<VKAudioPlayerController> controller;
    return controller;
}

} // namespace

std::shared_ptr<VKAudioPlayerController> VKAudioPlayerRegistry::mostRecent()
{
    return mostRecentScreen().lock();
}

bool VKAudioPlayerRegistry::hasMostRecent()
{
    return !mostRecentScreen().expired();
}

void VKAudioPlayerRegistry::setMostRecent(const std::shared_ptr<VKAudioPlayerController>& controller)
{
    mostRecentScreen() = controller;
    VKAppDelegate::setMostRecentAudioPlayer(controller);
}

std::shared_ptr<VKAudioPlayerController> VKAudioPlayerRegistry::shared()
{
    if (!sharedScreen())
        sharedScreen() = VKAudioPlayerController::create(nullptr, nullptr);
    return sharedScreen();
}

bool VKAudioPlayerRegistry::isShared(const VKAudioPlayerController* controller)
{
    return sharedScreen().get() == controller;
}

bool VKAudioPlayerRegistry::isAnyPlaying()
{
    if (auto controller = sharedScreen())
        return controller->isPlaying();
    auto controller = mostRecent();
    return controller && controller->isPlaying();
}

void VKAudioPlayerRegistry::reset()
{
    sharedScreen().reset();
    setMostRecent(nullptr);
}
