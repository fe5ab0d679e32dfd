#pragma once

// What custom table rows share: labels made ready for the content view, the
// table a row sits in, and a label placed under another part of the row.

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/TextEngine.h"

#include <memory>

namespace ui {
class Label;
class TableView;
class TableViewCell;
} // namespace ui

// A label with a zero frame, clear and not opaque, in the font, colours,
// line-break mode and shrink setting given, added to the cell's content
// view (which keeps it).
std::shared_ptr<ui::Label> createLabelWithFont(ui::TableViewCell& cell, const gfx::Font& font,
    const gfx::Color& textColor, const gfx::Color& highlightedTextColor, gfx::LineBreakMode lineBreakMode,
    bool adjustsFontSizeToFitWidth = false);
// The table the cell is a row of; null when it is in none.
ui::TableView* tableView(const ui::TableViewCell& cell);
// Places `label` at `rect`'s x and width, `margin` below its bottom, one
// line of its text high.
void layoutLabel(const ui::TableViewCell& cell, ui::Label& label, const gfx::Rect& rect, float margin);
