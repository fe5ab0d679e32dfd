#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"
#include "Kit/VKStagingFolder.h"

#include "Platform/Core/Descriptor.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/Command.h"
#include "Support/Python.h"
#include "Support/TestCase.h"

#include <fmt/format.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <set>
#include <tuple>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr const char* Zone = "Europe/Berlin";

// Stops at the named entry.
class StoppingUnarchiveDelegate : public VKZipUnarchiverDelegate {
public:
    explicit StoppingUnarchiveDelegate(std::string stopAt) : m_stopAt(std::move(stopAt)) { }
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

// Stops the archiving at the named entry, before it or inside its data.
class StoppingArchiverDelegate : public VKZipArchiverDelegate {
public:
    StoppingArchiverDelegate(std::string stopAt, bool inData) : m_stopAt(std::move(stopAt)), m_inData(inData) { }
    bool zipArchiver(VKZipArchiver&, const std::string& fileName) override
    {
        return m_inData || fileName != m_stopAt;
    }
    bool zipArchiver(VKZipArchiver&, uint64_t, const std::string& fileName) override
    {
        return !m_inData || fileName != m_stopAt;
    }

private:
    std::string m_stopAt;
    bool m_inData;
};

constexpr uint64_t GiB = uint64_t(1) << 30;

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

    static std::vector<std::string> lines(const std::string& text)
    {
        std::vector<std::string> result;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            result.push_back(text.substr(start, end - start));
        return result;
    }

    // What Python's zipfile makes of an archive: per entry its name, whether
    // the name is flagged UTF-8, the system that made it, its mode and size.
    static std::string pythonListing(const std::string& archive)
    {
        return test::runPython(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for i in z.infolist():
        print(i.filename, i.flag_bits & 0x800, i.create_system, oct(i.external_attr >> 16), i.file_size)
)",
            { archive });
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
        SCOPED_TRACE(::testing::PrintToString(test.options));
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

    // A self-extracting stub before the archive moves every offset.
    const std::string prefixed = pathInHome("prefixed.zip");
    core::fs::writeFileAtomically(prefixed, std::string(3000, '#') + readFile(pathInHome("peer1.zip")));
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(prefixed);
    ASSERT_NE(unarchiver, nullptr);
    const std::string out = destination("prefixed");
    ASSERT_TRUE(unarchiver->unarchiveToPath(out));
    EXPECT_EQ(readFile(out + "/A/x"), readFile(folder + "/x"));
}

TEST_F(VKZipTest, CodePageNamesAndOddButValidLayouts)
{
    // 0x82 is "é" in code page 850.
    std::string archive = pathInHome("names.zip");
    writeArchive(archive, { { "caf\x82.txt", "coffee" }, { "dir/inner/file", "deep" }, { "dir/", "" },
                              { "dir/", "" }, { "./dot/./f", "dot" }, { "other/x", "ox" }, { "dir/inner/again", "again" } });
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
    ASSERT_NE(unarchiver, nullptr);
    EXPECT_EQ(unarchiver->numberOfEntries(), 7u);
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(0), "café.txt");
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(1), "dir/inner/file");
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(7), std::nullopt);
    EXPECT_EQ(unarchiver->uncompressedSize(), 20u);
    EXPECT_FALSE(unarchiver->isEncrypted());
    std::string out = destination("names");
    ASSERT_TRUE(unarchiver->unarchiveToPath(out));
    EXPECT_EQ(readFile(out + "/café.txt"), "coffee");
    EXPECT_EQ(readFile(out + "/dir/inner/file"), "deep");
    EXPECT_EQ(readFile(out + "/dot/f"), "dot");
    // Back into a folder after another one.
    EXPECT_EQ(readFile(out + "/dir/inner/again"), "again");
    EXPECT_EQ(listing(out), (std::set<std::string> { "café.txt", "dir", "dir/inner", "dir/inner/file", "dir/inner/again",
                                "dot", "dot/f", "other", "other/x" }));

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
    auto delegate = std::make_shared<StoppingUnarchiveDelegate>("two");
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

TEST_F(VKZipTest, ArchivesLinksAsLinksAndSkipsSpecialFiles)
{
    const std::string tree = makeFolder("src/T");
    makeFile("src/T/café/naïve.txt", "accents");
    const std::string tool = makeFile("src/T/run.sh", "#!/bin/sh\necho hi\n");
    ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
    makeFile("secret.txt", "outside the tree");
    ASSERT_EQ(symlink("../../secret.txt", (tree + "/outside").c_str()), 0);
    ASSERT_EQ(symlink("missing", (tree + "/dangling").c_str()), 0);
    ASSERT_EQ(symlink("café", (tree + "/folderlink").c_str()), 0);
    ASSERT_EQ(mkfifo((tree + "/pipe").c_str(), 0644), 0);
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree + "/socket";
    // A deep checkout's test home can be longer than a socket address holds;
    // the folder's descriptor names it briefly.
    const int treeDescriptor = ::open(tree.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(treeDescriptor, 0);
    const std::string shortPath = fmt::format("/proc/self/fd/{}/socket", treeDescriptor);
    ASSERT_LT(shortPath.size(), sizeof address.sun_path);
    std::copy(shortPath.begin(), shortPath.end(), address.sun_path);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(treeDescriptor);

    // A FIFO once hung the archiver; links were followed out of the tree.
    const std::string archive = pathInHome("T.zip");
    ASSERT_TRUE(VKZipArchiver::archiveItemAtPath(tree, archive, 9));
    ::close(listener);
    EXPECT_TRUE(logContains("Warning, VKZipArchiver skipped special file: " + tree + "/pipe"));
    EXPECT_TRUE(logContains("Warning, VKZipArchiver skipped special file: " + socketPath));

    auto entries = lines(pythonListing(archive));
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries,
        (std::vector<std::string> { "T/ 0 3 0o40755 0", "T/café/ 2048 3 0o40755 0", "T/café/naïve.txt 2048 3 0o100644 7",
            "T/dangling 0 3 0o120777 7", "T/folderlink 0 3 0o120777 5", "T/outside 0 3 0o120777 16",
            "T/run.sh 0 3 0o100755 18" }));

    // Info-ZIP restores the links, the mode and the names, as from its own
    // `zip -y` archive of the same tree.
    const std::string unzipped = destination("unzip");
    ASSERT_EQ(run({ "unzip", "-q", archive, "-d", unzipped }).status, 0);
    char target[64] = {};
    ASSERT_GT(readlink((unzipped + "/T/outside").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "../../secret.txt");
    struct stat status {};
    ASSERT_EQ(stat((unzipped + "/T/run.sh").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0755u);
    EXPECT_EQ(readFile(unzipped + "/T/café/naïve.txt"), "accents");
    EXPECT_FALSE(core::fs::attributes(unzipped + "/T/pipe"));

    const std::string peer = pathInHome("peer.zip");
    ASSERT_EQ(run({ "zip", "-q", "-r", "-y", peer, "T", "-x", "T/pipe", "T/socket" }, pathInHome("src")).status, 0);
    auto attributesOf = [&](const std::string& zip) {
        std::set<std::string> found;
        for (const auto& line : lines(run({ "zipinfo", zip }).output)) {
            if (line.starts_with("l"))
                found.insert(line.substr(0, line.find(' ', 11)) + line.substr(line.rfind(' ')));
        }
        return found;
    };
    EXPECT_EQ(attributesOf(archive), attributesOf(peer));
    EXPECT_EQ(attributesOf(archive).size(), 3u);

    // Our own extraction keeps a link as a plain file holding its target.
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
    const std::string ours = destination("ours");
    ASSERT_TRUE(unarchiver->unarchiveToPath(ours));
    EXPECT_EQ(readFile(ours + "/T/outside"), "../../secret.txt");
    ASSERT_EQ(lstat((ours + "/T/outside").c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
}

TEST_F(VKZipTest, FailedOrStoppedArchivesLeaveNoFile)
{
    std::string folder = makeTree();
    auto hiddenFiles = [&] {
        std::set<std::string> names;
        for (const auto& name : core::fs::contentsOfDirectory(home()).value_or(std::vector<std::string>())) {
            if (name.starts_with("."))
                names.insert(name);
        }
        return names;
    };
    const auto hiddenBefore = hiddenFiles();
    auto staged = [] { return core::fs::contentsOfDirectory(VKStagingFolder::path()).value_or(std::vector<std::string>()); };
    const std::string archive = pathInHome("A.zip");
    for (bool inData : { false, true }) {
        SCOPED_TRACE(inData);
        auto archiver = VKZipArchiver::archiverWithPath(archive);
        ASSERT_NE(archiver, nullptr);
        archiver->setRootPath(pathInHome("src"));
        auto delegate = std::make_shared<StoppingArchiverDelegate>("A/x", inData);
        archiver->setDelegate(delegate);
        EXPECT_FALSE(archiver->addItemAtPath(folder, true, 9));
        EXPECT_FALSE(core::fs::attributes(archive));
        // The part is in the staging folder, nothing of it beside.
        EXPECT_EQ(staged().size(), 1u);
        EXPECT_EQ(hiddenFiles(), hiddenBefore);
        EXPECT_FALSE(archiver->close());
        EXPECT_FALSE(core::fs::attributes(archive));
        EXPECT_TRUE(staged().empty());
    }

    // A whole archive takes its name only when closed; teardown closes.
    auto archiver = VKZipArchiver::archiverWithPath(archive);
    archiver->setRootPath(pathInHome("src"));
    ASSERT_TRUE(archiver->addItemAtPath(folder, true, 9));
    EXPECT_FALSE(core::fs::attributes(archive));
    archiver.reset();
    EXPECT_EQ(run({ "unzip", "-t", archive }).status, 0);
    EXPECT_EQ(hiddenFiles(), hiddenBefore);

    // Someone else's file that took the name meanwhile is never replaced.
    std::string taken = pathInHome("B.zip");
    archiver = VKZipArchiver::archiverWithPath(taken);
    archiver->setRootPath(pathInHome("src"));
    ASSERT_TRUE(archiver->addItemAtPath(folder, true, 9));
    core::fs::writeFileAtomically(taken, "theirs");
    EXPECT_FALSE(archiver->close());
    EXPECT_EQ(readFile(taken), "theirs");
    EXPECT_EQ(hiddenFiles(), hiddenBefore);
    EXPECT_TRUE(staged().empty());
}

TEST_F(VKZipTest, RelativePathsHoldFromTheWorkingDirectory)
{
    makeTree();
    char* saved = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(pathInHome("src").c_str()), 0);
    // An item that is not there leaves no archive behind.
    EXPECT_FALSE(VKZipArchiver::archiveItemAtPath("missing", "missing.zip", 9));
    EXPECT_TRUE(VKZipArchiver::archiveItemAtPath("./A/", "../rel.zip", 9));
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath("../rel.zip");
    const bool extracted = unarchiver && unarchiver->unarchiveFile("A/sub/y", "y-copy")
        && core::fs::createDirectory("out", false) && unarchiver->unarchiveToPath("out/");
    ASSERT_EQ(chdir(saved), 0);
    free(saved);

    EXPECT_FALSE(core::fs::attributes(pathInHome("src/missing.zip")));
    auto entries = lines(run({ "zipinfo", "-1", pathInHome("rel.zip") }).output);
    EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()),
        (std::set<std::string> { "A/", "A/empty", "A/sub/", "A/sub/y", "A/x" }));
    ASSERT_TRUE(extracted);
    EXPECT_EQ(unarchiver->archivePath(), pathInHome("rel.zip"));
    EXPECT_EQ(readFile(pathInHome("src/y-copy")), "why");
    EXPECT_EQ(listing(pathInHome("src/out")), (std::set<std::string> { "A", "A/x", "A/sub", "A/sub/y", "A/empty" }));
}

TEST_F(VKZipTest, ExtractedFilesTakeTheirTimesAsUnzipDoes)
{
    // The extended timestamp (local with the access time, central without),
    // the NTFS block, both, neither; DOS dates 2010-01-15 10:00 local.
    const std::string archive = pathInHome("times.zip");
    test::runPython(R"(
import sys, zipfile, struct
def ut(m, a=None):
    data = struct.pack('<Bi', 1 | (2 if a is not None else 0), m) + (struct.pack('<i', a) if a is not None else b'')
    return struct.pack('<HH', 0x5455, len(data)) + data
def ntfs(m, a):
    ft = lambda t: round((t + 11644473600) * 10**7)
    data = b'\0' * 4 + struct.pack('<HHQQQ', 1, 24, ft(m), ft(a), ft(m))
    return struct.pack('<HH', 0x000a, len(data)) + data
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for name, extra in [('both', ut(1000000000, 1000000500) + ntfs(1100000000.25, 1100000600.5)),
                        ('ntfs', ntfs(1200000000.75, 1200000700)), ('timestamp', ut(1300000000)), ('dos', b'')]:
        info = zipfile.ZipInfo(name, (2010, 1, 15, 10, 0, 0))
        info.extra = extra
        z.writestr(info, b'x')
)",
        { archive });
    const std::string ours = destination("ours"), peer = destination("peer");
    ASSERT_TRUE(VKZipUnarchiver::unarchiverWithZipAtPath(archive)->unarchiveToPath(ours));
    ASSERT_EQ(run({ "unzip", "-q", archive, "-d", peer }).status, 0);
    auto times = [](const std::string& path) {
        struct stat status {};
        stat(path.c_str(), &status);
        return std::make_pair(int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
            int64_t(status.st_atim.tv_sec) * 1000000000 + status.st_atim.tv_nsec);
    };
    for (const char* name : { "both", "timestamp", "dos" })
        EXPECT_EQ(times(ours + "/" + name), times(peer + "/" + name)) << name;
    EXPECT_EQ(times(ours + "/both"), std::make_pair(int64_t(1000000000) * 1000000000, int64_t(1000000500) * 1000000000));
    EXPECT_EQ(times(ours + "/dos").first, int64_t(localTime(2010, 1, 15, 10, 0)) * 1000000000);
    // unzip leaves the NTFS block to Windows; its times are the file's too.
    EXPECT_EQ(times(ours + "/ntfs"), std::make_pair(int64_t(1200000000750000000), int64_t(1200000700) * 1000000000));
}

TEST_F(VKZipTest, NamesAsUnixToolsStoreThem)
{
    // Info-ZIP on Unix stores the system's bytes without the UTF-8 flag: a
    // Latin-1 name (not CP850's "cafÚ.txt") and a UTF-8 one.
    makeFile("src/names/caf\xe9.txt", "latin");
    makeFile("src/names/naïve.txt", "utf");
    const std::string peer = pathInHome("unix.zip");
    ASSERT_EQ(run({ "zip", "-q", "-r", peer, "names" }, pathInHome("src")).status, 0);
    std::string out = destination("unix");
    ASSERT_TRUE(VKZipUnarchiver::unarchiverWithZipAtPath(peer)->unarchiveToPath(out));
    EXPECT_EQ(listing(out), (std::set<std::string> { "names", "names/café.txt", "names/naïve.txt" }));
    EXPECT_EQ(readFile(out + "/names/café.txt"), "latin");

    // A Unicode Path field names the entry when it belongs to the stored
    // name; a stale one (another name's CRC-32) is passed over. Bytes that
    // would be Latin-1's control characters are a DOS code page's letters.
    const std::string unicode = pathInHome("unicode.zip");
    test::runPython(R"(
import struct, sys, zipfile, zlib
def unicode_path(stored, name):
    data = struct.pack('<BI', 1, zlib.crc32(stored)) + name.encode()
    return struct.pack('<HH', 0x7075, len(data)) + data
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for stored, extra in [('old.txt', unicode_path(b'old.txt', '日本.txt')), ('kept.txt', unicode_path(b'other', 'x'))]:
        info = zipfile.ZipInfo(stored)
        info.create_system = 3
        info.extra = extra
        z.writestr(info, stored)
    z.writestr('cafQ.txt', 'dos')
data = open(sys.argv[1], 'rb').read().replace(b'cafQ', b'caf\x82')
open(sys.argv[1], 'wb').write(data)
)",
        { unicode });
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(unicode);
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(0), "日本.txt");
    out = destination("unicode");
    ASSERT_TRUE(unarchiver->unarchiveToPath(out));
    EXPECT_EQ(listing(out), (std::set<std::string> { "日本.txt", "kept.txt", "café.txt" }));
    EXPECT_EQ(readFile(out + "/日本.txt"), "old.txt");
}

TEST_F(VKZipTest, ExtractedItemsTakeTheirModesAndFoldersTheirTimes)
{
    // Modes as stored minus the umask, set-ID bits never, the owner always
    // able to read and write a file and fill a folder; every item, folders
    // included, dated as its extended timestamp says (1999), not as the DOS
    // date of the archive's making.
    const mode_t savedMask = umask(022);
    const std::map<std::string, std::pair<mode_t, mode_t>> modes { // stored, extracted
        { "M", { 0755, 0755 } }, { "M/private", { 0600, 0600 } }, { "M/tool", { 04755, 0755 } },
        { "M/readonly", { 0444, 0644 } }, { "M/shared", { 0750, 0750 } }, { "M/shared/notes", { 0640, 0640 } },
        { "M/locked", { 0500, 0700 } }, { "M/locked/inside", { 0664, 0644 } }
    };
    for (const auto& [item, mode] : modes) {
        if (item.find('/') != std::string::npos && item != "M/shared" && item != "M/locked")
            makeFile("src/" + item, item);
    }
    for (auto item = modes.rbegin(); item != modes.rend(); ++item) {
        const std::string path = pathInHome("src/" + item->first);
        ASSERT_EQ(chmod(path.c_str(), item->second.first), 0) << item->first;
        ASSERT_EQ(run({ "touch", "-t", "199901021030", path }).status, 0);
    }
    const std::string archive = pathInHome("modes.zip");
    ASSERT_EQ(run({ "zip", "-q", "-r", archive, "M" }, pathInHome("src")).status, 0);
    const std::string ours = destination("ours"), peer = destination("peer");
    ASSERT_TRUE(VKZipUnarchiver::unarchiverWithZipAtPath(archive)->unarchiveToPath(ours));
    ASSERT_EQ(run({ "unzip", "-q", archive, "-d", peer }).status, 0);
    umask(savedMask);
    for (const auto& [item, mode] : modes) {
        SCOPED_TRACE(item);
        struct stat status {}, peerStatus {};
        ASSERT_EQ(lstat((ours + "/" + item).c_str(), &status), 0);
        ASSERT_EQ(lstat((peer + "/" + item).c_str(), &peerStatus), 0);
        EXPECT_EQ(status.st_mode & 07777, mode.second);
        // unzip keeps what the owner may not do; the umask it ignores.
        if (item != "M/readonly" && item != "M/locked" && item != "M/locked/inside") {
            EXPECT_EQ(status.st_mode & 07777, peerStatus.st_mode & 07777);
        }
        EXPECT_EQ(status.st_mtime, localTime(1999, 1, 2, 10, 30));
        EXPECT_EQ(status.st_mtime, peerStatus.st_mtime);
    }
    chmod((pathInHome("src/M/locked")).c_str(), 0700);
    chmod((peer + "/M/locked").c_str(), 0700);
}

TEST_F(VKZipTest, AnEmptyArchiveHasNoEntries)
{
    const std::string archive = pathInHome("empty.zip");
    test::runPython("import sys, zipfile\nzipfile.ZipFile(sys.argv[1], 'w').close()\n", { archive });
    ASSERT_EQ(readFile(archive).size(), 22u);
    EXPECT_NE(run({ "zipinfo", archive }).output.find("number of entries: 0"), std::string::npos);
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
    ASSERT_NE(unarchiver, nullptr);
    EXPECT_EQ(unarchiver->numberOfEntries(), 0u);
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(0), std::nullopt);
    EXPECT_EQ(unarchiver->uncompressedSize(), 0u);
    EXPECT_FALSE(unarchiver->isEncrypted());
    const std::string out = destination("empty");
    EXPECT_TRUE(unarchiver->unarchiveToPath(out));
    EXPECT_TRUE(listing(out).empty());
    EXPECT_FALSE(unarchiver->unarchiveFile("x", out + "/x"));
}

TEST_F(VKZipTest, OverlappingEntriesAreRefusedBeforeAnythingIsWritten)
{
    // 1,000 central entries share one megabyte of compressed data, as in the
    // overlap bomb; then an entry whose local header lies inside the one
    // before it, and an entry whose data runs into the central directory.
    const std::string script = R"(
import struct, sys, zlib
data = b'A' * 1000000
compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
kernel = compressor.compress(data) + compressor.flush()
crc = zlib.crc32(data)
def local(name, size, payload):
    return struct.pack('<IHHHIIIIHH', 0x04034b50, 20, 0, 8, 0, crc, size, len(data), len(name), 0) + name + payload
def central(name, size, offset):
    return struct.pack('<IHHHHIIIIHHHHHII', 0x02014b50, 20, 20, 0, 8, 0, crc, size, len(data), len(name), 0, 0, 0, 0, 0, offset) + name
def archive(path, body, records):
    directory = b''.join(records)
    end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, len(records), len(records), len(directory), len(body), 0)
    open(path, 'wb').write(body + directory + end)
body = local(b'f0000', len(kernel), kernel)
archive(sys.argv[1], body, [central(b'f%04d' % i, len(kernel), 0) for i in range(1000)])
second = local(b'f0001', len(kernel), kernel)
archive(sys.argv[2], body + second, [central(b'f0000', len(kernel), 0), central(b'f0001', len(kernel), 40)])
archive(sys.argv[3], body, [central(b'f0000', len(kernel) + 200, 0)])
)";
    const std::string full = pathInHome("full.zip");
    const std::string inside = pathInHome("inside.zip");
    const std::string tail = pathInHome("tail.zip");
    test::runPython(script, { full, inside, tail });
    EXPECT_LT(readFile(full).size(), 60000u);
    // Info-ZIP refuses it too.
    auto peer = run({ "unzip", "-t", full });
    EXPECT_NE(peer.status, 0);
    EXPECT_NE(peer.output.find("overlap"), std::string::npos);

    for (const auto& archive : { full, inside, tail }) {
        SCOPED_TRACE(archive);
        auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
        ASSERT_NE(unarchiver, nullptr);
        EXPECT_EQ(unarchiver->nameOfEntryAtIndex(0), "f0000");
        const std::string out = destination(core::path::lastPathComponent(archive));
        EXPECT_FALSE(unarchiver->unarchiveToPath(out));
        EXPECT_TRUE(listing(out).empty());
        EXPECT_FALSE(unarchiver->unarchiveFile("f0000", out + "/single"));
        EXPECT_TRUE(listing(out).empty());
    }
    EXPECT_EQ(VKZipUnarchiver::unarchiverWithZipAtPath(full)->uncompressedSize(), 1000000000u);
    EXPECT_TRUE(logContains("Warning, zip entries overlap (possible zip bomb) at f0000 in archive: " + full));
}

TEST_F(VKZipTest, ExtractionStaysWithinTheAvailableSpace)
{
    const std::string archive = pathInHome("two.zip");
    writeArchive(archive, { { "a", std::string(1100000, 'a') }, { "b", std::string(100000, 'b') } });
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
    ASSERT_NE(unarchiver, nullptr);
    auto refuses = [&](const std::string& name) {
        const std::string out = destination(name);
        core::Error error;
        EXPECT_FALSE(unarchiver->unarchiveToPath(out, &error));
        EXPECT_TRUE(error.is(core::Error::POSIXDomain, EDQUOT));
        EXPECT_TRUE(listing(out).empty());
        core::Error single;
        EXPECT_FALSE(unarchiver->unarchiveFile("a", out + "/a", &single));
        EXPECT_TRUE(single.is(core::Error::POSIXDomain, EDQUOT));
        EXPECT_TRUE(listing(out).empty());
    };

    // The caller's answer, asked for the destination.
    std::string asked;
    unarchiver->setAvailableSpaceFunction([&](const std::string& folder) {
        asked = folder;
        return std::optional<uint64_t>(1000000);
    });
    refuses("caller");
    EXPECT_TRUE(logContains("Warning, not enough space to unarchive 1200000 bytes to: "));
    EXPECT_TRUE(asked.ends_with("/out/caller")) << asked;
    unarchiver->setAvailableSpaceFunction(nullptr);

    // Else a nearly full volume.
    std::optional<uint64_t> free = 1000000;
    VKQuotaManager::setFreeSpaceFunctionForTesting([&](const std::string&) { return free; });
    refuses("volume");
    free = 1200000;
    const std::string out = destination("fits");
    core::Error error;
    EXPECT_TRUE(unarchiver->unarchiveToPath(out, &error));
    EXPECT_EQ(listing(out), (std::set<std::string> { "a", "b" }));
    EXPECT_EQ(readFile(out + "/a"), std::string(1100000, 'a'));
}

TEST_F(VKZipTest, ReadsNamesAndMethodsOtherToolsWrite)
{
    const std::string script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr(zipfile.ZipInfo('./'), b'')
    z.writestr('.', b'')
    z.writestr('./top.txt', b'top')
    z.writestr('./sub/./inner.txt', b'inner')
    z.writestr('packed.txt', b'bzip2 ' * 1000, compress_type=zipfile.ZIP_BZIP2)
with zipfile.ZipFile(sys.argv[2], 'w') as z:
    z.writestr('first.txt', b'fine')
    z.writestr('squeezed.txt', b'lzma ' * 100, compress_type=zipfile.ZIP_LZMA)
with zipfile.ZipFile(sys.argv[3], 'w') as z:
    z.writestr('zstd.bin', b'not really zstd')
data = bytearray(open(sys.argv[3], 'rb').read())
data[8] = 93
central = data.index(b'PK\x01\x02')
data[central + 10] = 93
open(sys.argv[3], 'wb').write(data)
)";
    const std::string names = pathInHome("names.zip");
    const std::string lzma = pathInHome("lzma.zip");
    const std::string zstd = pathInHome("zstd.zip");
    test::runPython(script, { names, lzma, zstd });

    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(names);
    ASSERT_NE(unarchiver, nullptr);
    std::string out = destination("names");
    ASSERT_TRUE(unarchiver->unarchiveToPath(out));
    EXPECT_EQ(listing(out), (std::set<std::string> { "top.txt", "sub", "sub/inner.txt", "packed.txt" }));
    EXPECT_EQ(readFile(out + "/sub/inner.txt"), "inner");
    std::string expected;
    for (int i = 0; i < 1000; ++i)
        expected += "bzip2 ";
    EXPECT_EQ(readFile(out + "/packed.txt"), expected);

    for (const auto& [archive, method, entry] : { std::tuple { lzma, 14, "squeezed.txt" }, { zstd, 93, "zstd.bin" } }) {
        SCOPED_TRACE(method);
        std::string target = destination(std::to_string(method));
        EXPECT_FALSE(VKZipUnarchiver::unarchiverWithZipAtPath(archive)->unarchiveToPath(target));
        EXPECT_TRUE(listing(target).empty());
        EXPECT_TRUE(logContains(
            "Warning, unsupported compression method " + std::to_string(method) + " for entry: " + entry));
    }

    // Info-ZIP's bzip2, encrypted.
    makeTree();
    const std::string locked = pathInHome("locked.zip");
    ASSERT_EQ(run({ "zip", "-q", "-r", "-Z", "bzip2", "-P", "pw", locked, "A" }, pathInHome("src")).status, 0);
    ASSERT_NE(run({ "zipinfo", "-v", locked }).output.find("bzipped"), std::string::npos);
    unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(locked);
    unarchiver->setPassword(std::string("pw"));
    out = destination("bzip2");
    ASSERT_TRUE(unarchiver->unarchiveToPath(out));
    EXPECT_EQ(readFile(out + "/A/x"), readFile(pathInHome("src/A/x")));
}

TEST_F(VKZipTest, ManyEntriesAreListedFromOneRead)
{
    // Python writes the zip64 end records a count past 65,535 needs.
    const std::string listed = pathInHome("many.zip");
    test::runPython(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for i in range(70000):
        z.writestr('d%02d/f%05d' % (i % 20, i), b'x' * (i % 7))
)",
        { listed });
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(listed);
    ASSERT_NE(unarchiver, nullptr);
    EXPECT_EQ(unarchiver->numberOfEntries(), 70000u);
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(69999), "d19/f69999");
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(0), "d00/f00000");
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(70000), std::nullopt);
    uint64_t total = 0;
    for (int i = 0; i < 70000; ++i)
        total += static_cast<uint64_t>(i % 7);
    EXPECT_EQ(unarchiver->uncompressedSize(), total);

    // Our own archive of more than 65,535 entries carries its count too
    // (one file added again and again: the count is what matters here).
    const std::string file = makeFile("wide/one.txt", "1");
    auto archiver = VKZipArchiver::archiverWithPath(pathInHome("wide.zip"));
    archiver->setRootPath(pathInHome("wide"));
    for (int i = 0; i < 65600; ++i)
        ASSERT_TRUE(archiver->addItemAtPath(file, false, 0));
    ASSERT_TRUE(archiver->close());
    EXPECT_EQ(test::runPython("import sys, zipfile\nprint(len(zipfile.ZipFile(sys.argv[1]).namelist()))",
                  { archiver->archivePath() }),
        "65600\n");
    EXPECT_NE(run({ "unzip", "-l", archiver->archivePath() }).output.find("65600 files"), std::string::npos);
    unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archiver->archivePath());
    ASSERT_NE(unarchiver, nullptr);
    EXPECT_EQ(unarchiver->numberOfEntries(), 65600u);
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(65599), "one.txt");
}

TEST_F(VKZipTest, Zip64SizesAndOffsetsRoundTrip)
{
    // A stored 4.5 GiB entry of zeros, written as holes, puts the next
    // entry's local header past 4 GiB.
    const std::string far = pathInHome("far.zip");
    test::runPython(R"(
import sys, zipfile
class Sparse:
    def __init__(self, path): self.file = open(path, 'wb')
    def write(self, data):
        if data.count(0) == len(data) and len(data) >= 4096: self.file.seek(len(data), 1)
        else: self.file.write(data)
        return len(data)
    def tell(self): return self.file.tell()
    def seek(self, *args): return self.file.seek(*args)
    def flush(self): self.file.flush()
    def close(self): self.file.close()
out = Sparse(sys.argv[1])
with zipfile.ZipFile(out, 'w', zipfile.ZIP_STORED) as z:
    with z.open('big.bin', 'w', force_zip64=True) as entry:
        block = bytes(1 << 22)
        for i in range(1152):
            entry.write(block)
    z.writestr('after.txt', b'past the four gigabytes')
out.close()
)",
        { far });
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(far);
    ASSERT_NE(unarchiver, nullptr);
    EXPECT_EQ(unarchiver->uncompressedSize(), 4608ull * (1 << 20) + 23);
    EXPECT_EQ(unarchiver->nameOfEntryAtIndex(1), "after.txt");
    ASSERT_TRUE(unarchiver->unarchiveFile("after.txt", pathInHome("after.txt")));
    EXPECT_EQ(readFile(pathInHome("after.txt")), "past the four gigabytes");

    // A 5 GiB sparse file with marks at its start, middle and end.
    const std::string folder = makeFolder("big");
    const std::string original = folder + "/sparse.bin";
    {
        core::Descriptor file(::open(original.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
        ASSERT_EQ(ftruncate(file.get(), 5 * GiB), 0);
        for (uint64_t at : { uint64_t(0), 3 * GiB, 5 * GiB - 4 })
            ASSERT_EQ(pwrite(file.get(), "mark", 4, static_cast<off_t>(at)), 4);
    }
    const std::string archive = pathInHome("big.zip");
    ASSERT_TRUE(VKZipArchiver::archiveItemAtPath(original, archive, 1));
    EXPECT_LT(readFile(archive).size(), 64u << 20);
    // Reading all of it back is the benchmark's part (`unzip -t` takes long).
    EXPECT_EQ(pythonListing(archive), "sparse.bin 0 3 0o100644 5368709120\n");
    auto details = run({ "zipinfo", "-v", archive });
    EXPECT_EQ(details.status, 0);
    EXPECT_NE(details.output.find("5368709120 bytes"), std::string::npos);

    unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
    ASSERT_NE(unarchiver, nullptr);
    EXPECT_EQ(unarchiver->uncompressedSize(), 5 * GiB);
    // The room asked for is the entry's size; the copy is sparse and takes
    // under a megabyte, so the volume the tests run on need not have it.
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(16 * GiB); });
    const std::string out = destination("big");
    ASSERT_TRUE(unarchiver->unarchiveToPath(out));
    struct stat status {};
    ASSERT_EQ(stat((out + "/sparse.bin").c_str(), &status), 0);
    EXPECT_EQ(static_cast<uint64_t>(status.st_size), 5 * GiB);
    EXPECT_LT(static_cast<uint64_t>(status.st_blocks) * 512, uint64_t(1) << 20);
    core::Descriptor copy(::open((out + "/sparse.bin").c_str(), O_RDONLY));
    for (uint64_t at : { uint64_t(0), 3 * GiB, 5 * GiB - 4 }) {
        char mark[5] = {};
        ASSERT_EQ(pread(copy.get(), mark, 4, static_cast<off_t>(at)), 4);
        EXPECT_STREQ(mark, "mark");
    }
}

} // namespace
