#include "Shell/Settings/VKTextFieldCell.h"

#include "Shell/Interface/InterfaceColors.h"
#include "Shell/VKKeychain.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/TextField.h"

#include <algorithm>

// The field's delegate: the cell itself cannot be handed out as one while
// it is being made, so this small object, owned by the cell, speaks for it.
class VKTextFieldCell::FieldDelegate : public ui::TextFieldDelegate {
public:
    explicit FieldDelegate(VKTextFieldCell& cell) : m_cell(cell) { }

    bool shouldBeginEditing(ui::TextField&) override
    {
        if (auto delegate = m_cell.delegate())
            delegate->textFieldCellWillBeginEditing(m_cell);
        return true;
    }
    // A number pad takes digits and nothing else: a paste that holds a
    // letter anywhere is refused whole. Deleting is always allowed.
    bool shouldChangeCharacters(ui::TextField& field, core::Range, std::string_view replacement) override
    {
        if (field.keyboardType() != ui::TextInput::KeyboardType::NumberPad || replacement.empty())
            return true;
        return std::all_of(replacement.begin(), replacement.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    bool shouldReturn(ui::TextField& field) override
    {
        field.resignFirstResponder();
        return true;
    }
    void didEndEditing(ui::TextField&) override { m_cell.storeAndNotify(); }

private:
    VKTextFieldCell& m_cell;
};

std::shared_ptr<VKTextFieldCell> VKTextFieldCell::make(std::string_view label)
{
    auto cell = std::make_shared<VKTextFieldCell>();
    cell->setUpLabel(label);
    cell->setSelectionStyle(SelectionStyle::None);
    auto& field = *(cell->m_textField = ui::TextField::create());
    field.setFont(valueFont());
    field.setTextColor(tableViewCellTextValueColor());
    field.setTextAlignment(gfx::TextAlignment::Right);
    field.setAdjustsFontSizeToFitWidth(true);
    field.setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
    field.setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    field.setReturnKeyType(ui::TextInput::ReturnKeyType::Done);
    cell->m_fieldDelegate = std::make_shared<FieldDelegate>(*cell);
    field.setDelegate(cell->m_fieldDelegate);
    cell->contentView().addSubview(cell->m_textField);
    return cell;
}

std::shared_ptr<VKTextFieldCell> VKTextFieldCell::initWithLabel(std::string_view label, std::string_view defaultsKey)
{
    auto cell = make(label);
    cell->m_defaultsKey = defaultsKey;
    cell->syncToDefaults();
    return cell;
}

std::shared_ptr<VKTextFieldCell> VKTextFieldCell::initWithLabelKeychainKey(std::string_view label, std::string_view keychainKey)
{
    auto cell = make(label);
    cell->m_keychainKey = keychainKey;
    cell->syncToDefaults();
    return cell;
}

VKTextFieldCell::~VKTextFieldCell()
{
    // The field may outlive the row (a caller holding it); it must not
    // speak for a row that is gone.
    m_textField->setDelegate({});
}

void VKTextFieldCell::syncToDefaults()
{
    if (!m_defaultsKey.empty())
        m_textField->setText(core::UserDefaults::standard()->stringForKey(m_defaultsKey));
    else if (!m_keychainKey.empty())
        m_textField->setText(VKKeychain::sharedKeychain()->passwordForUser(m_keychainKey, m_keychainKey).value_or(""));
}

void VKTextFieldCell::storeAndNotify()
{
    auto keep = shared_from_this();
    std::string text = m_textField->text();
    if (!m_defaultsKey.empty()) {
        auto defaults = core::UserDefaults::standard();
        if (text.empty())
            defaults->remove(m_defaultsKey);
        else
            defaults->set(m_defaultsKey, core::Value(text));
    } else if (!m_keychainKey.empty()) {
        auto keychain = VKKeychain::sharedKeychain();
        if (text.empty())
            keychain->removeAllPasswordsForService(m_keychainKey);
        else
            keychain->setPassword(text, m_keychainKey, m_keychainKey);
    }
    if (auto delegate = m_delegate.lock())
        delegate->textFieldCellDidEndEditing(*this);
}

void VKTextFieldCell::commitToDefaults()
{
    storeAndNotify();
}

bool VKTextFieldCell::resignFirstResponder()
{
    return m_textField->resignFirstResponder();
}

bool VKTextFieldCell::activateControl()
{
    m_textField->becomeFirstResponder();
    return true;
}

// The field takes the place a page row's summary would: from 10 points
// right of the label to the content's edge, 2 points higher and 4 taller
// than the label, keeping 10 more points from the edge without an
// accessory.
void VKTextFieldCell::layoutSubviews()
{
    VKSettingsRowCell::layoutSubviews();
    gfx::Rect content = contentRect();
    placeLabel(content.width());
    m_textField->setFrame(valueRect(content.maxX() - (shownAccessoryView() ? 0 : 10)));
}
