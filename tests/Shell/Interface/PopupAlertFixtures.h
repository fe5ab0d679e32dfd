#pragma once

#include "Shell/Interface/VKPopupAlert.h"

#include <memory>
#include <string>

namespace test {

// A popup asking for one text: a field, then a cancel button and the
// button that takes the text, in that order.
inline std::shared_ptr<VKPopupAlert> fieldPopup(std::string title, std::string placeholder, std::string text,
    std::string action, std::weak_ptr<VKPopupAlertDelegate> delegate)
{
    auto popup = VKPopupAlert::create(std::move(title), std::move(delegate));
    popup->addTextFieldWithPlaceholder(std::move(placeholder), std::move(text));
    popup->addCancelButtonWithTitle("Cancel");
    popup->addButtonWithTitle(std::move(action));
    return popup;
}

} // namespace test
