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

void TextInput::setMarkedText(std::string_view marked, core::Range selected)
{
    std::string current = text();
    core::Range replace = hasMarkedText() ? m_marked : selectedRange();
    if (replace.location == core::kNotFound || replace.location > current.size())
        replace = { current.size(), 0 };
    replace.length = std::min(replace.length, current.size() - replace.location);
    m_marked = {};
    setSelectedRange(replace);
    if (marked.empty()) {
        if (replace.length > 0)
            deleteBackward();
        return;
    }
    insertText(marked);
    // The input may have refused or shortened it (its delegate, a length
    // limit): then nothing stays marked.
    std::string after = text();
    if (after.size() < replace.location + marked.size() || after.compare(replace.location, marked.size(), marked) != 0)
        return;
    m_marked = { replace.location, marked.size() };
    size_t start = std::min(selected.location == core::kNotFound ? marked.size() : selected.location, marked.size());
    size_t length = std::min(selected.length, marked.size() - start);
    setSelectedRange({ m_marked.location + start, length });
}

void TextInput::unmarkText()
{
    m_marked = {};
}

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
