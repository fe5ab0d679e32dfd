#include "WebDAV/WebDAVPreconditions.h"

#include "HTTP/HTTPMessageRequest.h"
#include "Kit/FileManagerEtag.h"
#include "Kit/HTTPDates.h"
#include "Platform/Core/ASCII.h"

#include <cmath>

namespace {

bool isEntityTagListSpace(char c)
{
    return c == ' ' || c == '\t' || c == ',';
}

} // namespace

bool WebDAVPreconditions::listMatches(std::string_view list, std::string_view opaqueTag, bool weakly)
{
    if (core::ascii::trimmed(list) == "*")
        return true;
    size_t at = 0;
    while (at < list.size()) {
        while (at < list.size() && isEntityTagListSpace(list[at]))
            ++at;
        if (at == list.size())
            break;
        bool weak = list.compare(at, 2, "W/") == 0;
        if (weak)
            at += 2;
        if (at < list.size() && list[at] == '"') {
            size_t end = list.find('"', at + 1);
            if (end == std::string_view::npos)
                return false;
            if ((weakly || !weak) && list.substr(at + 1, end - at - 1) == opaqueTag)
                return true;
            at = end + 1;
        }
        // Whatever is left of an entry that is no tag names nothing.
        while (at < list.size() && list[at] != ',')
            ++at;
    }
    return false;
}

bool WebDAVPreconditions::areGiven(const HTTPMessageRequest& request)
{
    return request.headerForKey("If-Match") || request.headerForKey("If-None-Match")
        || request.headerForKey("If-Unmodified-Since");
}

bool WebDAVPreconditions::hold(const HTTPMessageRequest& request, const std::optional<core::fs::Attributes>& item)
{
    if (auto match = request.headerForKey("If-Match")) {
        if (!item || !listMatches(*match, etagForAttributes(*item), false))
            return false;
    } else if (auto since = request.headerForKey("If-Unmodified-Since"); since && item) {
        // A date that does not parse is no condition; the item's time counts
        // in whole seconds, as Last-Modified gives it.
        auto date = dateWithHTTPDateString(core::ascii::trimmed(*since));
        if (date && std::floor(item->modificationDate().timeIntervalSince1970()) > date->timeIntervalSince1970())
            return false;
    }
    if (auto noneMatch = request.headerForKey("If-None-Match")) {
        if (item && listMatches(*noneMatch, etagForAttributes(*item), true))
            return false;
    }
    return true;
}

bool WebDAVPreconditions::holdAtPath(const HTTPMessageRequest& request, const std::string& path)
{
    if (!areGiven(request))
        return true;
    return hold(request, core::fs::attributes(path));
}
