#include "Shell/Interface/VKPopupAlert.h"

#include "Shell/Interface/ScreenAdditions.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ChoiceView.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/StandardViewDrawing.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float TextFieldHeight = 28;
constexpr float ButtonGap = 8;
constexpr float TitleGap = 5;
constexpr float ButtonWidth = 100;
// Mode 0 hangs from its target: the artwork's pointer takes this much more
// room at the top.
constexpr float PointerHeight = 15;
constexpr float SideMargin = 5;
constexpr double FadeDuration = 0.2;

ui::Orientation statusBarOrientation()
{
    auto* application = ui::Application::shared();
    return application ? application->statusBarOrientation() : ui::Orientation::Portrait;
}

ui::StretchableImage artwork(std::string_view name, int leftCap, int topCap)
{
    return ui::StretchableImage(ui::Images::imageNamed(name), leftCap, topCap);
}

} // namespace

std::shared_ptr<VKPopupAlert> VKPopupAlert::create(std::string title, std::weak_ptr<VKPopupAlertDelegate> delegate)
{
    auto alert = std::make_shared<VKPopupAlert>();
    alert->setTitle(std::move(title));
    alert->setDelegate(std::move(delegate));
    return alert;
}

VKPopupAlert::VKPopupAlert()
{
    setOpaque(false);
    setExclusiveTouch(true);
    setBackgroundColor(gfx::Color::white(0, 0.2f));
    m_titleLabel = ui::Label::create();
    m_titleLabel->setTextColor(ui::StandardColors::white());
    m_titleLabel->setFont(ui::Fonts::systemFont(15));
    m_titleLabel->setBackgroundColor(ui::StandardColors::clear());
    addSubview(m_titleLabel);
}

VKPopupAlert::~VKPopupAlert() = default;

ui::StretchableImage VKPopupAlert::buttonBackgroundImage()
{
    return artwork("VKPopupAlertButton.png", 5, 0);
}

ui::StretchableImage VKPopupAlert::buttonPressedBackgroundImage()
{
    return artwork("VKPopupAlertButtonPressed.png", 5, 0);
}

ui::StretchableImage VKPopupAlert::cancelButtonBackgroundImage()
{
    return artwork("VKPopupAlertCancelButton.png", 5, 0);
}

ui::StretchableImage VKPopupAlert::backgroundOverImage()
{
    return artwork("VKPopupAlertBackgroundOver.png", 55, 21);
}

ui::StretchableImage VKPopupAlert::backgroundBelowImage()
{
    return artwork("VKPopupAlertBackgroundBelow.png", 55, 30);
}

std::string VKPopupAlert::title() const
{
    return m_titleLabel->text();
}

void VKPopupAlert::setTitle(std::string title)
{
    m_titleLabel->setNumberOfLines(title.find('\n') == std::string::npos ? 1 : 0);
    m_titleLabel->setText(title);
    setNeedsLayout();
    setNeedsDisplay();
}

int VKPopupAlert::addButtonWithTitle(std::string title)
{
    auto button = ui::Button::create(ui::Button::Type::Custom);
    button->titleLabel().setFont(ui::Fonts::boldSystemFont(ui::Fonts::ButtonFontSize));
    button->setTitle(std::move(title), ui::Control::Normal);
    button->setTitleColor(ui::StandardColors::white(), ui::Control::Normal);
    button->setBackgroundImage(buttonBackgroundImage(), ui::Control::Normal);
    button->setBackgroundImage(buttonPressedBackgroundImage(), ui::Control::Highlighted);
    button->addTarget(shared_from_this(), "handleButtonTap", [this](ui::Control& sender, const ui::Event*) {
        handleButtonTap(static_cast<ui::Button&>(sender));
    }, ui::Control::TouchUpInside);
    m_buttons.push_back(button);
    addSubview(button);
    setNeedsLayout();
    setNeedsDisplay();
    return int(m_buttons.size()) - 1;
}

int VKPopupAlert::addCancelButtonWithTitle(std::string title)
{
    int index = addButtonWithTitle(std::move(title));
    setCancelButtonIndex(index);
    return index;
}

ui::Button* VKPopupAlert::buttonAtIndex(int index) const
{
    return index >= 0 && index < numberOfButtons() ? m_buttons[size_t(index)].get() : nullptr;
}

void VKPopupAlert::setCancelButtonIndex(int index)
{
    if (ui::Button* old = buttonAtIndex(m_cancelButtonIndex))
        old->setBackgroundImage(buttonBackgroundImage(), ui::Control::Normal);
    m_cancelButtonIndex = index;
    if (ui::Button* cancel = buttonAtIndex(index))
        cancel->setBackgroundImage(cancelButtonBackgroundImage(), ui::Control::Normal);
}

void VKPopupAlert::addTextFieldWithPlaceholder(std::string placeholder, std::string text)
{
    if (!m_textField) {
        m_textField = ui::TextField::create();
        m_textField->setBackgroundColor(ui::StandardColors::white());
        m_textField->setBorderStyle(ui::TextField::BorderStyle::Bezel);
        m_textField->setClearButtonMode(ui::TextField::ViewMode::Always);
        addSubview(m_textField);
        setNeedsLayout();
        setNeedsDisplay();
    }
    m_textField->setPlaceholder(placeholder);
    m_textField->setText(text);
    // Return in the field confirms the prompt.
    m_textField->removeTarget(nullptr, "confirm", ui::Control::EditingDidEndOnExit);
    m_textField->addTarget(shared_from_this(), "confirm", [this](ui::Control&, const ui::Event*) {
        performKeyCommand(ui::KeyCommand::Return);
    }, ui::Control::EditingDidEndOnExit);
}

bool VKPopupAlert::performKeyCommand(ui::KeyCommand command)
{
    if (!m_shown || m_dismissed)
        return false;
    if (command == ui::KeyCommand::Escape)
        dismissWithClickedButtonIndex(m_cancelButtonIndex, true);
    else if (command == ui::KeyCommand::Return)
        if (auto index = ui::ChoiceView::soleChoice(numberOfButtons(), m_cancelButtonIndex))
            dismissWithClickedButtonIndex(*index, true);
    return true;
}

bool VKPopupAlert::isLandscapeGeometry() const
{
    return ui::isLandscape(statusBarOrientation());
}

gfx::EdgeInsets VKPopupAlert::contentInsets() const
{
    bool landscape = isLandscapeGeometry();
    float top = landscape ? 12 : 16;
    if (m_mode == Below)
        top += PointerHeight;
    return { top, 15, landscape ? 15.0f : 20.0f, 15 };
}

gfx::Size VKPopupAlert::buttonSize() const
{
    return { ButtonWidth, isLandscapeGeometry() ? 30.0f : 37.0f };
}

ui::StretchableImage VKPopupAlert::backgroundImage() const
{
    return m_mode == Below ? backgroundBelowImage() : backgroundOverImage();
}

gfx::Rect VKPopupAlert::popupRect() const
{
    bool landscape = isLandscapeGeometry();
    gfx::EdgeInsets insets = contentInsets();
    gfx::Rect own = bounds();
    float width = std::max(0.0f, own.width() - 2 * SideMargin);
    float height = insets.top + insets.bottom;
    if (!title().empty())
        height += m_titleLabel->sizeThatFits({ width - insets.left - insets.right, 0 }).height + TitleGap;
    if (m_textField && !landscape)
        height += TextFieldHeight;
    // Without buttons there is no row to make room for, so that an empty
    // popup is as high as its artwork.
    if (!m_buttons.empty())
        height += buttonSize().height + (landscape ? 5 : 10);
    height = std::max(height, backgroundImage().size().height);

    if (m_mode != Centered) {
        gfx::Rect target = m_targetView ? m_targetView->convertRect(m_targetView->bounds(), this) : m_targetFrame;
        float y = m_mode == Over ? target.minY() + 5 : target.maxY() - 10;
        return { SideMargin, y, width, height };
    }
    float keyboard = 0;
    if (m_textField)
        keyboard = landscape ? VKKeyboardHeightLandscape : VKKeyboardHeightPortrait;
    return { std::floor((own.width() - width) * 0.5f), std::floor((own.height() - keyboard - height) * 0.5f), width,
        height };
}

gfx::Rect VKPopupAlert::contentRect() const
{
    return popupRect().insetBy(contentInsets());
}

gfx::Rect VKPopupAlert::titleFrame(const gfx::Rect& content) const
{
    if (title().empty())
        return { content.minX(), content.minY(), content.width(), 0 };
    float height = m_titleLabel->sizeThatFits({ content.width(), 0 }).height;
    return { content.minX(), content.minY(), content.width(), height };
}

void VKPopupAlert::layoutSubviews()
{
    bool landscape = isLandscapeGeometry();
    gfx::Rect content = contentRect();
    gfx::Rect titleRect = titleFrame(content);
    m_titleLabel->setFrame(title().empty() ? gfx::Rect::zero() : titleRect);
    float below = titleRect.maxY() + (title().empty() ? 0 : TitleGap);
    gfx::Size button = buttonSize();

    float rowY;
    if (landscape) {
        // The field shares the row with the buttons.
        if (m_textField) {
            float width = content.width() - float(m_buttons.size()) * (button.width + ButtonGap);
            m_textField->setFrame({ content.minX(), below + std::floor((button.height - TextFieldHeight) * 0.5f),
                std::max(0.0f, width), TextFieldHeight });
        }
        rowY = titleRect.maxY() + 5;
    } else if (m_textField) {
        m_textField->setFrame({ content.minX(), below, content.width(), TextFieldHeight });
        rowY = m_textField->frame().maxY() + 10;
    } else {
        rowY = titleRect.maxY() + 10;
    }

    // The last added stands at the right edge, the first added leftmost.
    float x = content.maxX() - button.width;
    for (auto it = m_buttons.rbegin(); it != m_buttons.rend(); ++it) {
        (*it)->setFrame({ x, rowY, button.width, button.height });
        x -= button.width + ButtonGap;
    }
}

void VKPopupAlert::draw(gfx::Context& context, const gfx::Rect&)
{
    ui::StandardViewDrawing::drawStretchable(context, popupRect(), backgroundImage());
}

void VKPopupAlert::show()
{
    showWithMode(Centered, nullptr);
}

void VKPopupAlert::showFromBarButtonItem(const ui::BarButtonItem& item)
{
    if (auto view = item.view())
        showBelowView(std::move(view));
    else
        show();
}

void VKPopupAlert::showOverView(std::shared_ptr<ui::View> view)
{
    showWithMode(Over, std::move(view));
}

void VKPopupAlert::showBelowView(std::shared_ptr<ui::View> view)
{
    showWithMode(Below, std::move(view));
}

void VKPopupAlert::showWithMode(Mode mode, std::shared_ptr<ui::View> view)
{
    // A popup already dismissed (even before it showed) would stand in the
    // window for good, its buttons dead.
    if (m_shown || m_dismissed) {
        core::log("Warning, {} is shown once only", description());
        return;
    }
    ui::Window* window = dynamic_cast<ui::Window*>(view.get());
    if (!window && view && view->window()) {
        m_targetView = std::move(view);
        window = m_targetView->window();
    } else if (!window) {
        auto* application = ui::Application::shared();
        auto key = application ? application->keyWindow() : nullptr;
        window = key.get();
    }
    if (!window) {
        core::log("Warning, {} has no window to show in", description());
        m_targetView.reset();
        return;
    }
    m_mode = m_targetView ? mode : Centered;
    m_shown = true;
    setAlpha(0);
    window->addSubview(std::static_pointer_cast<VKPopupAlert>(shared_from_this()));
    setupGeometry();

    auto& center = core::NotificationCenter::defaultCenter();
    m_willChangeOrientation = center.observe(ui::Application::willChangeStatusBarOrientationNotification, nullptr,
        [this](const core::Notification&) {
            willChangeStatusBarOrientation();
        });
    m_didChangeOrientation = center.observe(ui::Application::didChangeStatusBarOrientationNotification, nullptr,
        [this](const core::Notification&) {
            didChangeStatusBarOrientation();
        });
    m_didResizeScreen = center.observe(ui::Application::didResizeScreenNotification, nullptr,
        [this](const core::Notification&) {
            setupGeometry();
        });

    ui::ViewAnimation::animate(FadeDuration, [this] { setAlpha(1); });
    if (m_textField)
        m_textField->becomeFirstResponder();
}

void VKPopupAlert::setupGeometry()
{
    ui::Window* window = this->window();
    if (!window)
        return;
    ui::Orientation orientation = statusBarOrientation();
    setTransform(gfx::AffineTransform::rotation(ui::rotationAngle(orientation)));
    gfx::Rect screen = boundsForOrientation(*ui::Screen::main(), orientation);
    setBounds({ 0, 0, screen.width(), screen.height() });
    gfx::Rect windowBounds = window->bounds();
    setCenter({ windowBounds.midX(), windowBounds.midY() });
    setNeedsLayout();
    setNeedsDisplay();
}

void VKPopupAlert::willChangeStatusBarOrientation()
{
    setAlpha(0);
}

void VKPopupAlert::didChangeStatusBarOrientation()
{
    setupGeometry();
    setAlpha(1);
}

void VKPopupAlert::handleButtonTap(ui::Button& button)
{
    auto it = std::find_if(m_buttons.begin(), m_buttons.end(), [&](const auto& b) { return b.get() == &button; });
    if (it != m_buttons.end())
        dismissWithClickedButtonIndex(int(it - m_buttons.begin()), true);
}

void VKPopupAlert::dismissWithClickedButtonIndex(int index, bool animated)
{
    // Once only: a second tap during the fade or the system's dismissal
    // must not tell the delegate again (it would make a folder twice).
    if (m_dismissed)
        return;
    m_dismissed = true;
    auto self = std::static_pointer_cast<VKPopupAlert>(shared_from_this());
    setUserInteractionEnabled(false);
    m_willChangeOrientation.reset();
    m_didChangeOrientation.reset();
    m_didResizeScreen.reset();
    if (m_textField)
        m_textField->resignFirstResponder();
    if (m_targetView)
        m_targetFrame = m_targetView->convertRect(m_targetView->bounds(), this);
    m_targetView.reset();
    if (auto delegate = this->delegate())
        delegate->popupAlert(*this, index);

    std::weak_ptr<VKPopupAlert> weakSelf = self;
    auto removeOnNextPass = [weakSelf] {
        if (auto popup = weakSelf.lock())
            core::RunLoop::main().performAfter(0, [popup] { popup->removeFromSuperview(); });
    };
    if (animated && window())
        ui::ViewAnimation::animate(FadeDuration, [this] { setAlpha(0); },
            [removeOnNextPass](bool) { removeOnNextPass(); });
    else
        removeOnNextPass();
}
