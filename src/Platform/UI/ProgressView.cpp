#include "Platform/UI/ProgressView.h"

#include "Platform/UI/LayerInPlaceDrawing.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace ui {

std::shared_ptr<ProgressView> ProgressView::create(Style style)
{
    auto view = View::make<ProgressView>({ 0, 0, 150, Height });
    view->setProgressViewStyle(style);
    // A track and a fill: cheaper drawn again than kept as a picture.
    LayerInPlaceDrawing::mark(&view->layer());
    return view;
}

void ProgressView::setProgress(float progress)
{
    float clamped = std::isnan(progress) ? 0.0f : std::clamp(progress, 0.0f, 1.0f);
    if (clamped == m_progress)
        return;
    m_progress = clamped;
    setNeedsDisplay();
}

void ProgressView::setProgressViewStyle(Style style)
{
    m_style = style;
    setNeedsDisplay();
}

gfx::Size ProgressView::sizeThatFits(gfx::Size size) const
{
    return { size.width > 0 ? size.width : 150, Height };
}

std::string ProgressView::debugText() const
{
    return fmt::format("{:g}", m_progress);
}

} // namespace ui
