// fuzz: tandry_kit
// The text viewer decodes any file in any character set it is asked for, and
// guesses encodings of whatever lies in the store. The first byte picks a
// character set; the answers must always be well-formed UTF-8, and the guess
// must agree with a strict decoding of its own answer.

#include "Kit/StringIconvEncoding.h"
#include "Kit/VKMagicTextEncoding.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/PercentEscape.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr const char* kNames[] = { "UTF-8", "ASCII", "ISO-8859-1", "UTF-16LE", "UTF-16BE", "UTF-16", "UTF-32",
    "CP932", "EUC-JP", "ISO-2022-JP", "GB18030", "BIG5", "MacRoman", "x-mac-greek", "ibm-943_P15A-2003",
    "WINDOWS-1252", "KOI8-R", "UTF-7" };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static core::LogCapture quiet(true);
    if (size == 0)
        return 0;
    const char* name = kNames[data[0] % std::size(kNames)];
    const core::Data bytes(data + 1, size - 1);

    for (bool lossy : { false, true }) {
        if (auto text = stringWithData(bytes, name, lossy))
            check(core::isValidUTF8(*text));
    }

    std::optional<std::string> text;
    if (auto guess = VKMagicTextEncoding::magicEncodingForFileData(bytes, &text)) {
        check(*guess == "ASCII" || *guess == "UTF-8" || *guess == "UTF-16LE" || *guess == "UTF-16BE");
        if (text)
            check(core::isValidUTF8(*text));
    }
    quiet.clear();
    return 0;
}
