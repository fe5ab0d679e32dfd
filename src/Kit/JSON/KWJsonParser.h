#pragma once

#include "Kit/JSON/KWJsonBase.h"
#include "Platform/Core/Value.h"

#include <optional>
#include <string>
#include <string_view>

// Reads JSON text into values: objects become dictionaries, arrays arrays,
// strings strings, true/false booleans, null null. A number whose text is
// integral and fits in 64 bits becomes an integer, any other a real.
// The reader is iterative, so deep nesting costs heap, never stack.
class KWJsonParser : public KWJsonBase {
public:
    // A dictionary or an array; anything else is error 4.
    std::optional<core::Value> objectWithString(std::string_view text);
    // Any single value. Text that is not UTF-8 is error 12; a NUL byte ends
    // the text.
    std::optional<core::Value> fragmentWithString(std::string_view text);

private:
    struct Frame;

    bool scanValue(core::Value& value);
    bool scanRestOfString(std::string& text);
    bool scanNumber(core::Value& value);
    bool scanRestOfLiteral(std::string_view rest, const char* failure);
    bool scanUnicodeChar(std::string& text);
    bool scanHexQuad(unsigned& value);
    bool scanIsAtEnd() const { return m_c == m_end; }
    char peek() const { return m_c < m_end ? *m_c : '\0'; }
    void skipWhitespace();

    const char* m_c = nullptr;
    const char* m_end = nullptr;
};
