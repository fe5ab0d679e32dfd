#include "Platform/UI/TableViewCell.h"

#include "Platform/UI/LayerInPlaceDrawing.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableViewReorderControl.h"

#include <algorithm>
#include <cmath>

namespace ui {

std::shared_ptr<TableViewCell> TableViewCell::create(Style style, std::string reuseIdentifier)
{
    auto cell = std::make_shared<TableViewCell>(style, std::move(reuseIdentifier));
    cell->setFrame({ 0, 0, 320, 44 });
    return cell;
}

TableViewCell::TableViewCell(Style style, std::string reuseIdentifier)
    : m_style(style)
    , m_reuseIdentifier(std::move(reuseIdentifier))
    , m_contentView(View::create())
{
    // A row's own drawing is a fill and a rule (a few marks while editing):
    // cheaper drawn again than held as a picture of the row.
    LayerInPlaceDrawing::mark(&layer());
    m_contentView->setBackgroundColor(StandardColors::clear());
    addSubview(m_contentView);
}

TableViewCell::~TableViewCell() = default;

void TableViewCell::prepareForReuse()
{
    setSelected(false);
    setHighlighted(false);
    setKeyboardPlace(false);
    hideDeleteConfirmation();
}

Label& TableViewCell::textLabel()
{
    if (!m_textLabel) {
        m_textLabel = Label::create();
        m_textLabel->setFont(Fonts::boldSystemFont(m_style == Style::Default ? 20 : 17));
        m_textLabel->setBackgroundColor(StandardColors::clear());
        m_contentView->addSubview(m_textLabel);
        setNeedsLayout();
    }
    return *m_textLabel;
}

Label* TableViewCell::detailTextLabel()
{
    if (m_style == Style::Default)
        return nullptr;
    if (!m_detailLabel) {
        m_detailLabel = Label::create();
        m_detailLabel->setFont(Fonts::systemFont(m_style == Style::Subtitle ? 14 : 17));
        m_detailLabel->setBackgroundColor(StandardColors::clear());
        m_contentView->addSubview(m_detailLabel);
        setNeedsLayout();
    }
    return m_detailLabel.get();
}

ImageView& TableViewCell::imageView()
{
    if (!m_imageView) {
        m_imageView = ImageView::create();
        m_contentView->insertSubview(m_imageView, 0);
        setNeedsLayout();
    }
    return *m_imageView;
}

void TableViewCell::setAccessoryType(Accessory accessory)
{
    m_accessory = accessory;
    updateAccessory();
}

void TableViewCell::setAccessoryView(std::shared_ptr<View> view)
{
    m_accessoryView = std::move(view);
    updateAccessory();
}

void TableViewCell::setEditingAccessoryType(Accessory accessory)
{
    m_editingAccessory = accessory;
    updateAccessory();
}

// The standard accessories are small views; the detail disclosure one is a
// button whose tap the table hears.
void TableViewCell::updateAccessory()
{
    if (m_shownAccessory && m_shownAccessory->superview() == this)
        m_shownAccessory->removeFromSuperview();
    m_shownAccessory.reset();
    Accessory type = m_editing ? m_editingAccessory : m_accessory;
    if (m_accessoryView && !m_editing) {
        m_shownAccessory = m_accessoryView;
    } else if (type == Accessory::DetailDisclosureButton) {
        auto button = Button::create(Button::Type::DetailDisclosure, { 0, 0, 29, 31 });
        button->addTarget(shared_from_this(), "accessoryTapped", [this](Control&, const Event*) {
            if (m_accessoryTapped)
                m_accessoryTapped();
        }, Control::TouchUpInside);
        m_shownAccessory = button;
    } else if (type != Accessory::None) {
        m_shownAccessory = View::create({ 0, 0, AccessoryWidth, AccessoryWidth });
        m_shownAccessory->setUserInteractionEnabled(false);
    }
    if (m_shownAccessory)
        addSubview(m_shownAccessory);
    setNeedsLayout();
}

void TableViewCell::setSelected(bool selected, bool)
{
    m_selected = selected;
    showHighlight();
}

void TableViewCell::setKeyboardPlace(bool place)
{
    if (m_keyboardPlace == place)
        return;
    m_keyboardPlace = place;
    setNeedsDisplay();
}

void TableViewCell::setHighlighted(bool highlighted, bool)
{
    m_highlighted = highlighted;
    showHighlight();
}

// A selected or pressed row draws every label and picture of its content
// in their highlighted look (white text on the selection's colour), those a
// subclass added as well as the row's own; a row that shows no selection
// keeps them plain.
void TableViewCell::showHighlight()
{
    bool on = (m_selected || m_highlighted) && m_selectionStyle != SelectionStyle::None;
    auto walk = [on](auto& self, View& view) -> void {
        for (auto& child : view.subviews()) {
            if (auto* label = dynamic_cast<Label*>(child.get()))
                label->setHighlighted(on);
            else if (auto* image = dynamic_cast<ImageView*>(child.get()))
                image->setHighlighted(on);
            self(self, *child);
        }
    };
    walk(walk, *m_contentView);
    setNeedsDisplay();
}

void TableViewCell::setIndentationLevel(int level)
{
    m_indentationLevel = std::max(0, level);
    setNeedsLayout();
}

void TableViewCell::setIndentationWidth(float width)
{
    requireFinite(width, "TableViewCell::setIndentationWidth");
    m_indentationWidth = std::max(0.0f, width);
    setNeedsLayout();
}

void TableViewCell::setShouldIndentWhileEditing(bool indent)
{
    m_indentWhileEditing = indent;
    setNeedsLayout();
}

void TableViewCell::setEditing(bool editing, bool)
{
    if (m_editing == editing)
        return;
    m_editing = editing;
    if (editing)
        hideDeleteConfirmation();
    updateAccessory();
    TableViewReorderControl::update(*this);
    // The editing controls and accessory are part of the cell's drawing.
    setNeedsDisplay();
}

void TableViewCell::setEditingStyle(EditingStyle style)
{
    m_editingStyle = style;
    setNeedsLayout();
    setNeedsDisplay();
}

void TableViewCell::setShowsReorderControl(bool shows)
{
    m_showsReorderControl = shows;
    TableViewReorderControl::update(*this);
    setNeedsLayout();
    setNeedsDisplay();
}

void TableViewCell::showDeleteConfirmation(const std::string& title, std::function<void()> confirmed)
{
    hideDeleteConfirmation();
    m_deleteButton = Button::create(Button::Type::Custom);
    m_deleteButton->setTitle(title, Control::Normal);
    m_deleteButton->setBackgroundColor(StandardColors::red());
    m_deleteButton->addTarget(nullptr, "confirmDelete", [confirmed = std::move(confirmed)](Control&, const Event*) {
        if (confirmed)
            confirmed();
    }, Control::TouchUpInside);
    addSubview(m_deleteButton);
    setNeedsLayout();
}

void TableViewCell::hideDeleteConfirmation()
{
    if (!m_deleteButton)
        return;
    m_deleteButton->removeFromSuperview();
    m_deleteButton.reset();
    setNeedsLayout();
}

void TableViewCell::layoutSubviews()
{
    gfx::Rect b = bounds();
    float left = 0;
    if (m_editing && m_editingStyle != EditingStyle::None && m_indentWhileEditing)
        left = EditingControlWidth;
    float right = b.width();
    if (m_deleteButton) {
        float height = std::min(30.0f, b.height());
        m_deleteButton->setFrame({ b.width() - AccessoryMargin - DeleteButtonWidth, std::floor((b.height() - height) / 2),
            DeleteButtonWidth, height });
        right = m_deleteButton->frame().minX();
    } else if (m_shownAccessory) {
        // While editing, the accessory stands left of the reorder grip.
        float edge = m_editing && m_showsReorderControl ? b.width() - EditingControlWidth : b.width();
        gfx::Size size = m_shownAccessory->frame().size;
        float x = edge - AccessoryMargin - size.width;
        m_shownAccessory->setFrame({ x, std::floor((b.height() - size.height) / 2), size.width, size.height });
        right = x;
    }
    if (m_editing && m_showsReorderControl)
        right = std::min(right, b.width() - EditingControlWidth);
    TableViewReorderControl::update(*this);
    m_contentView->setFrame({ left, 0, std::max(0.0f, right - left), b.height() });

    gfx::Rect content = m_contentView->bounds();
    float x = AccessoryMargin + float(m_indentationLevel) * m_indentationWidth;
    if (m_imageView && m_imageView->image()) {
        gfx::Size size = m_imageView->image()->size();
        m_imageView->setFrame({ x, std::floor((content.height() - size.height) / 2), size.width, size.height });
        x += size.width + AccessoryMargin;
    }
    float width = std::max(0.0f, content.width() - x - AccessoryMargin);
    if (m_style == Style::Subtitle && m_textLabel && m_detailLabel) {
        m_textLabel->setFrame({ x, 2, width, std::floor(content.height() * 0.55f) });
        m_detailLabel->setFrame({ x, m_textLabel->frame().maxY(), width, content.height() - m_textLabel->frame().maxY() - 2 });
    } else if (m_detailLabel && m_textLabel && m_style == Style::Value1) {
        // The title keeps its own width and the value takes the rest; only
        // where both are long does each get at least half.
        const float gap = 6;
        const gfx::Size unbounded { 1e6f, content.height() };
        float title = std::min(std::ceil(m_textLabel->sizeThatFits(unbounded).width), width);
        float value = std::ceil(m_detailLabel->sizeThatFits(unbounded).width);
        if (title + gap + value > width)
            title = std::max(std::min(title, width / 2), width - gap - value);
        float detail = std::max(0.0f, width - title - gap);
        m_textLabel->setFrame({ x, 0, title, content.height() });
        m_detailLabel->setFrame({ x + width - detail, 0, detail, content.height() });
        m_detailLabel->setTextAlignment(gfx::TextAlignment::Right);
    } else if (m_detailLabel && m_textLabel) {
        float split = m_style == Style::Value2 ? 67 : width / 2;
        m_textLabel->setFrame({ x, 0, split, content.height() });
        m_detailLabel->setFrame({ x + split, 0, std::max(0.0f, width - split), content.height() });
    } else if (m_textLabel) {
        m_textLabel->setFrame({ x, 0, width, content.height() });
    }
}

std::string TableViewCell::debugText() const
{
    return m_textLabel ? m_textLabel->text() : std::string {};
}

} // namespace ui
