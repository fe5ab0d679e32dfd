#include "Platform/Core/FileHandle.h"
#include "Platform/Core/FileTestHooks.h"

#include "Support/TestCase.h"

#include <cerrno>

using core::Error;
using core::FileHandle;

namespace {

class FileHandleTest : public test::TestCase { };

TEST_F(FileHandleTest, AppendAndReadBackAtAnOffset)
{
    const std::string path = makeFile("data.bin", "head:");
    auto writer = FileHandle::fileHandleForWritingAtPath(path);
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->seekToEndOfFile(), 5u);
    EXPECT_TRUE(writer->writeData(std::string_view("body")));
    EXPECT_EQ(writer->offsetInFile(), 9u);
    writer->closeFile();
    Error closed;
    EXPECT_FALSE(writer->writeData(std::string_view("x"), &closed));
    EXPECT_TRUE(closed.is(Error::POSIXDomain, EBADF));

    auto reader = FileHandle::fileHandleForReadingAtPath(path);
    ASSERT_TRUE(reader);
    ASSERT_TRUE(reader->seekToFileOffset(3));
    EXPECT_EQ(reader->readDataOfLength(4).toString(), "d:bo");
    EXPECT_EQ(reader->readDataOfLength(10).toString(), "dy");
    EXPECT_TRUE(reader->readDataOfLength(10).empty());

    // Opening never creates.
    Error missing;
    EXPECT_FALSE(FileHandle::fileHandleForWritingAtPath(pathInHome("none"), &missing));
    EXPECT_TRUE(missing.is(Error::POSIXDomain, ENOENT));
}

TEST_F(FileHandleTest, AFullDiskIsAnError)
{
    auto full = FileHandle::fileHandleForWritingAtPath("/dev/full");
    ASSERT_TRUE(full);
    Error error;
    EXPECT_FALSE(full->writeData(std::string(100000, 'x'), &error));
    EXPECT_TRUE(error.is(Error::POSIXDomain, ENOSPC)) << error.description();

    // An injected errno fails the next write only, before any byte is written.
    const std::string path = makeFile("upload", "");
    auto file = FileHandle::fileHandleForWritingAtPath(path);
    core::FileTestHooks::failNextWrite(ENOSPC);
    EXPECT_FALSE(file->writeData(std::string_view("lost"), &error));
    EXPECT_TRUE(error.is(Error::POSIXDomain, ENOSPC));
    EXPECT_TRUE(file->writeData(std::string_view("kept")));
    EXPECT_EQ(readFile(path), "kept");
}

} // namespace
