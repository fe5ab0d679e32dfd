#include "Platform/UI/StandardViewDrawing.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/BarItemButton.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/SearchBar.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Slider.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Toolbar.h"

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

const gfx::Color Tint = gfx::Color::rgb255(0, 122, 255);
const gfx::Color Rule = gfx::Color::rgb255(160, 164, 172);
const gfx::Color Track = gfx::Color::rgb255(214, 216, 220);
const gfx::Color Separator = gfx::Color::rgb255(224, 224, 224);

gfx::Color barColor(NavigationBar::Style style, std::optional<gfx::Color> tint)
{
    if (tint)
        return *tint;
    return style == NavigationBar::Style::Default ? gfx::Color::rgb255(109, 132, 162) : gfx::Color::white(0.1f);
}

gfx::Color darker(const gfx::Color& color, float factor)
{
    return gfx::Color(color.red() * factor, color.green() * factor, color.blue() * factor, color.alpha());
}

// A flat bar with a rule on the edge away from its content.
void drawBar(gfx::Context& context, const gfx::Rect& b, const gfx::Color& color, bool ruleAtBottom)
{
    context.setFillColor(color);
    context.fillRect(b);
    context.setFillColor(darker(color, 0.7f));
    context.fillRect({ b.minX(), ruleAtBottom ? b.maxY() - 1 : b.minY(), b.width(), 1 });
}

bool drawBarItemButton(BarItemButton& button, gfx::Context& context)
{
    auto item = button.item();
    if (item && item->style() == BarButtonItem::Style::Plain)
        return false;
    gfx::Color bar = StandardColors::clear();
    for (View* up = button.superview(); up; up = up->superview()) {
        if (auto* navigation = dynamic_cast<NavigationBar*>(up)) {
            bar = barColor(navigation->barStyle(), navigation->tintColor());
            break;
        }
        if (auto* toolbar = dynamic_cast<Toolbar*>(up)) {
            bar = barColor(toolbar->barStyle(), toolbar->tintColor());
            break;
        }
    }
    if (bar.alpha() == 0)
        bar = barColor(NavigationBar::Style::Default, std::nullopt);
    bool done = item && item->style() == BarButtonItem::Style::Done;
    gfx::Color fill = done ? gfx::Color::rgb255(40, 100, 220) : darker(bar, 0.85f);
    if (button.isHighlighted())
        fill = darker(fill, 0.7f);
    gfx::Rect b = button.bounds().insetBy(0.5f, 0.5f);
    context.beginPath();
    if (button.isBackButton()) {
        // An arrow-shaped button pointing back.
        float tip = std::min(10.0f, b.height() / 2);
        float r = 5;
        context.moveToPoint(b.minX(), b.midY());
        context.addLineToPoint(b.minX() + tip, b.minY());
        context.addLineToPoint(b.maxX() - r, b.minY());
        context.addArc(b.maxX() - r, b.minY() + r, r, float(-M_PI / 2), 0, false);
        context.addArc(b.maxX() - r, b.maxY() - r, r, 0, float(M_PI / 2), false);
        context.addLineToPoint(b.minX() + tip, b.maxY());
        context.closePath();
    } else {
        StandardViewDrawing::addRoundedRect(context, b, 5);
    }
    context.saveGState();
    context.setFillColor(fill);
    context.fillPath();
    context.restoreGState();
    context.setStrokeColor(darker(bar, 0.55f));
    context.setLineWidth(1);
    context.strokePath();
    return true;
}

// While editing: a red minus or a green plus in a disc on the left, and
// the reorder grip's three lines on the right.
void drawEditingControls(TableViewCell& cell, gfx::Context& context)
{
    gfx::Rect b = cell.bounds();
    auto style = cell.editingStyle();
    if (style != TableViewCell::EditingStyle::None && cell.shouldIndentWhileEditing()) {
        float radius = 10;
        gfx::Point c { TableViewCell::EditingControlWidth / 2 + 2, b.midY() };
        bool insert = style == TableViewCell::EditingStyle::Insert;
        context.setFillColor(insert ? gfx::Color::rgb255(52, 170, 60) : gfx::Color::rgb255(216, 40, 36));
        context.fillEllipseInRect({ c.x - radius, c.y - radius, 2 * radius, 2 * radius });
        context.setFillColor(gfx::Color::white(1));
        context.fillRect({ c.x - 6, c.y - 1.5f, 12, 3 });
        if (insert)
            context.fillRect({ c.x - 1.5f, c.y - 6, 3, 12 });
    }
    if (cell.showsReorderControl()) {
        float left = b.maxX() - TableViewCell::EditingControlWidth + 7, width = TableViewCell::EditingControlWidth - 14;
        context.setFillColor(gfx::Color::white(0.6f));
        for (float dy : { -5.0f, 0.0f, 5.0f })
            context.fillRect({ left, b.midY() + dy - 1, width, 2 });
    }
}

void drawCell(TableViewCell& cell, gfx::Context& context)
{
    gfx::Rect b = cell.bounds();
    auto* table = dynamic_cast<TableView*>(cell.superview());
    bool grouped = table && table->style() == TableView::Style::Grouped;
    bool selected = (cell.isSelected() || cell.isHighlighted()) && cell.selectionStyle() != TableViewCell::SelectionStyle::None;
    if (selected) {
        context.setFillColor(cell.selectionStyle() == TableViewCell::SelectionStyle::Gray ? gfx::Color::white(0.75f)
                                                                                          : gfx::Color::rgb255(4, 110, 230));
        context.fillRect(b);
    } else if (!grouped && cell.backgroundColor().alpha() == 0) {
        context.setFillColor(gfx::Color::white(1));
        context.fillRect(b);
    }
    if (cell.showsFocusFrame()) {
        context.setStrokeColor(gfx::Color::rgb255(4, 110, 230));
        context.setLineWidth(2);
        context.strokeRect(b.insetBy(2, 2));
    }
    context.setFillColor(Separator);
    context.fillRect({ b.minX() + (grouped ? 0 : 10), b.maxY() - 1, b.width() - (grouped ? 0 : 10), 1 });
    if (cell.isEditing())
        drawEditingControls(cell, context);
    View* accessory = cell.shownAccessoryView();
    if (!accessory || accessory == cell.accessoryView().get())
        return;
    auto type = cell.isEditing() ? cell.editingAccessoryType() : cell.accessoryType();
    if (type == TableViewCell::Accessory::DisclosureIndicator)
        StandardViewDrawing::drawChevron(context, accessory->frame());
    else if (type == TableViewCell::Accessory::Checkmark)
        StandardViewDrawing::drawCheckmark(context, accessory->frame());
}

void drawTable(TableView& table, gfx::Context& context)
{
    if (table.style() != TableView::Style::Grouped)
        return;
    if (table.backgroundColor().alpha() == 0) {
        context.setFillColor(StandardColors::groupTableViewBackground());
        context.fillRect(table.bounds());
    }
    // Each section's rows on a rounded panel.
    for (int section = 0; section < table.numberOfSections(); ++section) {
        int rows = table.numberOfRows(section);
        if (rows == 0)
            continue;
        gfx::Rect panel = table.rectForRow({ section, 0 }).unionRect(table.rectForRow({ section, rows - 1 }));
        if (!panel.intersects(table.bounds()))
            continue;
        // Under the rows, which stand in from the sides.
        panel = panel.insetBy(TableView::GroupedMargin, 0).insetBy(0.5f, 0.5f);
        context.setFillColor(gfx::Color::white(1));
        StandardViewDrawing::fillRoundedRect(context, panel, 8);
        context.setStrokeColor(Rule);
        context.setLineWidth(1);
        StandardViewDrawing::strokeRoundedRect(context, panel, 8);
    }
}

void pathRoundedRect(gfx::Context& context, const gfx::Rect& rect, float radius)
{
    context.beginPath();
    StandardViewDrawing::addRoundedRect(context, rect, radius);
}

} // namespace

void StandardViewDrawing::addRoundedRect(gfx::Context& context, const gfx::Rect& rect, float radius)
{
    radius = std::min({ radius, rect.width() / 2, rect.height() / 2 });
    if (radius <= 0) {
        context.addRect(rect);
        return;
    }
    float x0 = rect.minX(), y0 = rect.minY(), x1 = rect.maxX(), y1 = rect.maxY();
    context.moveToPoint(x0 + radius, y0);
    context.addArc(x1 - radius, y0 + radius, radius, float(-M_PI / 2), 0, false);
    context.addArc(x1 - radius, y1 - radius, radius, 0, float(M_PI / 2), false);
    context.addArc(x0 + radius, y1 - radius, radius, float(M_PI / 2), float(M_PI), false);
    context.addArc(x0 + radius, y0 + radius, radius, float(M_PI), float(3 * M_PI / 2), false);
    context.closePath();
}

namespace {

// One line centred in the rectangle.
void drawCentredText(gfx::Context& context, const std::string& text, const gfx::Rect& rect, const gfx::Font& font,
    const gfx::Color& color)
{
    auto engine = gfx::textEngine();
    gfx::Size size = engine->sizeOfString(text, font, rect.width(), gfx::LineBreakMode::TailTruncation);
    context.setFillColor(color);
    gfx::Rect line(rect.minX(), rect.midY() - size.height / 2, rect.width(), size.height);
    engine->drawString(context, text, line, font, gfx::LineBreakMode::TailTruncation, gfx::TextAlignment::Center);
}

bool drawButton(Button& button, gfx::Context& context)
{
    gfx::Rect b = button.bounds();
    if (auto background = button.currentBackgroundImage()) {
        StandardViewDrawing::drawStretchable(context, button.backgroundRectForBounds(b), background);
        return true;
    }
    if (button.buttonType() != Button::Type::RoundedRect)
        return false;
    context.setFillColor(button.isHighlighted() ? Tint : gfx::Color::white(1));
    StandardViewDrawing::fillRoundedRect(context, b.insetBy(0.5f, 0.5f), 8);
    context.setStrokeColor(Rule);
    context.setLineWidth(1);
    StandardViewDrawing::strokeRoundedRect(context, b.insetBy(0.5f, 0.5f), 8);
    return true;
}

void drawSwitch(Switch& control, gfx::Context& context)
{
    gfx::Rect b = control.bounds();
    gfx::Rect capsule(b.minX() + 0.5f, b.minY() + 0.5f, b.width() - 1, b.height() - 1);
    bool on = control.isOn();
    context.setFillColor(on ? Tint : Track);
    StandardViewDrawing::fillRoundedRect(context, capsule, capsule.height() / 2);
    context.setStrokeColor(Rule);
    context.setLineWidth(1);
    StandardViewDrawing::strokeRoundedRect(context, capsule, capsule.height() / 2);
    float knob = capsule.height() - 2;
    gfx::Rect knobRect(on ? capsule.maxX() - knob - 1 : capsule.minX() + 1, capsule.minY() + 1, knob, knob);
    gfx::Rect textRect = on ? gfx::Rect(capsule.minX(), capsule.minY(), capsule.width() - knob, capsule.height())
                            : gfx::Rect(capsule.minX() + knob, capsule.minY(), capsule.width() - knob, capsule.height());
    drawCentredText(context, on ? "ON" : "OFF", textRect, Fonts::boldSystemFont(12),
        on ? gfx::Color::white(1) : gfx::Color::white(0.4f));
    context.setFillColor(gfx::Color::white(1));
    context.fillEllipseInRect(knobRect);
    context.setStrokeColor(Rule);
    context.beginPath();
    context.addEllipseInRect(knobRect);
    context.strokePath();
}

void drawSlider(Slider& slider, gfx::Context& context)
{
    gfx::Rect b = slider.bounds();
    gfx::Rect track = slider.trackRectForBounds(b);
    gfx::Rect thumb = slider.thumbRectForBounds(b, track, slider.value());
    gfx::Rect line(track.minX(), track.midY() - 2, track.width(), 4);
    context.setFillColor(Track);
    StandardViewDrawing::fillRoundedRect(context, line, 2);
    context.setFillColor(Tint);
    StandardViewDrawing::fillRoundedRect(context, { line.minX(), line.minY(), thumb.midX() - line.minX(), 4 }, 2);
    float side = std::min(thumb.width(), thumb.height()) - 2;
    gfx::Rect knob(thumb.midX() - side / 2, thumb.midY() - side / 2, side, side);
    context.setFillColor(gfx::Color::white(1));
    context.fillEllipseInRect(knob);
    context.setStrokeColor(Rule);
    context.beginPath();
    context.addEllipseInRect(knob);
    context.strokePath();
}

// A tinted bar control: the tint, a lighter pressed segment, darker rims
// and dividers; disabled segments dimmed.
void drawTintedSegments(SegmentedControl& control, gfx::Context& context, const gfx::Color& tint)
{
    gfx::Rect b = control.bounds().insetBy(0.5f, 0.5f);
    auto shade = [&](float k) {
        return gfx::Color(std::clamp(tint.red() * k, 0.f, 1.f), std::clamp(tint.green() * k, 0.f, 1.f),
            std::clamp(tint.blue() * k, 0.f, 1.f), tint.alpha());
    };
    context.setFillColor(tint);
    StandardViewDrawing::fillRoundedRect(context, b, 5);
    gfx::Color rim = shade(0.5f);
    for (size_t i = 0; i < control.numberOfSegments(); ++i) {
        gfx::Rect r = control.rectForSegment(i).intersection(b);
        if (r.isNull())
            continue;
        if (int(i) == control.selectedSegmentIndex()) {
            context.saveGState();
            pathRoundedRect(context, b, 5);
            context.clip();
            context.setFillColor(shade(1.6f));
            context.fillRect(r);
            context.restoreGState();
        }
        if (auto image = control.imageForSegment(i)) {
            gfx::Size size = image->size();
            context.saveGState();
            context.setAlpha(control.isEnabledForSegment(i) ? 1.0f : 0.35f);
            context.drawImage({ r.midX() - size.width / 2, r.midY() - size.height / 2, size.width, size.height }, *image);
            context.restoreGState();
        } else {
            drawCentredText(context, control.titleForSegment(i), r.insetBy(4, 0), Fonts::boldSystemFont(13),
                gfx::Color::white(control.isEnabledForSegment(i) ? 1.0f : 0.4f));
        }
        if (i > 0) {
            context.setFillColor(rim);
            context.fillRect({ r.minX() - 0.5f, b.minY(), 1, b.height() });
        }
    }
    context.setStrokeColor(rim);
    context.setLineWidth(1);
    StandardViewDrawing::strokeRoundedRect(context, b, 5);
}

void drawSegments(SegmentedControl& control, gfx::Context& context)
{
    if (control.segmentedControlStyle() == SegmentedControl::Style::Bar && control.tintColor())
        return drawTintedSegments(control, context, *control.tintColor());
    gfx::Rect b = control.bounds().insetBy(0.5f, 0.5f);
    context.setFillColor(gfx::Color::white(1));
    StandardViewDrawing::fillRoundedRect(context, b, 5);
    for (size_t i = 0; i < control.numberOfSegments(); ++i) {
        gfx::Rect r = control.rectForSegment(i).intersection(b);
        if (r.isNull())
            continue;
        bool selected = int(i) == control.selectedSegmentIndex();
        if (selected) {
            context.saveGState();
            pathRoundedRect(context, b, 5);
            context.clip();
            context.setFillColor(Tint);
            context.fillRect(r);
            context.restoreGState();
        }
        if (auto image = control.imageForSegment(i)) {
            gfx::Size size = image->size();
            context.drawImage({ r.midX() - size.width / 2, r.midY() - size.height / 2, size.width, size.height }, *image);
        } else {
            drawCentredText(context, control.titleForSegment(i), r.insetBy(4, 0), Fonts::boldSystemFont(13),
                selected ? gfx::Color::white(1) : gfx::Color::white(0.25f));
        }
        if (i > 0) {
            context.setFillColor(Tint);
            context.fillRect({ r.minX() - 0.5f, b.minY(), 1, b.height() });
        }
    }
    context.setStrokeColor(Tint);
    context.setLineWidth(1);
    StandardViewDrawing::strokeRoundedRect(context, b, 5);
}

void drawProgress(ProgressView& view, gfx::Context& context)
{
    gfx::Rect b = view.bounds();
    float height = std::min(b.height(), 9.0f);
    gfx::Rect bar(b.minX(), b.midY() - height / 2, b.width(), height);
    context.setFillColor(Track);
    StandardViewDrawing::fillRoundedRect(context, bar, height / 2);
    float done = std::clamp(view.progress(), 0.0f, 1.0f) * bar.width();
    if (done > 0) {
        context.setFillColor(Tint);
        StandardViewDrawing::fillRoundedRect(context, { bar.minX(), bar.minY(), done, height }, height / 2);
    }
}

void drawSpinner(ActivityIndicator& view, gfx::Context& context)
{
    gfx::Rect b = view.bounds();
    float radius = std::min(b.width(), b.height()) / 2;
    bool gray = view.activityIndicatorViewStyle() == ActivityIndicator::Style::Gray;
    context.saveGState();
    context.setLineWidth(std::max(1.5f, radius / 5));
    for (int i = 0; i < 12; ++i) {
        float angle = float(i * M_PI / 6);
        float c = std::cos(angle), s = std::sin(angle);
        float shade = gray ? 0.5f : 1.0f;
        context.setStrokeColor(gfx::Color::white(shade, 0.25f + 0.75f * float(i) / 11));
        context.beginPath();
        context.moveToPoint(b.midX() + c * radius * 0.45f, b.midY() + s * radius * 0.45f);
        context.addLineToPoint(b.midX() + c * radius * 0.9f, b.midY() + s * radius * 0.9f);
        context.strokePath();
    }
    context.restoreGState();
}

void drawTextField(TextField& field, gfx::Context& context)
{
    gfx::Rect b = field.bounds();
    gfx::Rect border = field.borderRectForBounds(b);
    switch (field.borderStyle()) {
    case TextField::BorderStyle::None:
        if (auto background = field.isEnabled() ? field.background() : field.disabledBackground())
            StandardViewDrawing::drawStretchable(context, border, background);
        break;
    case TextField::BorderStyle::Line:
        context.setStrokeColor(gfx::Color::white(0));
        context.setLineWidth(1);
        context.strokeRect(border.insetBy(0.5f, 0.5f));
        break;
    case TextField::BorderStyle::Bezel:
        context.setFillColor(gfx::Color::white(1));
        context.fillRect(border);
        context.setStrokeColor(gfx::Color::white(0.45f));
        context.setLineWidth(2);
        context.strokeRect(border.insetBy(1, 1));
        break;
    case TextField::BorderStyle::RoundedRect:
        context.setFillColor(gfx::Color::white(1));
        StandardViewDrawing::fillRoundedRect(context, border.insetBy(0.5f, 0.5f), 6);
        context.setStrokeColor(Rule);
        context.setLineWidth(1);
        StandardViewDrawing::strokeRoundedRect(context, border.insetBy(0.5f, 0.5f), 6);
        break;
    }
    // The clear button: a grey disc with a white cross.
    if (field.isClearButtonVisible()) {
        gfx::Rect button = field.clearButtonRectForBounds(b);
        context.setFillColor(gfx::Color::white(0.7f));
        context.fillEllipseInRect(button);
        context.setStrokeColor(gfx::Color::white(1));
        context.setLineWidth(1.5f);
        float inset = button.width() * 0.3f;
        context.beginPath();
        context.moveToPoint(button.minX() + inset, button.minY() + inset);
        context.addLineToPoint(button.maxX() - inset, button.maxY() - inset);
        context.moveToPoint(button.maxX() - inset, button.minY() + inset);
        context.addLineToPoint(button.minX() + inset, button.maxY() - inset);
        context.strokePath();
    }
    auto engine = gfx::textEngine();
    bool placeholder = field.text().empty();
    const std::string text = placeholder ? field.placeholder() : field.displayedText();
    if (text.empty())
        return;
    gfx::Rect r = placeholder ? field.placeholderRectForBounds(b) : field.textRectForBounds(b);
    gfx::Size size = engine->sizeOfString(text, field.font(), r.width(), gfx::LineBreakMode::TailTruncation);
    context.setFillColor(placeholder ? gfx::Color::white(0.7f) : field.textColor());
    engine->drawString(context, text, { r.minX(), r.midY() - size.height / 2, r.width(), size.height }, field.font(),
        gfx::LineBreakMode::TailTruncation, field.textAlignment());
    // What an input method is composing, underlined.
    core::Range marked = field.markedRange();
    if (placeholder || !field.hasMarkedText() || field.isSecureTextEntry() || marked.end() > text.size())
        return;
    auto widthOf = [&](std::string_view part) {
        return engine->sizeOfString(part, field.font()).width;
    };
    float whole = widthOf(text);
    float start = r.minX();
    if (field.textAlignment() == gfx::TextAlignment::Center)
        start = r.midX() - whole / 2;
    else if (field.textAlignment() == gfx::TextAlignment::Right)
        start = r.maxX() - whole;
    float x0 = std::max(r.minX(), start + widthOf(std::string_view(text).substr(0, marked.location)));
    float x1 = std::min(r.maxX(), start + widthOf(std::string_view(text).substr(0, marked.end())));
    if (x1 <= x0)
        return;
    float y = std::min(r.maxY(), r.midY() + size.height / 2) - 0.5f;
    context.setStrokeColor(field.textColor());
    context.setLineWidth(1);
    context.beginPath();
    context.moveToPoint(x0, y);
    context.addLineToPoint(x1, y);
    context.strokePath();
}

void drawImageView(ImageView& view, gfx::Context& context)
{
    auto& image = view.currentImage();
    if (!image)
        return;
    gfx::Rect b = view.bounds();
    gfx::Size size = image->size();
    gfx::Rect r = b;
    using Mode = View::ContentMode;
    Mode mode = view.contentMode();
    if (mode == Mode::ScaleAspectFit || mode == Mode::ScaleAspectFill) {
        float sx = b.width() / size.width, sy = b.height() / size.height;
        float s = mode == Mode::ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
        r = { b.midX() - size.width * s / 2, b.midY() - size.height * s / 2, size.width * s, size.height * s };
    } else if (mode != Mode::ScaleToFill && mode != Mode::Redraw) {
        float x = b.midX() - size.width / 2, y = b.midY() - size.height / 2;
        if (mode == Mode::Left || mode == Mode::TopLeft || mode == Mode::BottomLeft) x = b.minX();
        if (mode == Mode::Right || mode == Mode::TopRight || mode == Mode::BottomRight) x = b.maxX() - size.width;
        if (mode == Mode::Top || mode == Mode::TopLeft || mode == Mode::TopRight) y = b.minY();
        if (mode == Mode::Bottom || mode == Mode::BottomLeft || mode == Mode::BottomRight) y = b.maxY() - size.height;
        r = { x, y, size.width, size.height };
    }
    context.drawImage(r, *image);
}

} // namespace

void StandardViewDrawing::fillRoundedRect(gfx::Context& context, const gfx::Rect& rect, float radius)
{
    pathRoundedRect(context, rect, radius);
    context.fillPath();
}

void StandardViewDrawing::strokeRoundedRect(gfx::Context& context, const gfx::Rect& rect, float radius)
{
    pathRoundedRect(context, rect, radius);
    context.strokePath();
}

void StandardViewDrawing::drawStretchable(gfx::Context& context, const gfx::Rect& rect, const StretchableImage& image)
{
    if (!image)
        return;
    gfx::Size size = image.size();
    // One stretched column and row after the caps; zero caps stretch it all.
    float left = float(image.leftCapWidth), top = float(image.topCapHeight);
    float right = left > 0 ? std::max(0.0f, size.width - left - 1) : 0;
    float bottom = top > 0 ? std::max(0.0f, size.height - top - 1) : 0;
    context.drawImageInNineParts(rect, *image.image, left, top, right, bottom);
}

void StandardViewDrawing::drawChevron(gfx::Context& context, const gfx::Rect& rect)
{
    context.saveGState();
    context.setStrokeColor(gfx::Color::white(0.55f));
    context.setLineWidth(2.5f);
    float w = std::min(rect.width(), rect.height()) / 4;
    context.beginPath();
    context.moveToPoint(rect.midX() - w / 2, rect.midY() - w);
    context.addLineToPoint(rect.midX() + w / 2, rect.midY());
    context.addLineToPoint(rect.midX() - w / 2, rect.midY() + w);
    context.strokePath();
    context.restoreGState();
}

void StandardViewDrawing::drawCheckmark(gfx::Context& context, const gfx::Rect& rect)
{
    context.saveGState();
    context.setStrokeColor(Tint);
    context.setLineWidth(2.5f);
    float w = std::min(rect.width(), rect.height()) / 3;
    context.beginPath();
    context.moveToPoint(rect.midX() - w, rect.midY());
    context.addLineToPoint(rect.midX() - w / 3, rect.midY() + w * 0.7f);
    context.addLineToPoint(rect.midX() + w, rect.midY() - w * 0.8f);
    context.strokePath();
    context.restoreGState();
}

bool StandardViewDrawing::draw(View& view, gfx::Context& context)
{
    if (auto* alert = dynamic_cast<AlertView*>(&view)) {
        // A rounded box; the window behind it is dimmed by its own colour.
        gfx::Rect b = alert->bounds().insetBy(1, 1);
        context.setFillColor(gfx::Color::white(1));
        fillRoundedRect(context, b, 10);
        context.setStrokeColor(gfx::Color::white(0.45f));
        context.setLineWidth(2);
        strokeRoundedRect(context, b, 10);
        return true;
    }
    if (auto* sheet = dynamic_cast<ActionSheet*>(&view)) {
        gfx::Rect b = sheet->bounds();
        if (sheet->arrow() != ActionSheet::Arrow::None) {
            // At its anchor: a popover's frame, its arrow pointing there.
            bool up = sheet->arrow() == ActionSheet::Arrow::Up;
            constexpr float h = ActionSheet::ArrowHeight, half = 14;
            gfx::Rect body = up ? gfx::Rect { b.minX(), b.minY() + h, b.width(), b.height() - h }
                                : gfx::Rect { b.minX(), b.minY(), b.width(), b.height() - h };
            float tipY = up ? b.minY() : b.maxY();
            float baseY = up ? body.minY() + 1 : body.maxY() - 1;
            context.setFillColor(gfx::Color::rgb255(31, 41, 58));
            StandardViewDrawing::fillRoundedRect(context, body, 9);
            context.beginPath();
            context.moveToPoint(sheet->arrowX() - half, baseY);
            context.addLineToPoint(sheet->arrowX(), tipY);
            context.addLineToPoint(sheet->arrowX() + half, baseY);
            context.closePath();
            context.fillPath();
            context.setFillColor(gfx::Color::rgb255(206, 210, 218));
            StandardViewDrawing::fillRoundedRect(context, body.insetBy(4, 4), 6);
            return true;
        }
        // A panel along the bottom.
        context.setFillColor(gfx::Color::rgb255(206, 210, 218));
        context.fillRect(b);
        context.setFillColor(gfx::Color::white(0.45f));
        context.fillRect({ b.minX(), b.minY(), b.width(), 1 });
        return true;
    }
    if (auto* bar = dynamic_cast<NavigationBar*>(&view))
        return drawBar(context, bar->bounds(), barColor(bar->barStyle(), bar->tintColor()), true), true;
    if (auto* toolbar = dynamic_cast<Toolbar*>(&view))
        return drawBar(context, toolbar->bounds(), barColor(toolbar->barStyle(), toolbar->tintColor()), false), true;
    if (auto* tabBar = dynamic_cast<TabBar*>(&view))
        return drawBar(context, tabBar->bounds(), gfx::Color::white(0.1f), false), true;
    if (auto* search = dynamic_cast<SearchBar*>(&view)) {
        // A black one (the go-to-page bar laid over a viewer's bar) as its bar.
        bool black = search->barStyle() != NavigationBar::Style::Default;
        return drawBar(context, search->bounds(),
                   black ? barColor(search->barStyle(), search->tintColor()) : gfx::Color::rgb255(176, 188, 205), true),
               true;
    }
    if (auto* cell = dynamic_cast<TableViewCell*>(&view))
        return drawCell(*cell, context), true;
    if (auto* table = dynamic_cast<TableView*>(&view))
        return drawTable(*table, context), table->style() == TableView::Style::Grouped;
    if (auto* barButton = dynamic_cast<BarItemButton*>(&view))
        return drawBarItemButton(*barButton, context);
    if (auto* button = dynamic_cast<Button*>(&view))
        return drawButton(*button, context);
    if (auto* control = dynamic_cast<Switch*>(&view))
        return drawSwitch(*control, context), true;
    if (auto* slider = dynamic_cast<Slider*>(&view))
        return drawSlider(*slider, context), true;
    if (auto* segments = dynamic_cast<SegmentedControl*>(&view))
        return drawSegments(*segments, context), true;
    if (auto* progress = dynamic_cast<ProgressView*>(&view))
        return drawProgress(*progress, context), true;
    if (auto* spinner = dynamic_cast<ActivityIndicator*>(&view))
        return drawSpinner(*spinner, context), true;
    if (auto* field = dynamic_cast<TextField*>(&view))
        return drawTextField(*field, context), true;
    if (auto* imageView = dynamic_cast<ImageView*>(&view))
        return drawImageView(*imageView, context), true;
    return false;
}

} // namespace ui
