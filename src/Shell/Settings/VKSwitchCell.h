#pragma once

// A settings row with a switch bound to a boolean default. The switch is on
// when the stored boolean differs from negateValue, so a key that turns a
// feature off ("VKDocumentDisableDataDetectors") shows as a switch that
// turns it on. A toggle stores at once.

#include "Shell/Settings/VKControlCell.h"
#include "Shell/Settings/VKDefaultsBinding.h"

#include <memory>
#include <string>
#include <string_view>

namespace ui {
class Switch;
}

class VKSwitchCell : public VKControlCell, public VKDefaultsSyncing {
public:
    static std::shared_ptr<VKSwitchCell> initWithLabel(std::string_view label, std::string_view defaultsKey);

    ui::Switch& switchControl() const { return *m_switch; }
    const std::string& defaultsKey() const { return m_defaultsKey; }
    bool negateValue() const { return m_negateValue; }
    // Sets the flag, then shows the stored value again.
    void setNegateValue(bool negate);

    // Return toggles the switch while the row is enabled.
    bool activateControl() override;
    void syncToDefaults() override;
    // Also greys the label and disables the switch.
    void setEnabled(bool enabled) override;
    void layoutSubviews() override;

private:
    void switchValueDidChange();

    std::shared_ptr<ui::Switch> m_switch;
    std::string m_defaultsKey;
    bool m_negateValue = false;
};
