#include "Platform/UI/TextInput.h"

#include "Platform/UI/Pasteboard.h"

#include <algorithm>

namespace ui {

// Text inputs hold well-formed UTF-8 (their setters sanitise), so a
// boundary is any byte that is not a continuation byte.
namespace {

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

bool TextInput::copy()
{
    core::Range range = selectedRange();
    if (range.length == 0)
        return false;
    std::string current = text();
    if (range.location >= current.size())
        return false;
    Pasteboard::general()->setString(std::string_view(current).substr(range.location, range.length));
    return true;
}

bool TextInput::cut()
{
    if (!copy())
        return false;
    deleteBackward();
    return true;
}

size_t TextInput::boundaryBefore(std::string_view text, size_t offset)
{
    if (offset >= text.size())
        return text.size();
    while (offset > 0 && isContinuation(text[offset]))
        --offset;
    return offset;
}

size_t TextInput::previousCodePoint(std::string_view text, size_t offset)
{
    offset = std::min(offset, text.size());
    if (offset == 0)
        return 0;
    --offset;
    while (offset > 0 && isContinuation(text[offset]))
        --offset;
    return offset;
}

} // namespace ui
