#pragma once

// The application's one window. It takes the device's remote-control
// commands (headset and lock-screen play, pause, next, previous) as its own
// first responder and hands them to the audio player that last played; it
// lets any object watch every event and every subview change through
// VKWindowObserver; and it decides rotation under the orientation lock and
// the passcode lock before the toolkit's own rule (the root controller).

#include "Platform/UI/Window.h"

#include <functional>
#include <memory>
#include <vector>

class VKWindowObserver;

class VKWindow : public ui::Window {
public:
    // A window that receives remote-control events while it lives.
    static std::shared_ptr<VKWindow> create(const gfx::Rect& frame);
    ~VKWindow() override;

    // Observers are held weakly and kept once each (by identity), in the
    // order added; a null one is ignored.
    void addObserver(const std::shared_ptr<VKWindowObserver>& observer);
    void removeObserver(const VKWindowObserver* observer);
    size_t observerCountForTesting() const;

    // Every observer first, in order, then the window's own dispatch.
    void sendEvent(const ui::Event& event) override;
    void didAddSubview(ui::View* subview) override;
    void willRemoveSubview(ui::View* subview) override;
    bool shouldAutorotate(ui::Orientation orientation) override;

    bool canBecomeFirstResponder() const override { return true; }
    // Play (100) to previous track (105) go to the most recent audio player
    // while it has something loaded; without one the command goes to the
    // next responder. Other commands and events do nothing.
    void remoteControlReceived(const ui::Event& event) override;

private:
    void setupRemoteControl();
    void forEachObserver(const std::function<void(VKWindowObserver&)>& call);
    bool isObserving(const VKWindowObserver* observer) const;

    std::vector<std::weak_ptr<VKWindowObserver>> m_observers;
    bool m_receivingRemoteControl = false;
};

// The window's rotation rule, in this order: with the orientation locked only
// the current status-bar orientation; while the passcode lock is up, what
// the lock's controller says; otherwise the toolkit's rule. Orientations
// outside 1–4 are refused.
bool VKWindowShouldAutorotate(VKWindow& window, ui::Orientation orientation);
