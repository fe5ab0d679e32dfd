#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"

#include "Platform/Core/FileSystem.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <fmt/format.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* Zone = "Europe/Berlin";

// Stops at the named entry.
class StoppingDelegate : public VKZipUnarchiverDelegate {
public:
    explicit StoppingDelegate(std::string stopAt) : m_stopAt(std::move(stopAt)) { }
    bool zipUnarchiver(VKZipUnarchiver&, const std::string& fileName) override
    {
        names.push_back(fileName);
        return fileName != m_stopAt;
    }
    bool zipUnarchiver(VKZipUnarchiver&, uint64_t bytes, const std::string&) override
    {
        total += bytes;
        return true;
    }
    std::vector<std::string> names;
    uint64_t total = 0;

private:
    std::string m_stopAt;
};

class VKZipTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        const char* zone = getenv("TZ");
        m_savedZone = zone ? std::optional<std::string>(zone) : std::nullopt;
        setenv("TZ", Zone, 1);
        tzset();
    }
    void TearDown() override
    {
        if (m_savedZone)
            setenv("TZ", m_savedZone->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        test::TestCase::TearDown();
    }

    // A peer program run with the test's time zone.
    test::CommandResult run(std::vector<std::string> arguments, const std::string& directory = {})
    {
        std::vector<std::string> command { "env", std::string("TZ=") + Zone };
        if (!directory.empty()) {
            command = { "sh", "-c", "cd \"$0\" && exec env TZ=" + std::string(Zone) + " \"$@\"", directory };
        }
        command.insert(command.end(), arguments.begin(), arguments.end());
        return test::runCommand(command);
    }

    // Every item below a folder, relative to it.
    static std::set<std::string> listing(const std::string& folder)
    {
        auto paths = core::fs::subpaths(folder).value_or(std::vector<std::string>());
        return { paths.begin(), paths.end() };
    }

    static time_t localTime(int year, int month, int day, int hour, int minute)
    {
        std::tm date {};
        date.tm_year = year - 1900;
        date.tm_mon = month - 1;
        date.tm_mday = day;
        date.tm_hour = hour;
        date.tm_min = minute;
        date.tm_isdst = -1;
        return mktime(&date);
    }
    static time_t modificationTime(const std::string& path)
    {
        struct stat status {};
        stat(path.c_str(), &status);
        return status.st_mtime;
    }

    // An archive written entry by entry, names as raw bytes.
    static void writeArchive(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries)
    {
        zipFile archive = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
        ASSERT_NE(archive, nullptr);
        for (const auto& [name, data] : entries) {
            zip_fileinfo info {};
            ASSERT_EQ(zipOpenNewFileInZip(archive, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0), ZIP_OK);
            if (!data.empty())
                zipWriteInFileInZip(archive, data.data(), static_cast<unsigned>(data.size()));
            zipCloseFileInZip(archive);
        }
        zipClose(archive, nullptr);
    }

    // A fresh, empty destination folder.
    std::string destination(const std::string& name) { return makeFolder("out/" + name); }

    // The pieces of a tree that the peer programs archive.
    std::string makeTree()
    {
        makeFile("src/A/x", std::string(5000, 'x') + "end");
        makeFile("src/A/sub/y", "why");
        makeFile("src/A/empty", "");
        EXPECT_EQ(run({ "touch", "-t", "201001151000", pathInHome("src/A/x"), pathInHome("src/A/sub/y") }).status, 0);
        return pathInHome("src/A");
    }

private:
    std::optional<std::string> m_savedZone;
};

TEST_F(VKZipTest, ArchivesAFolderThatPeersRead)
{
    std::string folder = makeTree();
    std::string archive = pathInHome("A.zip");
    ASSERT_TRUE(VKZipArchiver::archiveItemAtPath(folder, archive, 9));

    auto names = run({ "zipinfo", "-1", archive });
    ASSERT_EQ(names.status, 0);
    std::vector<std::string> entries;
    for (size_t start = 0, end; (end = names.output.find('\n', start)) != std::string::npos; start = end + 1)
        entries.push_back(names.output.substr(start, end - start));
    EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()),
        (std::set<std::string> { "A/", "A/x", "A/sub/", "A/sub/y", "A/empty" }));
    EXPECT_EQ(entries.front(), "A/");
    EXPECT_LT(std::find(entries.begin(), entries.end(), "A/sub/"), std::find(entries.begin(), entries.end(), "A/sub/y"));
    EXPECT_EQ(run({ "unzip", "-t", archive }).status, 0);

    auto details = run({ "zipinfo", "-v", archive }).output;
    size_t folderEntry = details.find("Central directory entry #1:");
    size_t fileEntry = details.find("A/x\n");
    ASSERT_NE(folderEntry, std::string::npos);
    ASSERT_NE(fileEntry, std::string::npos);
    EXPECT_NE(details.find("compression method:                             none (stored)", folderEntry),
        std::string::npos);
    EXPECT_NE(details.find("compression sub-type (deflation):               maximum"), std::string::npos);
    EXPECT_NE(details.find("file last modified on (DOS date/time):          2010 Jan 15 10:00:00"), std::string::npos);

    // Level 0 stores.
    std::string stored = pathInHome("stored.zip");
    ASSERT_TRUE(VKZipArchiver::archiveItemAtPath(folder, stored, 0));
    EXPECT_EQ(run({ "zipinfo", "-v", stored }).output.find("deflated"), std::string::npos);
    EXPECT_EQ(run({ "unzip", "-t", stored }).status, 0);

    EXPECT_EQ(VKZipArchiver::archiverWithPath(archive), nullptr);
    EXPECT_TRUE(logContains("Warning, VKZipArchiver passed existing zip file: " + archive));
    auto archiver = VKZipArchiver::archiverWithPath(pathInHome("other.zip"));
    ASSERT_NE(archiver, nullptr);
    archiver->setRootPath(pathInHome("src/A/sub"));
    EXPECT_FALSE(archiver->addItemAtPath(pathInHome("src/A/x"), true, 9));
    EXPECT_FALSE(archiver->addItemAtPath(pathInHome("src/A/sub"), true, 9));
    EXPECT_TRUE(archiver->addItemAtPath(pathInHome("src/A/sub/y"), true, 9));
}

TEST_F(VKZipTest, ExtractsWhatPeersWrite)
{
    std::string folder = makeTree();
    makeFile("src/__MACOSX/._x", "fork");
    const time_t expected = localTime(2010, 1, 15, 10, 0);
    struct Case {
        std::vector<std::string> options;
        const char* password;
    };
    const Case cases[] = { { { "-r" }, nullptr }, { { "-r", "-D" }, nullptr }, { { "-r", "-0" }, nullptr },
        { { "-r", "-P", "secret" }, "secret" }, { { "-r", "-0", "-P", "secret" }, "secret" } };
    int number = 0;
    for (const auto& test : cases) {
        SCOPED_TRACE(testing::PrintToString(test.options));
        std::string archive = pathInHome("peer" + std::to_string(++number) + ".zip");
        std::vector<std::string> command { "zip", "-q" };
        command.insert(command.end(), test.options.begin(), test.options.end());
        command.insert(command.end(), { archive, "A", "__MACOSX" });
        ASSERT_EQ(run(command, pathInHome("src")).status, 0);

        auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
        ASSERT_NE(unarchiver, nullptr);
        EXPECT_EQ(unarchiver->isEncrypted(), test.password != nullptr);
        if (test.password)
            unarchiver->setPassword(std::string(test.password));
        std::string out = destination(std::to_string(number));
        ASSERT_TRUE(unarchiver->unarchiveToPath(out));
        EXPECT_EQ(listing(out), (std::set<std::string> { "A", "A/x", "A/sub", "A/sub/y", "A/empty" }));
        EXPECT_EQ(readFile(out + "/A/x"), readFile(folder + "/x"));
        EXPECT_EQ(readFile(out + "/A/sub/y"), "why");
        EXPECT_EQ(modificationTime(out + "/A/x"), expected);
        EXPECT_EQ(modificationTime(out + "/A/sub/y"), expected);
    }
}

TEST_F(VKZipTest, CodePageNamesAndOddButValidLayouts)
{
    // 0x82 is "é" in code page 850.
    std::string archive = pathInHome("names.zip");
    writeArchive(archive, { { "caf\x82.txt", "coffee" }, { "dir/inner/file", "deep" }, { "dir/", "" },
                              { "dir/", "" }, { "./dot/./f", "dot" } });
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
    ASSERT_NE(unarchiver, nullptr);
    EXPECT_EQ(unarchiver->numberOfEntries(), 5u);
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(0), "café.txt");
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(1), "dir/inner/file");
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(5), std::nullopt);
    EXPECT_EQ(unarchiver->uncompressedSize(), 13u);
    EXPECT_FALSE(unarchiver->isEncrypted());
    std::string out = destination("names");
    ASSERT_TRUE(unarchiver->unarchiveToPath(out));
    EXPECT_EQ(readFile(out + "/café.txt"), "coffee");
    EXPECT_EQ(readFile(out + "/dir/inner/file"), "deep");
    EXPECT_EQ(readFile(out + "/dot/f"), "dot");

    // One entry, found by its exact name, never over an existing item.
    EXPECT_TRUE(unarchiver->unarchiveFile("café.txt", pathInHome("single.txt")));
    EXPECT_EQ(readFile(pathInHome("single.txt")), "coffee");
    EXPECT_FALSE(unarchiver->unarchiveFile("café.txt", pathInHome("single.txt")));
    EXPECT_TRUE(logContains("Error, cannot unarchive to an existing file"));
    EXPECT_FALSE(unarchiver->unarchiveFile("CAFÉ.txt", pathInHome("other.txt")));
    EXPECT_TRUE(logContains("Error, failed to find file in archive: " + archive));
}

TEST_F(VKZipTest, ArchivesLargerThanWhatIsReadAtOnce)
{
    // Headers and names spread over several reads, an entry larger than one
    // read and entries that straddle the boundaries between reads.
    std::string noise(300 * 1024, '\0');
    uint32_t state = 7;
    for (char& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    makeFile("src/L/noise.bin", noise);
    std::set<std::string> expected { "L", "L/noise.bin" };
    for (int i = 0; i < 600; ++i) {
        const std::string name = fmt::format("L/{:03}-{}", i, std::string(80, 'n'));
        makeFile("src/" + name, noise.substr(size_t(i) * 300, 250 + size_t(i)));
        expected.insert(name);
    }
    for (const char* level : { "-6", "-0" }) {
        SCOPED_TRACE(level);
        std::string archive = pathInHome(std::string("large") + level + ".zip");
        ASSERT_EQ(run({ "zip", "-q", "-r", level, archive, "L" }, pathInHome("src")).status, 0);
        ASSERT_GT(readFile(archive).size(), 3u * 64 * 1024);
        auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
        ASSERT_NE(unarchiver, nullptr);
        EXPECT_EQ(unarchiver->numberOfEntries(), 602u);
        std::string out = destination(std::string("large") + level);
        ASSERT_TRUE(unarchiver->unarchiveToPath(out));
        EXPECT_EQ(listing(out), expected);
        EXPECT_EQ(readFile(out + "/L/noise.bin"), noise);
        EXPECT_EQ(readFile(out + "/L/599-" + std::string(80, 'n')), noise.substr(599 * 300, 849));
    }
}

TEST_F(VKZipTest, WrongPasswordsAndCorruptDataLeaveNothing)
{
    makeTree();
    makeFile("src/A/big", std::string(2000, 'b'));
    for (const char* level : { "-6", "-0" }) {
        SCOPED_TRACE(level);
        std::string archive = pathInHome(std::string("locked") + level + ".zip");
        ASSERT_EQ(run({ "zip", "-q", "-r", level, "-P", "right", archive, "A" }, pathInHome("src")).status, 0);
        auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
        ASSERT_NE(unarchiver, nullptr);

        std::string out = destination(std::string("none") + level);
        EXPECT_FALSE(unarchiver->unarchiveToPath(out));
        EXPECT_TRUE(listing(out).empty());

        // Most wrong passwords fail the check byte; the CRC catches those
        // that pass it.
        bool caughtByCRC = false;
        for (int candidate = 0; candidate < 4000 && !caughtByCRC; ++candidate) {
            unarchiver->setPassword("wrong" + std::to_string(candidate));
            std::string attempt = destination(std::string("w") + level + "-" + std::to_string(candidate));
            size_t lines = logLines().size();
            ASSERT_FALSE(unarchiver->unarchiveToPath(attempt));
            ASSERT_TRUE(listing(attempt).empty());
            auto written = logLines();
            caughtByCRC = std::none_of(written.begin() + static_cast<ptrdiff_t>(lines), written.end(),
                [](const std::string& line) { return line.find("wrong password") != std::string::npos; });
            core::fs::removeItem(attempt);
        }
        EXPECT_TRUE(caughtByCRC);
    }

    // A flipped byte in stored data fails the CRC.
    std::string archive = pathInHome("plain.zip");
    writeArchive(archive, { { "first", "fine" }, { "second", "some plain data here" } });
    std::string bytes = readFile(archive);
    size_t at = bytes.find("plain data");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'P';
    core::fs::writeFileAtomically(archive, bytes);
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
    std::string out = destination("corrupt");
    EXPECT_FALSE(unarchiver->unarchiveToPath(out));
    EXPECT_TRUE(listing(out).empty());

    core::fs::writeFileAtomically(pathInHome("garbage.zip"), "PK\x03\x04 not really a zip archive");
    EXPECT_EQ(VKZipUnarchiver::unarchiverWithZipAtPath(pathInHome("garbage.zip")), nullptr);
    EXPECT_TRUE(logContains("Warning, failed to open archive: "));
}

TEST_F(VKZipTest, StoppingOrUnsafeNamesRemoveEverything)
{
    std::string archive = pathInHome("three.zip");
    writeArchive(archive, { { "one/a", "1" }, { "two", "2" }, { "three", "3" } });
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
    auto delegate = std::make_shared<StoppingDelegate>("two");
    unarchiver->setDelegate(delegate);
    std::string out = destination("stopped");
    EXPECT_FALSE(unarchiver->unarchiveToPath(out));
    EXPECT_EQ(delegate->names, (std::vector<std::string> { "one/a", "two" }));
    EXPECT_EQ(delegate->total, 1u);
    EXPECT_TRUE(listing(out).empty());

    const std::string outside = pathInHome("outside");
    for (const char* name : { "../escape", "/absolute", "a/../../escape", "deep/../../escape" }) {
        SCOPED_TRACE(name);
        std::string bad = pathInHome("bad.zip");
        core::fs::removeItem(bad);
        writeArchive(bad, { { "good/file", "ok" }, { name, "evil" } });
        auto badUnarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(bad);
        std::string target = destination("bad");
        EXPECT_FALSE(badUnarchiver->unarchiveToPath(target));
        EXPECT_TRUE(listing(target).empty());
        EXPECT_TRUE(logContains(std::string("Warning, unsafe entry name in archive: ") + name));
        EXPECT_FALSE(core::fs::attributes(pathInHome("out/escape")));
        EXPECT_FALSE(core::fs::attributes("/absolute"));
    }

    // A link planted in the destination is never followed.
    std::string target = destination("linked");
    makeFolder("outside");
    ASSERT_EQ(symlink(outside.c_str(), (target + "/link").c_str()), 0);
    std::string linked = pathInHome("linked.zip");
    writeArchive(linked, { { "link/file", "evil" } });
    EXPECT_FALSE(VKZipUnarchiver::unarchiverWithZipAtPath(linked)->unarchiveToPath(target));
    EXPECT_TRUE(listing(outside).empty());
}

} // namespace
