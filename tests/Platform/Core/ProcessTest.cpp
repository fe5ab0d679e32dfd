// Child programs: arguments reach them whole, output lands in the file,
// statuses and signals are told apart, and a time-out or kill ends the
// whole process group, children of a wrapper script included.

#include "Platform/Core/Process.h"

#include "Support/TestCase.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

class ProcessTest : public test::TestCase {
protected:
    std::string script(std::string_view name, std::string_view body)
    {
        std::string path = makeFile(name, "#!/bin/sh\n" + std::string(body));
        ::chmod(path.c_str(), 0755);
        return path;
    }

    // Whether a process of that id still runs (a zombie counts as ended).
    static bool running(pid_t pid)
    {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            return false;
        auto close = line.rfind(')');
        return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
    }
};

TEST_F(ProcessTest, ArgumentsArriveWholeAndOutputGoesToTheFile)
{
    std::string echo = script("echo-args", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\necho oops >&2\nread x && echo \"read $x\"\nexit 0\n");
    std::string output = pathInHome("out.txt");
    auto process = core::Process::start(echo, { "a'b $(x).docx", "two\nlines", "" }, output);
    ASSERT_TRUE(process);
    auto result = process->wait(20);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(readFile(output), "[a'b $(x).docx]\n[two\nlines]\n[]\noops\n");
}

TEST_F(ProcessTest, StatusesSignalsAndMissingPrograms)
{
    auto failing = core::Process::start(script("fail", "exit 3\n"), {});
    ASSERT_TRUE(failing);
    auto result = failing->wait(20);
    EXPECT_EQ(result.end, core::Process::Result::End::Exited);
    EXPECT_EQ(result.status, 3);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(failing->wait(1).status, 3);

    auto crashing = core::Process::start(script("crash", "kill -SEGV $$\n"), {});
    ASSERT_TRUE(crashing);
    result = crashing->wait(20);
    EXPECT_EQ(result.end, core::Process::Result::End::Signalled);
    EXPECT_EQ(result.status, SIGSEGV);

    core::Error error;
    EXPECT_FALSE(core::Process::start("no-such-program-anywhere", {}, {}, &error));
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_FALSE(core::Process::findExecutable("no-such-program-anywhere"));
    EXPECT_EQ(core::Process::findExecutable("sh").value_or("").substr(0, 1), "/");
}

TEST_F(ProcessTest, ATimeOutOrAKillEndsTheWholeGroup)
{
    // A wrapper that starts a child and waits for it, like an office
    // suite's launcher script.
    std::string pidFile = pathInHome("child.pid");
    std::string wrapper = script("wrapper", "sleep 1000 &\necho $! > \"$1\"\nwait\n");
    auto process = core::Process::start(wrapper, { pidFile });
    ASSERT_TRUE(process);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (readFile(pidFile).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    pid_t child = std::stoi(readFile(pidFile));
    EXPECT_TRUE(running(child));
    auto result = process->wait(0.2);
    EXPECT_EQ(result.end, core::Process::Result::End::TimedOut);
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (running(child) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(running(child));

    // kill() from another thread while wait() blocks.
    auto hanging = core::Process::start(script("hang", "exec sleep 1000\n"), {});
    ASSERT_TRUE(hanging);
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        hanging->kill();
    });
    EXPECT_EQ(hanging->wait(0).end, core::Process::Result::End::Killed);
    killer.join();

    // Let go while running: killed and reaped.
    pid_t pid = 0;
    {
        auto dropped = core::Process::start(script("hang2", "exec sleep 1000\n"), {});
        ASSERT_TRUE(dropped);
        pid = dropped->pid();
    }
    EXPECT_FALSE(running(pid));
}

} // namespace
