#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class VKFileResource;

// One listed item with what its order compares, taken once when the row is
// made (collation keys, the folder flag, size, date), so that sorting a
// large folder never collates or stats inside a comparison.
struct VKFolderRow {
    std::shared_ptr<VKFileResource> resource;
    std::string name;
    // Collation keys of the base name (digit runs by value, case ignored)
    // and of the extension (case ignored).
    std::string baseKey;
    std::string extensionKey;
    // The base key's first 8 bytes as a number: most comparisons end here.
    uint64_t basePrefix = 0;
    uint64_t size = 0;
    double date = 0;
    // The row's place in name order among the rows of its list ranked with
    // it, and of its extension's key among theirs: a sort on ranks compares
    // numbers only. A new row has none until its list is sorted again.
    static constexpr uint32_t Unranked = UINT32_MAX;
    uint32_t nameRank = Unranked;
    uint32_t extensionRank = 0;
    bool collection = false;
    // A download's row (never an entry of the folder's listing).
    bool download = false;
    // Which of the attributes (collection, size, date) were read.
    uint8_t filled = 0;
};

// The orders of the folder list ("VKFileSortOrder"): 0 by name, 1 folders
// first then by name, 2 folders first then by extension, 3 by size and 4 by
// modification date, both largest or newest first. Names break ties (base
// name, then extension), and rows equal under collation ("Report.pdf",
// "report.pdf") keep the order of their bytes, so every sort of the same
// items gives the same rows.
class VKFolderSorting {
public:
    static constexpr int NameOrder = 0;
    static constexpr int FoldersFirstOrder = 1;
    static constexpr int KindOrder = 2;
    static constexpr int SizeOrder = 3;
    static constexpr int DateOrder = 4;

    // The user's order; an unknown one is logged and read as 0.
    static int currentOrder();

    explicit VKFolderSorting(int order);
    int order() const { return m_order; }
    // Whether the letter strip fits this order (by name or by extension).
    bool showsIndex() const { return m_order == NameOrder || m_order == KindOrder; }

    // Without `prepared` the attributes are left to a later prepare or sort,
    // which reads those of many rows at once.
    VKFolderRow makeRow(std::shared_ptr<VKFileResource> resource, bool prepared = true) const;
    // Rows for many items at once, unprepared: thousands are keyed by two
    // threads, which ask each item its name (plain items answer on any
    // thread).
    std::vector<VKFolderRow> makeRows(std::vector<std::shared_ptr<VKFileResource>> resources) const;
    // Reads the attributes this order compares that the row lacks, or all
    // of them again (the item may have changed on disk).
    void prepare(VKFolderRow& row, bool reread = false) const;
    // The same for many rows, the items of one folder read together.
    void prepare(std::vector<VKFolderRow>& rows, bool reread = false) const;

    bool less(const VKFolderRow& a, const VKFolderRow& b) const;
    // Ranks the rows (only the new ones are compared by name) and sorts
    // them on numbers. Rows enter a list only new or from the same list,
    // so that ranks in it always come from one ranking.
    void sort(std::vector<VKFolderRow>& rows) const;
    // Where the row belongs among rows sorted in this order.
    size_t insertionIndex(const std::vector<VKFolderRow>& rows, const VKFolderRow& row) const;
    // Sorts the new rows `fresh` and merges them into the sorted `rows`: a
    // few are inserted, many merged.
    void merge(std::vector<VKFolderRow>& rows, std::vector<VKFolderRow> fresh) const;

private:
    // The keys of the row's name, on any thread; the extension's key is
    // left to extensionKey.
    static void keyName(VKFolderRow& row);
    const std::string& extensionKey(const std::string& name) const;
    int compareNames(const VKFolderRow& a, const VKFolderRow& b) const;
    // Name order whatever the order in use: base name, extension, bytes.
    static int compareByName(const VKFolderRow& a, const VKFolderRow& b);
    static int compareBaseNames(const VKFolderRow& a, const VKFolderRow& b);
    static int compareExtensions(const VKFolderRow& a, const VKFolderRow& b);
    static void rank(std::vector<VKFolderRow>& rows);

    int m_order;
    // Few extensions recur over many rows: each is keyed once.
    mutable std::unordered_map<std::string, std::string> m_extensionKeys;
};
