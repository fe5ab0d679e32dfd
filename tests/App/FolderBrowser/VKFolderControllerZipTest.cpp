// Zip and unzip through the folder list: the marked items compressed into
// the listed folder, archives expanded beside themselves, encrypted ones
// after the password prompt, and what failures, hostile archives and
// cancels leave (nothing, and an alert only when not cancelled). `zip`,
// `unzip` and `zipinfo` are the peers.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderZipWork.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/TextField.h"
#include "Support/Command.h"
#include "Support/Python.h"

#include <fmt/format.h>

#include <cerrno>
#include <set>
#include <unistd.h>

namespace {

using BrowserOperation = VKBrowserOperation;

class VKFolderControllerZipTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        m_observation = core::NotificationCenter::defaultCenter().observe(
            VKFolderControllerCollectionDidUpdateNotification, nullptr,
            [this](const VKFolderUpdate& update, const core::Notification& notification) {
                if (notification.object() == controller)
                    posted.push_back(update.path);
            });
        // The label as each operation starts (a small one may be over
        // before the test looks).
        m_started = core::NotificationCenter::defaultCenter().observe(
            VKFolderControllerOperationDidStartNotification, nullptr,
            [this](const core::Notification&) { labels.push_back(BrowserOperation::operationLabel()); });
    }
    void TearDown() override
    {
        BrowserOperation::resetOperationForTesting();
        ui::AlertView::resetForTesting();
        core::Thread::waitForAll(10);
        FolderListingTestCase::TearDown();
    }

    std::string folder() const { return documents("Z"); }
    std::string inFolder(const std::string& name) const { return documents("Z/" + name); }
    std::set<std::string> onDisk() const
    {
        auto names = core::fs::contentsOfDirectory(folder()).value_or(std::vector<std::string>());
        return { names.begin(), names.end() };
    }
    std::set<std::string> rows() const
    {
        auto all = names(*controller);
        return { all.begin(), all.end() };
    }
    void showFolder()
    {
        VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
        show(folder());
    }
    void mark(std::initializer_list<std::string> items)
    {
        controller->setEditing(true, false);
        runLoop();
        auto all = names(*controller);
        for (const auto& item : items) {
            int row = int(std::find(all.begin(), all.end(), item) - all.begin());
            ASSERT_LT(row, int(all.size())) << item;
            controller->tableSide().didMarkCell(controller->tableView(), { 0, row });
        }
    }
    // Lets the worker finish and its completion and the operation's end run.
    void finish()
    {
        EXPECT_TRUE(core::RunLoop::main().runUntil([] { return !BrowserOperation::isOperationInProgress(); }, 120));
        core::Thread::waitForAll(10);
        runLoop();
        advance(0.2);
    }
    static test::CommandResult peer(std::vector<std::string> arguments, const std::string& directory)
    {
        std::vector<std::string> command { "sh", "-c", "cd \"$0\" && exec env TZ=UTC \"$@\"", directory };
        command.insert(command.end(), arguments.begin(), arguments.end());
        return test::runCommand(command);
    }
    // The front alert's title and message, pressed away; empty when none.
    std::string takeAlert()
    {
        if (driver.shownChoices().empty())
            return {};
        auto alert = driver.alert();
        std::string text = alert->title() + ": " + alert->message();
        driver.pressAlertButton(0);
        runLoop();
        return text;
    }
    VKPopupAlert* popup()
    {
        for (const auto& view : window().subviews())
            if (auto* found = dynamic_cast<VKPopupAlert*>(view.get()); found && found->isShown())
                return found;
        return nullptr;
    }
    void unzip(const std::string& name) { controller->commands().unzipResource(resource(inFolder(name)), std::nullopt); }

    std::vector<std::string> posted;
    std::vector<std::string> labels;

private:
    core::Observation m_observation;
    core::Observation m_started;
};

TEST_F(VKFolderControllerZipTest, CompressesTheMarkedItemsIntoTheListedFolder)
{
    makeDocument("Z/Notes.txt", "notes");
    makeDocument("Z/Photos/a.jpg", std::string(40000, 'a'));
    makeDocument("Z/Photos/b.jpg", "b");
    makeDocument("Z/Photos/c/d.txt", "d");
    showFolder();

    mark({ "Notes.txt" });
    controller->commands().zipMarkedItems(controller);
    EXPECT_EQ(labels, std::vector<std::string> { "Compressing 1 item" });
    EXPECT_FALSE(controller->isEditing());
    finish();
    EXPECT_TRUE(rows().count("Notes.zip"));
    EXPECT_EQ(peer({ "unzip", "-tq", "Notes.zip" }, folder()).status, 0);
    EXPECT_EQ(posted, std::vector<std::string> { folder() });

    mark({ "Notes.txt" });
    controller->commands().zipMarkedItems(controller);
    finish();
    EXPECT_TRUE(rows().count("Notes 1.zip"));

    mark({ "Photos" });
    controller->commands().zipMarkedItems(controller);
    EXPECT_EQ(labels.back(), "Compressing 5 items");
    finish();
    EXPECT_EQ(peer({ "sh", "-c", "zipinfo -1 Photos.zip | sort" }, folder()).output,
        "Photos/\nPhotos/a.jpg\nPhotos/b.jpg\nPhotos/c/\nPhotos/c/d.txt\n");
    // The tree comes back byte for byte.
    makeDocument("check/");
    EXPECT_EQ(peer({ "unzip", "-q", inFolder("Photos.zip") }, documents("check")).status, 0);
    EXPECT_EQ(peer({ "diff", "-r", inFolder("Photos"), documents("check/Photos") }, folder()).status, 0);

    mark({ "Notes.txt", "Photos" });
    controller->commands().zipMarkedItems(controller);
    finish();
    EXPECT_EQ(onDisk(), (std::set<std::string> { "Archive.zip", "Notes 1.zip", "Notes.txt", "Notes.zip", "Photos",
                            "Photos.zip" }));
    EXPECT_EQ(rows(), onDisk());
    EXPECT_EQ(takeAlert(), "");
}

TEST_F(VKFolderControllerZipTest, ItemsThatRefuseTheOperationAreNamedInAWarning)
{
    struct Refusing : VKFileResource {
        explicit Refusing(std::string path) : VKFileResource(std::move(path)) { }
        int32_t supportedFileOperations() const override { return ~int32_t(0x60); }
        std::optional<std::string> localizedDescriptionForUnsupportedFileOperation(int32_t operation) const override
        {
            return fmt::format("{} is still downloading ({:#x})", name(), operation);
        }
    };
    makeDocument("Z/a.txt", "a");
    showFolder();
    controller->listing().add(std::make_shared<Refusing>(inFolder("d.zip")));
    const auto before = onDisk();
    mark({ "a.txt", "d.zip" });
    controller->commands().zipMarkedItems(controller);
    EXPECT_EQ(takeAlert(), "Warning: d.zip is still downloading (0x20)");
    controller->commands().handleAction(VKFolderCommands::EditAction::SelectNone, {});
    mark({ "d.zip" });
    controller->commands().unzipMarkedItem(controller);
    EXPECT_EQ(takeAlert(), "Warning: d.zip is still downloading (0x40)");
    EXPECT_TRUE(labels.empty());
    EXPECT_EQ(onDisk(), before);
}

TEST_F(VKFolderControllerZipTest, FailedOrCancelledZipsLeaveNothing)
{
    makeDocument("Z/a.txt", "a");
    makeDocument("Z/big.bin", std::string(8 << 20, 'b'));
    showFolder();
    const auto before = onDisk();

    // Cancelled at once: no archive, no hidden file, no alert.
    mark({ "big.bin" });
    controller->commands().zipMarkedItems(controller);
    BrowserOperation::cancelOperation();
    finish();
    EXPECT_EQ(onDisk(), before);
    EXPECT_EQ(takeAlert(), "");

    // An item gone from under the list.
    mark({ "a.txt", "big.bin" });
    ASSERT_TRUE(core::fs::removeItem(inFolder("big.bin")));
    controller->commands().zipMarkedItems(controller);
    finish();
    EXPECT_EQ(takeAlert(), "Error: Compressing 2 items failed: no such file or directory");
    EXPECT_EQ(onDisk(), (std::set<std::string> { "a.txt" }));

    // The disk fills: the alert says so, and nothing is left.
    mark({ "a.txt" });
    core::FileTestHooks::failNextWrite(ENOSPC);
    controller->commands().zipMarkedItems(controller);
    finish();
    EXPECT_EQ(takeAlert(), "Error: Compressing 1 item failed: the disk is full");
    EXPECT_EQ(onDisk(), (std::set<std::string> { "a.txt" }));

    // No archive can be made where the folder was: no operation starts.
    mark({ "a.txt" });
    ASSERT_TRUE(core::fs::removeItem(folder()));
    controller->commands().zipMarkedItems(controller);
    EXPECT_FALSE(BrowserOperation::isOperationInProgress());
    EXPECT_FALSE(controller->isEditing());
    EXPECT_EQ(takeAlert(), "Error: Compressing 1 item failed: no such file or directory");
}

TEST_F(VKFolderControllerZipTest, ATappedArchiveExpandsBesideItself)
{
    makeDocument("src/Photos/a.jpg", "jpeg");
    makeDocument("src/__MACOSX/Photos/._a.jpg", "fork");
    makeDocument("src/one.txt", "one");
    makeDocument("src/two.txt", "two");
    makeDocument("Z/");
    ASSERT_EQ(peer({ "zip", "-qr", inFolder("p.zip"), "Photos", "__MACOSX" }, documents("src")).status, 0);
    ASSERT_EQ(peer({ "zip", "-q", inFolder("a.zip"), "one.txt", "two.txt" }, documents("src")).status, 0);
    ASSERT_EQ(peer({ "zip", "-q", inFolder("f.zip"), "one.txt" }, documents("src")).status, 0);
    makeDocument("Z/a", "a file has the name");
    showFolder();

    auto& table = controller->tableView();
    auto all = names(*controller);
    driver.tapRow(table, { 0, int(std::find(all.begin(), all.end(), "a.zip") - all.begin()) });
    runLoop();
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->title(), "Unzip \"a.zip\"?");
    driver.pressSheetButton("Unzip");
    EXPECT_EQ(labels, std::vector<std::string> { "Expanding a.zip" });
    finish();
    EXPECT_TRUE(rows().count("a 1"));
    EXPECT_EQ(readFile(inFolder("a 1/two.txt")), "two");
    all = names(*controller);
    auto* made = table.cellForRow({ 0, int(std::find(all.begin(), all.end(), "a 1") - all.begin()) });
    ASSERT_TRUE(made);
    EXPECT_TRUE(made->isSelected()) << "the new row flashes";
    advance(2);
    EXPECT_FALSE(made->isSelected()) << "and is left unselected";
    EXPECT_FALSE(table.indexPathForSelectedRow());

    // One folder, its resource forks beside it, lands as itself; so does
    // one file.
    unzip("p.zip");
    finish();
    unzip("f.zip");
    finish();
    EXPECT_EQ(onDisk(), (std::set<std::string> { "Photos", "a", "a 1", "a.zip", "f.zip", "one.txt", "p.zip" }));
    EXPECT_EQ(rows(), onDisk());
    EXPECT_EQ(readFile(inFolder("Photos/a.jpg")), "jpeg");
    EXPECT_EQ(posted.size(), 3u);
    EXPECT_EQ(takeAlert(), "");
}

TEST_F(VKFolderControllerZipTest, EncryptedArchivesAskForTheirPassword)
{
    makeDocument("src/s1.txt", "secret one");
    makeDocument("src/s2.txt", "secret two");
    makeDocument("Z/");
    ASSERT_EQ(peer({ "zip", "-q", "-P", "open sesame", inFolder("s.zip"), "s1.txt", "s2.txt" }, documents("src")).status,
        0);
    showFolder();
    const auto before = onDisk();

    auto answer = [&](const std::optional<std::string>& typed) {
        unzip("s.zip");
        runLoop();
        VKPopupAlert* prompt = popup();
        EXPECT_TRUE(prompt);
        if (!prompt)
            return;
        if (typed) {
            driver.type(*typed);
            driver.tap(*prompt->buttonAtIndex(1));
        } else {
            driver.tap(*prompt->buttonAtIndex(prompt->cancelButtonIndex()));
        }
        advance(0.5);
        finish();
    };

    unzip("s.zip");
    runLoop();
    VKPopupAlert* prompt = popup();
    ASSERT_TRUE(prompt);
    EXPECT_EQ(prompt->title(), "A password is required for\n\"s.zip\"");
    EXPECT_EQ(prompt->tag(), vkTag(VKFolderCommands::Prompt::UnzipPassword));
    EXPECT_EQ(prompt->popupMode(), VKPopupAlert::Over);
    EXPECT_EQ(prompt->buttonAtIndex(0)->currentTitle(), "Cancel");
    EXPECT_EQ(prompt->buttonAtIndex(1)->currentTitle(), "Unzip");
    EXPECT_TRUE(prompt->textField()->isSecureTextEntry());
    EXPECT_EQ(prompt->textField()->placeholder(), "Password");
    EXPECT_EQ(prompt->textField()->text(), "");
    driver.tap(*prompt->buttonAtIndex(0));
    advance(0.5);

    // Cancel does nothing; a wrong password and an empty one fail once each.
    answer(std::nullopt);
    EXPECT_EQ(takeAlert(), "");
    answer("wrong");
    EXPECT_EQ(takeAlert(), "Warning: Failed to unarchive \"s.zip\"");
    EXPECT_EQ(onDisk(), before);
    answer("");
    EXPECT_EQ(popup(), nullptr);
    EXPECT_EQ(takeAlert(), "Warning: Failed to unarchive \"s.zip\"");
    EXPECT_EQ(onDisk(), before);

    answer("open sesame");
    EXPECT_EQ(takeAlert(), "");
    EXPECT_EQ(readFile(inFolder("s/s2.txt")), "secret two");
    // The password is nowhere in the log.
    for (const auto& line : logLines())
        EXPECT_EQ(line.find("sesame"), std::string::npos) << line;
}

TEST_F(VKFolderControllerZipTest, HostileArchivesFailThroughTheBrowser)
{
    makeDocument("Z/x.zip", "no archive at all");
    makeDocument("outside/");
    showFolder();
    auto write = [&](const std::string& name, const std::string& entries) {
        test::runPython(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for name, data in )" + entries + R"(:
        z.writestr(name, data)
)",
            { inFolder(name) });
    };
    write("climb.zip", "[('ok.txt', 'ok'), ('../../outside/evil', 'x')]");
    write("abs.zip", "[('ok.txt', 'ok'), ('" + documents("outside/abs") + "', 'x')]");
    write("dup.zip", "[('d.txt', 'one'), ('d.txt', 'two')]");
    write("big.zip", "[('x.bin', 'x' * 200000), ('y.bin', 'y')]");
    // Cut off in its central directory.
    ASSERT_EQ(::truncate(inFolder("big.zip").c_str(), 100), 0);
    write("full.zip", "[('x.bin', 'x' * 200000), ('y.bin', 'y')]");
    // An entry of the AES method (99), which is not read.
    test::runPython(R"(
import struct, sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:
    z.writestr('a.txt', 'A' * 100)
data = bytearray(open(sys.argv[1], 'rb').read())
struct.pack_into('<H', data, 8, 99)
central = data.index(b'PK\x01\x02')
struct.pack_into('<H', data, central + 10, 99)
open(sys.argv[1], 'wb').write(bytes(data))
)",
        { inFolder("aes.zip") });
    controller->listing().rebuild(true);
    const auto before = onDisk();

    unzip("x.zip");
    EXPECT_EQ(takeAlert(), "Error: Failed to open zip archive \"x.zip\"");
    unzip("big.zip");
    EXPECT_EQ(takeAlert(), "Error: Failed to open zip archive \"big.zip\"");
    // Each alert says why.
    for (const auto& [name, reason] : std::vector<std::pair<std::string, std::string>> {
             { "climb.zip", "an entry has an unsafe name" },
             { "abs.zip", "an entry has an unsafe name" },
             { "dup.zip", "an item of that name is there already" },
             { "aes.zip", "an entry is compressed in an unsupported way" } }) {
        unzip(name);
        finish();
        EXPECT_EQ(takeAlert(), fmt::format("Warning: Failed to unarchive \"{}\": {}", name, reason));
        EXPECT_EQ(onDisk(), before);
    }
    core::FileTestHooks::failNextWrite(ENOSPC);
    unzip("full.zip");
    finish();
    EXPECT_EQ(takeAlert(), "Warning: Failed to unarchive \"full.zip\": the disk is full");
    EXPECT_EQ(onDisk(), before);
    EXPECT_EQ(rows(), onDisk());
    EXPECT_TRUE(core::fs::contentsOfDirectory(documents("outside"))->empty());
}

TEST_F(VKFolderControllerZipTest, ACancelledUnzipNeverEndsTheNextOperation)
{
    makeDocument("src/big.bin", std::string(32 << 20, 'z'));
    makeDocument("src/small.txt", "s");
    makeDocument("Z/");
    ASSERT_EQ(peer({ "zip", "-q", "-0", inFolder("b.zip"), "big.bin", "small.txt" }, documents("src")).status, 0);
    showFolder();
    const auto before = onDisk();

    unzip("b.zip");
    ASSERT_TRUE(BrowserOperation::isOperationInProgress());
    BrowserOperation::cancelOperation();
    BrowserOperation::Run next = BrowserOperation::startOperationWithLabel("Another", false);
    ASSERT_NE(next, BrowserOperation::NoRun);
    // The cancelled worker stops, cleans up and hands its completion over.
    auto workerRuns = [] {
        for (const auto& name : core::Thread::runningThreadNames())
            if (name.find("Expanding b.zip") != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !workerRuns(); }, 60));
    runLoop();
    EXPECT_TRUE(BrowserOperation::isOperationInProgress());
    EXPECT_EQ(BrowserOperation::operationLabel(), "Another");
    EXPECT_EQ(onDisk(), before);
    EXPECT_EQ(takeAlert(), "");
    BrowserOperation::endOperation(next);
}

} // namespace
