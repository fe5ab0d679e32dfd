#pragma once

// What the settings rows share: the bold row label on the left (black,
// white while the row is highlighted, cut at the tail and shrinking to
// 12 points before it is cut), the content rectangle (the content view
// less the grouped margin on both sides), and the label's place in it.
// Rows are made once per row and never reused, so they carry no reuse
// identifier.

#include "Platform/Graphics/Font.h"
#include "Platform/UI/TableViewCell.h"

#include <memory>
#include <string_view>

namespace ui {
class Label;
}

class VKSettingsRowCell : public ui::TableViewCell {
public:
    VKSettingsRowCell();

    ui::Label& label() const { return *m_label; }
    // The font every row's value is shown in (summaries, fields, notes).
    static gfx::Font valueFont();

    void setSelected(bool selected, bool animated = false) override;
    void setHighlighted(bool highlighted, bool animated = false) override;
    std::string debugText() const override;

protected:
    // Makes the label (in the constructor it cannot be: the content view
    // must exist) and gives it `text`.
    void setUpLabel(std::string_view text);
    // Labels that turn white with the row besides the row label.
    void addHighlightedLabel(std::shared_ptr<ui::Label> label);
    gfx::Rect contentRect() const;
    // The row label sized to its text (never wider than `maxWidth`), at
    // the content rectangle's left edge, centred vertically.
    void placeLabel(float maxWidth);
    // Where a value stands: from 10 points right of the placed label to
    // `right`, 2 points higher and 4 taller than the label.
    gfx::Rect valueRect(float right) const;

private:
    void updateHighlight();

    std::shared_ptr<ui::Label> m_label;
    std::vector<std::weak_ptr<ui::Label>> m_highlighted;
};
