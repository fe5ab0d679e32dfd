#pragma once

// One-call alerts that only tell: a message and a single button that
// closes them.

#include <memory>
#include <string>

namespace ui {
class AlertView;
}

std::shared_ptr<ui::AlertView> showAlertViewWithTitle(std::string title, std::string message, std::string cancelButtonTitle);
// The same with an empty title.
std::shared_ptr<ui::AlertView> showAlertViewWithMessage(std::string message, std::string cancelButtonTitle);
