#include "App/FolderBrowser/VKFolderSectionIndex.h"

#include "Kit/StringAdditions.h"
#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Path.h"

#include <map>
#include <unordered_map>

namespace {

// The first character of a name, never a lone byte of one: a byte outside a
// well-formed sequence reads as U+FFFD.
std::string_view firstCharacter(std::string_view text)
{
    if (text.empty())
        return {};
    core::CodePoint point = core::decodeCodePoint(text, 0);
    if (!point.valid)
        return "\xEF\xBF\xBD";
    return text.substr(0, point.length);
}

// Splits an alphabet into its characters, one label each.
std::vector<std::string> labelsOfAlphabet(std::string_view alphabet)
{
    std::vector<std::string> labels;
    for (size_t offset = 0; offset < alphabet.size();) {
        core::CodePoint point = core::decodeCodePoint(alphabet, offset);
        labels.emplace_back(alphabet.substr(offset, point.length));
        offset += point.length;
    }
    return labels;
}

} // namespace

const VKFolderSectionIndex::Labels& VKFolderSectionIndex::labelsForLanguage(const std::string& language)
{
    static const std::map<std::string, Labels> labels = [] {
        std::vector<std::string> latin = labelsOfAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        std::map<std::string, Labels> table;
        table["en"] = { { { "#" }, latin }, { false, true } };
        table["ru"] = { { { "#" }, latin, labelsOfAlphabet("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ") }, { false, true, true } };
        table["ja"] = { { { "#" }, latin, labelsOfAlphabet("あかさたなはまやらわ") }, { false, true, false } };
        return table;
    }();
    auto found = labels.find(language);
    return found != labels.end() ? found->second : labels.at("en");
}

VKFolderSectionIndex::VKFolderSectionIndex(const std::vector<VKFolderRow>& rows, bool byExtension)
{
    // Sorted rows change their first character rarely; a character seen
    // before reuses its key (values of the map stay where they are).
    std::unordered_map<std::string, std::string> keys;
    std::string extension;
    const std::string* previous = nullptr;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string_view text = rows[i].name;
        if (byExtension) {
            extension = core::path::pathExtension(rows[i].name);
            text = extension;
        }
        std::string character(firstCharacter(text));
        if (character.empty())
            continue;
        auto found = keys.find(character);
        if (found == keys.end())
            found = keys.emplace(character, localizedCaseInsensitiveSortKey(character)).first;
        if (!previous || *previous != found->second) {
            m_rows[found->second] = i;
            previous = &found->second;
        }
    }
}

std::optional<size_t> VKFolderSectionIndex::targetRowForLabel(std::string_view label) const
{
    if (m_rows.empty() || label.empty())
        return std::nullopt;
    std::string key = localizedCaseInsensitiveSortKey(label);
    if (auto exact = m_rows.find(key); exact != m_rows.end())
        return exact->second;
    if (label == "#")
        return std::nullopt;
    auto after = m_rows.upper_bound(key);
    if (after == m_rows.end())
        return std::prev(after)->second;
    if (after->second == 0)
        return std::nullopt;
    return after->second - 1;
}
