#pragma once

// What a settings row may answer when its page asks: re-reading the store
// it is bound to (every time the page shows again), and writing back what
// it shows (when the page goes away). A row that answers neither is left
// alone.

#include <memory>
#include <vector>

namespace ui {
class TableViewCell;
}

class VKDefaultsSyncing {
public:
    virtual ~VKDefaultsSyncing() = default;
    virtual void syncToDefaults() = 0;
};

class VKDefaultsCommitting {
public:
    virtual ~VKDefaultsCommitting() = default;
    virtual void commitToDefaults() = 0;
};

using VKSettingsGroups = std::vector<std::vector<std::shared_ptr<ui::TableViewCell>>>;

// Each row of the groups that answers, group by group, row by row.
void syncToDefaults(const VKSettingsGroups& groups);
void commitToDefaults(const VKSettingsGroups& groups);
