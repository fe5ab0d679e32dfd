#pragma once

// A gesture recognizer: watches the touches of its view and the view's
// descendants and turns them into one gesture. Discrete gestures (tap,
// swipe) go from possible straight to recognized; continuous ones (long
// press, pan, pinch) begin, change and end. The touch router decides who
// wins: a recognizer that requires another to fail waits for it, recognizers
// exclude each other unless their delegates allow both, and a winner cancels
// the view's touches. Timed parts run on the main run loop's clock.

#include "Platform/Core/Object.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Responder.h"
#include "Platform/UI/TargetAction.h"

#include <memory>
#include <optional>
#include <vector>

namespace ui {

class Event;
class GestureRecognizer;
class Touch;
class View;

class GestureRecognizerDelegate {
public:
    virtual ~GestureRecognizerDelegate() = default;
    // Asked as the recognizer is about to begin or recognize; false fails it.
    virtual bool shouldBegin(GestureRecognizer&) { return true; }
    // Asked at touch-down; false keeps the touch from it.
    virtual bool shouldReceiveTouch(GestureRecognizer&, const Touch&) { return true; }
    virtual bool shouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) { return false; }
};

class GestureRecognizer : public core::Object {
public:
    enum class State { Possible = 0, Began = 1, Changed = 2, Ended = 3, Cancelled = 4, Failed = 5 };
    static constexpr State Recognized = State::Ended;

    GestureRecognizer();
    ~GestureRecognizer() override;

    // Actions run on each state change that reports (began, changed,
    // recognized or ended, cancelled).
    void addTarget(const std::shared_ptr<core::Object>& target, std::string action,
        std::function<void(GestureRecognizer&)> function);
    void removeTarget(const core::Object* target, std::string_view action = {});
    const TargetActionList<GestureRecognizer&>& targets() const { return m_targets; }

    State state() const { return m_state; }
    View* view() const { return m_view; }
    bool isEnabled() const { return m_enabled; }
    // Disabling a recognizer mid-gesture cancels it (fails it while only
    // possible); enabled again it starts out possible.
    void setEnabled(bool enabled);
    bool cancelsTouchesInView() const { return m_cancelsTouchesInView; }
    void setCancelsTouchesInView(bool cancels) { m_cancelsTouchesInView = cancels; }
    bool delaysTouchesBegan() const { return m_delaysTouchesBegan; }
    void setDelaysTouchesBegan(bool delays) { m_delaysTouchesBegan = delays; }
    bool delaysTouchesEnded() const { return m_delaysTouchesEnded; }
    void setDelaysTouchesEnded(bool delays) { m_delaysTouchesEnded = delays; }
    std::shared_ptr<GestureRecognizerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<GestureRecognizerDelegate> delegate) { m_delegate = std::move(delegate); }

    // This recognizer recognizes only once `other` failed.
    void requireToFail(const std::shared_ptr<GestureRecognizer>& other) { m_requiredToFail = other; }
    std::shared_ptr<GestureRecognizer> requiredToFail() const { return m_requiredToFail.lock(); }

    // The centroid of the recognizer's touches in `view`'s space; once they
    // ended, where they were last (a recognizer waiting for another's
    // failure reports after its touches are gone).
    virtual gfx::Point locationInView(const View* view) const;
    size_t numberOfTouches() const { return m_touches.size(); }
    const TouchSet& touches() const { return m_touches; }

    // Subclasses watch the touches and call setState.
    virtual void touchesBegan(const TouchSet& touches, const Event& event);
    virtual void touchesMoved(const TouchSet& touches, const Event& event);
    virtual void touchesEnded(const TouchSet& touches, const Event& event);
    virtual void touchesCancelled(const TouchSet& touches, const Event& event);
    // Back to possible, forgetting the gesture.
    virtual void reset();

    // Whether this recognizer may begin while `other` has (simultaneous
    // recognition through either delegate).
    bool canRecognizeWith(GestureRecognizer& other);

    std::string description() const override;

protected:
    // A subclass's wish; the router applies failure requirements, delegate
    // consent, canBegin and exclusion before the state changes and actions
    // run.
    void setState(State state);
    // Asked, after the delegate, as the gesture is about to begin or
    // recognize; false fails it.
    virtual bool canBegin() const { return true; }
    // Recognizes the gesture at once, outside the touch router, for input
    // the toolkit saw no touches of (a click on a live web page): unless
    // touches are under way, the delegate and canBegin are asked, the
    // actions run with the location at `windowLocation`, and the recognizer
    // is possible again.
    void recognizeWithoutTouches(gfx::Point windowLocation);
    // Runs `fire` after `seconds` on the main loop unless the gesture reset
    // first.
    void scheduleTimer(double seconds, std::function<void()> fire);
    void cancelTimer();

private:
    friend class TouchRouter;
    friend class View;
    void setView(View* view);
    void applyState(State state);

    View* m_view = nullptr;
    State m_state = State::Possible;
    std::optional<State> m_pending; // waiting for the failure of another
    bool m_enabled = true;
    bool m_cancelsTouchesInView = true;
    bool m_delaysTouchesBegan = false;
    bool m_delaysTouchesEnded = true;
    std::weak_ptr<GestureRecognizerDelegate> m_delegate;
    std::weak_ptr<GestureRecognizer> m_requiredToFail;
    TargetActionList<GestureRecognizer&> m_targets;
    TouchSet m_touches;
    std::optional<gfx::Point> m_lastWindowLocation;
    std::shared_ptr<int> m_timerToken;
};

} // namespace ui
