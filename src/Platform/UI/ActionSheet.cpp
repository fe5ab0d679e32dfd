#include "Platform/UI/ActionSheet.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/DimmingView.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui {

namespace {

constexpr float TopMargin = 10;
constexpr float BottomMargin = 10;
constexpr float Dimming = 0.4f;

} // namespace

std::shared_ptr<ActionSheet> ActionSheet::create(std::string title, std::weak_ptr<ActionSheetDelegate> delegate,
    std::optional<std::string> cancelTitle, std::optional<std::string> destructiveTitle,
    const std::vector<std::string>& otherTitles)
{
    auto sheet = std::make_shared<ActionSheet>();
    setUp(*sheet, std::move(title), std::move(delegate), std::move(cancelTitle), std::move(destructiveTitle),
        otherTitles);
    return sheet;
}

void ActionSheet::setUp(ActionSheet& sheet, std::string title, std::weak_ptr<ActionSheetDelegate> delegate,
    std::optional<std::string> cancelTitle, std::optional<std::string> destructiveTitle,
    const std::vector<std::string>& otherTitles)
{
    sheet.setTitle(std::move(title));
    sheet.setDelegate(std::move(delegate));
    if (destructiveTitle)
        sheet.setDestructiveButtonIndex(sheet.addButton(*destructiveTitle));
    for (auto& other : otherTitles)
        sheet.addButton(other);
    if (cancelTitle)
        sheet.setCancelButtonIndex(sheet.addButton(*cancelTitle));
}

ActionSheet::ActionSheet()
{
    m_titleLabel = Label::create();
    m_titleLabel->setBackgroundColor(StandardColors::clear());
    m_titleLabel->setOpaque(false);
    m_titleLabel->setFont(Fonts::systemFont(Fonts::SystemFontSize));
    m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_titleLabel->setNumberOfLines(0);
    addSubview(m_titleLabel);
}

ActionSheet::~ActionSheet() = default;

void ActionSheet::setDestructiveButtonIndex(int index)
{
    // The destructive button's title is red, so it reads apart from the rest.
    if (Button* previous = button(m_destructiveIndex))
        previous->setTitleColor(StandardColors::buttonTitle(), Control::Normal);
    m_destructiveIndex = index;
    if (Button* destructive = button(index))
        destructive->setTitleColor(StandardColors::destructiveButtonTitle(), Control::Normal);
    setNeedsLayout();
}

int ActionSheet::firstOtherButtonIndex() const
{
    for (int i = 0; i < numberOfButtons(); ++i)
        if (i != cancelButtonIndex() && i != m_destructiveIndex)
            return i;
    return -1;
}

void ActionSheet::setActionSheetStyle(Style style)
{
    if (int(style) < -1 || int(style) > 2)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("ActionSheet::setActionSheetStyle: {} is no style", int(style)));
    m_style = style;
}

void ActionSheet::showFromToolbar(const View& toolbar)
{
    show(AnchorKind::Toolbar, toolbar, toolbar.bounds(), true);
}

void ActionSheet::showFromTabBar(const View& tabBar)
{
    show(AnchorKind::TabBar, tabBar, tabBar.bounds(), true);
}

void ActionSheet::showInView(const View& view)
{
    show(AnchorKind::View, view, view.bounds(), true);
}

void ActionSheet::showFromBarButtonItem(const BarButtonItem& item, bool animated)
{
    auto view = item.view();
    if (!view)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("ActionSheet::showFromBarButtonItem: {} has no laid-out view", item.description()));
    show(AnchorKind::BarButtonItem, *view, view->bounds(), animated);
}

void ActionSheet::showFromRect(const gfx::Rect& rect, const View& view, bool animated)
{
    requireFinite(rect, "ActionSheet::showFromRect");
    show(AnchorKind::Rect, view, rect, animated);
}

void ActionSheet::show(AnchorKind kind, const View& anchor, const gfx::Rect& rect, bool animated)
{
    requireMainThread("ActionSheet::show");
    Window* window = anchor.window();
    if (!window)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("ActionSheet::show: the anchor {} is in no window", anchor.className()));
    if (isVisible())
        return;
    m_anchorKind = kind;
    m_anchorRect = anchor.convertRect(rect, nullptr);
    // On the tablet a sheet stands at what it came from, a bar included;
    // only one shown in a view rises from the bottom there.
    m_anchored = Screen::userInterfaceIdiom() == core::Device::Idiom::Tablet && kind != AnchorKind::View;

    auto keep = shared_from_this();
    m_dimmingView = DimmingView::create(window->bounds(), m_anchored ? 0 : Dimming);
    std::weak_ptr<core::Object> weakSelf = weak_from_this();
    m_dimmingView->setTapHandler([weakSelf] {
        auto self = std::static_pointer_cast<ActionSheet>(weakSelf.lock());
        if (self && self->m_anchored)
            self->dismiss(self->cancelButtonIndex(), true);
    });
    window->addSubview(m_dimmingView);
    window->addSubview(std::static_pointer_cast<View>(shared_from_this()));
    presented(animated);
    setNeedsLayout();
    layoutIfNeeded();
}

void ActionSheet::removeFromScreen()
{
    auto keep = shared_from_this();
    if (m_dimmingView) {
        m_dimmingView->setTapHandler(nullptr);
        m_dimmingView->removeFromSuperview();
        m_dimmingView.reset();
    }
    removeFromSuperview();
}

bool ActionSheet::showsButton(int index) const
{
    // Beside a choice that destroys, a plain way out stays in sight.
    bool keepsCancel = m_showsCancelWhenAnchored || (m_destructiveIndex >= 0 && m_destructiveIndex < numberOfButtons());
    return !(m_anchored && !keepsCancel && index == cancelButtonIndex());
}

std::optional<int> ActionSheet::defaultButtonIndex() const
{
    auto sole = soleChoice(numberOfButtons(), cancelButtonIndex());
    if (sole && *sole == m_destructiveIndex)
        return std::nullopt;
    return sole;
}

void ActionSheet::layoutSubviews()
{
    Window* window = this->window();
    if (!window)
        return;
    // Laid out upright in the interface, which may stand turned in the window.
    gfx::Rect area = interfaceBounds(*window);
    gfx::Rect anchor = interfaceToWindow(*window).inverted().apply(m_anchorRect);
    float width = m_anchored ? AnchoredWidth : area.width();
    float inner = width - 2 * Margin;
    // Below its anchor (where it fits) an anchored sheet's arrow stands at
    // its top, above it at its bottom.
    float arrowRoom = m_anchored ? ArrowHeight : 0;
    float y = TopMargin;
    m_titleLabel->setText(title());
    m_titleLabel->setHidden(title().empty());
    if (!title().empty()) {
        gfx::Size size = Fonts::sizeOfString(title(), m_titleLabel->font(), gfx::Size { inner, 0 },
            gfx::LineBreakMode::WordWrap);
        m_titleLabel->setFrame({ Margin, y, inner, size.height });
        y += size.height + ButtonSpacing;
    }
    // Shown in index order, cancel last and set apart.
    std::vector<int> order;
    for (int i = 0; i < numberOfButtons(); ++i)
        if (i != cancelButtonIndex() && showsButton(i))
            order.push_back(i);
    if (cancelButtonIndex() >= 0 && cancelButtonIndex() < numberOfButtons() && showsButton(cancelButtonIndex()))
        order.push_back(cancelButtonIndex());
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0)
            y += ButtonSpacing;
        if (order[i] == cancelButtonIndex() && i > 0)
            y += ButtonSpacing;
        button(order[i])->setFrame({ Margin, y, inner, ButtonHeight });
        y += ButtonHeight;
    }
    float height = y + BottomMargin + arrowRoom;

    gfx::Rect placed;
    m_arrow = Arrow::None;
    if (m_anchored) {
        // Below the anchor where it fits, else above it, kept on the window.
        float x = std::clamp(anchor.midX() - width / 2, 0.f, std::max(0.f, area.width() - width));
        float top = anchor.maxY();
        m_arrow = Arrow::Up;
        if (top + height > area.height() && anchor.minY() - height >= 0) {
            top = anchor.minY() - height;
            m_arrow = Arrow::Down;
        }
        placed = { x, top, width, height };
        // The tip at the anchor's middle, the arrow whole on the sheet.
        constexpr float Corner = 9, HalfBase = 14;
        m_arrowX = std::clamp(anchor.midX() - x, Corner + HalfBase, width - Corner - HalfBase);
        if (m_arrow == Arrow::Up) {
            m_titleLabel->setFrame(m_titleLabel->frame().offsetBy(0, arrowRoom));
            for (int i = 0; i < numberOfButtons(); ++i)
                button(i)->setFrame(button(i)->frame().offsetBy(0, arrowRoom));
        }
    } else {
        float bottom = m_anchorKind == AnchorKind::View ? std::min(area.height(), anchor.maxY()) : area.height();
        placed = { 0, bottom - height, width, height };
    }
    placeInInterface(placed);
}

} // namespace ui
