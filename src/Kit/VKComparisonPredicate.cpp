#include "Kit/VKComparisonPredicate.h"

#include "Platform/Core/Exception.h"

#include <fmt/format.h>

VKComparisonPredicate::VKComparisonPredicate(std::string keyPath, core::Value value, int32_t type)
    : m_keyPath(std::move(keyPath))
    , m_value(std::move(value))
    , m_type(type)
{
}

std::shared_ptr<VKComparisonPredicate> VKComparisonPredicate::predicateWithKeyPath(std::string keyPath, core::Value value, int32_t type)
{
    return std::make_shared<VKComparisonPredicate>(std::move(keyPath), std::move(value), type);
}

bool VKComparisonPredicate::evaluateWithObject(const core::Value& object) const
{
    core::Value found;
    try {
        found = core::valueForKeyPath(object, m_keyPath);
    } catch (const core::Exception& exception) {
        if (exception.name() == core::Exception::UnknownKey)
            return false;
        throw;
    }
    // Nothing found compares unequal, even to a null constant.
    bool equal = !found.isNull() && m_value == found;
    return m_type == EqualToPredicateType ? equal : !equal;
}

std::string VKComparisonPredicate::description() const
{
    return fmt::format("{} {} {}", m_keyPath, m_type == EqualToPredicateType ? "==" : "!=", m_value.toString());
}
