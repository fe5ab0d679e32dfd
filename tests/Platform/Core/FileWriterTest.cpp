#include "Platform/Core/FileWriter.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include "Support/TestCase.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

using core::Data;
using core::Error;
using core::FileWriter;

namespace {

class FileWriterTest : public test::TestCase {
protected:
    static bool waitFor(const std::function<bool()>& done) { return core::RunLoop::main().runUntil(done, 10); }

    // Pieces of 64 KiB, each filled with its own number, so that a piece out
    // of order or written twice shows.
    static std::string piece(int index) { return std::string(64 * 1024, char('a' + index % 26)); }
};

TEST_F(FileWriterTest, PiecesLandInOrderAndTheLastStepRunsAfterTheLastOne)
{
    const std::string path = makeFile("part", "");
    int drained = 0;
    FileWriter::Handlers handlers;
    handlers.drained = [&] { ++drained; };
    handlers.failed = [](const Error&) { ADD_FAILURE() << "no write fails"; };
    auto writer = FileWriter::create(path, handlers);
    ASSERT_TRUE(writer);
    std::string expected;
    std::vector<Data> pieces;
    for (int i = 0; i < 256; ++i) {
        expected += piece(i);
        pieces.emplace_back(piece(i));
    }
    // 16 MiB given at once passes the high-water mark: the owner is told to
    // hold back, and hears once the queue ran down. The writer's thread
    // waits until every piece is queued, so that it cannot keep up with the
    // queue however the two threads are scheduled.
    std::atomic<bool> queued = false;
    core::FileTestHooks::setWriteHook([&queued](size_t) {
        while (!queued.load())
            std::this_thread::yield();
    });
    bool backlogged = false;
    for (const auto& each : pieces)
        backlogged = writer->write(each) || backlogged;
    queued = true;
    core::FileTestHooks::setWriteHook(nullptr);
    EXPECT_TRUE(backlogged);
    std::optional<Error> done;
    uint64_t sizeAtLastStep = 0;
    writer->finish(
        [&] {
            sizeAtLastStep = uint64_t(std::filesystem::file_size(path));
            return Error();
        },
        [&](const Error& error) { done = error; });
    // Pieces after finish() are dropped.
    EXPECT_FALSE(writer->write(Data(std::string("late"))));
    ASSERT_TRUE(waitFor([&] { return done.has_value(); }));
    EXPECT_FALSE(*done);
    EXPECT_EQ(sizeAtLastStep, expected.size());
    EXPECT_TRUE(readFile(path) == expected);
    EXPECT_EQ(writer->queuedBytes(), 0u);
    EXPECT_EQ(drained, 1);

    // The last step's error is the owner's to read.
    const std::string second = makeFile("second", "");
    std::optional<Error> refused;
    auto failing = FileWriter::create(second, {});
    failing->write(Data(std::string("x")));
    failing->finish([] { return Error(Error::POSIXDomain, EISDIR); }, [&](const Error& error) { refused = error; });
    ASSERT_TRUE(waitFor([&] { return refused.has_value(); }));
    EXPECT_TRUE(refused->is(Error::POSIXDomain, EISDIR));
}

TEST_F(FileWriterTest, AFailedWriteIsToldOnceAndDropsTheRest)
{
    const std::string path = makeFile("part", "");
    std::vector<Error> failures;
    bool finished = false;
    FileWriter::Handlers handlers;
    handlers.failed = [&](const Error& error) { failures.push_back(error); };
    auto writer = FileWriter::create(path, handlers);
    writer->write(Data(piece(0)));
    ASSERT_TRUE(waitFor([&] { return readFile(path).size() == piece(0).size(); }));
    core::FileTestHooks::failNextWrite(ENOSPC);
    for (int i = 1; i < 20; ++i)
        writer->write(Data(piece(i)));
    writer->finish([&] { finished = true; return Error(); }, [&](const Error&) { finished = true; });
    ASSERT_TRUE(waitFor([&] { return !failures.empty(); }));
    EXPECT_TRUE(core::Thread::waitForAll(10));
    core::RunLoop::main().runUntilIdle();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures[0].is(Error::POSIXDomain, ENOSPC));
    EXPECT_FALSE(finished);
    EXPECT_EQ(readFile(path), piece(0));
}

TEST_F(FileWriterTest, CancelMidWriteStopsTheThreadAndTellsNothing)
{
    const std::string path = makeFile("part", "");
    bool told = false;
    FileWriter::Handlers handlers;
    handlers.failed = [&](const Error&) { told = true; };
    handlers.drained = [&] { told = true; };
    auto writer = FileWriter::create(path, handlers);
    for (int i = 0; i < 512; ++i)
        writer->write(Data(piece(i)));
    writer->finish([] { return Error(); }, [&](const Error&) { told = true; });
    writer.reset();
    EXPECT_TRUE(core::Thread::waitForAll(10));
    core::RunLoop::main().runUntilIdle();
    EXPECT_FALSE(told);
    // Whatever was written before the cancel is whole pieces, in order.
    const std::string written = readFile(path);
    EXPECT_EQ(written.size() % piece(0).size(), 0u);
    for (size_t i = 0; i < written.size(); i += piece(0).size())
        ASSERT_EQ(written[i], piece(int(i / piece(0).size()))[0]);

    // A file that cannot be opened makes no writer.
    Error error;
    EXPECT_FALSE(FileWriter::create(pathInHome("missing/part"), {}, &error));
    EXPECT_TRUE(error.is(Error::POSIXDomain, ENOENT));
}

TEST_F(FileWriterTest, AppendingContinuesOnlyAFileOfTheGivenLengthAndClosedComesLast)
{
    const std::string path = makeFile("part", "abc");
    std::vector<std::string> told;
    FileWriter::Handlers handlers;
    handlers.closed = [&] { told.push_back("closed"); };
    auto writer = FileWriter::createAppending(path, 3, handlers);
    ASSERT_TRUE(writer);
    writer->write(Data(std::string("def")));
    writer->finish([] { return Error(); }, [&](const Error&) { told.push_back("done"); });
    ASSERT_TRUE(waitFor([&] { return told.size() == 2; }));
    EXPECT_EQ(told, (std::vector<std::string> { "done", "closed" }));
    EXPECT_EQ(readFile(path), "abcdef");

    // A file that is not the length the owner expects is left alone.
    Error error;
    EXPECT_FALSE(FileWriter::createAppending(path, 3, {}, &error));
    EXPECT_TRUE(error.is(Error::POSIXDomain, EEXIST));
    EXPECT_EQ(readFile(path), "abcdef");

    // A cancelled writer still tells when it let go of the file.
    bool closed = false;
    FileWriter::Handlers quiet;
    quiet.closed = [&] { closed = true; };
    auto cancelled = FileWriter::createAppending(path, 6, quiet);
    cancelled->write(Data(piece(0)));
    cancelled->cancel();
    ASSERT_TRUE(waitFor([&] { return closed; }));
    EXPECT_TRUE(core::Thread::waitForAll(10));
}

} // namespace
