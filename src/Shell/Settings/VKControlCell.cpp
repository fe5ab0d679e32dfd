#include "Shell/Settings/VKControlCell.h"

#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"

void VKControlCell::setEnabled(bool enabled)
{
    m_enabled = enabled;
    label().setTextColor(enabled ? ui::StandardColors::black() : ui::StandardColors::gray());
}
