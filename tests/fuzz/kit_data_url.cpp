// fuzz: tandry_kit
// Data URLs come from pages in the browser; URL paths from requests. The
// parts of a data URL are pieces of its own text, and escaped paths and
// suggested names stay plain.

#include "Kit/URLAdditions.h"
#include "Kit/URLRequestAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/PercentEscape.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // "Unknown" is looked up without settings: there is no home here.
    static const bool ready = (core::setCurrentLanguage("en"), true);
    (void)ready;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (auto url = core::URL::parse(text)) {
        if (auto parts = dataComponents(*url)) {
            check(parts->count("mime") && parts->count("charset") && parts->count("rawdata"));
            check(text.find(parts->at("rawdata").string()) != std::string_view::npos);
        }
        (void)escapedPathString(*url);
        (void)parentPathURL(*url);
        std::string name = suggestedFilename(core::URLRequest(*url));
        check(!name.empty() && name.find('/') == std::string::npos && name.find('\0') == std::string::npos);
        check(name != "." && name != "..");
    }

    std::string escaped = VKURLEscapePath(text);
    check(core::isValidUTF8(escaped));
    check(core::URL::parse("http://h/" + escaped).has_value());
    check(URLWithPath(text).host().empty());
    static const core::URL base = core::URL::parse("http://h/Documents/").value();
    const core::URL below = URLWithPath(text, base);
    check(below.host() == "h" && below.scheme() == "http" && below.absoluteString().starts_with("http://h/"));
    return 0;
}
