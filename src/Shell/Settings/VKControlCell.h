#pragma once

// A settings row that can be switched off as a whole. The base keeps the
// flag; the rows built on it grey their label and stop acting.

#include "Shell/Settings/VKSettingsRowCell.h"

class VKControlCell : public VKSettingsRowCell {
public:
    bool isEnabled() const { return m_enabled; }
    // Also greys the row label (black again when enabled).
    virtual void setEnabled(bool enabled);

private:
    bool m_enabled = true;
};
