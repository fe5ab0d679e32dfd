#include "Platform/UI/PrintFormatter.h"

#include "Platform/UI/View.h"

namespace ui {

std::shared_ptr<PrintFormatter> PrintFormatter::create(const std::shared_ptr<View>& view)
{
    auto formatter = std::make_shared<PrintFormatter>();
    formatter->setView(view);
    return formatter;
}

} // namespace ui
