#include "Shell/Interface/VKAlertView.h"

#include "Platform/UI/ActivityIndicator.h"

#include <cmath>

std::shared_ptr<VKAlertView> VKAlertView::create(std::string title, std::string message,
    std::weak_ptr<ui::AlertViewDelegate> delegate, std::optional<std::string> cancelTitle,
    const std::vector<std::string>& otherTitles)
{
    auto alert = std::make_shared<VKAlertView>();
    setUp(*alert, std::move(title), std::move(message), std::move(delegate), std::move(cancelTitle), otherTitles);
    return alert;
}

VKAlertView::~VKAlertView() = default;

void VKAlertView::addActivityIndicator()
{
    if (m_activityIndicator)
        return;
    // The toolkit's alerts are light: a white spinner would not show on them.
    m_activityIndicator = ui::ActivityIndicator::create(ui::ActivityIndicator::Style::Gray);
    addSubview(m_activityIndicator);
    m_activityIndicator->startAnimating();
    setMessage(message());
}

void VKAlertView::setMessage(std::string message)
{
    if (m_activityIndicator) {
        size_t first = message.find_first_not_of("\r\n");
        size_t last = message.find_last_not_of("\r\n");
        message = first == std::string::npos ? std::string() : message.substr(first, last - first + 1);
        // Two empty lines below the text, or two lines of nothing.
        message += message.empty() ? "\n" : "\n\n";
    }
    AlertView::setMessage(std::move(message));
}

void VKAlertView::layoutSubviews()
{
    AlertView::layoutSubviews();
    if (!m_activityIndicator || numberOfButtons() == 0)
        return;
    m_activityIndicator->sizeToFit();
    gfx::Size spinner = m_activityIndicator->bounds().size;
    float x = std::trunc((bounds().width() - spinner.width) / 2);
    float y = buttonRowRect().minY() - SpinnerGap - spinner.height;
    m_activityIndicator->setFrame({ x, y, spinner.width, spinner.height });
}
