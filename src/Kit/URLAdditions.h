#pragma once

#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <optional>
#include <string>
#include <string_view>

// Additions to URLs that the server, the browser and the download manager
// share: file-system paths as URL paths, parents, data URLs, secure schemes
// and the URLs the device's own applications handle.

// The path percent-escaped for a URL: letters, digits and -_.!~*'()/ stay,
// every other byte becomes "%XX" (upper-case hex), also those of a name
// that is not UTF-8. "50% #1" gives "50%25%20%231".
std::string VKURLEscapePath(std::string_view path);
std::string escapeFilePath(std::string_view path);

// A URL whose path is the escaped path ("/a b?c+d" keeps its space, "?" and
// "+" as %20, %3F, %2B). Leading slashes count once, so the path can never
// read as a host.
core::URL URLWithPath(std::string_view path);
// The escaped path below `base`: leading slashes are dropped, so it always
// resolves below the base; an empty remainder gives the base itself.
core::URL URLWithPath(std::string_view path, const core::URL& base);

// The URL of the path without its last component; nothing for "" and "/".
std::optional<core::URL> parentPathURL(const core::URL& url);
// The URL's path with a "/" at the end.
std::string pathEnsuringTrailingSeparator(const core::URL& url);
// The URL's path escaped, keeping the trailing "/" of a folder URL (also one
// with a query, "http://h/a/?x=1").
std::string escapedPathString(const core::URL& url);

// "https" or "ftps", in any case.
bool schemeIsSecure(const core::URL& url);

// The parts of a "data:" URL (RFC 2397): "mime" (default "text/plain"),
// "charset" (default "ASCII"), "encoding" when one is given (such as
// "base64"), and "rawdata", the text after the comma as it stands. Nothing
// unless the URL starts with "data:" in lower case and holds exactly one
// comma.
std::optional<core::Value::Dictionary> dataComponents(const core::URL& url);

// Whether the device's own applications handle the URL: the "mailto", "tel"
// and "sms" schemes, the application-store hosts and map links (a map host
// with the path "/maps" and a query). The hosts come from the bundle's
// "VKRegisteredURLs" table, which names none on this platform.
bool isAppleRegisteredURL(const core::URL& url);
