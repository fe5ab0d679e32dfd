#include "Shell/Interface/VKBadgedButton.h"

#include "Shell/Interface/ButtonAdditions.h"
#include "Platform/Core/UTF8.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"

#include <algorithm>

std::shared_ptr<VKBadgedButton> VKBadgedButton::create(const gfx::Rect& frame)
{
    return View::make<VKBadgedButton>(frame);
}

void VKBadgedButton::setBadgeInsets(const gfx::EdgeInsets& insets)
{
    m_badgeInsets = insets;
    setNeedsLayout();
}

std::optional<std::string> VKBadgedButton::badgeValue() const
{
    if (!m_badgeView)
        return std::nullopt;
    return m_badgeView->titleForState(Normal);
}

void VKBadgedButton::setBadgeValue(std::optional<std::string> value)
{
    if (value)
        value = core::utf8::sanitized(*value);
    if (value && value->empty())
        value.reset();
    if (value == badgeValue())
        return;
    if (!value) {
        m_badgeView->removeFromSuperview();
        m_badgeView.reset();
        setNeedsLayout();
        return;
    }
    if (!m_badgeView) {
        m_badgeView = badgeButton();
        m_badgeView->setEnabled(isEnabled());
        m_badgeView->addTarget(shared_from_this(), "handleBadgeViewTouchDown", [this](ui::Control&, const ui::Event*) {
            handleBadgeViewTouchDown();
        }, TouchDown);
        m_badgeView->addTarget(shared_from_this(), "handleBadgeViewTouchUpInsideEvent", [this](ui::Control&, const ui::Event*) {
            handleBadgeViewTouchUpInsideEvent();
        }, TouchUpInside);
        addSubview(m_badgeView);
    }
    m_badgeView->setTitle(*value, Normal);
    setNeedsLayout();
}

void VKBadgedButton::handleBadgeViewTouchDown()
{
    sendActions(TouchDown);
}

void VKBadgedButton::handleBadgeViewTouchUpInsideEvent()
{
    sendActions(TouchUpInside);
}

void VKBadgedButton::setEnabled(bool enabled)
{
    Button::setEnabled(enabled);
    if (m_badgeView)
        m_badgeView->setEnabled(enabled);
}

void VKBadgedButton::layoutSubviews()
{
    Button::layoutSubviews();
    if (!m_badgeView)
        return;
    gfx::Size image = m_badgeView->currentBackgroundImage().size();
    gfx::EdgeInsets titleInsets = m_badgeView->titleEdgeInsets();
    float titleWidth = ui::Fonts::sizeOfString(m_badgeView->currentTitle(), m_badgeView->titleLabel().font()).width;
    float width = std::max(image.width, titleWidth + titleInsets.left + titleInsets.right);
    float height = image.height;
    gfx::Rect b = bounds();
    m_badgeView->setFrame({ b.maxX() - width * 0.5f - m_badgeInsets.right, m_badgeInsets.top - height * 0.25f, width,
        height });
}
