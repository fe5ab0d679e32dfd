#pragma once

// A settings row with a text field bound to one default (its text, as a
// string) or to one keychain password (user and service both the key).
// Editing ends by storing: non-empty text is stored, empty text removes
// the default (its registered value shows through again) or every
// password of the service; then the delegate hears of it. A number-pad
// field takes digits only.

#include "Shell/Settings/VKDefaultsBinding.h"
#include "Shell/Settings/VKSettingsRowCell.h"

#include <memory>
#include <string>
#include <string_view>

namespace ui {
class TextField;
class TextFieldDelegate;
} // namespace ui

class VKTextFieldCell;

class VKTextFieldCellDelegate {
public:
    virtual ~VKTextFieldCellDelegate() = default;
    virtual void textFieldCellWillBeginEditing(VKTextFieldCell& cell) { (void)cell; }
    virtual void textFieldCellDidEndEditing(VKTextFieldCell& cell) { (void)cell; }
};

class VKTextFieldCell : public VKSettingsRowCell, public VKDefaultsSyncing, public VKDefaultsCommitting {
public:
    static std::shared_ptr<VKTextFieldCell> initWithLabel(std::string_view label, std::string_view defaultsKey);
    static std::shared_ptr<VKTextFieldCell> initWithLabelKeychainKey(std::string_view label, std::string_view keychainKey);
    ~VKTextFieldCell() override;

    ui::TextField& textField() const { return *m_textField; }
    const std::string& defaultsKey() const { return m_defaultsKey; }
    const std::string& keychainKey() const { return m_keychainKey; }
    std::shared_ptr<VKTextFieldCellDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKTextFieldCellDelegate> delegate) { m_delegate = std::move(delegate); }

    // Stores the field's text and tells the delegate, as the end of
    // editing does.
    void commitToDefaults() override;
    // Shows what the store holds.
    void syncToDefaults() override;
    bool resignFirstResponder() override;
    // Return starts editing the field.
    bool activateControl() override;
    void layoutSubviews() override;

private:
    class FieldDelegate;
    static std::shared_ptr<VKTextFieldCell> make(std::string_view label);
    void storeAndNotify();

    std::shared_ptr<ui::TextField> m_textField;
    std::shared_ptr<FieldDelegate> m_fieldDelegate;
    std::string m_defaultsKey;
    std::string m_keychainKey;
    std::weak_ptr<VKTextFieldCellDelegate> m_delegate;
};
