#include "Kit/NumberAdditions.h"

#include <cmath>
#include <fmt/format.h>
#include <limits>

namespace {

template<typename T> T narrowed(const core::Value& number)
{
    // Conversion to a narrower unsigned type is modular; the signed types
    // take their two's-complement reading of the same bits.
    using Unsigned = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<Unsigned>(static_cast<uint64_t>(number.toInteger())));
}

} // namespace

int8_t vkSInt8Value(const core::Value& number)
{
    return narrowed<int8_t>(number);
}

uint8_t vkUInt8Value(const core::Value& number)
{
    return narrowed<uint8_t>(number);
}

int16_t vkSInt16Value(const core::Value& number)
{
    return narrowed<int16_t>(number);
}

uint16_t vkUInt16Value(const core::Value& number)
{
    return narrowed<uint16_t>(number);
}

int32_t vkSInt32Value(const core::Value& number)
{
    return narrowed<int32_t>(number);
}

uint32_t vkUInt32Value(const core::Value& number)
{
    return narrowed<uint32_t>(number);
}

int64_t vkSInt64Value(const core::Value& number)
{
    return narrowed<int64_t>(number);
}

uint64_t vkUInt64Value(const core::Value& number)
{
    if (number.isReal() && number.real() >= 9.2233720368547758e18)
        return number.real() >= 1.8446744073709552e19 ? std::numeric_limits<uint64_t>::max() : static_cast<uint64_t>(number.real());
    return narrowed<uint64_t>(number);
}

core::Value vkNumberWithSInt8(int8_t value)
{
    return core::Value(static_cast<int64_t>(value));
}

core::Value vkNumberWithUInt8(uint8_t value)
{
    return core::Value(static_cast<int64_t>(value));
}

core::Value vkNumberWithSInt16(int16_t value)
{
    return core::Value(static_cast<int64_t>(value));
}

core::Value vkNumberWithUInt16(uint16_t value)
{
    return core::Value(static_cast<int64_t>(value));
}

core::Value vkNumberWithSInt32(int32_t value)
{
    return core::Value(static_cast<int64_t>(value));
}

core::Value vkNumberWithUInt32(uint32_t value)
{
    return core::Value(static_cast<int64_t>(value));
}

core::Value vkNumberWithSInt64(int64_t value)
{
    return core::Value(value);
}

core::Value vkNumberWithUInt64(uint64_t value)
{
    return core::Value(static_cast<int64_t>(value));
}

std::string vkFileSize(const core::Value& number)
{
    float size = number.isInteger() ? static_cast<float>(number.integer()) : static_cast<float>(number.toReal());
    if (std::isnan(size))
        size = 0;
    if (size < 0)
        return "0 KB";
    if (size < 1024)
        return fmt::format("{:.0f} B", static_cast<double>(size));
    double value = size;
    if (size < 1048576)
        return fmt::format("{:.1f} KB", value / 1024);
    if (size < 1073741824)
        return fmt::format("{:.1f} MB", value / 1048576);
    return fmt::format("{:.1f} GB", value / 1073741824);
}
