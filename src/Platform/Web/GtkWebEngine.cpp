#include "Platform/Web/GtkWebEngine.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/URLLoadingOptions.h"
#include "Platform/Web/GtkCookieSync.h"
#include "Platform/Web/GtkStartup.h"
#include "Platform/Web/GtkWebEngineState.h"
#include "Platform/Web/GtkWebPage.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

extern char** environ;

namespace web {

struct GtkWebEngine::Private { };

namespace {

std::vector<std::string>& readablePaths()
{
    static std::vector<std::string> paths;
    return paths;
}

std::shared_ptr<GtkWebEngine>& instance()
{
    static std::shared_ptr<GtkWebEngine> engine;
    return engine;
}

bool commandSucceeds(const std::vector<const char*>& arguments)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const char* argument : arguments)
        argv.push_back(const_cast<char*>(argument));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// WebKit's sandbox needs bubblewrap to make namespaces here (containers
// often forbid it) and the D-Bus proxy; asked once, before the first web
// process. The sandbox binds the given paths into a fresh /var and then
// links /var/tmp to its own /tmp, which fails where a path lies under
// /var/tmp: the check lays them out the same way, since WebKit aborts the
// program when its sandbox cannot be made.
bool sandboxWorks(const std::vector<std::string>& paths)
{
    std::vector<const char*> arguments { "bwrap", "--ro-bind", "/", "/", "--unshare-all", "--die-with-parent",
        "--tmpfs", "/var" };
    for (const auto& path : paths)
        arguments.insert(arguments.end(), { "--bind", path.c_str(), path.c_str() });
    arguments.insert(arguments.end(), { "--symlink", "../tmp", "/var/tmp", "--symlink", "../run", "/var/run", "true" });
    return commandSucceeds(arguments) && commandSucceeds({ "xdg-dbus-proxy", "--help" });
}

// A download WebKit started by itself (an attachment link, <a download>):
// cancelled once its response is known and offered to the page's view.
gboolean decideDestination(WebKitDownload* download, gchar*, gpointer data)
{
    auto* state = static_cast<GtkWebEngine::State*>(data);
    WebKitURIResponse* response = webkit_download_get_response(download);
    WebKitURIRequest* request = webkit_download_get_request(download);
    auto page = state->pageOf(webkit_download_get_web_view(download));
    if (page && response && request)
        page->offerDownload(response, request);
    webkit_download_cancel(download);
    return TRUE;
}

void downloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer data)
{
    g_signal_connect(download, "decide-destination", G_CALLBACK(decideDestination), data);
}

} // namespace

bool GtkWebEngine::State::allowCertificate(GTlsCertificate* certificate, const std::string& host)
{
    std::string file = net::URLLoadingOptions::current().caFile;
    if (file.empty() || !certificate)
        return false;
    if (file != caFile) {
        if (database)
            g_object_unref(database);
        GError* error = nullptr;
        database = g_tls_file_database_new(file.c_str(), &error);
        if (!database) {
            core::log("Warning, the CA file {} cannot be read: {}", file, error ? error->message : "");
            if (error)
                g_error_free(error);
        }
        caFile = file;
    }
    if (!database)
        return false;
    GSocketConnectable* identity = g_network_address_new(host.c_str(), 443);
    GTlsCertificateFlags flags = g_tls_database_verify_chain(database, certificate,
        G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER, identity, nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, nullptr);
    g_object_unref(identity);
    if (flags != 0)
        return false;
    allowForHost(certificate, host);
    return true;
}

void GtkWebEngine::State::allowForHost(GTlsCertificate* certificate, const std::string& host)
{
    allowed.emplace_back(host, G_TLS_CERTIFICATE(g_object_ref(certificate)));
    if (context)
        webkit_web_context_allow_tls_certificate_for_host(context, certificate, host.c_str());
}

WebKitSettings* GtkWebEngine::State::makeSettings() const
{
    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
    webkit_settings_set_enable_smooth_scrolling(settings, FALSE);
    webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
    webkit_settings_set_media_playback_requires_user_gesture(settings, TRUE);
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    return settings;
}

std::shared_ptr<GtkWebPage> GtkWebEngine::State::pageOf(WebKitWebView* view) const
{
    auto it = pages.find(view);
    return it == pages.end() ? nullptr : it->second.lock();
}

std::shared_ptr<GtkWebEngine> GtkWebEngine::shared()
{
    auto& engine = instance();
    if (!engine && GtkStartup::start())
        engine = std::make_shared<GtkWebEngine>(Private {});
    return engine;
}

std::shared_ptr<GtkWebEngine> GtkWebEngine::existing()
{
    return instance();
}

void GtkWebEngine::addReadablePathForTesting(const std::string& path)
{
    if (instance())
        throw core::Exception(core::Exception::InternalInconsistency,
            "GtkWebEngine::addReadablePathForTesting: the engine runs already");
    readablePaths().push_back(path);
}

GtkWebEngine::GtkWebEngine(const Private&)
    : m_state(std::make_unique<State>())
{
    auto& state = *m_state;
    state.readablePaths = readablePaths();
    if (auto bundle = core::Bundle::main(); bundle && !bundle->bundlePath().empty())
        state.readablePaths.push_back(bundle->bundlePath());
    if (!core::paths::home().empty())
        state.readablePaths.push_back(core::paths::home());
    state.sandboxed = sandboxWorks(state.readablePaths);
    if (!state.sandboxed)
        core::log("Warning, web content runs without a sandbox: bubblewrap cannot make one here");
    WebKitSettings* settings = state.makeSettings();
    state.userAgent = webkit_settings_get_user_agent(settings);
    g_object_unref(settings);
}

GtkWebEngine::~GtkWebEngine()
{
    // The process's engine lives as long as the process; GLib's teardown at
    // exit is not waited for.
}

void GtkWebEngine::startContext()
{
    auto& state = *m_state;
    if (state.context)
        return;
    // A page that swells past the memory limit (the machine's memory, at
    // most 3 GB: WebKit's own) has its web process ended: its load fails
    // and the window goes on.
    WebKitWebsiteDataManager* ephemeral = webkit_website_data_manager_new_ephemeral();
    WebKitMemoryPressureSettings* memory = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_kill_threshold(memory, 1.0);
    state.context = WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", ephemeral,
        "memory-pressure-settings", memory, nullptr));
    webkit_memory_pressure_settings_free(memory);
    g_object_unref(ephemeral);
    if (state.sandboxed) {
        webkit_web_context_set_sandbox_enabled(state.context, TRUE);
        for (const auto& path : state.readablePaths)
            webkit_web_context_add_path_to_sandbox(state.context, path.c_str(), TRUE);
    }
    webkit_web_context_set_cache_model(state.context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(state.context);
    webkit_website_data_manager_set_tls_errors_policy(data, WEBKIT_TLS_ERRORS_POLICY_FAIL);
    webkit_website_data_manager_set_persistent_credential_storage_enabled(data, FALSE);
    webkit_website_data_manager_set_itp_enabled(data, FALSE);
    g_signal_connect(state.context, "download-started", G_CALLBACK(downloadStarted), &state);
    for (const auto& [host, certificate] : state.allowed)
        webkit_web_context_allow_tls_certificate_for_host(state.context, certificate, host.c_str());
    // net's jar is the one of record: the new context's empty jar gets its
    // cookies before each navigation.
    state.cookies = std::make_unique<GtkCookieSync>(webkit_web_context_get_cookie_manager(state.context));
}

void GtkWebEngine::releaseContext()
{
    auto& state = *m_state;
    if (!state.context || !state.pages.empty())
        return;
    state.cookies.reset();
    g_signal_handlers_disconnect_by_data(state.context, &state);
    g_object_unref(state.context);
    state.context = nullptr;
}

bool GtkWebEngine::hasContextForTesting() const
{
    return m_state->context != nullptr;
}

void GtkWebEngine::pageDidClose(WebKitWebView* view)
{
    auto& state = *m_state;
    state.pages.erase(view);
    if (!state.pages.empty())
        return;
    unsigned generation = ++m_idleGeneration;
    core::RunLoop::main().performAfter(shared_from_this(), IdleContextSeconds, [generation](GtkWebEngine& self) {
        if (self.m_idleGeneration == generation)
            self.releaseContext();
    });
}

std::shared_ptr<WebPage> GtkWebEngine::makePage()
{
    ++m_idleGeneration;
    startContext();
    auto page = std::make_shared<GtkWebPage>(shared_from_this());
    page->start();
    return page;
}

std::string GtkWebEngine::defaultUserAgent() const
{
    return m_state->userAgent;
}

bool GtkWebEngine::isSandboxedForTesting() const
{
    return m_state->sandboxed;
}

void GtkWebEngine::clearWebsiteData(std::function<void()> done)
{
    // No context, no website data: a later one starts empty.
    if (!m_state->context) {
        if (done)
            core::RunLoop::main().post(std::move(done));
        return;
    }
    WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(m_state->context);
    // What WebKit reports while it clears must not reach net's jar.
    m_state->cookies->suspend();
    GtkCookieSync* cookies = m_state->cookies.get();
    auto* pending = new std::function<void()>([cookies, done = std::move(done)] {
        cookies->reset();
        if (done)
            done();
    });
    webkit_website_data_manager_clear(
        data, WEBKIT_WEBSITE_DATA_ALL, 0, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::function<void()>> done(static_cast<std::function<void()>*>(data));
            webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result, nullptr);
            core::RunLoop::main().post(std::move(*done));
        },
        pending);
    webkit_web_context_clear_cache(m_state->context);
}

} // namespace web
