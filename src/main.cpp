// The tandry program: lays out (and migrates) its home, registers its settings, and runs
// either the whole application (its window where a display can show one, or none with
// --no-window) or the server alone (--server-only, and without a display), until SIGINT or
// SIGTERM stops it, or the window is closed. One run at a time uses a home: a later launch
// on it hands its file (--open) to the running one and ends.

#include "Shell/LaunchOptions.h"
#include "App/VKAppDelegate.h"
#include "App/VKAppImports.h"
#include "App/VKAppPasscodeLock.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "HTTP/AvahiNetServicePublisher.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Kit/VKImageOperationQueue.h"
#include "PDF/VKPDFSearchController.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/SingleInstance.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/DesktopApplications.h"
#include "Platform/UI/FolderPhotoLibrary.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/Media/Movie/RemoteMovieEngine.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/SystemURLOpener.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/Web/GtkStartup.h"
#include "Viewers/VKRegisterViewers.h"
#include "WebBrowser/VKRegisterWebBrowser.h"
#include "WebDAV/WebDAVKeychainCredentials.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// How long the end of a run waits for other threads' work, in seconds.
constexpr double ThreadsExitTimeout = 8;

// How long a later launch waits for the running program to take its file.
constexpr double HandOverTimeout = 60;
// The running program's answers to a later launch.
enum HandOverStatus { HandedOver = 0, CannotOpen = 1, Busy = 2 };

// The thread that takes the signals the run loop reads.
pthread_t signalThread;

// Some threads of the libraries under the window start with every signal
// unblocked, so the kernel may hand them a signal meant for the run loop,
// whose default action would end the process on the spot. Such a signal
// goes on to the main thread, where it waits for the run loop.
void passSignalToMainThread(int signal)
{
    if (!pthread_equal(pthread_self(), signalThread))
        pthread_kill(signalThread, signal);
}

// The executable `name` in this program's folder, if there is one.
std::optional<std::string> besideThisProgram(const std::string& name)
{
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return std::nullopt;
    auto path = (self.parent_path() / name).string();
    return ::access(path.c_str(), X_OK) == 0 ? std::optional(path) : std::nullopt;
}

bool hasDisplay(const LaunchOptions::Environment& environment)
{
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY" })
        if (auto found = environment.find(name); found != environment.end() && !found->second.empty())
            return true;
    return false;
}

// Blocks the termination signals before any thread starts, so that every
// thread inherits the mask and only the main thread takes them.
void takeSignalsOnTheMainThread()
{
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGINT);
    sigaddset(&termination, SIGTERM);
    // SIGUSR1 asks the window for a picture of the screen.
    sigaddset(&termination, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &termination, nullptr);
    signalThread = pthread_self();
    struct sigaction passOn {};
    passOn.sa_handler = passSignalToMainThread;
    sigemptyset(&passOn.sa_mask);
    passOn.sa_flags = SA_RESTART;
    for (int signal : { SIGINT, SIGTERM, SIGUSR1 }) {
        // A signal the program was started to ignore stays ignored.
        struct sigaction was {};
        if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
            sigaction(signal, &passOn, nullptr);
    }
}

// The status to end with at once, when the options ask for no run.
std::optional<int> answerWithoutRunning(const LaunchOptions& options)
{
    switch (options.action()) {
    case LaunchOptions::Action::Help:
        std::fputs(LaunchOptions::usage().c_str(), stdout);
        return 0;
    case LaunchOptions::Action::Version:
        std::printf("tandry %s\n", TANDRY_VERSION);
        return 0;
    case LaunchOptions::Action::Run:
        break;
    }
    return std::nullopt;
}

// The home's program runs already: a window of this run's would be a second
// one, so it takes this run's file and comes to the front.
int handToTheRunningProgram(const LaunchOptions& options, const core::SingleInstance::Taken& instance,
    const std::string& socketPath)
{
    std::optional<int> status;
    if (options.mode() != LaunchOptions::Mode::ServerOnly) {
        core::SingleInstance::Request request { options.openPath() ? "open" : "show" };
        if (options.openPath())
            request.push_back(*options.openPath());
        status = core::SingleInstance::forward(socketPath, request, HandOverTimeout);
    }
    if (status == HandedOver)
        return 0;
    if (status == CannotOpen)
        std::fprintf(stderr, "tandry: the running Tandry cannot open %s\n", options.openPath()->c_str());
    else
        std::fprintf(stderr, "tandry: home %s is in use (process %s)\n", options.home().c_str(), instance.holder.c_str());
    return 2;
}

// The process-wide state of this run: its home, password, settings, main
// thread and the home's folders.
void setUpTheRun(const LaunchOptions& options)
{
    core::paths::setHome(options.home());
    // A password given at launch is the one the server asks for in this run;
    // it is never stored.
    if (options.password())
        WebDAVCredentials::setCurrent(
            std::make_shared<WebDAVKeychainCredentials>(VKKeychain::sharedKeychain(), *options.password()));
    core::UserDefaults::setArguments(options.settingsArguments());
    std::fprintf(stderr, "Tandry home: %s\n", options.home().c_str());

    core::RunLoop::setMainThread();
    // The home's folders, laid out (and moved over from older layouts) once,
    // before anything asks for them.
    VKHomeLayout::setCurrent(std::make_shared<const VKHomeLayout>(VKHomeLayout::layOut(core::paths::home())));
    if (options.resetPasscode()) {
        VKAppPasscodeLock::resetPasscode();
        std::fputs("tandry: the passcode lock is off; set a new passcode in Settings > Passcode Lock\n", stderr);
    }
}

// The application object is the toolkit's, made before the delegate; links
// it hands to the system go to the desktop.
std::shared_ptr<VKApplication> makeApplication()
{
    auto application = VKApplication::create();
    application->setURLOpener(&ui::SystemURLOpener::open);
    ui::DesktopApplications::install(&mimeTypeOfItemAtPath);
    ui::FolderPhotoLibrary::install();
    ui::Application::setShared(application);
    return application;
}

// Whether the whole application runs in a window: where a display can show
// one, unless the options ask for none.
bool openTheDisplay(const LaunchOptions& options)
{
    if (options.mode() != LaunchOptions::Mode::Automatic)
        return false;
    if (!hasDisplay(LaunchOptions::processEnvironment())) {
        core::log("No display: serving only");
        return false;
    }
    // GTK reads the scale once, when it starts.
    if (options.scale())
        setenv("GDK_SCALE", std::to_string(*options.scale()).c_str(), 1);
    if (!web::GtkStartup::start()) {
        core::log("The display cannot be opened: serving only");
        return false;
    }
    // Pictures loaded during the launch are the display's.
    ui::Screen::main()->setScale(float(web::GtkStartup::scaleFactor()));
    return true;
}

// The desktop window, showing the application.
std::unique_ptr<ui::WindowHost> openTheWindow(const std::shared_ptr<VKAppDelegate>& delegate)
{
    auto title = core::Bundle::main()->objectForInfoDictionaryKey("CFBundleDisplayName");
    std::vector<std::string> icons;
    for (const char* size : { "48", "128", "256" })
        if (auto icon = core::Bundle::main()->pathForResource(std::string("tandry-") + size, "png", "Desktop"); !icon.empty())
            icons.push_back(icon);
    // Files dropped on the window are taken as --open takes its file.
    std::weak_ptr<VKAppDelegate> dropTarget = delegate;
    auto dropped = [dropTarget](std::vector<std::string> paths, size_t notFiles) {
        if (auto target = dropTarget.lock())
            target->openDroppedFiles(std::move(paths), notFiles);
    };
    auto window = ui::WindowHost::open({ title.isString() ? title.string() : std::string("Tandry"), icons, dropped });
    if (!window)
        core::log("Warning, the window cannot be opened: running without one");
    return window;
}

// A later launch on this home hands its file over as a launch would, off
// the main thread, and brings the window to the front. `window` outlives
// the run loop that answers.
void takeLaterLaunches(core::SingleInstance& instance, std::unique_ptr<ui::WindowHost>& window,
    const std::shared_ptr<VKApplication>& application)
{
    instance.listen([&window, application](core::SingleInstance::Request request, core::SingleInstance::Reply reply) {
        if (request.size() == 1 && request[0] == "show") {
            if (window)
                window->present();
            reply(HandedOver);
        } else if (request.size() == 2 && request[0] == "open") {
            core::Thread::detach("hand-over", [&window, inbox = application->inboxDirectory(), path = request[1], reply] {
                auto copy = VKAppImports::copyIntoInbox(inbox, path);
                if (!copy)
                    core::log("Warning, cannot take {} from a later launch: {}", path, copy.error().localizedDescription());
                core::performOnMainThread([copy, reply, &window] {
                    auto* shared = ui::Application::shared();
                    if (copy && shared)
                        shared->handleOpenURL(core::URL::fileURL(*copy, false));
                    if (window)
                        window->present();
                    reply(copy ? HandedOver : CannotOpen);
                });
            });
        } else {
            reply(Busy);
        }
    });
}

// Runs the whole application, in its window or without one, until it ends.
// A status when it cannot start (the file to open cannot be taken). `window`
// is the caller's, so that it outlives the later launches' listener, which
// lives as long as `instance`.
std::optional<int> runTheWholeApplication(const LaunchOptions& options, bool windowed,
    const std::shared_ptr<VKApplication>& application, const std::shared_ptr<VKAppDelegate>& delegate,
    core::SingleInstance& instance, std::unique_ptr<ui::WindowHost>& window)
{
    core::UserDefaults::standard()->registerDefaults({ { "DeviceIdiom", core::Value("tablet") } });
    const bool phone = core::UserDefaults::standard()->stringForKey("DeviceIdiom") == "phone";
    // The device's screen, or the window's first size, laid out at the
    // window's own once it shows; a desktop has no status bar.
    ui::Screen::main()->setBounds(phone ? gfx::Rect { 0, 0, 320, 480 } : gfx::Rect { 0, 0, 768, 1024 });
    if (windowed)
        application->setHasStatusBar(false);
    core::Value::Dictionary launchOptions;
    if (options.openPath()) {
        auto copy = VKAppImports::copyIntoInbox(application->inboxDirectory(), *options.openPath());
        if (!copy) {
            std::fprintf(stderr, "tandry: cannot open %s: %s\n", options.openPath()->c_str(),
                copy.error().localizedDescription().c_str());
            return 2;
        }
        launchOptions[ui::Application::launchOptionsURLKey] = core::Value(core::URL::fileURL(*copy, false).absoluteString());
    }
    application->setDelegate(delegate);
    auto& loop = core::RunLoop::main();
    for (int signal : { SIGINT, SIGTERM })
        loop.setSignalHandler(signal, [application] { application->terminate(); });
    // Layouts measure the glyphs a person will see.
    if (windowed)
        gfx::setTextEngine(gfx::makePangoTextEngine());
    application->launch(core::Value(std::move(launchOptions)));
    if (windowed)
        window = openTheWindow(delegate);
    takeLaterLaunches(instance, window, application);
    loop.run();
    // The window goes before the application it shows.
    window.reset();
    return std::nullopt;
}

// Runs the server alone until a signal stops it. Whether it started.
bool runTheServerAlone(const LaunchOptions& options, VKAppDelegate& delegate, core::SingleInstance& instance)
{
    if (options.openPath())
        core::log("Warning, --open needs the whole application: ignored");
    auto& loop = core::RunLoop::main();
    for (int signal : { SIGINT, SIGTERM })
        loop.setSignalHandler(signal, [&loop] { loop.stop(); });
    // A later launch finds the home serving: it ends, told so.
    instance.listen([](core::SingleInstance::Request, core::SingleInstance::Reply reply) { reply(Busy); });
    const bool launched = delegate.applicationDidFinishLaunching();
    if (launched)
        loop.run();
    delegate.applicationWillTerminate();
    return launched;
}

// Work handed to other threads (emptying the trash, a copy) ends before the
// program's statics go, which those threads still use. Whether every thread
// ended; one that does not end in time is abandoned with the process.
bool endOtherThreads()
{
    ui::TiledLayer::endIdleWorkers();
    // The image and PDF search queues' workers wait for work for as long as
    // their queues live.
    VKImageOperationQueue::resetSharedQueue();
    VKPDFSearchController::resetSharedSearchQueue();
    const bool ended = core::Thread::waitForAll(ThreadsExitTimeout);
    if (!ended) {
        std::string names;
        for (const auto& name : core::Thread::runningThreadNames())
            names += (names.empty() ? "" : ", ") + name;
        core::log("Warning, leaving with threads still running: {}", names);
    }
    return ended;
}

} // namespace

int main(int argc, char** argv)
{
    takeSignalsOnTheMainThread();
    std::string error;
    auto options = LaunchOptions::parse(std::vector<std::string>(argv, argv + argc),
        LaunchOptions::processEnvironment(), error);
    if (!options) {
        std::fprintf(stderr, "tandry: %s\n", error.c_str());
        return 2;
    }
    if (auto status = answerWithoutRunning(*options))
        return *status;
    if (!LaunchOptions::prepareHome(options->home(), error)) {
        std::fprintf(stderr, "tandry: %s\n", error.c_str());
        return 2;
    }
    const auto library = options->home() + "/Library";
    core::fs::createDirectory(library, true, nullptr, 0700);
    const auto socketPath = library + "/tandry.socket";
    auto instance = core::SingleInstance::acquire(library + "/tandry.lock", socketPath);
    if (!instance.owner)
        return handToTheRunningProgram(*options, instance, socketPath);

    setUpTheRun(*options);
    auto application = makeApplication();
    const bool windowed = openTheDisplay(*options);
    // Announcements go through the Avahi daemon where one runs.
    NetServicePublisher::setShared(AvahiNetServicePublisher::create());
    VKRegisterViewers();
    // Movies play in a process of their own, the program beside this one.
    if (auto player = besideThisProgram("tandry-movie"))
        media::MovieEngine::setFactory([player = *player] { return std::make_unique<media::RemoteMovieEngine>(player); });
    auto delegate = VKAppDelegate::create();
    VKRegisterWebBrowser(delegate);
    bool launched = true;
    std::unique_ptr<ui::WindowHost> window;
    if (windowed || options->mode() == LaunchOptions::Mode::NoWindow) {
        if (auto status = runTheWholeApplication(*options, windowed, application, delegate, *instance.owner, window))
            return *status;
    } else {
        launched = runTheServerAlone(*options, *delegate, *instance.owner);
    }

    application->setDelegate({});
    // The server goes before the run loop it lives on.
    delegate.reset();
    NetServicePublisher::setShared(nullptr);
    const bool threadsEnded = endOtherThreads();
    const int status = launched ? 0 : 1;
    // A change still waiting for its autosave is written on the way out.
    if (launched)
        core::UserDefaults::standard()->synchronize();
    // GTK's and the desktop libraries' state is never torn down: with a
    // window the program ends here too.
    if (!threadsEnded || windowed) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    // The application goes before the notification centre it observes.
    application.reset();
    ui::Application::setShared(nullptr);
    return status;
}
