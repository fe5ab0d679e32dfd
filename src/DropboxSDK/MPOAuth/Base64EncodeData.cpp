#include "DropboxSDK/MPOAuth/Base64EncodeData.h"

#include "Kit/Base64.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

constexpr size_t LineLength = 72;

} // namespace

bool Base64EncodeData(const void* input, size_t length, char* output, size_t* outputLength)
{
    if (!outputLength || (length > 0 && !input))
        return false;
    // Far past any buffer, and the arithmetic below stays in range.
    if (length > SIZE_MAX / 2)
        return false;
    size_t characters = (length + 2) / 3 * 4;
    size_t needed = characters / LineLength * (LineLength + 2) + characters % LineLength;
    if (*outputLength < needed || (needed > 0 && !output))
        return false;
    std::string text = NewBase64Encode(input, length, false);
    size_t written = 0;
    for (size_t offset = 0; offset < text.size(); offset += LineLength) {
        size_t piece = std::min(LineLength, text.size() - offset);
        std::memcpy(output + written, text.data() + offset, piece);
        written += piece;
        if (piece == LineLength) {
            output[written++] = '\r';
            output[written++] = '\n';
        }
    }
    *outputLength = written;
    return true;
}
