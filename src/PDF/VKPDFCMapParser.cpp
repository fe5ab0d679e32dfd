#include "PDF/VKPDFCMapParser.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/Log.h"

#include <algorithm>
#include <optional>

struct VKPDFCMapParser::Token {
    enum Kind { End, String, Name, Keyword, ArrayOpen, ArrayClose, Other } kind = End;
    // The bytes of a string, or the text of a name or keyword.
    std::string text;

    bool isKeyword(std::string_view word) const { return kind == Keyword && text == word; }
};

// PDF's lexical rules, as far as a CMap uses them: white space of any kind,
// comments, hexadecimal and literal strings, names, arrays and dictionaries
// (whose delimiters are reported but not nested), and bare words.
class VKPDFCMapParser::Tokenizer {
public:
    explicit Tokenizer(std::string_view data) : m_data(data) { }

    Token next()
    {
        Token token;
        skipWhiteSpaceAndComments();
        if (m_position >= m_data.size())
            return token;
        char c = m_data[m_position];
        if (c == '<') {
            if (peek(1) == '<') {
                m_position += 2;
                token.kind = Token::Other;
            } else {
                ++m_position;
                hexString(token);
            }
        } else if (c == '>') {
            m_position += peek(1) == '>' ? 2 : 1;
            token.kind = Token::Other;
        } else if (c == '(') {
            ++m_position;
            literalString(token);
        } else if (c == '[') {
            ++m_position;
            token.kind = Token::ArrayOpen;
        } else if (c == ']') {
            ++m_position;
            token.kind = Token::ArrayClose;
        } else if (c == '/') {
            ++m_position;
            token.kind = Token::Name;
            token.text = regularRun();
        } else if (isDelimiter(c)) {
            ++m_position; // ")", "{", "}" on their own
            token.kind = Token::Other;
        } else {
            token.kind = Token::Keyword;
            token.text = regularRun();
        }
        return token;
    }

private:
    static bool isWhiteSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }
    static bool isDelimiter(char c)
    {
        return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/'
            || c == '%';
    }

    char peek(size_t offset) const { return m_position + offset < m_data.size() ? m_data[m_position + offset] : '\0'; }

    void skipWhiteSpaceAndComments()
    {
        while (m_position < m_data.size()) {
            char c = m_data[m_position];
            if (isWhiteSpace(c)) {
                ++m_position;
            } else if (c == '%') {
                while (m_position < m_data.size() && m_data[m_position] != '\n' && m_data[m_position] != '\r')
                    ++m_position;
            } else {
                break;
            }
        }
    }

    std::string regularRun()
    {
        size_t start = m_position;
        while (m_position < m_data.size() && !isWhiteSpace(m_data[m_position]) && !isDelimiter(m_data[m_position]))
            ++m_position;
        return std::string(m_data.substr(start, m_position - start));
    }

    // Up to ">"; other characters than digits and white space are dropped,
    // and an odd last digit counts as followed by 0.
    void hexString(Token& token)
    {
        token.kind = Token::String;
        int high = -1;
        while (m_position < m_data.size()) {
            char c = m_data[m_position++];
            if (c == '>')
                break;
            int digit = hexDigit(c);
            if (digit < 0)
                continue;
            if (high < 0) {
                high = digit;
            } else {
                token.text.push_back(char(high << 4 | digit));
                high = -1;
            }
        }
        if (high >= 0)
            token.text.push_back(char(high << 4));
    }

    void literalString(Token& token)
    {
        token.kind = Token::String;
        int depth = 1;
        while (m_position < m_data.size()) {
            char c = m_data[m_position++];
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (--depth == 0)
                    return;
            } else if (c == '\\' && m_position < m_data.size()) {
                c = m_data[m_position++];
                switch (c) {
                case 'n': c = '\n'; break;
                case 'r': c = '\r'; break;
                case 't': c = '\t'; break;
                case 'b': c = '\b'; break;
                case 'f': c = '\f'; break;
                case '\r':
                    if (peek(0) == '\n')
                        ++m_position;
                    continue;
                case '\n':
                    continue;
                default:
                    if (c >= '0' && c <= '7') {
                        int value = c - '0';
                        for (int i = 0; i < 2 && peek(0) >= '0' && peek(0) <= '7'; ++i)
                            value = value * 8 + (m_data[m_position++] - '0');
                        c = char(value & 0xFF);
                    }
                    break;
                }
            }
            token.text.push_back(c);
        }
    }

    std::string_view m_data;
    size_t m_position = 0;
};

namespace {

// A source code: one to four bytes, big-endian.
std::optional<uint32_t> codeOf(const std::string& bytes)
{
    if (bytes.empty() || bytes.size() > 4)
        return std::nullopt;
    uint32_t code = 0;
    for (unsigned char byte : bytes)
        code = code << 8 | byte;
    return code;
}

// A destination: UTF-16BE units (a lone byte counts as one unit; an odd
// trailing byte is dropped).
std::optional<std::u16string> textOf(const std::string& bytes)
{
    std::u16string text;
    if (bytes.size() == 1) {
        text.push_back(char16_t(static_cast<unsigned char>(bytes[0])));
        return text;
    }
    if (bytes.size() / 2 > VKPDFCMapParser::kMaximumDestinationUnits)
        return std::nullopt;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(char16_t(static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1])));
    return text;
}

} // namespace

int VKPDFCMapParser::hexDigit(char c)
{
    return core::ascii::hexDigitValue(c);
}

VKPDFCMapParser::VKPDFCMapParser(uint32_t maximumCode, Mapping mapping)
    : m_maximumCode(maximumCode)
    , m_mapping(std::move(mapping))
{
}

void VKPDFCMapParser::parse(std::string_view data)
{
    Tokenizer tokens(data);
    for (Token token = tokens.next(); token.kind != Token::End; token = tokens.next()) {
        if (token.isKeyword("beginbfchar")) {
            for (;;) {
                Token source = tokens.next();
                if (source.kind == Token::End || source.isKeyword("endbfchar"))
                    break;
                Token destination = tokens.next();
                if (destination.kind == Token::End || destination.isKeyword("endbfchar"))
                    break;
                character(source, destination);
            }
        } else if (token.isKeyword("beginbfrange")) {
            for (;;) {
                Token low = tokens.next();
                if (low.kind == Token::End || low.isKeyword("endbfrange"))
                    break;
                Token high = tokens.next();
                if (high.kind == Token::End || high.isKeyword("endbfrange"))
                    break;
                range(low, high, tokens);
            }
        }
    }
}

void VKPDFCMapParser::character(const Token& source, const Token& destination)
{
    if (source.kind != Token::String || destination.kind != Token::String)
        return;
    auto code = codeOf(source.text);
    auto text = textOf(destination.text);
    if (code && text)
        m_mapping(*code, std::move(*text));
}

void VKPDFCMapParser::range(const Token& low, const Token& high, Tokenizer& tokens)
{
    static const std::string none;
    auto first = codeOf(low.kind == Token::String ? low.text : none);
    auto last = codeOf(high.kind == Token::String ? high.text : none);

    // Whether another code may still be mapped through a range.
    auto admit = [&]() {
        if (m_rangeCodes < kMaximumRangeCodes) {
            ++m_rangeCodes;
            return true;
        }
        if (!m_rangeLimitLogged) {
            m_rangeLimitLogged = true;
            core::log("Warning, ToUnicode map with more than {} range codes; the rest is ignored", kMaximumRangeCodes);
        }
        return false;
    };

    Token destination = tokens.next();
    if (destination.kind == Token::ArrayOpen) {
        // One destination per code from the first on, however many the
        // array holds; the last code of the range is not consulted.
        uint64_t code = first.value_or(0);
        bool mapping = first && last;
        for (Token element = tokens.next(); element.kind != Token::End && element.kind != Token::ArrayClose;
             element = tokens.next()) {
            if (!mapping || element.kind != Token::String)
                continue;
            if (code > m_maximumCode) {
                m_mapping(uint32_t(code), {}); // refused by the font, once
                mapping = false;
                continue;
            }
            if (!admit()) {
                mapping = false;
                continue;
            }
            if (auto text = textOf(element.text))
                m_mapping(uint32_t(code), std::move(*text));
            ++code;
        }
        return;
    }
    if (!first || !last || destination.kind != Token::String || *first > *last)
        return;
    const uint32_t firstCode = *first;
    auto base = textOf(destination.text);
    if (!base)
        return;
    if (firstCode > m_maximumCode) {
        m_mapping(firstCode, *base); // refused by the font, once
        return;
    }
    // The last unit counts up through the range.
    uint32_t end = std::min(*last, m_maximumCode);
    for (uint32_t code = firstCode; code <= end && admit(); ++code) {
        std::u16string text = *base;
        if (!text.empty())
            text.back() = char16_t(text.back() + (code - firstCode));
        m_mapping(code, std::move(text));
        if (code == end)
            break;
    }
}
