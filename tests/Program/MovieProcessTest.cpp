// The movie process of the built program, driven through RemoteMovieEngine:
// a movie plays to its end there, the process's death is the movie's
// failure and not the program's, and a process that lies about a frame is
// not believed.

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/SystemClock.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Media/Movie/GStreamerMovieEngine.h"
#include "Platform/Media/Movie/RemoteMovieEngine.h"
#include "Support/Movie/MovieClips.h"
#include "Support/TestCase.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

struct Heard : media::MovieEngineClient {
    double duration = -1;
    int types = 0;
    int frames = 0;
    int lastWidth = 0;
    bool ended = false;
    std::string failure;

    void movieEngineDidPreroll(double seconds, int mediaTypes) override
    {
        duration = seconds;
        types = mediaTypes;
    }
    void movieEngineDidPresentFrame(const std::shared_ptr<gfx::Image>& frame) override
    {
        ++frames;
        lastWidth = frame->pixelWidth();
    }
    void movieEngineDidReachEnd() override { ended = true; }
    void movieEngineDidFail(const std::string& message) override { failure = message; }
};

// The movie processes this test's process started.
std::vector<pid_t> movieProcesses()
{
    std::vector<pid_t> found;
    for (auto& entry : std::filesystem::directory_iterator("/proc")) {
        pid_t pid = pid_t(std::atoi(entry.path().filename().c_str()));
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (pid <= 0 || !std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        int parent = 0;
        char state = 0;
        std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d", &state, &parent);
        if (parent == ::getpid() && state != 'Z')
            found.push_back(pid);
    }
    return found;
}

class MovieProcessTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        media::GStreamerMovieEngine::setSilent(true);
        core::RunLoop::main().setClock(core::SystemClock::shared());
    }
    void TearDown() override
    {
        media::GStreamerMovieEngine::setSilent(false);
        core::RunLoop::main().setClock(nullptr);
        TestCase::TearDown();
    }
    bool wait(const std::function<bool()>& done) { return core::RunLoop::main().runUntil(done, 30); }

    Heard heard;
};

TEST_F(MovieProcessTest, AMoviePlaysThroughAndTheProcessEndsWithTheEngine)
{
    TANDRY_REQUIRE_MOVIE_PEERS();
    test::MovieClips clips(makeFolder("clips"));
    const auto movie = clips.colours();
    ASSERT_FALSE(movie.empty());
    {
        media::RemoteMovieEngine engine(TANDRY_MOVIE_EXECUTABLE);
        engine.setMaximumFrameSize({ 160, 120 });
        engine.play();
        engine.open(movie, &heard);
        ASSERT_TRUE(wait([&] { return heard.ended || !heard.failure.empty(); })) << "no end";
        EXPECT_EQ(heard.failure, "");
        EXPECT_NEAR(heard.duration, 3, 0.1);
        EXPECT_EQ(heard.types, media::MovieMediaTypeVideo | media::MovieMediaTypeAudio);
        EXPECT_GT(heard.frames, 30);
        EXPECT_EQ(uint64_t(heard.frames), engine.presentedFrames());
        // Scaled down in the process, to the size asked for.
        EXPECT_EQ(heard.lastWidth, 160);
        EXPECT_NEAR(engine.position(), 3, 0.5);
        EXPECT_EQ(movieProcesses().size(), 1u);
    }
    EXPECT_TRUE(movieProcesses().empty());
}

// A decoder that crashes takes its process with it: the movie fails, and
// this process goes on. A file that cannot be decoded fails as before.
TEST_F(MovieProcessTest, TheProcessDyingOrAnUnplayableFileIsTheMoviesFailure)
{
    TANDRY_REQUIRE_MOVIE_PEERS();
    test::MovieClips clips(makeFolder("clips"));
    const auto movie = clips.colours();
    {
        media::RemoteMovieEngine engine(TANDRY_MOVIE_EXECUTABLE);
        engine.open(movie, &heard);
        ASSERT_TRUE(wait([&] { return heard.duration >= 0; }));
        auto processes = movieProcesses();
        ASSERT_EQ(processes.size(), 1u);
        ::kill(processes[0], SIGSEGV);
        ASSERT_TRUE(wait([&] { return !heard.failure.empty(); }));
        EXPECT_EQ(heard.failure, "the movie process ended");
        EXPECT_EQ(engine.position(), -1);
        engine.play();
    }
    Heard unplayable;
    media::RemoteMovieEngine engine(TANDRY_MOVIE_EXECUTABLE);
    engine.open(clips.text(), &unplayable);
    ASSERT_TRUE(wait([&] { return !unplayable.failure.empty(); }));
    EXPECT_EQ(unplayable.frames, 0);
}

// A process that names a frame larger than what it shares, or one no
// screen has, ends the movie before a byte of it is read.
TEST_F(MovieProcessTest, AFrameTheProcessCannotHaveIsRefused)
{
    const auto movie = makeFile("m.mp4", "not read");
    for (const char* frame : { "32, 32, 128", "100000, 10, 400000", "10, 10, 20" }) {
        const auto script = makeFile("liar.py", std::string("#!/usr/bin/env python3\n"
                                                            "import os, socket, struct\n"
                                                            "s = socket.socket(fileno=3)\n"
                                                            "s.recv(70000)\n"
                                                            "os.ftruncate(4, 16)\n"
                                                            "w, h, stride = ")
                + frame
                + "\n"
                  "s.send(struct.pack('<IiiIIIQQd', 101, w, h, 0, 0, 0, stride, 0, 0.0))\n"
                  "s.recv(70000)\n");
        ::chmod(script.c_str(), 0755);
        Heard liar;
        media::RemoteMovieEngine engine(script);
        engine.open(movie, &liar);
        ASSERT_TRUE(wait([&] { return !liar.failure.empty(); })) << frame;
        EXPECT_EQ(liar.failure, "the movie process sent a frame it cannot have") << frame;
        EXPECT_EQ(liar.frames, 0);
    }
}

} // namespace
