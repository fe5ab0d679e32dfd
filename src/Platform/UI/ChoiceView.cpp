#include "Platform/UI/ChoiceView.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Checks.h"

#include <fmt/format.h>

namespace ui {

ChoiceView::ChoiceView() = default;

void ChoiceView::setTitle(std::string title)
{
    m_title = std::move(title);
    setNeedsLayout();
}

std::shared_ptr<Button> ChoiceView::makeButton(const std::string& title)
{
    auto button = Button::create(Button::Type::RoundedRect);
    button->setTitle(title, Control::Normal);
    return button;
}

int ChoiceView::addButton(std::string title)
{
    requireMainThread("ChoiceView::addButton");
    int index = int(m_buttons.size());
    auto button = makeButton(title);
    std::weak_ptr<core::Object> weakSelf = weak_from_this();
    button->addTarget(nullptr, "buttonPressed", [weakSelf, index](Control&, const Event*) {
        if (auto self = std::static_pointer_cast<ChoiceView>(weakSelf.lock()))
            self->buttonPressed(index);
    }, Control::TouchUpInside);
    m_buttons.push_back(button);
    addSubview(button);
    setNeedsLayout();
    return index;
}

std::string ChoiceView::buttonTitle(int index) const
{
    if (index < 0 || index >= numberOfButtons())
        throw core::Exception(core::Exception::RangeError,
            fmt::format("{}::buttonTitle: index {} beyond {} buttons", className(), index, numberOfButtons()));
    return m_buttons[size_t(index)]->titleForState(Control::Normal).value_or("");
}

Button* ChoiceView::button(int index) const
{
    return index >= 0 && index < numberOfButtons() ? m_buttons[size_t(index)].get() : nullptr;
}

void ChoiceView::setCancelButtonIndex(int index)
{
    m_cancelIndex = index;
    setNeedsLayout();
}

void ChoiceView::presented(bool animated)
{
    m_visible = true;
    m_dismissing = false;
    for (int i = 0; i < numberOfButtons(); ++i)
        m_buttons[size_t(i)]->setHidden(!showsButton(i));
    auto self = std::static_pointer_cast<ChoiceView>(shared_from_this());
    sendWillPresent();
    if (!animated)
        return sendDidPresent();
    std::weak_ptr<ChoiceView> weakSelf = self;
    core::RunLoop::main().performAfter(PresentDuration, [weakSelf] {
        if (auto self = weakSelf.lock(); self && self->m_visible)
            self->sendDidPresent();
    });
}

void ChoiceView::buttonPressed(int index)
{
    dismiss(index, true);
}

void ChoiceView::dismiss(int index, bool animated)
{
    requireMainThread("ChoiceView::dismiss");
    if (!m_visible || m_dismissing)
        return;
    // The window owns a shown choice: keep it through the callbacks and
    // until did-dismiss.
    auto self = std::static_pointer_cast<ChoiceView>(shared_from_this());
    m_dismissing = true;
    sendClicked(index);
    if (!m_visible)
        return;
    sendWillDismiss(index);
    m_visible = false;
    removeFromScreen();
    m_dismissing = false;
    if (!animated)
        return sendDidDismiss(index);
    core::RunLoop::main().performAfter(DismissDuration, [self, index] { self->sendDidDismiss(index); });
}

} // namespace ui
