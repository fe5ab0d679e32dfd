#pragma once

// A one-line row holding a text field in which a name is typed: the new
// bookmark's name in the document bookmarks list, the title and the
// address in the browser's bookmark form. The field sits after the row's
// picture, centred on the height of its own text.

#include "Platform/UI/TableViewCell.h"

#include <memory>
#include <string>

namespace ui {
class TextField;
}

class VKBookmarkAddCell : public ui::TableViewCell {
public:
    static std::shared_ptr<VKBookmarkAddCell> initWithStyle(Style style, std::string reuseIdentifier);
    VKBookmarkAddCell(Style style, std::string reuseIdentifier);
    ~VKBookmarkAddCell() override;

    ui::TextField& textField() const { return *m_textField; }
    // The field takes the keyboard.
    void startEditing();
    void layoutSubviews() override;

    // Between the content's edges and the field, and between the picture
    // and the field.
    static constexpr float HorizontalInset = 10;
    static constexpr float VerticalInset = 2;

private:
    std::shared_ptr<ui::TextField> m_textField;
};
