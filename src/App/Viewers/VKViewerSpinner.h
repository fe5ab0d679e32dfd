#pragma once

// A viewer's spinner: the activity indicator in the middle of the viewer's
// root view (inside its content view once there is one) and its start at
// once or after a delay on the run loop's clock. The viewer owns it as a
// member; it outlives nothing of the viewer's.

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/ActivityIndicator.h"

#include <memory>

namespace core {
class Timer;
} // namespace core

class VKViewerSpinner {
public:
    VKViewerSpinner() = default;
    ~VKViewerSpinner();
    VKViewerSpinner(const VKViewerSpinner&) = delete;
    VKViewerSpinner& operator=(const VKViewerSpinner&) = delete;

    // Puts the spinner in `parent`, centred in `rootBounds`, and starts it
    // at once or `delay` seconds later. A request while it spins is ignored.
    void start(ui::ActivityIndicator::Style style, double delay, ui::View& parent, const gfx::Rect& rootBounds);
    // Stops and removes it; a pending start is cancelled.
    void stop();
    // A spinner already there goes over `content` rather than under it.
    void moveInto(ui::View& content);
    ui::ActivityIndicator* indicator() const { return m_indicator.get(); }

private:
    void cancelPendingStart();

    std::shared_ptr<ui::ActivityIndicator> m_indicator;
    std::shared_ptr<core::Timer> m_startTimer;
};
