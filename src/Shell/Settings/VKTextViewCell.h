#pragma once

// A settings row that is one text view bound to a default's text, filling
// the row less 10 points at the sides and 5 at top and bottom.

#include "Shell/Settings/VKDefaultsBinding.h"
#include "Platform/UI/TableViewCell.h"

#include <memory>
#include <string>
#include <string_view>

namespace ui {
class TextView;
}

class VKTextViewCell : public ui::TableViewCell, public VKDefaultsSyncing, public VKDefaultsCommitting {
public:
    VKTextViewCell();
    static std::shared_ptr<VKTextViewCell> initWithDefaultsKey(std::string_view defaultsKey);

    ui::TextView& textView() const { return *m_textView; }
    const std::string& defaultsKey() const { return m_defaultsKey; }

    // Both do nothing without a key.
    void syncToDefaults() override;
    void commitToDefaults() override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void layoutSubviews() override;

private:
    std::shared_ptr<ui::TextView> m_textView;
    std::string m_defaultsKey;
};
