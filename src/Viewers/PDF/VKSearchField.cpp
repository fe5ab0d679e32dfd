#include "Viewers/PDF/VKSearchField.h"

#include "Platform/UI/Fonts.h"
#include "Platform/UI/Images.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<VKSearchField> VKSearchField::create(const gfx::Rect& frame)
{
    auto image = ui::Images::imageNamed("VKSearchFieldBackground.png");
    if (!image)
        return nullptr;
    gfx::Size size = image->size();
    auto field = std::make_shared<VKSearchField>();
    field->m_leftCapWidth = unsigned(std::max(0.0f, std::floor(size.width * 0.5f)));
    float textHeight = ui::Fonts::sizeOfString("X", field->font()).height;
    field->m_heightOffset = unsigned(std::max(0.0f, std::floor((size.height - textHeight) * 0.5f)));
    field->setFrame(gfx::Rect(frame.minX(), frame.minY(), frame.width(), size.height));
    field->setBorderStyle(BorderStyle::None);
    field->setBackground(ui::StretchableImage(image, int(field->m_leftCapWidth), 0));
    field->setClearButtonMode(ViewMode::WhileEditing);
    field->setAutocorrectionType(AutocorrectionType::No);
    return field;
}

gfx::Rect VKSearchField::editingRectForBounds(const gfx::Rect& bounds) const
{
    // The toolkit's editing rectangle is its text rectangle, which this
    // class answers with this one: take the toolkit's text rectangle. That
    // one is the text's line, already centred in the bounds; the offset
    // centres the line from the bounds' top, so it is taken from there, not
    // added to the centring (which put the text on the field's lower edge).
    gfx::Rect r = ui::TextField::textRectForBounds(bounds);
    return gfx::Rect(r.minX() + float(m_leftCapWidth), bounds.minY() + float(m_heightOffset),
        r.width() - float(m_leftCapWidth), r.height());
}

gfx::Rect VKSearchField::textRectForBounds(const gfx::Rect& bounds) const
{
    return editingRectForBounds(bounds);
}
