#include "Platform/UI/AlertView.h"

#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Window.h"

namespace ui {

namespace {

constexpr float AlertTopMargin = 16;
constexpr float TextSpacing = 8;
constexpr float AlertBottomMargin = 16;
// Between two buttons side by side.
constexpr float RowSpacing = 6;

// Made for the first alert shown and dropped when the last one goes.
std::shared_ptr<Window> shownWindow;
// The window that was key before the alert window took over.
std::weak_ptr<core::Object> previousKeyWindow;

} // namespace

std::shared_ptr<AlertView> AlertView::create(std::string title, std::string message,
    std::weak_ptr<AlertViewDelegate> delegate, std::optional<std::string> cancelTitle,
    const std::vector<std::string>& otherTitles)
{
    auto alert = std::make_shared<AlertView>();
    setUp(*alert, std::move(title), std::move(message), std::move(delegate), std::move(cancelTitle), otherTitles);
    return alert;
}

void AlertView::setUp(AlertView& alert, std::string title, std::string message,
    std::weak_ptr<AlertViewDelegate> delegate, std::optional<std::string> cancelTitle,
    const std::vector<std::string>& otherTitles)
{
    alert.setTitle(std::move(title));
    alert.setMessage(std::move(message));
    alert.setDelegate(std::move(delegate));
    if (cancelTitle)
        alert.setCancelButtonIndex(alert.addButton(*cancelTitle));
    for (auto& other : otherTitles)
        alert.addButton(other);
}

AlertView::AlertView()
{
    m_titleLabel = Label::create();
    m_titleLabel->setFont(Fonts::boldSystemFont(Fonts::LabelFontSize));
    m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_titleLabel->setNumberOfLines(0);
    addSubview(m_titleLabel);
    m_messageLabel = Label::create();
    m_messageLabel->setFont(Fonts::systemFont(Fonts::LabelFontSize - 1));
    m_messageLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_messageLabel->setNumberOfLines(0);
    addSubview(m_messageLabel);
    setFrame({ 0, 0, Width, AlertTopMargin + ButtonHeight + AlertBottomMargin });
}

AlertView::~AlertView() = default;

void AlertView::setMessage(std::string message)
{
    m_message = std::move(message);
    setNeedsLayout();
}

int AlertView::firstOtherButtonIndex() const
{
    for (int i = 0; i < numberOfButtons(); ++i)
        if (i != cancelButtonIndex())
            return i;
    return -1;
}

std::shared_ptr<Window> AlertView::alertWindowForTesting()
{
    return shownWindow;
}

void AlertView::resetForTesting()
{
    shownWindow.reset();
    previousKeyWindow.reset();
}

void AlertView::show()
{
    requireMainThread("AlertView::show");
    if (isVisible())
        return;
    if (!shownWindow) {
        auto* application = Application::shared();
        auto key = application ? application->keyWindow() : nullptr;
        previousKeyWindow = key;
        shownWindow = Window::create(Screen::main()->bounds());
        shownWindow->setWindowLevel(Window::LevelAlert);
        shownWindow->setBackgroundColor(gfx::Color::white(0, 0.4f));
    }
    shownWindow->addSubview(std::static_pointer_cast<View>(shared_from_this()));
    shownWindow->makeKeyAndVisible();
    layoutIfNeeded();
    presented(true);
}

void AlertView::removeFromScreen()
{
    auto keep = shared_from_this();
    removeFromSuperview();
    if (!shownWindow || !shownWindow->subviews().empty())
        return;
    // The last alert went: the alert window goes and the window that was
    // key before is key again.
    auto gone = std::move(shownWindow);
    gone->setHidden(true);
    if (auto previous = std::static_pointer_cast<Window>(previousKeyWindow.lock()))
        previous->makeKeyWindow();
    previousKeyWindow.reset();
}

std::optional<int> AlertView::defaultButtonIndex() const
{
    return soleChoice(numberOfButtons(), cancelButtonIndex());
}

void AlertView::layoutSubviews()
{
    float width = Width;
    float textWidth = width - 2 * Margin;
    float y = AlertTopMargin;
    auto placeText = [&](Label& label, const std::string& text, const gfx::Font& font) {
        label.setText(text);
        label.setHidden(text.empty());
        if (text.empty())
            return;
        gfx::Size size = Fonts::sizeOfString(text, font, gfx::Size { textWidth, 0 }, gfx::LineBreakMode::WordWrap);
        label.setFrame({ Margin, y, textWidth, size.height });
        y += size.height + TextSpacing;
    };
    placeText(*m_titleLabel, title(), Fonts::boldSystemFont(Fonts::LabelFontSize));
    placeText(*m_messageLabel, m_message, Fonts::systemFont(Fonts::LabelFontSize - 1));
    if (float accessory = accessoryHeight(); accessory > 0)
        y += accessory + TextSpacing;
    y += TextSpacing;

    // Buttons in the order they show: two side by side with cancel left,
    // more stacked with cancel last.
    std::vector<int> order;
    for (int i = 0; i < numberOfButtons(); ++i)
        if (i != cancelButtonIndex())
            order.push_back(i);
    bool hasCancel = cancelButtonIndex() >= 0 && cancelButtonIndex() < numberOfButtons();
    if (order.size() + (hasCancel ? 1 : 0) == 2 && hasCancel)
        order.insert(order.begin(), cancelButtonIndex());
    else if (hasCancel)
        order.push_back(cancelButtonIndex());

    m_buttonRow = { Margin, y, textWidth, ButtonHeight };
    if (order.size() == 2) {
        float half = (textWidth - RowSpacing) / 2;
        button(order[0])->setFrame({ Margin, y, half, ButtonHeight });
        button(order[1])->setFrame({ Margin + half + RowSpacing, y, half, ButtonHeight });
        y += ButtonHeight;
    } else {
        for (size_t i = 0; i < order.size(); ++i) {
            if (i > 0)
                y += ButtonSpacing;
            button(order[i])->setFrame({ Margin, y, textWidth, ButtonHeight });
            y += ButtonHeight;
        }
    }
    float height = y + AlertBottomMargin;
    // Centred in the room below the status bar, upright in the interface.
    Window* window = this->window();
    gfx::Rect area = window ? interfaceBounds(*window) : Screen::main()->bounds();
    auto* application = Application::shared();
    if (application && !application->isStatusBarHidden()) {
        float bar = application->statusBarHeight();
        area = { area.minX(), area.minY() + bar, area.width(), std::max(0.0f, area.height() - bar) };
    }
    placeInInterface({ area.midX() - width / 2, area.midY() - height / 2, width, height });
}

} // namespace ui
