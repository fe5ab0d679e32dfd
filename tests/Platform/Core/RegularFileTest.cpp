#include "Platform/Core/RegularFile.h"

#include "Platform/Core/FileHandle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"

#include "Support/TestCase.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = core::fs;

namespace {

class RegularFileTest : public test::TestCase {
protected:
    // A socket bound at `name` in the home (through the folder's descriptor:
    // the home's own path is longer than a socket address holds).
    std::string makeSocket(const std::string& name)
    {
        core::Descriptor folder(open(home().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        core::Descriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::string bound = "/proc/self/fd/" + std::to_string(folder.get()) + "/" + name;
        bound.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << bound;
        return pathInHome(name);
    }
};

TEST_F(RegularFileTest, OnlyRegularFilesOpenAndNothingElseIsWaitedOnOrRead)
{
    // No writer: an open that waited would never come back.
    std::string pipe = pathInHome("a_pipe.jpg");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::string device = pathInHome("urandom.jpg");
    ASSERT_EQ(symlink("/dev/urandom", device.c_str()), 0);
    std::string null = pathInHome("null.txt");
    ASSERT_EQ(symlink("/dev/null", null.c_str()), 0);
    for (const std::string& path : { pipe, device, null, makeSocket("socket.txt") }) {
        SCOPED_TRACE(path);
        core::Error error;
        EXPECT_FALSE(fs::openRegularFile(path, &error));
        EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENODEV)) << error.description();
        EXPECT_EQ(error.localizedDescription(),
            "\u201C" + core::path::lastPathComponent(path) + "\u201D is not a regular file and cannot be read.");
        EXPECT_EQ(fs::failedPath(error), path);
        // What reads whole files and handles refuse the same way.
        core::Data data;
        EXPECT_FALSE(fs::readFile(path, data));
        EXPECT_FALSE(core::FileHandle::fileHandleForReadingRegularFileAtPath(path));
    }

    core::Error error;
    EXPECT_FALSE(fs::openRegularFile(makeFolder("folder.txt"), &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, EISDIR));
    EXPECT_FALSE(fs::openRegularFile(pathInHome("vanished.txt"), &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOENT));
    std::string loop = pathInHome("loop.txt");
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    EXPECT_FALSE(fs::openRegularFile(loop, &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ELOOP));

    // A regular file comes back blocking, with the size it had; a link to
    // one only where links are followed.
    std::string notes = makeFile("notes.txt", "hello");
    std::string link = pathInHome("link.txt");
    ASSERT_EQ(symlink(notes.c_str(), link.c_str()), 0);
    auto file = fs::openRegularFile(link);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size, 5u);
    EXPECT_EQ(fcntl(file->fd.get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_FALSE(fs::openRegularFile(link, &error, O_NOFOLLOW));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ELOOP));
}

} // namespace
