#pragma once

// One finger on the screen for the life of its touch. Its location is kept in
// the screen's space and read in any view's. It keeps the view it was
// hit-tested to until it ends, even when that view leaves its window.

#include "Platform/Core/Object.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <utility>
#include <vector>

namespace ui {

class GestureRecognizer;
class View;
class Window;

class Touch : public core::Object {
public:
    enum class Phase { Began = 0, Moved = 1, Stationary = 2, Ended = 3, Cancelled = 4 };

    static std::shared_ptr<Touch> create(gfx::Point locationOnScreen, double timestamp);

    Phase phase() const { return m_phase; }
    double timestamp() const { return m_timestamp; }
    int tapCount() const { return m_tapCount; }
    const std::shared_ptr<View>& view() const { return m_view; }
    Window* window() const { return m_windowAlive.expired() ? nullptr : m_window; }

    // In `view`'s space (null: the window's).
    gfx::Point locationInView(const View* view) const;
    gfx::Point previousLocationInView(const View* view) const;
    gfx::Point locationInWindow() const;
    gfx::Point locationOnScreen() const { return m_location; }

    // The recognizers that receive this touch, fixed at touch-down.
    std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers() const;

    // Moves the touch on (the application's dispatch and the driver).
    void update(Phase phase, gfx::Point locationOnScreen, double timestamp);
    void setTapCount(int count) { m_tapCount = count; }
    void setHitTest(std::shared_ptr<View> view, Window* window);
    void setGestureRecognizers(std::vector<std::weak_ptr<GestureRecognizer>> recognizers)
    {
        m_recognizers = std::move(recognizers);
    }
    // Touches handed to the view; once cancelled there it hears no more.
    bool isDeliveredToView() const { return m_delivered; }
    void setDeliveredToView(bool delivered) { m_delivered = delivered; }
    bool isCancelledInView() const { return m_cancelledInView; }
    void setCancelledInView(bool cancelled) { m_cancelledInView = cancelled; }
    bool isEndDelayed() const { return m_endDelayed; }
    void setEndDelayed(bool delayed) { m_endDelayed = delayed; }
    // A touch that landed in a scroll view's content, held back from the
    // content (its view and the recognizers inside it) until the scroll
    // view's delay passes or the finger lifts.
    bool isContentDelayed() const { return m_contentDelayed; }
    void holdContent(std::vector<std::weak_ptr<GestureRecognizer>> contentRecognizers)
    {
        m_heldRecognizers = std::move(contentRecognizers);
        m_contentDelayed = true;
    }
    // Ends the hold; answers the recognizers held back.
    std::vector<std::weak_ptr<GestureRecognizer>> releaseContent()
    {
        m_contentDelayed = false;
        return std::exchange(m_heldRecognizers, {});
    }
    // Ends the hold on the view once the touch is over.
    void releaseView();

private:
    Phase m_phase = Phase::Began;
    gfx::Point m_location;
    gfx::Point m_previous;
    double m_timestamp = 0;
    int m_tapCount = 1;
    std::shared_ptr<View> m_view;
    Window* m_window = nullptr;
    std::weak_ptr<core::Object> m_windowAlive;
    std::vector<std::weak_ptr<GestureRecognizer>> m_recognizers;
    std::vector<std::weak_ptr<GestureRecognizer>> m_heldRecognizers;
    bool m_contentDelayed = false;
    bool m_delivered = false;
    bool m_cancelledInView = false;
    bool m_endDelayed = false;
};

} // namespace ui
