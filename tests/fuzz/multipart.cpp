// fuzz: tandry_webdav
// Browser upload bodies: a multipart body fed to the POST response in random
// splits (and sometimes cut off by a disconnect) against a scratch folder.
// Every run must end the response exactly once, leave no hidden upload file,
// and write nothing but plain files inside the folder.
//
// Input: one flag byte (1: a Windows agent, 2: the client leaves early), four
// bytes that seed the split points, then the body.

#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPMessageRequest.h"
#include "Kit/StringAdditions.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "WebDAV/WebDAVPostResponse.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <fmt/format.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// The scratch folder (removed at exit): "served" is the upload's folder at
// "/", "Servers" the quota manager's, "home" the application's; nothing else
// may appear.
struct Scratch {
    Scratch()
    {
        std::string pattern = (fs::temp_directory_path() / "tandry-fuzz-multipart-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        base = pattern;
        served = base + "/served";
        fs::create_directory(served);
        fs::create_directory(base + "/home");
        core::paths::setHome(base + "/home");
        core::RunLoop::setMainThread();
        VKQuotaManager::setDefaultManagerForTesting(VKQuotaManager::create(served, base + "/Servers"));
        VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(uint64_t(1) << 30); });
    }
    ~Scratch()
    {
        std::error_code error;
        fs::remove_all(base, error);
    }
    std::string base;
    std::string served;
};

class Delegate : public WebDAVResponseDelegate {
public:
    explicit Delegate(std::string root) : m_root(std::move(root)) { }
    std::optional<core::URL> localHost() override { return core::URL::parse("http://fuzz.test"); }
    std::optional<std::string> localPathForURI(const core::URL& uri) override
    {
        return core::path::appendingPathComponent(m_root, uri.standardized().path());
    }
    std::optional<core::URL> URIForLocalPath(const std::string&) override { return std::nullopt; }
    void webDAVResponse(WebDAVResponse&, const core::URL&) override { }
    std::optional<WebDAVResourceList> webDAVResponse(WebDAVResponse&, const WebDAVResource&, std::string_view) override
    {
        return std::nullopt;
    }
    bool isMutableURI(const core::URL& uri) override { return uri.path() != "/"; }
    void webDAVResponseDidEnd(WebDAVResponse&, WebDAVResponseEnd) override { ++ends; }

    int ends = 0;

private:
    std::string m_root;
};

uint32_t next(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Scratch scratch;
    static core::LogCapture quiet(true);
    if (size < 5 || size > 65536)
        return 0;
    const uint8_t flags = data[0];
    uint32_t state = (uint32_t(data[1]) << 24 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 8 | data[4]) | 1;
    std::string_view body(reinterpret_cast<const char*>(data) + 5, size - 5);

    auto request = HTTPMessageRequest::create();
    request->appendBytes(std::string_view(fmt::format(
        "POST / HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data; boundary=b0\r\nContent-Length: {}\r\n{}\r\n",
        body.size(), flags & 1 ? "User-Agent: Mozilla/5.0 (Windows NT 10.0)\r\n" : "")));
    Delegate delegate(scratch.served);
    bool stored = false;
    {
        auto response = WebDAVPostResponse::create(request, &delegate);
        response->start();
        size_t stop = flags & 2 ? next(state) % (body.size() + 1) : body.size();
        for (size_t at = 0; at < stop && delegate.ends == 0;) {
            uint32_t spread = next(state) % 4 == 0 ? 4096 : 16;
            size_t piece = std::min<size_t>(1 + next(state) % spread, stop - at);
            response->requestBodyDidRead(body.substr(at, piece));
            at += piece;
        }
        if (delegate.ends == 0) {
            response->onSocketWillDisconnectWithError(nullptr);
            response->onSocketDidDisconnect();
        }
        if (delegate.ends != 1 || !response->temporaryPathForTesting().empty())
            std::abort();
        stored = response->statusCode() == 200;
    }
    core::RunLoop::main().runUntilIdle();
    quiet.clear();

    for (const auto& entry : fs::directory_iterator(scratch.base)) {
        std::string name = entry.path().filename().string();
        if (name != "served" && name != "Servers" && name != "home")
            std::abort();
    }
    // A refused or broken upload leaves nothing; a stored one its one file.
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(scratch.served)) {
        if (!entry.is_regular_file() || entry.is_symlink())
            std::abort();
        ++files;
        fs::remove(entry.path());
    }
    if (files != (stored ? 1u : 0u))
        std::abort();
    return 0;
}
