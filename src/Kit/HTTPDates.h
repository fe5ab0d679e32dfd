#pragma once

#include "Platform/Core/Date.h"

#include <optional>
#include <string>
#include <string_view>

// HTTP dates (RFC 1123: "Sun, 06 Nov 1994 08:49:37 GMT") for Date and
// Last-Modified, and ISO 8601 dates ("1994-11-06T08:49:37Z") for WebDAV's
// creationdate. The formatters are made once in English and GMT, whatever the
// user's locale and zone, and may be used from any thread.

std::string RFC1123String(core::Date date);
// Also reads full month names and any zone name ICU knows; nothing unless the
// whole text is one date.
std::optional<core::Date> dateWithRFC1123String(std::string_view text);
// Any date HTTP lets a client send: that form, or one of the two obsolete
// ones ("Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994").
std::optional<core::Date> dateWithHTTPDateString(std::string_view text);

std::string ISO8601String(core::Date date);
// "…Z" first, then a numeric offset ("…+0100"); nothing unless the whole
// text is one date.
std::optional<core::Date> dateWithISO8601String(std::string_view text);
