#include "Platform/PDF/ContentTokens.h"

#include "Platform/Core/ASCII.h"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>

#include <array>
#include <cstdint>

namespace pdf::detail {

namespace {

bool isSpace(unsigned char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool isContentDelimiter(unsigned char c)
{
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/'
        || c == '%';
}

// Each byte's value as a hex digit, -1 for any other byte.
constexpr auto kHexValues = [] {
    std::array<int8_t, 256> values {};
    for (int c = 0; c < 256; ++c)
        values[size_t(c)] = int8_t(core::ascii::hexDigitValue(char(c)));
    return values;
}();

bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '*' || c == '\'' || c == '"';
}

} // namespace

ContentTokens::ContentTokens(const std::string& content)
    : m_content(content)
    , m_input(std::make_shared<BufferInputSource>("content",
          new Buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(content.data())), content.size()), true))
{
    m_tokenizer.allowEOF();
}

ContentTokens::Type ContentTokens::next()
{
    for (;;) {
        while (m_position < m_content.size() && isSpace(static_cast<unsigned char>(m_content[m_position])))
            ++m_position;
        if (m_position >= m_content.size()) {
            m_value.clear();
            return QPDFTokenizer::tt_eof;
        }
        Type type = fast();
        if (type == QPDFTokenizer::tt_bad)
            type = fallback();
        if (type != QPDFTokenizer::tt_space && type != QPDFTokenizer::tt_comment)
            return type;
    }
}

// The token at the position when it is one of the plain kinds (the
// position then moves past it); tt_bad for any other, left to qpdf.
ContentTokens::Type ContentTokens::fast()
{
    const std::string& s = m_content;
    const size_t size = s.size();
    const size_t start = m_position;
    auto at = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    // Whether a token that ends before `i` ends there.
    auto endsAt = [&](size_t i) { return i >= size || isSpace(at(i)) || isContentDelimiter(at(i)); };
    auto take = [&](size_t end, Type type) {
        m_value.assign(s, start, end - start);
        m_position = end;
        return type;
    };
    const unsigned char c = at(start);
    switch (c) {
    case '[':
        return take(start + 1, QPDFTokenizer::tt_array_open);
    case ']':
        return take(start + 1, QPDFTokenizer::tt_array_close);
    case '{':
        return take(start + 1, QPDFTokenizer::tt_brace_open);
    case '}':
        return take(start + 1, QPDFTokenizer::tt_brace_close);
    case '<': {
        if (start + 1 < size && at(start + 1) == '<')
            return take(start + 2, QPDFTokenizer::tt_dict_open);
        // Hex digits alone, an odd last one standing for its high half.
        size_t end = start + 1;
        while (end < size && kHexValues[at(end)] >= 0)
            ++end;
        if (end >= size || at(end) != '>')
            return QPDFTokenizer::tt_bad;
        const size_t digits = end - start - 1;
        m_value.resize((digits + 1) / 2);
        const auto* hex = reinterpret_cast<const unsigned char*>(s.data() + start + 1);
        for (size_t k = 0; k + 1 < digits; k += 2)
            m_value[k / 2] = char(kHexValues[hex[k]] << 4 | kHexValues[hex[k + 1]]);
        if (digits % 2 == 1)
            m_value.back() = char(kHexValues[hex[digits - 1]] << 4);
        m_position = end + 1;
        return QPDFTokenizer::tt_string;
    }
    case '>':
        return start + 1 < size && at(start + 1) == '>' ? take(start + 2, QPDFTokenizer::tt_dict_close)
                                                         : QPDFTokenizer::tt_bad;
    case '(': {
        // Without escapes, nesting or carriage returns the string is its bytes.
        for (size_t i = start + 1; i < size; ++i) {
            const unsigned char b = at(i);
            if (b == ')') {
                m_value.assign(s, start + 1, i - start - 1);
                m_position = i + 1;
                return QPDFTokenizer::tt_string;
            }
            if (b == '\\' || b == '(' || b == '\r')
                break;
        }
        return QPDFTokenizer::tt_bad;
    }
    case '/': {
        size_t i = start + 1;
        while (i < size && at(i) > ' ' && at(i) < 0x7F && at(i) != '#' && !isContentDelimiter(at(i)))
            ++i;
        return i > start + 1 && endsAt(i) ? take(i, QPDFTokenizer::tt_name) : QPDFTokenizer::tt_bad;
    }
    default:
        break;
    }
    if (isLetter(c)) {
        size_t i = start + 1;
        while (i < size && (isLetter(at(i)) || isDigit(at(i))))
            ++i;
        if (!endsAt(i))
            return QPDFTokenizer::tt_bad;
        const std::string_view word(s.data() + start, i - start);
        if (word == "true" || word == "false")
            return take(i, QPDFTokenizer::tt_bool);
        return take(i, word == "null" ? QPDFTokenizer::tt_null : QPDFTokenizer::tt_word);
    }
    // A number: a sign, digits, at most one point, at least one digit.
    size_t i = start;
    if (c == '+' || c == '-')
        ++i;
    size_t digits = 0;
    bool point = false;
    for (; i < size; ++i) {
        if (isDigit(at(i)))
            ++digits;
        else if (at(i) == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0 || !endsAt(i))
        return QPDFTokenizer::tt_bad;
    return take(i, point ? QPDFTokenizer::tt_real : QPDFTokenizer::tt_integer);
}

ContentTokens::Type ContentTokens::fallback()
{
    m_input->seek(qpdf_offset_t(m_position), SEEK_SET);
    return readToken();
}

ContentTokens::Type ContentTokens::readToken()
{
    QPDFTokenizer::Token token = m_tokenizer.readToken(m_input, "content", true, 0);
    m_position = size_t(m_input->tell());
    m_value = token.getValue();
    return token.getType();
}

ContentTokens::Type ContentTokens::inlineImage()
{
    m_input->seek(qpdf_offset_t(m_position), SEEK_SET);
    m_tokenizer.expectInlineImage(m_input);
    return readToken();
}

} // namespace pdf::detail
