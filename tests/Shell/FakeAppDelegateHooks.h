#pragma once

// The application delegate's answers as a test sets them, and an audio
// player that records the commands it gets.

#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKAudioPlayerRemoteControl.h"
#include "Platform/UI/ViewController.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

class RecordingAudioPlayer : public VKAudioPlayerRemoteControl {
public:
    bool hasResource() const override { return resource; }
    bool isPlaying() const override { return playing; }
    void play() override { calls.push_back("play"); }
    void pause() override { calls.push_back("pause"); }
    void stop() override { calls.push_back("stop"); }
    void togglePlay() override { calls.push_back("togglePlay"); }
    void handleNext() override { calls.push_back("handleNext"); }
    void handlePrevious() override { calls.push_back("handlePrevious"); }

    bool resource = true;
    bool playing = false;
    std::vector<std::string> calls;
};

class FakeAppDelegateHooks : public VKAppDelegateHooks {
public:
    // Made current; the environment clears it after the test.
    static std::shared_ptr<FakeAppDelegateHooks> install()
    {
        auto hooks = std::make_shared<FakeAppDelegateHooks>();
        setCurrent(hooks);
        return hooks;
    }

    bool isOrientationLocked() const override { return orientationLocked; }
    bool isRootPasscodeControllerActive() const override { return passcodeController != nullptr; }
    ui::ViewController* rootPasscodeController() const override { return passcodeController.get(); }
    bool isGuestMode() const override { return false; }
    bool guestActionsEnabled() const override { return false; }
    bool isAudioPlayerPlaying() const override { return false; }
    std::shared_ptr<VKAudioPlayerRemoteControl> mostRecentAudioPlayer() const override { return player; }

    bool orientationLocked = false;
    std::shared_ptr<ui::ViewController> passcodeController;
    std::shared_ptr<RecordingAudioPlayer> player;
};

} // namespace test
