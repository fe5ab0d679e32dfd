#include "Platform/UI/ChoiceView.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

#include <algorithm>

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
    button->addTarget(shared_from_this(), "buttonPressed", [this, index](Control&, const Event*) {
        buttonPressed(index);
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

gfx::Rect ChoiceView::interfaceBounds(const Window& window)
{
    return window.interfaceBounds();
}

gfx::AffineTransform ChoiceView::interfaceToWindow(const Window& window)
{
    return window.interfaceToWindow();
}

void ChoiceView::placeInInterface(const gfx::Rect& rect)
{
    Window* window = this->window();
    if (!window) {
        if (rect != frame())
            setFrame(rect);
        return;
    }
    gfx::Point center = interfaceToWindow(*window).apply(gfx::Point { rect.midX(), rect.midY() });
    gfx::AffineTransform turn = interfaceToWindow(*window);
    turn.tx = turn.ty = 0;
    if (transform() != turn)
        setTransform(turn);
    if (bounds() != gfx::Rect { 0, 0, rect.width(), rect.height() })
        setBounds({ 0, 0, rect.width(), rect.height() });
    if (this->center() != center)
        setCenter(center);
}

void ChoiceView::presented(bool animated)
{
    m_visible = true;
    m_dismissing = false;
    std::weak_ptr<core::Object> weakView = weak_from_this();
    m_interfaceTurned = core::NotificationCenter::defaultCenter().observe(
        Application::didChangeStatusBarOrientationNotification, nullptr, [weakView](const core::Notification&) {
            if (auto view = std::static_pointer_cast<View>(weakView.lock()))
                view->setNeedsLayout();
        });
    for (int i = 0; i < numberOfButtons(); ++i)
        m_buttons[size_t(i)]->setHidden(!showsButton(i));
    auto self = std::static_pointer_cast<ChoiceView>(shared_from_this());
    sendWillPresent();
    if (!animated)
        return sendDidPresent();
    core::RunLoop::main().performAfter(self, PresentDuration, [](ChoiceView& self) {
        if (self.m_visible)
            self.sendDidPresent();
    });
}

void ChoiceView::buttonPressed(int index)
{
    dismiss(index, true);
}

std::optional<int> ChoiceView::soleChoice(int buttons, int cancelIndex)
{
    std::optional<int> other;
    for (int i = 0; i < buttons; ++i) {
        if (i == cancelIndex)
            continue;
        if (other)
            return std::nullopt;
        other = i;
    }
    if (!other && cancelIndex >= 0 && cancelIndex < buttons)
        return cancelIndex;
    return other;
}

bool ChoiceView::performKeyCommand(KeyCommand command)
{
    if (!m_visible || m_dismissing)
        return false;
    switch (command) {
    case KeyCommand::Escape:
        dismiss(m_cancelIndex, true);
        break;
    case KeyCommand::Return:
        if (m_keyHighlight)
            buttonPressed(*m_keyHighlight);
        else if (m_preferredIndex >= 0 && m_preferredIndex < numberOfButtons())
            buttonPressed(m_preferredIndex);
        else if (auto index = defaultButtonIndex())
            buttonPressed(*index);
        break;
    case KeyCommand::Up:
    case KeyCommand::Left:
        moveKeyHighlight(-1);
        break;
    case KeyCommand::Down:
    case KeyCommand::Right:
        moveKeyHighlight(1);
        break;
    default:
        break;
    }
    return true;
}

void ChoiceView::moveKeyHighlight(int step)
{
    layoutIfNeeded();
    std::vector<int> shown;
    for (int i = 0; i < numberOfButtons(); ++i)
        if (showsButton(i) && !m_buttons[size_t(i)]->isHidden())
            shown.push_back(i);
    if (shown.empty())
        return;
    // Reading order: a sheet's column top down, an alert's row left to right.
    std::stable_sort(shown.begin(), shown.end(), [this](int a, int b) {
        gfx::Rect first = m_buttons[size_t(a)]->frame(), second = m_buttons[size_t(b)]->frame();
        return first.y() != second.y() ? first.y() < second.y() : first.x() < second.x();
    });
    auto at = m_keyHighlight ? std::find(shown.begin(), shown.end(), *m_keyHighlight) : shown.end();
    int next = at == shown.end() ? (step > 0 ? 0 : int(shown.size()) - 1)
                                 : std::clamp(int(at - shown.begin()) + step, 0, int(shown.size()) - 1);
    if (m_keyHighlight)
        m_buttons[size_t(*m_keyHighlight)]->setHighlighted(false);
    m_keyHighlight = shown[size_t(next)];
    m_buttons[size_t(*m_keyHighlight)]->setHighlighted(true);
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
    m_interfaceTurned = {};
    if (auto highlighted = std::exchange(m_keyHighlight, std::nullopt))
        m_buttons[size_t(*highlighted)]->setHighlighted(false);
    removeFromScreen();
    m_dismissing = false;
    if (!animated)
        return sendDidDismiss(index);
    core::RunLoop::main().performAfter(DismissDuration, [self, index] { self->sendDidDismiss(index); });
}

} // namespace ui
