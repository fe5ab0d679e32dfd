#include "App/FolderBrowser/VKFolderSorting.h"

#include "FileModel/VKFileResource.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace {

enum : uint8_t { HasCollection = 1, HasSize = 2, HasDate = 4 };

int sign(int value)
{
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

// Items without a date go last.
double dateKey(const std::optional<core::Date>& date)
{
    return date ? date->timeIntervalSinceReferenceDate() + 0.0 : -std::numeric_limits<double>::infinity();
}

// A double's bits as a number that orders as the double does.
uint64_t orderedBits(double value)
{
    uint64_t bits = std::bit_cast<uint64_t>(value + 0.0);
    return bits >> 63 ? ~bits : bits | uint64_t(1) << 63;
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

void VKFolderSorting::keyName(VKFolderRow& row)
{
    row.name = row.resource->name();
    row.download = row.resource->isDownloadResource();
    row.baseKey = localizedNumericAndCaseInsensitiveSortKey(core::path::deletingPathExtension(row.name));
    for (size_t i = 0; i < 8; ++i)
        row.basePrefix = row.basePrefix << 8 | (i < row.baseKey.size() ? uint8_t(row.baseKey[i]) : 0);
}

const std::string& VKFolderSorting::extensionKey(const std::string& name) const
{
    std::string extension = core::path::pathExtension(name);
    auto known = m_extensionKeys.find(extension);
    if (known == m_extensionKeys.end())
        known = m_extensionKeys.emplace(extension, localizedCaseInsensitiveSortKey(extension)).first;
    return known->second;
}

VKFolderRow VKFolderSorting::makeRow(std::shared_ptr<VKFileResource> resource, bool prepared) const
{
    VKFolderRow row;
    row.resource = std::move(resource);
    keyName(row);
    row.extensionKey = extensionKey(row.name);
    if (prepared)
        prepare(row);
    return row;
}

std::vector<VKFolderRow> VKFolderSorting::makeRows(std::vector<std::shared_ptr<VKFileResource>> resources) const
{
    std::vector<VKFolderRow> rows(resources.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].resource = std::move(resources[i]);
    auto key = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            keyName(rows[i]);
    };
    core::Thread::inTwoHalves(rows.size(), key);
    for (auto& row : rows)
        row.extensionKey = extensionKey(row.name);
    return rows;
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
        row.date = dateKey(row.resource->modificationDate());
        row.filled |= HasDate;
    }
}

void VKFolderSorting::prepare(std::vector<VKFolderRow>& rows, bool reread) const
{
    if (m_order == SizeOrder || m_order == DateOrder) {
        const uint8_t flag = m_order == SizeOrder ? HasSize : HasDate;
        std::vector<VKFolderRow*> lacking;
        std::vector<const VKFileResource*> items;
        for (auto& row : rows) {
            if (reread)
                row.filled = 0;
            if (!(row.filled & flag)) {
                lacking.push_back(&row);
                items.push_back(row.resource.get());
            }
        }
        auto answers = VKFileResource::listingAttributes(items, m_order == SizeOrder, m_order == DateOrder);
        for (size_t i = 0; i < lacking.size(); ++i) {
            if (m_order == SizeOrder)
                lacking[i]->size = answers[i].contentSize;
            else
                lacking[i]->date = dateKey(answers[i].modificationDate);
            lacking[i]->filled |= flag;
        }
        return;
    }
    for (auto& row : rows)
        prepare(row, reread);
}

int VKFolderSorting::compareBaseNames(const VKFolderRow& a, const VKFolderRow& b)
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

int VKFolderSorting::compareExtensions(const VKFolderRow& a, const VKFolderRow& b)
{
    return sign(a.extensionKey.compare(b.extensionKey));
}

int VKFolderSorting::compareByName(const VKFolderRow& a, const VKFolderRow& b)
{
    if (a.nameRank != VKFolderRow::Unranked && b.nameRank != VKFolderRow::Unranked)
        return a.nameRank < b.nameRank ? -1 : a.nameRank > b.nameRank ? 1 : 0;
    int order = compareBaseNames(a, b);
    if (!order)
        order = compareExtensions(a, b);
    if (!order)
        order = sign(a.name.compare(b.name));
    return order;
}

int VKFolderSorting::compareNames(const VKFolderRow& a, const VKFolderRow& b) const
{
    if (m_order != KindOrder)
        return compareByName(a, b);
    // Among rows of one extension key, name order is base name then bytes.
    bool ranked = a.nameRank != VKFolderRow::Unranked && b.nameRank != VKFolderRow::Unranked;
    int order = ranked ? (a.extensionRank < b.extensionRank ? -1 : a.extensionRank > b.extensionRank ? 1 : 0)
                       : compareExtensions(a, b);
    if (!order && ranked)
        return compareByName(a, b);
    if (!order)
        order = compareBaseNames(a, b);
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

void VKFolderSorting::rank(std::vector<VKFolderRow>& rows)
{
    std::vector<uint32_t> ranked;
    std::vector<uint32_t> fresh;
    for (uint32_t i = 0; i < uint32_t(rows.size()); ++i)
        (rows[i].nameRank == VKFolderRow::Unranked ? fresh : ranked).push_back(i);
    if (fresh.empty())
        return;
    auto byName = [&](uint32_t a, uint32_t b) { return compareByName(rows[a], rows[b]) < 0; };
    std::sort(ranked.begin(), ranked.end(), [&](uint32_t a, uint32_t b) { return rows[a].nameRank < rows[b].nameRank; });
    // Thousands of names are sorted in two halves by two threads.
    size_t half = core::Thread::inTwoHalves(fresh.size(), [&](size_t from, size_t to) {
        std::sort(fresh.begin() + std::ptrdiff_t(from), fresh.begin() + std::ptrdiff_t(to), byName);
    });
    std::inplace_merge(fresh.begin(), fresh.begin() + std::ptrdiff_t(half), fresh.end(), byName);
    // Each new row finds its place among the ranked by a binary search
    // from the place of the one before.
    std::vector<uint32_t> merged;
    merged.reserve(rows.size());
    auto from = ranked.begin();
    for (uint32_t index : fresh) {
        auto place = std::upper_bound(from, ranked.end(), index, byName);
        merged.insert(merged.end(), from, place);
        merged.push_back(index);
        from = place;
    }
    merged.insert(merged.end(), from, ranked.end());
    for (uint32_t i = 0; i < uint32_t(merged.size()); ++i)
        rows[merged[i]].nameRank = i;

    std::unordered_map<std::string_view, uint32_t> extensions;
    for (const auto& row : rows)
        extensions.emplace(row.extensionKey, 0);
    std::vector<std::string_view> keys;
    keys.reserve(extensions.size());
    for (const auto& [key, unused] : extensions)
        keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    for (uint32_t i = 0; i < uint32_t(keys.size()); ++i)
        extensions[keys[i]] = i;
    for (auto& row : rows)
        row.extensionRank = extensions[row.extensionKey];
}

void VKFolderSorting::sort(std::vector<VKFolderRow>& rows) const
{
    prepare(rows);
    // Sizes and dates mostly differ: those orders compare names on ties
    // only, and leave the ranking to the next order by name.
    if (m_order <= KindOrder)
        rank(rows);
    bool ranked = std::all_of(rows.begin(), rows.end(),
        [](const VKFolderRow& row) { return row.nameRank != VKFolderRow::Unranked; });
    // Rows are moved once, after their order is known.
    std::vector<uint32_t> order(rows.size());
    for (uint32_t i = 0; i < uint32_t(rows.size()); ++i)
        order[i] = i;
    if (ranked) {
        // The order as a pair of numbers per row.
        struct Key {
            uint64_t primary;
            uint32_t rank;
            uint32_t index;
        };
        std::vector<Key> keys(rows.size());
        for (uint32_t i = 0; i < uint32_t(rows.size()); ++i) {
            const VKFolderRow& row = rows[i];
            uint64_t folderLast = row.collection ? 0 : 1;
            uint64_t primary = 0;
            switch (m_order) {
            case FoldersFirstOrder:
                primary = folderLast;
                break;
            case KindOrder:
                primary = folderLast << 32 | row.extensionRank;
                break;
            case SizeOrder:
                primary = ~row.size;
                break;
            case DateOrder:
                primary = ~orderedBits(row.date);
                break;
            default:
                break;
            }
            keys[i] = { primary, row.nameRank, i };
        }
        std::sort(keys.begin(), keys.end(),
            [](const Key& a, const Key& b) { return a.primary != b.primary ? a.primary < b.primary : a.rank < b.rank; });
        for (size_t i = 0; i < keys.size(); ++i)
            order[i] = keys[i].index;
    } else {
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return less(rows[a], rows[b]); });
    }
    std::vector<VKFolderRow> sorted;
    sorted.reserve(rows.capacity());
    for (uint32_t index : order)
        sorted.push_back(std::move(rows[index]));
    rows = std::move(sorted);
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
    prepare(fresh);
    auto byOrder = [this](const VKFolderRow& a, const VKFolderRow& b) { return less(a, b); };
    // New rows stay unranked: their ranks would not fit those of `rows`.
    std::sort(fresh.begin(), fresh.end(), byOrder);
    if (fresh.size() > 16) {
        size_t middle = rows.size();
        rows.insert(rows.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
        std::inplace_merge(rows.begin(), rows.begin() + std::ptrdiff_t(middle), rows.end(), byOrder);
        return;
    }
    size_t from = 0;
    for (auto& row : fresh) {
        auto place = std::upper_bound(rows.begin() + std::ptrdiff_t(from), rows.end(), row, byOrder);
        from = size_t(place - rows.begin()) + 1;
        rows.insert(place, std::move(row));
    }
}
