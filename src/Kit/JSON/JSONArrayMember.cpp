#include "Kit/JSON/JSONArrayMember.h"

#include "Kit/JSON/KWJsonBase.h"

namespace {

bool isScalarByte(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' || c == '-'
        || c == '.';
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) { }

    bool atEnd() const { return m_position >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_position]; }
    size_t position() const { return m_position; }

    void skipWhitespace()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++m_position;
    }
    bool take(char c)
    {
        skipWhitespace();
        if (peek() != c)
            return false;
        ++m_position;
        return true;
    }

    // A string from its opening quote; `raw` receives what stands between
    // the quotes.
    bool string(std::string_view* raw = nullptr)
    {
        if (peek() != '"')
            return false;
        size_t begin = ++m_position;
        while (!atEnd()) {
            char c = m_text[m_position++];
            if (c == '\\') {
                if (atEnd())
                    return false;
                ++m_position;
            } else if (c == '"') {
                if (raw)
                    *raw = m_text.substr(begin, m_position - 1 - begin);
                return true;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
        }
        return false;
    }

    // One value of any kind, nested ones whole, without recursion.
    bool value()
    {
        skipWhitespace();
        std::string closers;
        do {
            skipWhitespace();
            char c = peek();
            if (c == '"') {
                if (!string())
                    return false;
            } else if (c == '{' || c == '[') {
                if (closers.size() >= KWJsonBase::DepthCeiling)
                    return false;
                closers.push_back(c == '{' ? '}' : ']');
                ++m_position;
                skipWhitespace();
                if (peek() == closers.back()) {
                    ++m_position;
                    closers.pop_back();
                } else if (closers.back() == '}') {
                    if (!string() || !take(':'))
                        return false;
                    continue;
                } else {
                    continue;
                }
            } else {
                // A number or a literal; any other byte (a NUL among them)
                // ends it, and the parser would refuse what follows.
                size_t begin = m_position;
                while (!atEnd() && isScalarByte(peek()))
                    ++m_position;
                if (m_position == begin)
                    return false;
            }
            // After a value: the next member or element, or the ends of
            // the containers it closes.
            while (!closers.empty()) {
                skipWhitespace();
                if (take(',')) {
                    if (closers.back() == '}') {
                        skipWhitespace();
                        if (!string() || !take(':'))
                            return false;
                    }
                    break;
                }
                if (!take(closers.back()))
                    return false;
                closers.pop_back();
            }
        } while (!closers.empty());
        return true;
    }

private:
    std::string_view m_text;
    size_t m_position = 0;
};

} // namespace

std::optional<JSONArrayMember> JSONSplitArrayMember(std::string_view text, std::string_view key)
{
    Scanner scanner(text);
    if (!scanner.take('{'))
        return std::nullopt;
    size_t arrayBegin = 0;
    size_t arrayEnd = 0;
    scanner.skipWhitespace();
    if (!scanner.take('}')) {
        do {
            scanner.skipWhitespace();
            std::string_view name;
            if (!scanner.string(&name) || !scanner.take(':'))
                return std::nullopt;
            scanner.skipWhitespace();
            size_t begin = scanner.position();
            bool isArray = scanner.peek() == '[';
            if (!scanner.value())
                return std::nullopt;
            // An escaped name might spell the key; the parser would tell.
            if (name.find('\\') != std::string_view::npos)
                return std::nullopt;
            if (name == key) {
                arrayBegin = isArray ? begin : 0;
                arrayEnd = isArray ? scanner.position() : 0;
            }
        } while (scanner.take(','));
        if (!scanner.take('}'))
            return std::nullopt;
    }
    scanner.skipWhitespace();
    if (!scanner.atEnd() || arrayEnd == 0)
        return std::nullopt;

    JSONArrayMember member;
    member.rest.reserve(text.size() - (arrayEnd - arrayBegin) + 2);
    member.rest.append(text.substr(0, arrayBegin)).append("[]").append(text.substr(arrayEnd));
    // The array's elements, each checked as a value again: cheap, and it
    // finds where each one ends.
    std::string_view array = text.substr(arrayBegin + 1, arrayEnd - arrayBegin - 2);
    Scanner elements(array);
    elements.skipWhitespace();
    if (!elements.atEnd()) {
        do {
            elements.skipWhitespace();
            size_t begin = elements.position();
            if (!elements.value())
                return std::nullopt;
            member.elements.push_back(array.substr(begin, elements.position() - begin));
        } while (elements.take(','));
        elements.skipWhitespace();
        if (!elements.atEnd())
            return std::nullopt;
    }
    return member;
}
