#include "Viewers/PDF/VKOverlayView.h"

std::shared_ptr<VKOverlayView> VKOverlayView::create(const gfx::Rect& frame)
{
    return ui::View::make<VKOverlayView>(frame);
}
