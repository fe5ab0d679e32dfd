#include "RTF/Converter.h"

#include "RTF/Exception.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <sstream>

namespace rtf {

const std::string EMPTY_STRING;

Converter::~Converter() = default;

const std::string& Converter::Convert(const char* text, Params& params)
{
    if (!text || !*text)
        return EMPTY_STRING;
    std::istringstream in { std::string(text) };
    return Convert(in, params);
}

// Appends rely on std::string's geometric growth, so building a document of
// any size costs time linear in its length.
bool Converter::has_room(size_t bytes) const
{
    return bytes <= m_output_limit - std::min(m_output_limit, m_output.size());
}

void Converter::make_room(size_t bytes)
{
    if (!has_room(bytes))
        throw Exception(Exception::kOutputError, "output too large");
}

void Converter::OutputString(const char* s)
{
    if (s)
        OutputString(std::string_view(s));
}

void Converter::OutputString(std::string_view s)
{
    make_room(s.size());
    m_output.append(s);
}

void Converter::OutputFormatString(const char* format, ...)
{
    if (!format || !*format)
        return;
    char buffer[1024];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    if (length > 0 && !has_room(static_cast<size_t>(length))) {
        va_end(again);
        make_room(static_cast<size_t>(length));
    }
    if (length >= static_cast<int>(sizeof buffer)) {
        // A long piece (a font name, a paragraph style) is written whole.
        size_t start = m_output.size();
        m_output.resize(start + static_cast<size_t>(length) + 1);
        std::vsnprintf(m_output.data() + start, static_cast<size_t>(length) + 1, format, again);
        m_output.resize(start + static_cast<size_t>(length));
    } else if (length > 0) {
        m_output.append(buffer, static_cast<size_t>(length));
    }
    va_end(again);
}

} // namespace rtf
