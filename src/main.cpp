// The tandry program: lays out (and migrates) its home, registers its settings, starts its
// server and runs its main loop until SIGINT or SIGTERM stops it.

#include "App/Shell/LaunchOptions.h"
#include "App/VKAppDelegate.h"
#include "App/Shell/VKApplication.h"
#include "App/Shell/VKKeychain.h"
#include "HTTP/AvahiNetServicePublisher.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/SystemURLOpener.h"
#include "WebDAV/WebDAVKeychainCredentials.h"

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// How long the end of a run waits for other threads' work, in seconds.
constexpr double ThreadsExitTimeout = 8;

} // namespace

int main(int argc, char** argv)
{
    // Block the termination signals before any thread starts, so that every
    // thread inherits the mask and only the main thread takes them.
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGINT);
    sigaddset(&termination, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &termination, nullptr);

    std::string error;
    auto options = LaunchOptions::parse(std::vector<std::string>(argv, argv + argc),
        LaunchOptions::processEnvironment(), error);
    if (!options) {
        std::fprintf(stderr, "tandry: %s\n", error.c_str());
        return 2;
    }
    switch (options->action()) {
    case LaunchOptions::Action::Help:
        std::fputs(LaunchOptions::usage().c_str(), stdout);
        return 0;
    case LaunchOptions::Action::Version:
        std::printf("tandry %s\n", TANDRY_VERSION);
        return 0;
    case LaunchOptions::Action::Run:
        break;
    }
    if (!LaunchOptions::prepareHome(options->home(), error)) {
        std::fprintf(stderr, "tandry: %s\n", error.c_str());
        return 2;
    }
    core::paths::setHome(options->home());
    // A password given at launch is the one the server asks for in this run;
    // it is never stored.
    if (options->password())
        WebDAVCredentials::setCurrent(
            std::make_shared<WebDAVKeychainCredentials>(VKKeychain::sharedKeychain(), *options->password()));
    core::UserDefaults::setArguments(options->settingsArguments());
    std::fprintf(stderr, "Tandry home: %s\n", options->home().c_str());

    core::RunLoop::setMainThread();
    // The application object is the toolkit's, made before the delegate;
    // links it hands to the system go to the desktop.
    auto application = VKApplication::create();
    application->setURLOpener(&ui::SystemURLOpener::open);
    ui::Application::setShared(application);
    auto& loop = core::RunLoop::main();
    for (int signal : { SIGINT, SIGTERM })
        loop.setSignalHandler(signal, [&loop] { loop.stop(); });
    // Announcements go through the Avahi daemon where one runs.
    NetServicePublisher::setShared(AvahiNetServicePublisher::create());
    auto delegate = VKAppDelegate::create();
    VKAppDelegate::setSharedAppDelegate(delegate);
    const bool launched = delegate->applicationDidFinishLaunching();
    if (launched)
        loop.run();
    delegate->applicationWillTerminate();
    // The server goes before the run loop it lives on.
    VKAppDelegate::setSharedAppDelegate(nullptr);
    delegate.reset();
    NetServicePublisher::setShared(nullptr);
    // Work handed to other threads (emptying the trash, a copy) ends before
    // the program's statics go, which those threads still use. A thread that
    // does not end in time is abandoned with the process.
    const bool threadsEnded = core::Thread::waitForAll(ThreadsExitTimeout);
    if (!threadsEnded) {
        std::string names;
        for (const auto& name : core::Thread::runningThreadNames())
            names += (names.empty() ? "" : ", ") + name;
        core::log("Warning, leaving with threads still running: {}", names);
    }
    const int status = launched ? 0 : 1;
    // A change still waiting for its autosave is written on the way out.
    if (launched)
        core::UserDefaults::standard()->synchronize();
    if (!threadsEnded) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    // The application goes before the notification centre it observes.
    application.reset();
    ui::Application::setShared(nullptr);
    return status;
}
