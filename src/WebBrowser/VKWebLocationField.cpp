#include "WebBrowser/VKWebLocationField.h"

#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"

namespace {

std::shared_ptr<gfx::Image> stopImage() { return ui::Images::imageNamed("VKTextFieldControlStop.png"); }
std::shared_ptr<gfx::Image> refreshImage() { return ui::Images::imageNamed("VKTextFieldControlRefresh.png"); }

} // namespace

VKWebLocationField::VKWebLocationField()
    : m_rightButton(ui::Button::create(ui::Button::Type::Custom))
{
    m_rightButton->setAdjustsImageWhenHighlighted(false);
    m_rightButton->setImage(refreshImage(), Normal);
    auto image = stopImage();
    m_rightButton->setBounds({ 0, 0, image ? image->size().width : 0, image ? image->size().height : 0 });
    setRightViewMode(ViewMode::UnlessEditing);
}

std::shared_ptr<VKWebLocationField> VKWebLocationField::create(const gfx::Rect& frame)
{
    auto field = View::make<VKWebLocationField>(frame);
    field->m_rightButton->addTarget(field, "rightButtonTapped",
        [raw = field.get()](ui::Control&, const ui::Event*) { raw->rightButtonTapped(); }, TouchUpInside);
    return field;
}

std::string VKWebLocationField::displayText(const core::URL& url)
{
    std::string text = url.resourceSpecifier();
    if (text.starts_with("//"))
        text.erase(0, 2);
    return text;
}

void VKWebLocationField::setURL(std::optional<core::URL> url)
{
    m_url = std::move(url);
    if (!isEditing())
        setText(m_url ? displayText(*m_url) : std::string());
}

void VKWebLocationField::setLoading(bool loading)
{
    if (loading == m_loading)
        return;
    m_loading = loading;
    m_rightButton->setImage(loading ? stopImage() : refreshImage(), Normal);
    if ((m_loading || m_reloadEnabled) && !rightView())
        setRightView(m_rightButton);
}

void VKWebLocationField::setReloadEnabled(bool enabled)
{
    if (enabled == m_reloadEnabled)
        return;
    m_reloadEnabled = enabled;
    setRightView(enabled ? m_rightButton : nullptr);
}

void VKWebLocationField::rightButtonTapped()
{
    if (m_loading)
        sendActions(StopEvent);
    else if (m_reloadEnabled)
        sendActions(ReloadEvent);
}
