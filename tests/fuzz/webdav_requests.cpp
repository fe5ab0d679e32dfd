// fuzz: tandry_webdav
// Requests of any kind sent to the server's real WebDAV connection over one
// end of a socket pair, against a small store on tmpfs: "/Documents/" and
// "/Public/" as the roots, beside them the rest of the home and, outside
// the site, a folder that links in the roots lead to. Whatever is asked
// (COPY and MOVE with any Destination, Overwrite and Depth, LOCK bodies,
// Lock-Token and If headers, PUT bodies chunked or not, the browser page
// with its "vksortorder" cookie, uploads with the page's token):
//
// - nothing outside the roots changes: not the folder the links lead to,
//   nor the rest of the home;
// - with a password set, authentication is granted only to an upload of
//   the browser page that carries the token issued for its folder
//   ("@TOKEN@" in the input stands for it; "@LOCKTOKEN@" for the token of
//   the last lock granted before it), and nothing but that folder
//   and, with guest access, "/Public/" changes (no client here can answer
//   a Digest nonce);
// - no lock is ever granted beside an exclusive one that covers the same
//   item, and none at all without credentials;
// - no hidden upload or copy file is left once the connection has ended,
//   and the connection always ends once the client has sent everything.
//
// Input: one flag byte (1: a password is set, 2: guest access, the rest
// seeds the split points), then the bytes the client sends; "@NEXT@" ends
// one connection and starts the next.

#include "FileModel/VKQuotaManager.h"
#include "FuzzCheck.h"
#include "FuzzScratch.h"
#include "HTTP/AsyncSocket.h"
#include "HTTP/HTTPServer.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Clock.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "WebDAV/WebDAVConnection.h"
#include "WebDAV/WebDAVCopyResponse.h"
#include "WebDAV/WebDAVCredentials.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPutResponse.h"
#include "WebDAV/WebDAVResponse.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view UploadFolderURI = "/Documents/up/";

class Credentials : public WebDAVCredentials {
public:
    std::optional<std::string> passwordForUser(std::string_view user) override
    {
        return user == WebDAVConnection::PasswordService ? std::optional<std::string>("password") : std::nullopt;
    }
    std::shared_ptr<const sec::Pkcs12Identity> sslIdentityAndCertificates() override { return nullptr; }
};

struct State {
    std::string base;
    std::string site;
    std::string documents;
    std::string publicFolder;
    std::string outside;
    std::string token;
    std::string tokenPath;
    bool protectedStore = false;
    std::vector<std::weak_ptr<WebDAVResponse>> responses;
    // The threads of the process when no input runs.
    size_t threads = 0;
    std::shared_ptr<HTTPServer> server;
    std::shared_ptr<AsyncSocket> listener;
};

State& state()
{
    static State& shared = *new State;
    return shared;
}

// Whether the request is the browser page's upload with the token issued
// for its folder.
bool carriesTheToken(const HTTPMessageRequest& request)
{
    const auto& url = request.requestURL();
    if (request.requestMethod() != "POST" || !url)
        return false;
    const std::string expected = "vksessionid=" + state().token;
    const std::string query = url->query();
    if (!query.starts_with(expected) || (query.size() > expected.size() && query[expected.size()] != '&'))
        return false;
    auto flash = request.headerForKey("X-Flash-Version");
    auto agent = request.headerForKey("User-Agent");
    if (!(flash && !flash->empty()) && !(agent && agent->find("Flash") != std::string::npos))
        return false;
    return url->standardized().path() == state().tokenPath;
}

class Probe : public WebDAVConnection {
public:
    Probe() = default;
    static std::shared_ptr<HTTPConnection> create(const std::shared_ptr<AsyncSocket>& socket,
        const std::shared_ptr<HTTPServer>& server)
    {
        return make<Probe>(socket, server);
    }

    bool isAuthenticated(long tag) override
    {
        const bool granted = WebDAVConnection::isAuthenticated(tag);
        FUZZ_CHECK(!granted || carriesTheToken(*request()));
        return granted;
    }

    void performMethod(const std::string& method, const core::URL& uri, long tag) override
    {
        WebDAVConnection::performMethod(method, uri, tag);
        if (auto response = currentResponse())
            state().responses.push_back(response);
    }

    // A stored upload is never longer than its request said it would be.
    void webDAVResponseDidEnd(WebDAVResponse& response, WebDAVResponseEnd end) override
    {
        if (dynamic_cast<WebDAVPutResponse*>(&response) && response.statusCode() == 201) {
            std::optional<uint64_t> declared;
            if (requestBodyFraming().kind == HTTPBodyFraming::Kind::Chunked) {
                // None, or one that reads as 0, announces nothing.
                if (const uint64_t expected = response.request()->XExpectedEntityLength(); expected > 0)
                    declared = expected;
            } else {
                declared = requestBodyFraming().length;
            }
            auto path = localPathForURI(response.request()->standardizedURL());
            std::error_code error;
            if (declared && path && fs::is_regular_file(*path, error))
                FUZZ_CHECK(fs::file_size(*path, error) <= *declared);
        }
        WebDAVConnection::webDAVResponseDidEnd(response, end);
    }
};

bool copying()
{
    for (const auto& weak : state().responses) {
        auto copy = std::dynamic_pointer_cast<WebDAVCopyResponse>(weak.lock());
        if (copy && copy->isCopyInProgress())
            return true;
    }
    return false;
}

void write(const std::string& path, std::string_view contents)
{
    std::ofstream(path, std::ios::binary) << contents;
}

// The store as each input finds it.
void makeStore()
{
    auto& shared = state();
    std::error_code ignored;
    fs::remove_all(shared.site, ignored);
    fs::remove_all(shared.outside, ignored);
    fs::create_directories(shared.documents + "/folder/deeper");
    fs::create_directories(shared.documents + "/up");
    fs::create_directories(shared.publicFolder + "/shared");
    fs::create_directories(shared.site + "/Library/Preferences");
    fs::create_directories(shared.outside + "/inner");
    write(shared.documents + "/a.txt", "a");
    write(shared.documents + "/folder/b.txt", "bb");
    write(shared.documents + "/folder/deeper/c.txt", "ccc");
    write(shared.documents + "/up/old.txt", "old");
    write(shared.publicFolder + "/p.txt", "p");
    write(shared.publicFolder + "/shared/q.txt", "q");
    write(shared.site + "/Library/Preferences/settings.plist", "settings");
    write(shared.outside + "/secret.txt", "secret");
    write(shared.outside + "/inner/deep.txt", "deep");
    fs::create_directory_symlink("../../../outside", shared.documents + "/out");
    fs::create_symlink("../../../outside/secret.txt", shared.documents + "/secret-link");
    fs::create_directory_symlink("folder", shared.documents + "/in");
    fs::create_directory_symlink("../../../outside/inner", shared.publicFolder + "/inner-out");
}

// Every item below the folder (links as links): its kind, size and bytes or
// link target, except what `skip` names.
using Fingerprint = std::map<std::string, std::string>;

Fingerprint fingerprint(const std::string& folder, const std::set<std::string>& skip = {})
{
    Fingerprint items;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const std::string path = it->path().string();
        if (skip.contains(path)) {
            it.disable_recursion_pending();
            continue;
        }
        std::string& item = items[path];
        if (it->is_symlink()) {
            item = "link " + fs::read_symlink(it->path(), error).string();
        } else if (it->is_directory()) {
            item = "folder";
        } else {
            std::ifstream in(path, std::ios::binary);
            item = "file " + std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    return items;
}

// The hidden files of uploads and copies that were never finished.
bool holdsLeftovers(const std::string& folder)
{
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with('.') && (name.find(".upload-") != std::string::npos || name.find(".copy-") != std::string::npos))
            return true;
    }
    return false;
}

// Every URI path the input names, and their parents: where locks may be.
std::set<std::string> namedPaths(std::string_view bytes)
{
    std::set<std::string> paths { "/", "/Documents", "/Public" };
    for (size_t at = bytes.find('/'); at != std::string_view::npos; at = bytes.find('/', at + 1)) {
        const size_t end = std::min(bytes.find_first_of(" \r\n>\"?#", at), bytes.size());
        auto url = core::URL::parse(bytes.substr(at, end - at));
        if (!url)
            continue;
        std::string path = WebDAVLockManager::lockPathForURI(*url);
        while (path.size() > 1) {
            paths.insert(path);
            path = path.substr(0, std::max<size_t>(path.rfind('/'), 1));
        }
    }
    return paths;
}

size_t threadCount()
{
    std::error_code error;
    return size_t(std::distance(fs::directory_iterator("/proc/self/task", error), fs::directory_iterator()));
}

void setUp()
{
    auto& shared = state();
    shared.base = fuzz::scratchFolder();
    shared.site = shared.base + "/site";
    shared.documents = shared.site + "/Library/Documents";
    shared.publicFolder = shared.site + "/Documents";
    shared.outside = shared.base + "/outside";
    fs::create_directories(shared.base + "/home");
    fs::create_directories(shared.base + "/trash");
    core::paths::setHome(shared.base + "/home");
    core::RunLoop::setMainThread();
    core::Clock::setCurrent(core::ManualClock::create());
    setTrashPathProvider([] { return state().base + "/trash"; });
    makeStore();
    VKQuotaManager::setDefaultManagerForTesting(VKQuotaManager::create(shared.site, shared.base + "/Servers"));
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(uint64_t(1) << 30); });
    WebDAVCredentials::setCurrent(std::make_shared<Credentials>());
    shared.server = HTTPServer::create(core::URL::fileURL(shared.site, true));
    shared.server->addVirtualRootURI(*core::URL::parse("/Documents/"), shared.documents);
    shared.server->addVirtualRootURI(*core::URL::parse("/Public/"), shared.publicFolder);
    shared.server->setServerName("VKDAV/1.0");
    shared.server->setHostName("127.0.0.1");
    shared.server->setConnectionClass<Probe>();
    shared.listener = AsyncSocket::create(shared.server);
    shared.threads = threadCount();
}

void receive(int fd, std::string& received)
{
    char buffer[65536];
    for (ssize_t count; (count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
        received.append(buffer, size_t(count));
}

// The token of the last lock granted so far, as its "Lock-Token" gave it.
std::string lastLockToken(const std::string& received)
{
    constexpr std::string_view Name = "Lock-Token: <";
    const size_t at = received.rfind(Name);
    if (at == std::string::npos)
        return "opaquelocktoken:none";
    const size_t start = at + Name.size();
    return received.substr(start, std::min(received.find('>', start), received.size()) - start);
}

// One connection: the bytes go out in pieces while the server runs, then
// the client stops sending and waits until the connection and any copy it
// started on a thread are over.
void converse(std::string bytes, uint32_t& seed, std::string& received)
{
    auto& shared = state();
    auto& loop = core::RunLoop::main();
    int pair[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0);
    shared.responses.clear();
    shared.listener->acceptConnectedDescriptorForTesting(pair[0]);
    size_t sent = 0;
    while (sent < bytes.size()) {
        seed = seed * 1103515245u + 12345u;
        size_t piece = std::min<size_t>(bytes.size() - sent, 1 + (seed >> 16) % ((seed >> 8) % 3 == 0 ? 4096 : 64));
        // "@LOCKTOKEN@" is the token of the last lock granted before it is
        // sent: what went before is answered first.
        const size_t marker = bytes.find("@LOCKTOKEN@", sent);
        if (marker == sent) {
            loop.runUntilIdle();
            receive(pair[1], received);
            bytes.replace(marker, 11, lastLockToken(received));
            continue;
        }
        if (marker != std::string::npos)
            piece = std::min(piece, marker - sent);
        const ssize_t written = ::send(pair[1], bytes.data() + sent, piece, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (written > 0)
            sent += size_t(written);
        else if (written < 0 && errno != EAGAIN)
            break;
        loop.runOnce(core::RunLoop::DefaultMode, 0);
        receive(pair[1], received);
    }
    // A copy answers from its thread: the client waits for it before it
    // stops sending, as a client waiting for its answer would.
    FUZZ_CHECK(loop.runUntil([&] { return !copying(); }, 10));
    loop.runUntilIdle();
    receive(pair[1], received);
    ::shutdown(pair[1], SHUT_WR);
    const bool ended = loop.runUntil([&] {
        receive(pair[1], received);
        if (shared.server->numberOfHTTPConnections() != 0)
            return false;
        for (const auto& response : shared.responses) {
            if (!response.expired())
                return false;
        }
        return true;
    }, 10);
    FUZZ_CHECK(ended);
    ::close(pair[1]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static core::LogCapture quiet(true);
    static const bool ready = (setUp(), true);
    (void)ready;
    if (size == 0 || size > 16384)
        return 0;
    auto& shared = state();
    const bool password = data[0] & 1;
    const bool guest = data[0] & 2;
    uint32_t seed = data[0] * 2654435761u + 1;

    makeStore();
    auto defaults = core::UserDefaults::standard();
    if (defaults->stringForKey("VKLoginUsername") != (password ? "alice" : ""))
        defaults->set("VKLoginUsername", core::Value(password ? "alice" : ""));
    if (defaults->boolForKey("VKRemoteGuestAccess") != guest)
        defaults->set("VKRemoteGuestAccess", core::Value(guest));
    shared.token = WebDAVConnection::generatePOSTTokenForURI(*core::URL::parse(UploadFolderURI));
    shared.tokenPath = core::URL::parse(UploadFolderURI)->standardized().path();

    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (size_t at; (at = bytes.find("@TOKEN@")) != std::string::npos;)
        bytes.replace(at, 7, shared.token);

    const std::set<std::string> roots { shared.documents, shared.publicFolder };
    const Fingerprint beside = fingerprint(shared.base + "/outside");
    const Fingerprint home = fingerprint(shared.site, roots);
    const Fingerprint documents = fingerprint(shared.documents, { shared.documents + "/up" });
    const Fingerprint publicFolder = fingerprint(shared.publicFolder);

    std::string received;
    size_t start = 0;
    while (start <= bytes.size()) {
        const size_t end = std::min(bytes.find("@NEXT@", start), bytes.size());
        std::string conversation = bytes.substr(start, end - start);
        start = end + 6;
        converse(conversation, seed, received);
    }
    core::RunLoop::main().runUntilIdle();
    // Threads the input started (a copy, the trash being emptied) are gone
    // before the leak check looks: it cannot tell what a thread on its way
    // out still holds from what was lost.
    FUZZ_CHECK(core::Thread::waitForAll(10));
    for (int tries = 0; tries < 1000 && threadCount() > shared.threads; ++tries)
        usleep(1000);

    FUZZ_CHECK(fingerprint(shared.base + "/outside") == beside);
    FUZZ_CHECK(fingerprint(shared.site, roots) == home);
    if (password) {
        FUZZ_CHECK(fingerprint(shared.documents, { shared.documents + "/up" }) == documents);
        if (!guest)
            FUZZ_CHECK(fingerprint(shared.publicFolder) == publicFolder);
    }
    FUZZ_CHECK(!holdsLeftovers(shared.site));

    auto locks = WebDAVLockManager::sharedManager();
    for (const auto& path : namedPaths(bytes)) {
        const auto covering = locks->locksForURIPath(path);
        bool exclusive = false;
        for (const auto& lock : covering) {
            exclusive = exclusive || lock->isExclusive();
            // Without credentials only the guest folder can be locked.
            FUZZ_CHECK(!password || (guest && (lock->lockURIPath() == "/Public" || lock->lockURIPath().starts_with("/Public/"))));
        }
        FUZZ_CHECK(!exclusive || covering.size() == 1);
    }

    // Everything the input left scheduled goes, so that each input frees
    // what it allocated and the leak check has nothing to look into.
    locks->removeAllLocks();
    WebDAVConnection::resetForTesting();
    HTTPConnection::resetForTesting();
    core::RunLoop::main().resetForTesting();
    quiet.clear();
    return 0;
}
