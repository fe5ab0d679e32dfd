#include "Viewers/Document/VKBookmarkAddCell.h"

#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/TextField.h"

#include <cmath>

std::shared_ptr<VKBookmarkAddCell> VKBookmarkAddCell::initWithStyle(Style style, std::string reuseIdentifier)
{
    return std::make_shared<VKBookmarkAddCell>(style, std::move(reuseIdentifier));
}

VKBookmarkAddCell::VKBookmarkAddCell(Style style, std::string reuseIdentifier)
    : TableViewCell(style, std::move(reuseIdentifier))
    , m_textField(ui::TextField::create())
{
    m_textField->setFont(ui::Fonts::boldSystemFont(20));
    m_textField->setAdjustsFontSizeToFitWidth(true);
    m_textField->setBorderStyle(ui::TextField::BorderStyle::None);
    m_textField->setClearButtonMode(ui::TextField::ViewMode::Always);
    contentView().addSubview(m_textField);
}

VKBookmarkAddCell::~VKBookmarkAddCell() = default;

void VKBookmarkAddCell::startEditing()
{
    m_textField->becomeFirstResponder();
}

// The field's box is the content less the insets and, with a picture, less
// the picture and a gap; its height is that of one line of its text (of
// "A" while empty), so a shrunk or a larger font stays centred, one point
// under the middle.
void VKBookmarkAddCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    gfx::Rect r = contentView().bounds();
    r = gfx::Rect(r.x() + HorizontalInset, r.y() + VerticalInset, r.width() - 2 * HorizontalInset,
        r.height() - 2 * VerticalInset);
    if (auto image = imageView().image()) {
        float shift = image->size().width + HorizontalInset;
        r = gfx::Rect(r.x() + shift, r.y(), r.width() - shift, r.height());
    }
    std::string text = m_textField->text();
    float height = ui::Fonts::sizeOfString(text.empty() ? "A" : text, m_textField->font()).height;
    float top = r.y() + std::floor((r.height() - height) * 0.5f) + 1;
    m_textField->setFrame(gfx::Rect(r.x(), top, std::max(0.0f, r.width()), height));
}
