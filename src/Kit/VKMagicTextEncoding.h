#pragma once

#include "Platform/Core/Data.h"

#include <optional>
#include <string>

// Guesses whether a file's bytes are plain ASCII, UTF-8, or UTF-16 with a
// byte-order mark, and can decode the text at once. Answers the name the
// character-set conversion takes ("ASCII", "UTF-8", "UTF-16BE", "UTF-16LE"),
// or nothing when the bytes fit none of them; the plain-text viewer then
// tries its own list.
//
// Trailing zero bytes are ignored for the guess (down to one byte). When a
// name is found and `text` is given, it receives the whole data converted
// from that name (for UTF-16 the byte-order mark stays as U+FEFF), or
// nothing when that conversion fails (a 0x85 in "ASCII" text, a five-byte
// UTF-8 form); a single remaining byte is its own text.
class VKMagicTextEncoding {
public:
    static std::optional<std::string> magicEncodingForFileData(const core::Data& data,
        std::optional<std::string>* text = nullptr);
};
