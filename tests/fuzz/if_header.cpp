// fuzz: tandry_webdav
// The If header of every changing WebDAV request, parsed and evaluated
// against a few locks.

#include "WebDAV/WebDAVIfParser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view header(reinterpret_cast<const char*>(data), size);
    core::Error error;
    auto parser = WebDAVIfParser::parserWithIfHeader(header, &error);
    static const std::vector<WebDAVLockRef> locks {
        WebDAVLock::create({ { WebDAVLock::TokenKey, "1F0B1C3A-0000-4000-8000-000000000001" }, { WebDAVLock::URIKey, "/a" },
            { WebDAVLock::LocalPathKey, "/nonexistent/a" } }),
        WebDAVLock::create({ { WebDAVLock::TokenKey, "abc" }, { WebDAVLock::URIKey, "/" }, { WebDAVLock::LocalPathKey, "/" } }),
    };
    parser->validateLocks(locks, &error);
    (void)parser->description();
    return 0;
}
