// The folder list's orders and letter map on their own (keys taken once
// must order as the comparisons do, hostile names included), and the
// browser's edits checked against fresh listings after many random changes.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderSectionIndex.h"
#include "App/FolderBrowser/VKFolderSorting.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"

#include <fmt/format.h>

#include <algorithm>
#include <random>

namespace {

using Strings = std::vector<std::string>;

class VKFolderSortingTest : public test::FolderListingTestCase {
protected:
    std::vector<VKFolderRow> rows(const VKFolderSorting& sorting, const std::string& folder, const Strings& names)
    {
        std::vector<VKFolderRow> made;
        for (auto& name : names) {
            std::string path = core::path::appendingPathComponent(folder, name);
            EXPECT_TRUE(core::fs::writeFileAtomically(path, "x")) << name;
            made.push_back(sorting.makeRow(resource(path)));
        }
        return made;
    }
    static Strings namesOf(const std::vector<VKFolderRow>& rows)
    {
        Strings names;
        for (auto& row : rows)
            names.push_back(row.name);
        return names;
    }
};

TEST_F(VKFolderSortingTest, KeysOrderAsTheNameComparison)
{
    Strings names { "file 10", "file 9", "File 9", "file 09", "Zebra", "zebra", "äpfel", "Apfel", "apfel", "Ápfel",
        "ＡＢＣ", "abc", "ABC", "a b", "a-b", "ab", "_x", "10", "9", "x 1000000000000000000000", "x 999" };
    std::string folder = makeFolder("Library/Documents/Keys");
    VKFolderSorting sorting(VKFolderSorting::NameOrder);
    auto made = rows(sorting, folder, names);
    sorting.sort(made);
    Strings expected = names;
    std::sort(expected.begin(), expected.end(),
        [](const std::string& a, const std::string& b) { return localizedNumericAndCaseInsensitiveCompare(a, b) < 0; });
    EXPECT_EQ(namesOf(made), expected);
}

TEST_F(VKFolderSortingTest, IndexLabelsPerLanguage)
{
    auto& en = VKFolderSectionIndex::labelsForLanguage("en");
    ASSERT_EQ(en.sections.size(), 2u);
    EXPECT_EQ(en.sections[0], (Strings { "#" }));
    EXPECT_EQ(en.sections[1].size(), 26u);
    EXPECT_EQ(en.sections[1].back(), "Z");
    EXPECT_EQ(en.canCompress, (std::vector<bool> { false, true }));

    auto& ru = VKFolderSectionIndex::labelsForLanguage("ru");
    ASSERT_EQ(ru.sections.size(), 3u);
    EXPECT_EQ(ru.sections[2].size(), 33u);
    EXPECT_EQ(ru.sections[2][6], "Ё");
    EXPECT_EQ(ru.sections[2][5], "Е");
    EXPECT_EQ(ru.canCompress, (std::vector<bool> { false, true, true }));

    auto& ja = VKFolderSectionIndex::labelsForLanguage("ja");
    ASSERT_EQ(ja.sections.size(), 3u);
    EXPECT_EQ(ja.sections[2], (Strings { "あ", "か", "さ", "た", "な", "は", "ま", "や", "ら", "わ" }));
    EXPECT_EQ(ja.canCompress, (std::vector<bool> { false, true, false }));

    EXPECT_EQ(&VKFolderSectionIndex::labelsForLanguage("de"), &en);
}

TEST_F(VKFolderSortingTest, HostileNamesSortAndSectionByCharacter)
{
    std::string folder = makeFolder("Library/Documents/Hostile");
    Strings names { std::string("\xff\xfe bad.txt"), std::string(251, 'L') + ".txt", "\xF0\x9F\x98\x80 smile.txt",
        "e\xCC\x81t\xC3\xA9.txt", "\xCC\x81 mark.txt", "Éclair.txt", "echo.txt", "\xC3\x89t\xC3\xA9.txt", "#tag.txt",
        "7.txt" };
    for (int order = 0; order <= 4; ++order) {
        VKFolderSorting sorting(order);
        auto made = rows(sorting, folder, names);
        sorting.sort(made);
        EXPECT_EQ(made.size(), names.size());
        VKFolderSectionIndex sections(made, order == VKFolderSorting::KindOrder);
        for (auto label : { "#", "A", "E", "L", "Z", "Я", "あ" })
            EXPECT_NO_THROW(sections.targetRowForLabel(label));
    }
    VKFolderSorting byName(VKFolderSorting::NameOrder);
    auto made = rows(byName, folder, names);
    byName.sort(made);
    VKFolderSectionIndex sections(made, false);
    // The decomposed "é" sections under "e" (its first character), the
    // composed "É" by itself; a name's first byte is never a section.
    auto e = sections.targetRowForLabel("E");
    ASSERT_TRUE(e);
    EXPECT_TRUE(made[*e].name.starts_with("e") || made[*e].name.starts_with("E")) << made[*e].name;
    auto l = sections.targetRowForLabel("L");
    ASSERT_TRUE(l);
    EXPECT_EQ(made[*l].name.size(), 255u);
    EXPECT_EQ(made[*sections.targetRowForLabel("#")].name, "#tag.txt");
}

TEST_F(VKFolderSortingTest, EmptyListsJumpToTheTop)
{
    VKFolderSectionIndex none({}, false);
    EXPECT_EQ(none.targetRowForLabel("A"), std::nullopt);
    EXPECT_EQ(none.targetRowForLabel("#"), std::nullopt);
}

// Ranks taken by one sort stay true while rows go and new ones are merged
// in (a few inserted, many merged): every order then gives what the name
// comparisons give for fresh rows of the same items.
TEST_F(VKFolderSortingTest, RankedRowsWithMergedNewOnesOrderAsFreshRows)
{
    std::mt19937 random(7);
    std::string folder = makeFolder("Library/Documents/Ranked");
    const Strings stems { "report", "Report", "file", "été", "Ete", "zeta", "10", "9", "a b" };
    const Strings extensions { "pdf", "PDF", "txt", "", "Zip" };
    Strings names;
    for (int i = 0; i < 400; ++i) {
        std::string name = stems[random() % stems.size()] + " " + std::to_string(i % 60);
        const std::string& extension = extensions[random() % extensions.size()];
        name += extension.empty() ? "-" + std::to_string(i) : "." + std::to_string(i) + "." + extension;
        std::string path = core::path::appendingPathComponent(folder, name);
        if (random() % 10 == 0)
            ASSERT_TRUE(core::fs::createDirectory(path, true));
        else
            ASSERT_TRUE(core::fs::writeFileAtomically(path, std::string(random() % 4, 'x')));
        core::fs::setModificationTime(path, int64_t(1'600'000'000 + random() % 5) * 1'000'000'000);
        names.push_back(name);
    }
    auto row = [&](const VKFolderSorting& sorting, const std::string& name) {
        return sorting.makeRow(resource(core::path::appendingPathComponent(folder, name)));
    };
    VKFolderSorting byName(VKFolderSorting::NameOrder);
    std::vector<VKFolderRow> kept;
    for (size_t i = 0; i < 200; ++i)
        kept.push_back(row(byName, names[i]));
    byName.sort(kept);
    size_t next = 200;
    for (int round = 0; round < 10; ++round) {
        VKFolderSorting sorting(round % 5);
        sorting.sort(kept);
        for (int gone = 0; gone < 5; ++gone)
            kept.erase(kept.begin() + std::ptrdiff_t(random() % kept.size()));
        std::vector<VKFolderRow> added;
        for (size_t count = round % 2 ? 3 : 30; count > 0 && next < names.size(); --count)
            added.push_back(row(sorting, names[next++]));
        sorting.merge(kept, std::move(added));
        // As merged, then sorted in another order with new rows unranked.
        for (int order : { round % 5, (round + 2) % 5 }) {
            VKFolderSorting other(order);
            if (order != sorting.order())
                other.sort(kept);
            std::vector<VKFolderRow> fresh;
            for (const auto& listed : kept)
                fresh.push_back(row(other, listed.name));
            std::sort(fresh.begin(), fresh.end(), [&](const auto& a, const auto& b) { return other.less(a, b); });
            ASSERT_EQ(namesOf(kept), namesOf(fresh)) << "round " << round << ", order " << order;
        }
    }
}

// The browser's edits keep the rows as a fresh listing would give them:
// random creations, deletions and renames on disk, each mirrored by the
// edit the browser makes, in every order.
TEST_F(VKFolderSortingTest, ThousandRandomChangesMirroredByEditsMatchFreshListings)
{
    std::mt19937 random(42);
    const Strings stems { "report", "Report", "file", "File", "notes", "été", "Ete", "zeta", "alpha", "10", "9" };
    const Strings extensions { "pdf", "PDF", "txt", "", "jpeg", "Zip" };
    std::string folder = documents("Random");
    core::fs::createDirectory(folder, true);
    auto randomName = [&] {
        std::string name = stems[random() % stems.size()] + " " + std::to_string(random() % 40);
        const std::string& extension = extensions[random() % extensions.size()];
        return extension.empty() ? name : name + "." + extension;
    };
    show(folder);
    Strings present;
    for (int order = 0; order <= 4; ++order) {
        setSortOrder(order);
        for (int change = 0; change < 200; ++change) {
            int kind = present.empty() ? 0 : int(random() % 3);
            if (kind == 0) {
                std::string name = randomName();
                if (std::find(present.begin(), present.end(), name) != present.end())
                    continue;
                bool folderItem = random() % 8 == 0;
                std::string path = folder + "/" + name;
                if (folderItem)
                    core::fs::createDirectory(path, true);
                else
                    core::fs::writeFileAtomically(path, std::string(random() % 5000, 'x'));
                core::fs::setModificationTime(path, int64_t(1'600'000'000 + random() % 1000) * 1'000'000'000);
                present.push_back(name);
                controller->listing().add(resource(path));
            } else if (kind == 1) {
                size_t at = random() % present.size();
                std::string path = folder + "/" + present[at];
                auto gone = resource(path);
                core::fs::removeItem(path);
                present.erase(present.begin() + std::ptrdiff_t(at));
                controller->listing().remove(gone);
            } else {
                size_t at = random() % present.size();
                std::string name = randomName();
                if (std::find(present.begin(), present.end(), name) != present.end())
                    continue;
                auto before = resource(folder + "/" + present[at]);
                ASSERT_TRUE(core::fs::moveItem(folder + "/" + present[at], folder + "/" + name));
                present[at] = name;
                controller->listing().replace(before, resource(folder + "/" + name));
            }
            if (change % 50 == 49) {
                auto fresh = VKFolderController::create(resource(folder));
                ASSERT_EQ(names(*controller), names(*fresh)) << "order " << order << ", change " << change;
            }
        }
    }
}

} // namespace
