#include "Kit/FileManagerAdditions.h"

#include "Platform/Core/FileSystem.h"

#include "Support/BoundSocket.h"
#include "Support/TestCase.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using Strings = std::vector<std::string>;

namespace {

// Records what the copy says and answers as told.
class RecordingDelegate : public VKFileManagerDelegate {
public:
    bool shouldCopyItemAtPath(const std::string& from, const std::string&) override
    {
        return refuse.empty() || from.find(refuse) == std::string::npos;
    }
    bool copyingItemAtPath(const std::string&, const std::string&, uint64_t bytesWritten) override
    {
        progress.push_back(bytesWritten);
        return cancelAfter == 0 || progress.size() < cancelAfter;
    }
    void didCopyItemAtPath(const std::string& from, const std::string&) override { copied.push_back(from); }

    std::string refuse;
    size_t cancelAfter = 0;
    std::vector<uint64_t> progress;
    Strings copied;
};

class FileManagerCopyTest : public test::TestCase {
protected:
    static size_t openDescriptors()
    {
        size_t count = 0;
        DIR* folder = opendir("/proc/self/fd");
        while (readdir(folder))
            ++count;
        closedir(folder);
        return count;
    }
    static unsigned modeOf(const std::string& path)
    {
        struct stat info;
        return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
    }
};

TEST_F(FileManagerCopyTest, DelegateHearsEveryItemAndEveryBuffer)
{
    std::string tree = makeFolder("tree");
    std::string big = makeFile("tree/big.bin", std::string(120'000, 'b'));
    std::string readOnly = makeFile("tree/sub/readonly.txt", "ro");
    makeFile("tree/sub/empty", "");
    chmod(readOnly.c_str(), 0444);
    chmod(pathInHome("tree/sub").c_str(), 0750);

    RecordingDelegate delegate;
    core::Error error;
    uint64_t opensBefore = VKOpenFileDescriptorCount();
    std::string copy = pathInHome("copy");
    ASSERT_TRUE(copyWithUpdatesItemAtPath(tree, copy, &error, &delegate)) << error.description();

    EXPECT_EQ(readFile(copy + "/big.bin"), std::string(120'000, 'b'));
    EXPECT_EQ(readFile(copy + "/sub/readonly.txt"), "ro");
    EXPECT_EQ(modeOf(copy + "/sub/readonly.txt"), 0644u);
    EXPECT_EQ(modeOf(copy + "/sub"), 0750u);
    EXPECT_EQ(core::fs::attributes(copy + "/sub/empty")->size, 0u);
    // Two files with data, two descriptors each; the empty file opens none.
    EXPECT_EQ(VKOpenFileDescriptorCount() - opensBefore, 4u);

    // The small file's one step of 2 bytes comes before or after the big file's three.
    std::vector<uint64_t> steps = delegate.progress;
    steps.erase(std::remove(steps.begin(), steps.end(), 2u), steps.end());
    EXPECT_EQ(steps, (std::vector<uint64_t> { 51'200, 51'200, 17'600 }));
    EXPECT_EQ(delegate.progress.size(), 4u);
    Strings copied = delegate.copied;
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, (Strings { tree, big, pathInHome("tree/sub"), pathInHome("tree/sub/empty"), readOnly }));

    // The destination is never replaced.
    EXPECT_FALSE(copyWithUpdatesItemAtPath(tree, copy, &error, &delegate));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, EEXIST));
    EXPECT_EQ(error.localizedDescription(), "File already exists");
}

TEST_F(FileManagerCopyTest, CancelRefusalAndOddItemsFail)
{
    std::string big = makeFile("big.bin", std::string(120'000, 'b'));
    RecordingDelegate cancelling;
    cancelling.cancelAfter = 1;
    core::Error error;
    EXPECT_FALSE(copyWithUpdatesItemAtPath(big, pathInHome("partial"), &error, &cancelling));
    EXPECT_TRUE(error.is("NSFileManagerErrorDomain", -1));
    EXPECT_EQ(error.localizedDescription(), "Failed to copy file data");
    EXPECT_EQ(core::fs::attributes(pathInHome("partial"))->size, 51'200u);

    RecordingDelegate refusing;
    refusing.refuse = "big";
    error = {};
    EXPECT_FALSE(copyWithUpdatesItemAtPath(big, pathInHome("refused"), &error, &refusing));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(core::fs::exists(pathInHome("refused")));

    // A link inside a tree fails at its no-follow open.
    makeFile("withlink/file", "f");
    ASSERT_EQ(symlink("file", pathInHome("withlink/link").c_str()), 0);
    RecordingDelegate plain;
    EXPECT_FALSE(copyWithUpdatesItemAtPath(pathInHome("withlink"), pathInHome("linkcopy"), &error, &plain));
    EXPECT_TRUE(error.is("NSFileManagerErrorDomain", ELOOP)) << error.description();
    EXPECT_EQ(error.localizedDescription(), "Failed to open file");
    EXPECT_EQ(error.userInfo().at("path").toString(), pathInHome("withlink/link"));

    std::string fifo = pathInHome("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(copyWithUpdatesItemAtPath(fifo, pathInHome("fifocopy"), &error, &plain));
    EXPECT_EQ(error.localizedDescription(), "Unhandled file type");
    EXPECT_TRUE(logContains("Warning, unhandled file type: NSFileTypeUnknown"));

    // Without a delegate the plain copy runs, and copies the link as a link.
    ASSERT_TRUE(copyWithUpdatesItemAtPath(pathInHome("withlink"), pathInHome("plain"), &error));
    EXPECT_EQ(core::fs::attributes(pathInHome("plain/link"))->type, core::fs::FileType::SymbolicLink);
}

TEST_F(FileManagerCopyTest, FailedAndCancelledCopiesCloseTheirDescriptors)
{
    std::string big = makeFile("big.bin", std::string(60'000, 'b'));
    size_t before = openDescriptors();
    makeFile("withlink/file", "f");
    ASSERT_EQ(symlink("file", pathInHome("withlink/link").c_str()), 0);
    for (int i = 0; i < 100; ++i) {
        RecordingDelegate cancelling;
        cancelling.cancelAfter = 1;
        std::string number = std::to_string(i);
        EXPECT_FALSE(VKCopyItemAtPathToPath(big, pathInHome("c" + number), nullptr, &cancelling));
        EXPECT_FALSE(VKCopyItemAtPathToPath(pathInHome("withlink"), pathInHome("l" + number), nullptr, &cancelling));
        EXPECT_LT(VKOpenFileDescriptor(pathInHome("missing" + number), O_RDONLY), 0);
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(FileManagerCopyTest, AttributesDescribeTheItemItself)
{
    std::string file = makeFile("file.txt", std::string(255, 'x'));
    ASSERT_TRUE(core::fs::setModificationTime(file, 1'000'900'000'000));
    std::string link = pathInHome("link");
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);

    auto attributes = standardAttributesForItemAtPath(link);
    ASSERT_TRUE(attributes);
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_EQ(attributes->at(NSFileType).toString(), NSFileTypeSymbolicLink);
    EXPECT_EQ(attributes->at(NSFileSize).toInteger(), info.st_size);
    EXPECT_EQ(attributes->at(NSFileSystemFileNumber).toInteger(), static_cast<int64_t>(info.st_ino & 0xffffffff));
    EXPECT_TRUE(attributes->at(NSFileCreationDate).isDate());

    auto fileAttributes = *standardAttributesForItemAtPath(file);
    EXPECT_EQ(fileAttributes.at(NSFileType).toString(), NSFileTypeRegular);
    EXPECT_EQ(fileAttributes.at(NSFileSize).toInteger(), 255);
    EXPECT_EQ(fileAttributes.at(NSFileModificationDate).date().timeIntervalSince1970(), 1000.0);
    EXPECT_EQ(modificationDateOfItemAtPath(file)->timeIntervalSince1970(), 1000.0);
    EXPECT_EQ(sizeOfItemAtPath(file), 255u);
    EXPECT_TRUE(creationDateOfItemAtPath(file));

    std::string fifo = pathInHome("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(*fileTypeOfItemAtPath(fifo), NSFileTypeUnknown);
    EXPECT_EQ(*fileTypeOfItemAtPath(home()), NSFileTypeDirectory);
    ASSERT_TRUE(test::bindSocketIn(home(), "sock"));
    EXPECT_EQ(*fileTypeOfItemAtPath(pathInHome("sock")), NSFileTypeSocket);

    core::Error error;
    EXPECT_FALSE(standardAttributesForItemAtPath(pathInHome("missing"), &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOENT));
    EXPECT_EQ(error.localizedDescription(), "No such file or directory");
    EXPECT_EQ(sizeOfItemAtPath(pathInHome("missing"), &error), 0u);
    EXPECT_FALSE(modificationDateOfItemAtPath(pathInHome("missing")));

    // A folder's contents size counts a subfolder's own entry, not what is in it.
    makeFile("folder/a", "12345");
    makeFile("folder/sub/big", std::string(10'000, 'x'));
    uint64_t subEntry = sizeOfItemAtPath(pathInHome("folder/sub"));
    EXPECT_EQ(sizeOfDirectoryContentsAtPath(pathInHome("folder")), 5 + subEntry);
    EXPECT_EQ(sizeOfDirectoryContentsAtPath(pathInHome("missing"), &error), 0u);
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOENT));
}

} // namespace
