// fuzz: tandry_kit
// JSON text, read as an object or as a fragment (the first byte chooses);
// what reads must write and read back to the same value.

#include "Kit/JSON/KWJsonParser.h"
#include "Kit/JSON/KWJsonWriter.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    bool fragment = data[0] & 1;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    KWJsonParser parser;
    auto value = fragment ? parser.fragmentWithString(text) : parser.objectWithString(text);
    if (!value)
        return 0;
    KWJsonWriter writer;
    writer.setHumanReadable(data[0] & 2);
    writer.setMaxDepth(0);
    auto json = writer.stringWithFragment(*value);
    if (!json)
        std::abort();
    parser.setMaxDepth(0);
    auto again = parser.fragmentWithString(*json);
    if (!again || !(*again == *value))
        std::abort();
    return 0;
}
