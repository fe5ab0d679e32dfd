#include "Shell/Settings/VKSortOrderSettingsController.h"

#include "Platform/Core/Localized.h"

namespace {

std::vector<core::Value> sortOrders()
{
    std::vector<core::Value> values;
    for (int64_t order = 0; order <= 4; ++order)
        values.emplace_back(order);
    return values;
}

std::vector<std::string> sortOrderLabels()
{
    std::vector<std::string> labels;
    for (const char* label : { "Sort by Name", "Sort Folders First", "Sort by Kind", "Sort by Size", "Sort by Date" })
        labels.push_back(core::localized(label, "Settings"));
    return labels;
}

} // namespace

std::shared_ptr<VKSortOrderSettingsController> VKSortOrderSettingsController::sortOrderSettingsController()
{
    return std::make_shared<VKSortOrderSettingsController>();
}

VKSortOrderSettingsController::VKSortOrderSettingsController()
    : VKSettingsListController("VKFileSortOrder", sortOrders(), sortOrderLabels())
{
    setTitle(core::localized("Sort Order", "Settings"));
}
