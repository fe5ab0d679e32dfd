#include "WebBrowser/VKWebNavigationView.h"

#include "Shell/Interface/ButtonAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ViewAnimation.h"
#include "WebBrowser/VKBarButton.h"
#include "WebBrowser/VKWebLocationField.h"

#include <algorithm>
#include <cmath>

namespace {

const gfx::Color fieldTextColor = gfx::Color::white(0.45f);

// Titles are measured up to this many bytes: anything longer is wider
// than any bar, and measuring stays bounded.
constexpr size_t MeasuredTitleBytes = 1024;

float titleWidth(const std::string& text, const gfx::Font& font)
{
    if (text.empty())
        return ui::Fonts::sizeOfString(core::localized("Untitled", "WebBrowser"), font).width;
    std::string_view shown = text;
    if (shown.size() > MeasuredTitleBytes) {
        size_t end = MeasuredTitleBytes;
        while (end > 0 && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80)
            --end;
        shown = shown.substr(0, end);
    }
    return ui::Fonts::sizeOfString(shown, font).width;
}

// The frame grown to at least the touch size around its middle.
gfx::Rect touchArea(const gfx::Rect& frame)
{
    float width = std::max(frame.width(), VKWebNavigationView::MinimumTouchSize);
    float height = std::max(frame.height(), VKWebNavigationView::MinimumTouchSize);
    return { frame.midX() - width / 2, frame.midY() - height / 2, width, height };
}

} // namespace

VKWebNavigationView::VKWebNavigationView()
    : m_backgroundView(ui::ImageView::create(ui::Images::imageNamed("WebNavigationBarBackground.png")))
    , m_titleLabel(ui::Label::create())
    , m_locationField(VKWebLocationField::create())
    , m_closeButton(VKBarButton::buttonWithStyle(VKBarButton::Done))
    , m_searchButton(buttonWithImage<ui::Button>(ui::Images::imageNamed("VKButtonBarSearch.png")))
{
    setAutoresizingMask(FlexibleWidth);
    m_backgroundView->setUserInteractionEnabled(false);
    addSubview(m_backgroundView);

    m_titleLabel->setAutoresizingMask(FlexibleWidth);
    m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_titleLabel->setFont(ui::Fonts::boldSystemFont(13));
    m_titleLabel->setTextColor(gfx::Color::rgb255(62, 73, 83));
    m_titleLabel->setShadowColor(gfx::Color::rgb255(192, 204, 217));
    m_titleLabel->setShadowOffset({ 0, 1 });
    m_titleLabel->setOpaque(false);
    m_titleLabel->setBackgroundColor(gfx::Color::white(0, 0));
    m_titleLabel->setLineBreakMode(gfx::LineBreakMode::TailTruncation);
    addSubview(m_titleLabel);

    auto& field = *m_locationField;
    field.setAutoresizingMask(FlexibleWidth);
    field.setBorderStyle(ui::TextField::BorderStyle::RoundedRect);
    field.setTextColor(fieldTextColor);
    field.setFont(ui::Fonts::systemFont(15));
    field.setContentVerticalAlignment(ui::Control::ContentVerticalAlignment::Center);
    field.setKeyboardType(ui::TextInput::KeyboardType::URL);
    field.setReturnKeyType(ui::TextInput::ReturnKeyType::Go);
    field.setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
    field.setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    field.setClearButtonMode(ui::TextField::ViewMode::WhileEditing);
    field.setFrame({ 0, 0, 100, VKWebLocationField::Height });
    addSubview(m_locationField);

    m_searchButton->setShowsTouchWhenHighlighted(true);
    addSubview(m_searchButton);

    m_closeButton->setTitle(core::localized("Close", "WebBrowser"), ui::Control::Normal);
    m_closeButton->sizeToFit();
    addSubview(m_closeButton);
}

std::shared_ptr<VKWebNavigationView> VKWebNavigationView::create(const gfx::Rect& frame)
{
    auto bar = View::make<VKWebNavigationView>(frame);
    bar->setUp();
    return bar;
}

void VKWebNavigationView::setUp()
{
    auto self = std::static_pointer_cast<VKWebNavigationView>(shared_from_this());
    m_locationField->setDelegate(std::static_pointer_cast<ui::TextFieldDelegate>(self));
    m_searchButton->addTarget(self, "beginSearch", [this](ui::Control&, const ui::Event*) { beginSearch(); },
        ui::Control::TouchUpInside);
    m_titleObservation = m_titleLabel->observeText([this](const std::string&, const std::string&) {
        setNeedsLayout();
        layoutIfNeeded();
    });
    sizeToFit();
}

VKWebNavigationView::~VKWebNavigationView()
{
    m_titleObservation.reset();
}

ui::TextField& VKWebNavigationView::searchField() const
{
    return *m_locationField;
}

gfx::Size VKWebNavigationView::sizeThatFits(gfx::Size size) const
{
    return { superview() ? superview()->bounds().width() : size.width, DefaultHeight };
}

void VKWebNavigationView::setFrame(const gfx::Rect& frame)
{
    gfx::Rect fitted = frame;
    if (superview())
        fitted.size.width = superview()->bounds().width();
    View::setFrame(fitted);
}

void VKWebNavigationView::setLoading(bool loading)
{
    m_loading = loading;
    m_locationField->setLoading(loading);
}

bool VKWebNavigationView::isSecure() const
{
    return m_securityIconView && !m_securityIconView->isHidden();
}

void VKWebNavigationView::setSecure(bool secure)
{
    if (secure && !m_securityIconView) {
        m_securityIconView = ui::ImageView::create(ui::Images::imageNamed("BrowserPadlock.png"));
        addSubview(m_securityIconView);
    }
    if (m_securityIconView)
        m_securityIconView->setHidden(!secure);
    setNeedsLayout();
}

bool VKWebNavigationView::isSearching() const
{
    return searchField().isFirstResponder() && textFieldIsSearchField(searchField());
}

bool VKWebNavigationView::textFieldIsSearchField(const ui::TextField& field) const
{
    return &field == &searchField() && field.returnKeyType() == ui::TextInput::ReturnKeyType::Google;
}

void VKWebNavigationView::beginSearch()
{
    auto& field = searchField();
    field.setKeyboardType(ui::TextInput::KeyboardType::Default);
    field.setReturnKeyType(ui::TextInput::ReturnKeyType::Google);
    field.setPlaceholder(core::localized("Search", "WebBrowser"));
    field.becomeFirstResponder();
}

void VKWebNavigationView::cancelEditing()
{
    if (m_locationField->isFirstResponder())
        m_locationField->resignFirstResponder();
    else if (searchField().isFirstResponder())
        searchField().resignFirstResponder();
}

void VKWebNavigationView::cancelTapped()
{
    cancelEditing();
}

void VKWebNavigationView::restoreUIAfterLocationFieldEditing()
{
    auto& field = *m_locationField;
    field.setReloadEnabled(true);
    field.setKeyboardType(ui::TextInput::KeyboardType::URL);
    field.setReturnKeyType(ui::TextInput::ReturnKeyType::Go);
    field.setPlaceholder("");
    auto cancel = std::exchange(m_cancelButton, nullptr);
    ui::ViewAnimation::begin(EditingAnimation);
    m_closeButton->setAlpha(1);
    m_searchButton->setAlpha(1);
    if (cancel) {
        cancel->setAlpha(0);
        std::weak_ptr<VKBarButton> weakCancel = cancel;
        ui::ViewAnimation::setDidStopHandler([weakCancel](const std::string&, bool, const core::Value&) {
            if (auto button = weakCancel.lock())
                button->removeFromSuperview();
        });
    }
    setNeedsLayout();
    layoutIfNeeded();
    ui::ViewAnimation::commit();
}

void VKWebNavigationView::layoutSubview(ui::View& view, gfx::Rect& rect, float margin, bool rightAligned) const
{
    gfx::Rect frame = view.frame();
    float width = frame.width();
    if (rightAligned) {
        frame.origin.x = rect.maxX() - width;
    } else {
        frame.origin.x = rect.x();
        rect.origin.x += width + margin;
    }
    rect.size.width -= width + margin;
    frame.origin.y = rect.y() + std::floor((m_locationField->frame().height() - frame.height()) / 2);
    view.setFrame(frame);
}

void VKWebNavigationView::layoutSubviews()
{
    gfx::Rect b = bounds();
    m_backgroundView->setFrame(b);
    gfx::Rect content { b.x() + Inset, b.y(), b.width() - 2 * Inset, b.height() };

    // The title line; a shown padlock sits 8 points left of the title and
    // the two are centred together.
    const gfx::Font& font = m_titleLabel->font();
    float lineHeight = std::ceil(ui::Fonts::lineHeight(font));
    gfx::Rect room = content;
    bool secure = isSecure();
    // Without its image (resources missing) the padlock takes no room.
    gfx::Size padlock;
    if (auto* icon = secure ? m_securityIconView.get() : nullptr; icon && icon->image())
        padlock = icon->image()->size();
    if (secure) {
        room.origin.x += padlock.width + Margin;
        room.size.width = std::max(0.f, room.width() - padlock.width - Margin);
    }
    float width = std::ceil(titleWidth(m_titleLabel->text(), font));
    gfx::Rect title { room.x(), b.y() + TitleTop, room.width(), lineHeight };
    if (width < room.width()) {
        float shift = std::floor((room.width() - width) / 2);
        if (secure)
            shift = std::floor((content.width() - width - padlock.width - Margin) / 2);
        title.origin.x = content.x() + shift + (secure ? padlock.width + Margin : 0);
        title.size.width = width;
    }
    m_titleLabel->setFrame(title);
    if (secure)
        m_securityIconView->setFrame({ title.x() - Margin - padlock.width,
            title.y() + std::floor((lineHeight - padlock.height) / 2), padlock.width, padlock.height });

    // The field row, from the title's bottom to the content's bottom.
    float rowTop = title.maxY();
    float fieldHeight = m_locationField->frame().height();
    gfx::Rect band { content.x(), rowTop + std::floor((content.maxY() - rowTop - fieldHeight) / 2), content.width(),
        fieldHeight };
    ui::View& left = m_cancelButton ? static_cast<ui::View&>(*m_cancelButton) : *m_closeButton;
    layoutSubview(left, band, Margin, false);
    if (m_searchButton->alpha() > 0)
        layoutSubview(*m_searchButton, band, Margin, true);
    m_locationField->setFrame({ band.x(), band.y(), std::max(0.f, band.width()), fieldHeight });
}

ui::View* VKWebNavigationView::hitTest(gfx::Point point, const ui::Event* event)
{
    if (isHidden() || !isUserInteractionEnabled() || alpha() <= 0.01f || !pointInside(point, event))
        return View::hitTest(point, event);
    // Buttons smaller than a finger answer touches around them too.
    std::vector<ui::View*> buttons;
    if (m_cancelButton)
        buttons.push_back(m_cancelButton.get());
    else
        buttons.push_back(m_closeButton.get());
    buttons.push_back(m_searchButton.get());
    if (m_locationField->rightView() && !m_locationField->isEditing())
        buttons.push_back(m_locationField->rightView().get());
    for (ui::View* button : buttons) {
        if (button->isHidden() || button->alpha() <= 0.01f || !button->isUserInteractionEnabled() || !button->superview())
            continue;
        if (touchArea(button->superview()->convertRect(button->frame(), this)).contains(point))
            return button;
    }
    return View::hitTest(point, event);
}

void VKWebNavigationView::didBeginEditing(ui::TextField& field)
{
    if (!m_cancelButton) {
        m_cancelButton = VKBarButton::buttonWithStyle(VKBarButton::Default);
        m_cancelButton->setTitle(core::localized("Cancel"), ui::Control::Normal);
        m_cancelButton->sizeToFit();
        gfx::Rect close = m_closeButton->frame();
        gfx::Size size = m_cancelButton->bounds().size;
        m_cancelButton->setFrame({ close.maxX() - size.width, close.y(), size.width, size.height });
        m_cancelButton->setAlpha(0);
        addSubview(m_cancelButton);
        auto self = std::static_pointer_cast<VKWebNavigationView>(shared_from_this());
        m_cancelButton->addTarget(self, "cancelEditing", [this](ui::Control&, const ui::Event*) { cancelTapped(); },
            ui::Control::TouchUpInside);
    }
    ui::ViewAnimation::begin(EditingAnimation);
    m_closeButton->setAlpha(0);
    m_searchButton->setAlpha(0);
    m_cancelButton->setAlpha(1);
    setNeedsLayout();
    layoutIfNeeded();
    ui::ViewAnimation::commit();
    m_locationField->setReloadEnabled(false);
    m_locationField->setTextColor(gfx::Color::white(0));
    if (auto delegate = this->delegate())
        delegate->navigationFieldDidBeginEditing(field, textFieldIsSearchField(field));
}

bool VKWebNavigationView::shouldChangeCharacters(ui::TextField& field, core::Range range, std::string_view replacement)
{
    std::string text = field.text();
    size_t start = std::min(range.location, text.size());
    size_t length = std::min(range.length, text.size() - start);
    text.replace(start, length, replacement);
    if (auto delegate = this->delegate())
        delegate->navigationFieldWillChangeText(field, text, textFieldIsSearchField(field));
    return true;
}

bool VKWebNavigationView::shouldClear(ui::TextField& field)
{
    if (auto delegate = this->delegate())
        delegate->navigationFieldWillChangeText(field, "", textFieldIsSearchField(field));
    return true;
}

bool VKWebNavigationView::shouldReturn(ui::TextField& field)
{
    auto keep = shared_from_this();
    if (auto delegate = this->delegate())
        delegate->navigationFieldDidAcceptEditing(field, textFieldIsSearchField(field));
    field.resignFirstResponder();
    return true;
}

void VKWebNavigationView::didEndEditing(ui::TextField& field)
{
    if (auto delegate = this->delegate())
        delegate->navigationFieldDidEndEditing(field);
    m_locationField->setTextColor(fieldTextColor);
    restoreUIAfterLocationFieldEditing();
}
