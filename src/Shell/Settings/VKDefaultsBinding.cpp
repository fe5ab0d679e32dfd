#include "Shell/Settings/VKDefaultsBinding.h"

#include "Platform/UI/TableViewCell.h"

void syncToDefaults(const VKSettingsGroups& groups)
{
    for (auto& group : groups)
        for (auto& cell : group)
            if (auto* syncing = dynamic_cast<VKDefaultsSyncing*>(cell.get()))
                syncing->syncToDefaults();
}

void commitToDefaults(const VKSettingsGroups& groups)
{
    for (auto& group : groups)
        for (auto& cell : group)
            if (auto* committing = dynamic_cast<VKDefaultsCommitting*>(cell.get()))
                committing->commitToDefaults();
}
