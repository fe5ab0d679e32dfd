// fuzz: tandry_platform_core
// Property lists from outside (settings files, web history, download info):
// any bytes must give a value or an error, and a value must survive a round
// trip through both encodings.

#include "Platform/Core/PropertyList.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using core::PropertyList;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    core::Value value = PropertyList::read(bytes);
    if (value.isNull())
        return 0;
    for (auto format : { PropertyList::Format::Binary, PropertyList::Format::XML }) {
        auto encoded = PropertyList::write(value, format);
        if (!encoded)
            std::abort();
        if (PropertyList::read(*encoded).isNull())
            std::abort();
    }
    return 0;
}
