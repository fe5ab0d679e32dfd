#include "Kit/ArrayAdditions.h"

#include "Platform/Core/Date.h"

#include <cmath>
#include <random>

std::partial_ordering vkCompareValues(const core::Value& element, const core::Value& object)
{
    if (element.isNumber() && object.isNumber()) {
        if (element.isInteger() && object.isInteger())
            return element.integer() <=> object.integer();
        return element.toReal() <=> object.toReal();
    }
    if (element.type() != object.type())
        return std::partial_ordering::unordered;
    switch (element.type()) {
    case core::Value::Type::String:
        return element.string() <=> object.string();
    case core::Value::Type::Date:
        return element.date() <=> object.date();
    case core::Value::Type::Bool:
        return element.boolean() <=> object.boolean();
    default:
        return std::partial_ordering::unordered;
    }
}

namespace vk_random {

namespace {

    std::mt19937_64 generator()
    {
        double seconds = std::floor(core::Date::now().timeIntervalSince1970());
        // A clock far outside any calendar still gives some seed.
        auto seed = std::fabs(seconds) < 9e18 ? static_cast<uint64_t>(static_cast<int64_t>(seconds)) : 0;
        return std::mt19937_64(seed);
    }

} // namespace

size_t index(size_t count)
{
    auto random = generator();
    return static_cast<size_t>(random() % std::max<size_t>(count, 1));
}

std::vector<size_t> swapTargets(size_t count)
{
    auto random = generator();
    std::vector<size_t> targets(count);
    for (size_t i = 0; i < count; ++i)
        targets[i] = i + static_cast<size_t>(random() % (count - i));
    return targets;
}

} // namespace vk_random
