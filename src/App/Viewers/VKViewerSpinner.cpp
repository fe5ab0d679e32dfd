#include "App/Viewers/VKViewerSpinner.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

VKViewerSpinner::~VKViewerSpinner()
{
    cancelPendingStart();
}

void VKViewerSpinner::start(ui::ActivityIndicator::Style style, double delay, ui::View& parent,
    const gfx::Rect& rootBounds)
{
    if (m_indicator && m_indicator->isAnimating())
        return;
    if (!m_indicator) {
        m_indicator = ui::ActivityIndicator::create(style);
        m_indicator->setAutoresizingMask(ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin
            | ui::View::FlexibleTopMargin | ui::View::FlexibleBottomMargin);
        m_indicator->setHidesWhenStopped(true);
    } else {
        m_indicator->setActivityIndicatorViewStyle(style);
    }
    if (m_indicator->superview() != &parent)
        parent.addSubview(m_indicator);
    m_indicator->setCenter({ rootBounds.width() / 2, rootBounds.height() / 2 });

    cancelPendingStart();
    if (delay <= 0) {
        m_indicator->startAnimating();
        return;
    }
    // The timer goes with the spinner (see the destructor), so `this` is
    // alive whenever it fires.
    m_startTimer = core::RunLoop::main().schedule(delay, false, [this](core::Timer&) {
        m_startTimer.reset();
        if (m_indicator)
            m_indicator->startAnimating();
    });
}

void VKViewerSpinner::stop()
{
    cancelPendingStart();
    if (auto spinner = std::move(m_indicator)) {
        spinner->stopAnimating();
        spinner->removeFromSuperview();
    }
}

void VKViewerSpinner::moveInto(ui::View& content)
{
    if (m_indicator && m_indicator->superview() != &content)
        content.addSubview(m_indicator);
}

void VKViewerSpinner::cancelPendingStart()
{
    if (m_startTimer) {
        m_startTimer->invalidate();
        m_startTimer.reset();
    }
}
