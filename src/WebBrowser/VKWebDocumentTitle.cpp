#include "WebBrowser/VKWebDocumentTitle.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/UTF8.h"
#include "Platform/Web/WebView.h"

#include <algorithm>

std::string VKWebOneLineTitle(std::string_view title)
{
    std::string text = core::utf8::sanitized(title);
    std::string line;
    line.reserve(std::min(text.size(), VKWebMaximumTitleLength * 4));
    size_t codePoints = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && codePoints++ == VKWebMaximumTitleLength)
            break; // the text is valid, so this cuts between code points
        // C0 controls and DEL; the C1 controls (U+0080…U+009F: C2 80…C2 9F).
        if (c < 0x20 || c == 0x7F) {
            line += ' ';
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            line += ' ';
            ++i;
        } else {
            line += static_cast<char>(c);
        }
    }
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    size_t last = line.find_last_not_of(' ');
    return line.substr(first, last - first + 1);
}

std::string documentTitle(const web::WebView& view)
{
    std::string title = VKWebOneLineTitle(view.title());
    return title.empty() ? core::localized("Untitled", "WebBrowser") : title;
}
