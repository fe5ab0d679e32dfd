// fuzz: tandry_platform_core
// URL texts come from requests, Destination headers, pages and cloud answers.
// Besides not crashing, a URL must answer its text unchanged, resolution must
// give a text that parses back to the same components, and escaping must
// round-trip.

#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/URL.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkReparses(const core::URL& url)
{
    const auto again = core::URL::parse(url.absoluteString());
    check(again.has_value());
    check(again->scheme() == url.scheme() && again->host() == url.host() && again->port() == url.port());
    check(again->path() == url.path() && again->query() == url.query() && again->fragment() == url.fragment());
    check(again->user() == url.user() && again->password() == url.password());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string escaped = core::percentEscape(text, core::EscapeSet::Path);
    check(core::percentUnescapeBytes(escaped) == std::string(text));
    check(core::URL::parse("http://h/" + escaped).has_value());
    (void)core::percentUnescape(text);

    static const core::URL base = core::URL::parse("http://a/b/c/d;p?q").value();
    if (const auto url = core::URL::parse(text)) {
        check(url->relativeString() == text);
        checkReparses(*url);
        checkReparses(url->standardized());
        (void)url->resourceSpecifier();
        (void)url->relativePath();
        (void)url->isFileURL();
        (void)url->filePath();
        (void)url->description();
        if (const auto resolved = core::URL::parse(text, base))
            checkReparses(*resolved);
        else
            std::abort();
        for (std::string_view reference : { "../g/./h?y#s", "//x/..", "", "c:d", "..//e" }) {
            const auto resolved = core::URL::parse(reference, *url);
            check(resolved.has_value());
            checkReparses(*resolved);
        }
    }

    core::HeaderFields fields;
    if (fields.add("Content-Type", text) && fields.add("Content-Length", text)) {
        const core::HTTPURLResponse response(base, 200, fields);
        check(response.expectedContentLength() >= -1);
        (void)response.mimeType();
        (void)response.textEncodingName();
    }

    // A file name offered by a server, or made from its URL, can always be
    // joined to a folder.
    core::HeaderFields disposition;
    disposition.add("Content-Disposition", text);
    for (const auto& source : { core::URL::parse("http://h/" + escaped), core::URL::parse(text) }) {
        if (!source)
            continue;
        const std::string name = core::HTTPURLResponse(*source, 200, disposition).suggestedFilename();
        check(!name.empty() && name != "." && name != "..");
        check(name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos);
    }
    return 0;
}
