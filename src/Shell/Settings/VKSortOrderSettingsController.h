#pragma once

// The folder sort order: a list over "VKFileSortOrder" (the folder listing
// reads the same key) with the integers 0 to 4.

#include "Shell/Settings/VKSettingsListController.h"

class VKSortOrderSettingsController : public VKSettingsListController {
public:
    static std::shared_ptr<VKSortOrderSettingsController> sortOrderSettingsController();
    VKSortOrderSettingsController();
};
