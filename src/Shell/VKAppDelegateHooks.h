#pragma once

// What the shell's window, navigation and full-screen screens ask of the
// application delegate, which sits above them: the orientation lock, the
// passcode lock, guest mode and the audio player. The delegate answers and
// is made current at start-up; without it nothing is locked, there is no
// guest and no player.

#include "Kit/VKHookSlot.h"

#include <memory>

namespace ui {
class ViewController;
}
class VKAudioPlayerRemoteControl;

class VKAppDelegateHooks : public VKHookSlot<VKAppDelegateHooks> {
public:
    virtual ~VKAppDelegateHooks() = default;

    // While on, the interface keeps the orientation it has.
    virtual bool isOrientationLocked() const = 0;
    // Whether the passcode lock screen is up, and its controller while it is.
    virtual bool isRootPasscodeControllerActive() const = 0;
    virtual ui::ViewController* rootPasscodeController() const = 0;
    // Entered through the lock's guest button: only the public folder shows.
    virtual bool isGuestMode() const = 0;
    // Whether a guest may change files ("VKLocalGuestActionsEnabled").
    virtual bool guestActionsEnabled() const = 0;
    virtual bool isAudioPlayerPlaying() const = 0;
    // The player most recently made, or none.
    virtual std::shared_ptr<VKAudioPlayerRemoteControl> mostRecentAudioPlayer() const = 0;
};
