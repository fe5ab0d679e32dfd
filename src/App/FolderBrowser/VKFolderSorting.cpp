#include "App/FolderBrowser/VKFolderSorting.h"

#include "FileModel/VKFileResource.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"

#include <algorithm>
#include <limits>

namespace {

enum : uint8_t { HasCollection = 1, HasSize = 2, HasDate = 4 };

int sign(int value)
{
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

} // namespace

int VKFolderSorting::currentOrder()
{
    int64_t order = core::UserDefaults::standard()->integerForKey("VKFileSortOrder");
    if (order < NameOrder || order > DateOrder) {
        core::log("Warning, unknown VKFileSortOrder: {}", order);
        return NameOrder;
    }
    return int(order);
}

VKFolderSorting::VKFolderSorting(int order)
    : m_order(order >= NameOrder && order <= DateOrder ? order : NameOrder)
{
}

VKFolderRow VKFolderSorting::makeRow(std::shared_ptr<VKFileResource> resource) const
{
    VKFolderRow row;
    row.name = resource->name();
    row.baseKey = localizedNumericAndCaseInsensitiveSortKey(core::path::deletingPathExtension(row.name));
    for (size_t i = 0; i < 8; ++i)
        row.basePrefix = row.basePrefix << 8 | (i < row.baseKey.size() ? uint8_t(row.baseKey[i]) : 0);
    std::string extension = core::path::pathExtension(row.name);
    auto known = m_extensionKeys.find(extension);
    if (known == m_extensionKeys.end())
        known = m_extensionKeys.emplace(extension, localizedCaseInsensitiveSortKey(extension)).first;
    row.extensionKey = known->second;
    row.resource = std::move(resource);
    prepare(row);
    return row;
}

void VKFolderSorting::prepare(VKFolderRow& row, bool reread) const
{
    if (reread)
        row.filled = 0;
    if ((m_order == FoldersFirstOrder || m_order == KindOrder) && !(row.filled & HasCollection)) {
        row.collection = row.resource->isCollection();
        row.filled |= HasCollection;
    }
    if (m_order == SizeOrder && !(row.filled & HasSize)) {
        row.size = row.resource->contentSize();
        row.filled |= HasSize;
    }
    if (m_order == DateOrder && !(row.filled & HasDate)) {
        auto date = row.resource->modificationDate();
        // Items without a date go last.
        row.date = date ? date->timeIntervalSinceReferenceDate() : -std::numeric_limits<double>::infinity();
        row.filled |= HasDate;
    }
}

int VKFolderSorting::compareBaseNames(const VKFolderRow& a, const VKFolderRow& b) const
{
    if (a.basePrefix != b.basePrefix)
        return a.basePrefix < b.basePrefix ? -1 : 1;
    if (int order = a.baseKey.compare(b.baseKey))
        return sign(order);
    // Equal keys differ only in case or width (or not at all).
    auto order = localizedNumericAndCaseInsensitiveCompare(core::path::deletingPathExtension(a.name),
        core::path::deletingPathExtension(b.name));
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int VKFolderSorting::compareExtensions(const VKFolderRow& a, const VKFolderRow& b) const
{
    return sign(a.extensionKey.compare(b.extensionKey));
}

int VKFolderSorting::compareNames(const VKFolderRow& a, const VKFolderRow& b) const
{
    int order = m_order == KindOrder ? compareExtensions(a, b) : compareBaseNames(a, b);
    if (!order)
        order = m_order == KindOrder ? compareBaseNames(a, b) : compareExtensions(a, b);
    if (!order)
        order = sign(a.name.compare(b.name));
    return order;
}

bool VKFolderSorting::less(const VKFolderRow& a, const VKFolderRow& b) const
{
    switch (m_order) {
    case FoldersFirstOrder:
    case KindOrder:
        if (a.collection != b.collection)
            return a.collection;
        break;
    case SizeOrder:
        if (a.size != b.size)
            return a.size > b.size;
        break;
    case DateOrder:
        if (a.date != b.date)
            return a.date > b.date;
        break;
    default:
        break;
    }
    return compareNames(a, b) < 0;
}

void VKFolderSorting::sort(std::vector<VKFolderRow>& rows) const
{
    for (auto& row : rows)
        prepare(row);
    std::sort(rows.begin(), rows.end(), [this](const VKFolderRow& a, const VKFolderRow& b) { return less(a, b); });
}

size_t VKFolderSorting::insertionIndex(const std::vector<VKFolderRow>& rows, const VKFolderRow& row) const
{
    auto place = std::upper_bound(rows.begin(), rows.end(), row,
        [this](const VKFolderRow& a, const VKFolderRow& b) { return less(a, b); });
    return size_t(place - rows.begin());
}

void VKFolderSorting::merge(std::vector<VKFolderRow>& rows, std::vector<VKFolderRow> fresh) const
{
    if (fresh.empty())
        return;
    sort(fresh);
    size_t middle = rows.size();
    rows.insert(rows.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    std::inplace_merge(rows.begin(), rows.begin() + std::ptrdiff_t(middle), rows.end(),
        [this](const VKFolderRow& a, const VKFolderRow& b) { return less(a, b); });
}
