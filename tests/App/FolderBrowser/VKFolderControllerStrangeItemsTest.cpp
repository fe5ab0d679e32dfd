// Items whose names or kinds a person rarely makes, in a folder screen:
// names that are not UTF-8, of 255 bytes or with a line break, a link that
// leads to itself, a link out of the home and a file gone between listing
// and opening. Each is listed or skipped, says what it is when opened, and
// renames and deletes touch only itself.

#include "FolderListingTestCase.h"

#include "App/Viewers/VKViewController.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Testing/Driver.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

class VKFolderControllerStrangeItemsTest : public test::FolderListingTestCase {
protected:
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(outside(), ignored);
        ui::AlertView::resetForTesting();
        FolderListingTestCase::TearDown();
    }
    std::string outside() const { return home() + "-outside"; }
    // Every item under `root` (links not followed) with its bytes.
    static std::map<std::string, std::string> snapshot(const std::string& root)
    {
        std::map<std::string, std::string> items;
        for (auto it = std::filesystem::recursive_directory_iterator(root); it != std::filesystem::recursive_directory_iterator(); ++it) {
            const auto status = it->symlink_status();
            std::string value = std::filesystem::is_symlink(status) ? "-> " + std::filesystem::read_symlink(it->path()).string()
                : std::filesystem::is_regular_file(status)           ? readFile(it->path().string())
                                                                     : "/";
            items[it->path().string()] = value;
        }
        return items;
    }
    bool alertShown()
    {
        try {
            return driver.alert() != nullptr;
        } catch (...) {
            return false;
        }
    }
    int rowOf(const std::string& name)
    {
        auto all = names(*controller);
        return int(std::find(all.begin(), all.end(), name) - all.begin());
    }
    // Renames the row through its prompt: "" when it took, else the title
    // of the prompt asking again (answered with Cancel).
    std::string rename(const std::string& from, const std::string& to)
    {
        controller->setEditing(true, false);
        controller->tableSide().didMarkCell(controller->tableView(), { 0, rowOf(from) });
        controller->commands().renameMarkedItem(controller);
        runLoop();
        auto* popup = test::findPopup(window());
        if (!popup)
            return "no prompt";
        popup->textField()->setText(to);
        driver.tap(*popup->buttonAtIndex(1));
        runLoop();
        std::string outcome;
        if (auto* again = test::findPopup(window())) {
            outcome = again->title();
            driver.tap(*again->buttonAtIndex(0));
            runLoop();
        }
        controller->setEditing(false, false);
        runLoop();
        return outcome;
    }
    // What a tap on the row leads to: the viewer pushed, or the alert.
    std::string open(const std::string& name)
    {
        auto& table = controller->tableView();
        table.scrollToRow({ 0, rowOf(name) }, ui::TableView::ScrollPosition::Middle, false);
        table.layoutIfNeeded();
        driver.tapRow(table, { 0, rowOf(name) });
        runLoop();
        std::string outcome;
        auto* viewer = dynamic_cast<VKViewController*>(navigation->topViewController());
        if (viewer) {
            core::RunLoop::main().runUntil([&] { return !viewer->contentIsLoading() || alertShown(); }, 20);
            outcome = "viewer";
        }
        if (alertShown()) {
            auto alert = driver.alert();
            outcome += (outcome.empty() ? "" : " ") + alert->message();
            driver.pressAlertButton(0);
        }
        if (viewer)
            navigation->popToRootViewController(false);
        runLoop();
        return outcome;
    }
};

TEST_F(VKFolderControllerStrangeItemsTest, EachIsListedAndOpensOrSaysWhyAndOnlyItselfChanges)
{
    const std::string invalid = "bad\xff\xfe.txt";
    const std::string longName = std::string(251, 'n') + ".txt";
    const std::string newline = "two\nlines.txt";
    makeDocument("Odd/plain.txt", "plain");
    for (const auto& name : { invalid, longName, newline })
        makeDocument("Odd/" + name, "text of " + name);
    ASSERT_EQ(symlink("loop.txt", documents("Odd/loop.txt").c_str()), 0);
    std::filesystem::create_directories(outside() + "/folder");
    ASSERT_TRUE(core::fs::writeFileAtomically(outside() + "/secret.txt", "not the home's"));
    ASSERT_EQ(symlink((outside() + "/secret.txt").c_str(), documents("Odd/outside.txt").c_str()), 0);
    ASSERT_EQ(symlink((outside() + "/folder").c_str(), documents("Odd/elsewhere").c_str()), 0);
    makeDocument("Odd/gone.txt", "soon gone");
    const auto outsideBefore = snapshot(outside());
    show(documents("Odd"));
    Strings listed = names(*controller);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (Strings { invalid, "elsewhere", "gone.txt", "loop.txt", longName, "outside.txt", "plain.txt", newline }));

    // Gone between the listing and the tap.
    std::filesystem::remove(documents("Odd/gone.txt"));
    const std::string outward = "is a link that leads out of Tandry's home and cannot be shown.";
    const std::map<std::string, std::string> opened {
        { invalid, "viewer" },
        { longName, "viewer" },
        { newline, "viewer" },
        { "plain.txt", "viewer" },
        { "elsewhere", "\"elsewhere\" " + outward },
        { "outside.txt", "\"outside.txt\" " + outward },
        { "loop.txt", "\"loop.txt\" cannot be shown: a link leads in a loop" },
        { "gone.txt", "gone.txt no longer exists" },
    };
    for (const auto& [name, outcome] : opened)
        EXPECT_EQ(open(name), outcome) << name;
    const Strings left = names(*controller);
    EXPECT_EQ(std::count(left.begin(), left.end(), "gone.txt"), 0);

    // A name that is not UTF-8 takes a good one; one byte past 255 is
    // refused; a link is renamed as itself.
    EXPECT_EQ(rename(invalid, "fixed.txt"), "");
    EXPECT_EQ(rename(longName, longName + "x"), "\"" + longName + "x\" is not a valid name:");
    EXPECT_EQ(rename("outside.txt", "away.txt"), "");
    // Deleting links takes the links alone.
    controller->setEditing(true, false);
    for (const char* name : { "away.txt", "elsewhere", "loop.txt" })
        controller->tableSide().didMarkCell(controller->tableView(), { 0, rowOf(name) });
    controller->commands().deleteMarkedItems(controller);
    runLoop();
    driver.pressSheetButton("Delete 3 Items?");
    runLoop();
    controller->setEditing(false, false);

    const std::string odd = documents("Odd") + "/";
    EXPECT_EQ(snapshot(documents("Odd")), (std::map<std::string, std::string> {
        { odd + "fixed.txt", "text of " + invalid },
        { odd + longName, "text of " + longName },
        { odd + "plain.txt", "plain" },
        { odd + newline, "text of " + newline },
    }));
    EXPECT_EQ(snapshot(outside()), outsideBefore);
}

} // namespace
