#pragma once

#include "Platform/Core/FileSystem.h"

#include <optional>
#include <string>
#include <string_view>

class HTTPMessageRequest;

// The conditions of HTTP that guard a change against lost updates:
// "If-Match", "If-None-Match" and "If-Unmodified-Since", judged in the order
// HTTP sets (If-Unmodified-Since only without If-Match) against the entity
// tag and modification time that GET and PROPFIND give the item. If-Match
// compares strong tags only, If-None-Match weakly; "*" means the item exists.
// Every method that changes an item asks after its own checks (existence,
// locks) and before it changes anything, and answers 412 when they fail. The
// WebDAV "If" header is the lock table's (`WebDAVIfParser`), never judged here.
class WebDAVPreconditions {
public:
    // Whether every condition of the request holds for the item with these
    // attributes; nothing stands for no item at all.
    static bool hold(const HTTPMessageRequest& request, const std::optional<core::fs::Attributes>& item);
    // The same for the item at the path (a final link is judged as itself).
    static bool holdAtPath(const HTTPMessageRequest& request, const std::string& path);
    // Whether the request carries any of the three.
    static bool areGiven(const HTTPMessageRequest& request);

    // Whether the list ("*", or entity tags with or without "W/") names the
    // tag (without quotes); weak tags count only when `weakly`. Tags that
    // do not parse name nothing.
    static bool listMatches(std::string_view list, std::string_view opaqueTag, bool weakly);
};
