#include "Kit/JSON/KWJsonParser.h"

#include "Platform/Core/PercentEscape.h"

#include <charconv>
#include <cstring>
#include <fmt/format.h>
#include <iterator>
#include <vector>

using core::Value;

namespace {

bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

void appendCodePoint(std::string& text, unsigned code)
{
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

// One open array or object while reading. An array's items wait on the
// reader's item stack from firstItem on until its ']', and then move into
// an array of their exact count: no per-array growth or spare room.
struct KWJsonParser::Frame {
    bool isObject;
    size_t firstItem;
    Value::Dictionary dictionary;
    std::string key;
};

std::optional<Value> KWJsonParser::objectWithString(std::string_view text)
{
    auto value = fragmentWithString(text);
    if (!value)
        return std::nullopt;
    if (!value->isDictionary() && !value->isArray()) {
        addErrorWithCode(4, "Valid fragment, but not JSON");
        return std::nullopt;
    }
    return value;
}

std::optional<Value> KWJsonParser::fragmentWithString(std::string_view text)
{
    clearErrorTrace();
    if (auto nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);
    if (!core::isValidUTF8(text)) {
        addErrorWithCode(12, "Input was 'nil'");
        return std::nullopt;
    }
    m_c = text.data();
    m_end = text.data() + text.size();
    m_depth = 0;

    Value value;
    bool scanned = scanValue(value);
    if (scanned) {
        skipWhitespace();
        if (!scanIsAtEnd()) {
            addErrorWithCode(10, "Garbage after JSON");
            scanned = false;
        }
    }
    m_c = m_end = nullptr;
    if (!scanned)
        return std::nullopt;
    return value;
}

void KWJsonParser::skipWhitespace()
{
    while (m_c < m_end && isWhitespace(*m_c))
        ++m_c;
}

bool KWJsonParser::scanValue(Value& result)
{
    // Containers are read with an explicit stack. A failure inside a
    // container adds the container's own context error, and so does every
    // container around it, as a recursive reader would on its way out.
    enum class Step { Read, Deliver, Head };
    std::vector<Frame> stack;
    std::vector<Value> items;
    Value value;
    Step step = Step::Read;

    auto failValue = [&] {
        for (auto frame = stack.rbegin(); frame != stack.rend(); ++frame) {
            if (frame->isObject)
                addErrorWithCode(3, fmt::format("Object value expected for key: {}", frame->key));
            else
                addErrorWithCode(3, "Expected value while parsing array");
        }
        return false;
    };
    auto failContainer = [&] {
        stack.pop_back();
        return failValue();
    };

    for (;;) {
        switch (step) {
        case Step::Read: {
            skipWhitespace();
            if (scanIsAtEnd()) {
                addErrorWithCode(11, "Unexpected end of string");
                return failValue();
            }
            char c = *m_c++;
            switch (c) {
            case '"': {
                std::string text;
                if (!scanRestOfString(text))
                    return failValue();
                value = Value(std::move(text));
                break;
            }
            case '[':
            case '{':
                if (++m_depth > depthLimit()) {
                    addErrorWithCode(7, "Nested too deep");
                    return failValue();
                }
                stack.push_back(Frame { c == '{', items.size(), {}, {} });
                step = Step::Head;
                continue;
            case 't':
                if (!scanRestOfLiteral("rue", "Expected 'true'"))
                    return failValue();
                value = Value(true);
                break;
            case 'f':
                if (!scanRestOfLiteral("alse", "Expected 'false'"))
                    return failValue();
                value = Value(false);
                break;
            case 'n':
                if (!scanRestOfLiteral("ull", "Expected 'null'"))
                    return failValue();
                value = Value();
                break;
            case '+':
                addErrorWithCode(2, "Leading + disallowed in number");
                return failValue();
            default:
                if (c == '-' || isDigit(c)) {
                    --m_c;
                    if (!scanNumber(value))
                        return failValue();
                    break;
                }
                addErrorWithCode(3, "Unrecognised leading character");
                return failValue();
            }
            step = Step::Deliver;
            continue;
        }
        case Step::Deliver: {
            if (stack.empty()) {
                result = std::move(value);
                return true;
            }
            Frame& frame = stack.back();
            if (frame.isObject)
                // Keys mostly come in ascending order (the writer sorts
                // them), so the end is the usual place: a hint, not a rule.
                frame.dictionary.insert_or_assign(frame.dictionary.end(), std::move(frame.key), std::move(value));
            else
                items.push_back(std::move(value));
            skipWhitespace();
            if (peek() == ',') {
                ++m_c;
                skipWhitespace();
                if (!frame.isObject && peek() == ']') {
                    addErrorWithCode(9, "Trailing comma disallowed in array");
                    return failContainer();
                }
                if (frame.isObject && peek() == '}') {
                    addErrorWithCode(9, "Trailing comma disallowed in object");
                    return failContainer();
                }
            }
            step = Step::Head;
            continue;
        }
        case Step::Head: {
            Frame& frame = stack.back();
            if (scanIsAtEnd()) {
                addErrorWithCode(11, frame.isObject ? "End of input while parsing object" : "End of input while parsing array");
                return failContainer();
            }
            skipWhitespace();
            char c = peek();
            if (c == (frame.isObject ? '}' : ']')) {
                ++m_c;
                if (frame.isObject) {
                    value = Value(std::move(frame.dictionary));
                } else {
                    auto first = items.begin() + static_cast<std::ptrdiff_t>(frame.firstItem);
                    value = Value(Value::Array(std::make_move_iterator(first), std::make_move_iterator(items.end())));
                    items.erase(first, items.end());
                }
                stack.pop_back();
                --m_depth;
                step = Step::Deliver;
                continue;
            }
            if (frame.isObject) {
                if (c != '"') {
                    addErrorWithCode(3, "Object key string expected");
                    return failContainer();
                }
                ++m_c;
                if (!scanRestOfString(frame.key)) {
                    addErrorWithCode(3, "Object key string expected");
                    return failContainer();
                }
                skipWhitespace();
                if (peek() != ':') {
                    addErrorWithCode(3, "Expected ':' separating key and value");
                    return failContainer();
                }
                ++m_c;
            }
            step = Step::Read;
            continue;
        }
        }
    }
}

bool KWJsonParser::scanRestOfLiteral(std::string_view rest, const char* failure)
{
    if (static_cast<size_t>(m_end - m_c) < rest.size() || std::memcmp(m_c, rest.data(), rest.size()) != 0) {
        addErrorWithCode(3, failure);
        return false;
    }
    m_c += rest.size();
    return true;
}

bool KWJsonParser::scanRestOfString(std::string& text)
{
    text.clear();
    for (;;) {
        // The input is valid UTF-8 and a run stops only at ASCII bytes, so
        // every run is valid UTF-8 too.
        const char* run = m_c;
        while (m_c < m_end && !isSpecialInString(static_cast<unsigned char>(*m_c)))
            ++m_c;
        text.append(run, static_cast<size_t>(m_c - run));
        if (scanIsAtEnd()) {
            addErrorWithCode(11, "Unexpected EOF while parsing string");
            return false;
        }
        char c = *m_c++;
        if (c == '"')
            return true;
        if (c != '\\') {
            addErrorWithCode(5, fmt::format("Unescaped control character '0x{:x}'", static_cast<unsigned>(c)));
            return false;
        }
        char escape = peek();
        if (!scanIsAtEnd())
            ++m_c;
        switch (escape) {
        case '"':
        case '\\':
        case '/':
            text += escape;
            break;
        case 'b':
            text += '\b';
            break;
        case 'f':
            text += '\f';
            break;
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        case 't':
            text += '\t';
            break;
        case 'u':
            if (!scanUnicodeChar(text)) {
                addErrorWithCode(6, "Broken unicode character");
                return false;
            }
            break;
        default:
            addErrorWithCode(8, fmt::format("Illegal escape sequence '0x{:x}'", static_cast<unsigned>(static_cast<unsigned char>(escape))));
            return false;
        }
    }
}

bool KWJsonParser::scanHexQuad(unsigned& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        char c = peek();
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else {
            addErrorWithCode(6, "Missing hex digit in quad");
            return false;
        }
        value = value * 16 + digit;
        ++m_c;
    }
    return true;
}

bool KWJsonParser::scanUnicodeChar(std::string& text)
{
    unsigned high;
    if (!scanHexQuad(high)) {
        addErrorWithCode(6, "Missing hex quad");
        return false;
    }
    if (high >= 0xDC00 && high <= 0xDFFF) {
        addErrorWithCode(6, "Invalid high character in surrogate pair");
        return false;
    }
    if (high >= 0xD800 && high <= 0xDBFF) {
        if (m_end - m_c < 2 || m_c[0] != '\\' || m_c[1] != 'u') {
            addErrorWithCode(6, "Missing low character in surrogate pair");
            return false;
        }
        m_c += 2;
        unsigned low;
        if (!scanHexQuad(low)) {
            addErrorWithCode(6, "Missing hex quad");
            return false;
        }
        if (low < 0xDC00 || low > 0xDFFF) {
            addErrorWithCode(6, "Invalid low surrogate char");
            return false;
        }
        appendCodePoint(text, 0x10000 + (high - 0xD800) * 0x400 + (low - 0xDC00));
        return true;
    }
    appendCodePoint(text, high);
    return true;
}

bool KWJsonParser::scanNumber(Value& value)
{
    const char* start = m_c;
    bool integral = true;
    if (peek() == '-')
        ++m_c;
    if (peek() == '0') {
        ++m_c;
        if (isDigit(peek())) {
            addErrorWithCode(2, "Leading 0 disallowed in number");
            return false;
        }
    } else if (isDigit(peek())) {
        while (isDigit(peek()))
            ++m_c;
    } else {
        addErrorWithCode(2, "No digits after initial minus");
        return false;
    }
    if (peek() == '.') {
        integral = false;
        ++m_c;
        if (!isDigit(peek())) {
            addErrorWithCode(2, "No digits after decimal point");
            return false;
        }
        while (isDigit(peek()))
            ++m_c;
    }
    if (peek() == 'e' || peek() == 'E') {
        integral = false;
        ++m_c;
        if (peek() == '+' || peek() == '-')
            ++m_c;
        if (!isDigit(peek())) {
            addErrorWithCode(2, "No digits after exponent");
            return false;
        }
        while (isDigit(peek()))
            ++m_c;
    }

    if (integral) {
        int64_t integer;
        auto [end, error] = std::from_chars(start, m_c, integer);
        if (error == std::errc() && end == m_c) {
            value = Value(integer);
            return true;
        }
    }
    double real;
    auto [end, error] = std::from_chars(start, m_c, real);
    if (error != std::errc() || end != m_c) {
        addErrorWithCode(2, "Failed creating decimal instance");
        return false;
    }
    value = Value(real);
    return true;
}
