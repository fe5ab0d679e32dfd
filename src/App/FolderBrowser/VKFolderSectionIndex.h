#pragma once

#include "App/FolderBrowser/VKFolderSorting.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where the letter strip jumps in a list: for each first character of the
// rows' names (of their extensions when the list is sorted by kind), the row
// where a run of that character, case ignored, last began. Made in one pass
// over the rows when the strip is first touched; dropped with every change of
// the rows.
class VKFolderSectionIndex {
public:
    // The strip's labels per language: sections of one-character labels
    // and whether each may be compressed. Languages without their own take
    // the English ones.
    struct Labels {
        std::vector<std::vector<std::string>> sections;
        std::vector<bool> canCompress;
    };
    static const Labels& labelsForLanguage(const std::string& language);

    VKFolderSectionIndex(const std::vector<VKFolderRow>& rows, bool byExtension);

    // The row to show for a label: the row of its own character; for a
    // character no row starts with, the row before the first character that
    // sorts after it (the end of the letters before the label), or the last
    // character's row when none does. Nothing ("#", an empty list, or the
    // row before the first one) means the top of the list.
    std::optional<size_t> targetRowForLabel(std::string_view label) const;

    size_t sectionCount() const { return m_rows.size(); }

private:
    // Keyed by the case-insensitive collation key of the character.
    std::map<std::string, size_t> m_rows;
};
