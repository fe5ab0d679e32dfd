#include "Platform/UI/Transition.h"

namespace ui {

void Transition::fill(LayerAnimation& record, const Layer&) const
{
    record.keyPath = Key;
    record.transitionType = m_type.empty() ? "fade" : m_type;
    record.transitionSubtype = m_subtype.empty() ? "fromLeft" : m_subtype;
    record.from = 0.0f;
    record.to = 1.0f;
}

} // namespace ui
