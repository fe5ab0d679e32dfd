#include "Viewers/Text/VKTextView.h"

std::shared_ptr<VKTextView> VKTextView::create(const gfx::Rect& frame)
{
    return make<VKTextView>(frame);
}
