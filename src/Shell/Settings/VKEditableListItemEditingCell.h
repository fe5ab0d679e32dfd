#pragma once

// The one row of the item editor: a bold 18-point text field filling the
// row less 10 points on every side.

#include "Platform/UI/TableViewCell.h"

#include <memory>
#include <string>

namespace ui {
class TextField;
}

class VKEditableListItemEditingCell : public ui::TableViewCell {
public:
    static constexpr const char* CellIdentifier = "VKEditableListItemEditingCell";

    static std::shared_ptr<VKEditableListItemEditingCell> create();
    VKEditableListItemEditingCell();

    ui::TextField& textField() const { return *m_textField; }
    void layoutSubviews() override;
    std::string debugText() const override;

private:
    std::shared_ptr<ui::TextField> m_textField;
};
