#pragma once

#include "Platform/Core/Observation.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace core {
class Notification;
class Timer;
}
namespace ui {
class View;
class Window;
}
class VKFileResource;
class VKImageViewController;

// The picture viewer's timed slide show: the pass of slides left (in the
// folder's order from the shown picture, or shuffled), the timer to the
// next one, the count of slides that failed in a row, the second screen's
// window the picture moves to while it runs there, and the presenting of
// its settings. The viewer owns
// it; timers and observers hold the viewer weakly.
class VKImageSlideShow {
public:
    explicit VKImageSlideShow(VKImageViewController& viewer);
    ~VKImageSlideShow();

    bool isActive() const { return m_active; }
    const std::optional<std::vector<std::shared_ptr<VKFileResource>>>& resources() const { return m_resources; }
    ui::Window* externalWindow() const { return m_externalWindow.get(); }
    ui::View* externalPlaceholderView() const { return m_externalPlaceholderView.get(); }
    // The slide's time and its transition's.
    double timeout() const;

    void start();
    // Shows the next slide of the pass, or stops at its end.
    void advance();
    void stop(bool updateButtons);
    // Stops a running show; else presents the show's settings over the
    // viewer, with a Done button that dismisses them.
    void showSettings();
    // After the slide's time, or after `delay`.
    void scheduleAdvance(std::optional<double> delay = std::nullopt);
    void slideDidLoad() { m_failedSlides = 0; }
    // Whether the show passes over the slide that failed: it does until
    // every picture of a pass has failed in a row.
    bool passesOverFailedSlide();
    void viewerDidShowUI();
    void screenDidDisconnect(const core::Notification& notification);

private:
    void cancelAdvance();
    void dismantleExternalWindow();

    VKImageViewController& m_viewer;
    bool m_active = false;
    size_t m_failedSlides = 0;
    std::optional<std::vector<std::shared_ptr<VKFileResource>>> m_resources;
    std::shared_ptr<core::Timer> m_advanceTimer;
    core::Observation m_showUIObservation;
    std::shared_ptr<ui::Window> m_externalWindow;
    std::shared_ptr<ui::View> m_externalPlaceholderView;
};
