#pragma once

// The percent-escaping that OAuth signs with: every byte of the UTF-8 text
// but letters, digits and "-._~" becomes "%XX" (upper-case hex), so "a b~/"
// reads "a%20b~%2F". The REST client's path escaping keeps "/" and escapes
// "~"; the two must stay apart, since a signature covers the exact bytes.

#include "Platform/Core/URL.h"

#include <string>
#include <string_view>

// The text escaped as above (the text is UTF-8; no other encoding exists here).
std::string stringByAddingURIPercentEscapesUsingEncoding(std::string_view text);
// The URL's absolute string escaped the same way.
std::string stringByAddingURIPercentEscapesUsingEncoding(const core::URL& url);
