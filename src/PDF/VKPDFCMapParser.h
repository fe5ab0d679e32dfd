#pragma once

// Reads the character mappings of a ToUnicode CMap: every bfchar and bfrange
// block, whatever white space, comments or line breaks surround the keywords.
// Destinations are UTF-16BE unit sequences, so one code may stand for several
// characters ("fi") or for a character beyond the basic plane (a surrogate
// pair). Input is untrusted: ranges are clipped to the caller's code space,
// destinations are bounded and the total work is capped.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class VKPDFCMapParser {
public:
    // Called once per mapped code, in the order the CMap gives them.
    using Mapping = std::function<void(uint32_t code, std::u16string text)>;

    // Destinations longer than this many UTF-16 units are skipped.
    static constexpr size_t kMaximumDestinationUnits = 256;
    // Codes mapped through ranges, all ranges together; the rest is dropped.
    static constexpr size_t kMaximumRangeCodes = size_t(1) << 20;

    // `maximumCode` is the largest code of the font's code space (255 or
    // 65535): a range is cut off there. A single code above it is still
    // reported, so the font can refuse it as it refuses any other.
    VKPDFCMapParser(uint32_t maximumCode, Mapping mapping);

    void parse(std::string_view data);

    // The value of a hexadecimal digit, −1 for any other character.
    static int hexDigit(char c);

private:
    struct Token;
    class Tokenizer;

    void character(const Token& source, const Token& destination);
    void range(const Token& low, const Token& high, Tokenizer& tokens);

    uint32_t m_maximumCode;
    Mapping m_mapping;
    size_t m_rangeCodes = 0;
    bool m_rangeLimitLogged = false;
};
