#pragma once

// The title of the page a web view shows, as the browser shows and records
// it: one line (control characters as spaces, invalid UTF-8 replaced),
// trimmed of white space and line ends, at most MaximumTitleLength code
// points; "Untitled" when nothing is left.

#include <string>
#include <string_view>

namespace web {
class WebView;
}

inline constexpr size_t VKWebMaximumTitleLength = 1024;

std::string documentTitle(const web::WebView& view);
// The same for a title given as text; empty stays empty.
std::string VKWebOneLineTitle(std::string_view title);
