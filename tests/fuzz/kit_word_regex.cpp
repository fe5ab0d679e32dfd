// fuzz: tandry_kit
// Page text from untrusted PDFs goes through the word tokenizer, becomes a
// search pattern and is searched with Unicode word boundaries. The input's
// first byte picks the pattern mode; the rest are UTF-16 units, low byte
// first (lone surrogates and NULs included).

#include "Kit/StringRegexAdditions.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int mode = size > 0 ? data[0] & 1 : 0;
    std::u16string text;
    text.reserve(size / 2);
    for (size_t i = 1; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

    for (const auto& token : vkWordBoundaryTokens(text)) {
        if (token.empty() || token.size() > text.size())
            std::abort();
    }
    std::u16string pattern = vkWordBoundaryRegex(text, mode);
    // Escaped words always make a pattern that compiles.
    core::Error error;
    if (!isRegexValid(pattern, RKLUnicodeWordBoundaries, &error))
        std::abort();
    RegexRange found = rangeOfRegex(text, pattern, RKLUnicodeWordBoundaries, RegexWholeRange, 0, &error);
    if (error || (found.location != RegexNotFound && found.end() > text.size()))
        std::abort();
    found = vkRangeOfRegex(text, pattern, RKLCaseless | RKLUnicodeWordBoundaries, 0);
    if (found.location != RegexNotFound && found.end() > text.size())
        std::abort();
    return 0;
}
