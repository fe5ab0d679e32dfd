#include "Shell/Interface/AlertViewAdditions.h"

#include "Platform/UI/AlertView.h"

std::shared_ptr<ui::AlertView> showAlertViewWithTitle(std::string title, std::string message, std::string cancelButtonTitle)
{
    auto alert = ui::AlertView::create(std::move(title), std::move(message), {}, std::move(cancelButtonTitle));
    alert->show();
    return alert;
}

std::shared_ptr<ui::AlertView> showAlertViewWithMessage(std::string message, std::string cancelButtonTitle)
{
    return showAlertViewWithTitle("", std::move(message), std::move(cancelButtonTitle));
}
