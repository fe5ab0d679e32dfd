#include "Viewers/Web/VKWebBackForward.h"

#include "Viewers/Web/VKWebViewController.h"

#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/SegmentedControl.h"

std::shared_ptr<ui::BarButtonItem> VKWebBackForward::item()
{
    if (m_item)
        return m_item;
    m_control = ui::SegmentedControl::create({
        ui::SegmentedControl::Item(ui::Images::imageNamed("VKButtonBarArrowPreviousShadow.png")),
        ui::SegmentedControl::Item(ui::Images::imageNamed("VKButtonBarArrowNextShadow.png")),
    });
    m_control->setMomentary(true);
    m_control->setSegmentedControlStyle(ui::SegmentedControl::Style::Bar);
    m_control->setTintColor(gfx::Color::white(1.0f / 3));
    m_control->setWidth(VKWebViewController::BackForwardSegmentWidth, 0);
    m_control->setWidth(VKWebViewController::BackForwardSegmentWidth, 1);
    std::weak_ptr<VKWebViewController> weak = m_viewer.sharedAs<VKWebViewController>();
    m_control->addTarget(m_viewer.shared_from_this(), "webViewGoBackorForward",
        [weak](ui::Control& sender, const ui::Event*) {
            auto self = weak.lock();
            auto& control = static_cast<ui::SegmentedControl&>(sender);
            if (self && control.selectedSegmentIndex() >= 0)
                self->webViewGoBackOrForward(control.selectedSegmentIndex());
        },
        ui::Control::ValueChanged);
    m_item = ui::BarButtonItem::create(m_control);
    update();
    return m_item;
}

void VKWebBackForward::go(int segment)
{
    auto* webView = m_viewer.webView();
    if (!webView)
        return;
    if (segment == 0)
        webView->goBack();
    else
        webView->goForward();
}

void VKWebBackForward::update()
{
    if (!m_control)
        return;
    auto* webView = m_viewer.webView();
    m_control->setEnabled(webView && webView->canGoBack(), 0);
    m_control->setEnabled(webView && webView->canGoForward(), 1);
}

void VKWebBackForward::reset()
{
    m_item.reset();
    m_control.reset();
}
