#include "WebBrowser/VKWebHistorySearchPlaceholderView.h"

#include "WebBrowser/VKWebHistorySearchController.h"

std::shared_ptr<VKWebHistorySearchPlaceholderView> VKWebHistorySearchPlaceholderView::create()
{
    return std::make_shared<VKWebHistorySearchPlaceholderView>();
}

void VKWebHistorySearchPlaceholderView::touchesBegan(const ui::TouchSet&, const ui::Event&)
{
    if (m_controller)
        m_controller->placeholderTouched();
}
