#pragma once

#include "Platform/Core/Data.h"

#include <optional>
#include <string>
#include <string_view>

// Text in any character set the system's converter knows (glibc's iconv
// names, and the few only ICU knows such as "MacRoman"), decoded into UTF-8:
// the text viewer's encodings and the encoding guess.
//
// Empty data gives "". An unknown name gives nothing. Bytes that are not
// valid in the character set give nothing, or with `allowLossyConversion`
// the text without them and the log line "Warning, multi-byte error
// converting from: NAME". A sequence cut off at the end gives nothing either
// way. Whenever nothing is left, the log says "Warning, failed to convert
// from NAME". The result is always well-formed UTF-8.
std::optional<std::string> stringWithData(const core::Data& data, std::string_view iconvEncoding,
    bool allowLossyConversion = false);

// The file's bytes, read through a memory mapping, converted strictly;
// nothing when the file cannot be read.
std::optional<std::string> stringWithContentsOfFile(const std::string& path, std::string_view iconvEncoding);

// A converter's UTF-8 output may still hold forms past U+10FFFF or
// surrogates (glibc passes them through): whether the text may be so, and
// the text without them (answering how many bytes went).
bool mayBeIllFormedUTF8(std::string_view text);
size_t dropInvalidUTF8(std::string& text);
