#pragma once

#include "Kit/VKPredicate.h"

#include <cstdint>
#include <memory>
#include <string>

// Compares the value at a key path of the evaluated object with a constant:
// type 0 holds when they are equal, any other type when they differ. A key
// the object does not know makes the comparison fail whatever the type.
class VKComparisonPredicate : public VKPredicate {
public:
    enum Type : int32_t { EqualToPredicateType = 0, NotEqualToPredicateType = 1 };

    static std::shared_ptr<VKComparisonPredicate> predicateWithKeyPath(std::string keyPath, core::Value value, int32_t type);

    const std::string& keyPath() const { return m_keyPath; }
    const core::Value& value() const { return m_value; }
    int32_t type() const { return m_type; }

    bool evaluateWithObject(const core::Value& object) const override;
    // "URI == /a", "locktoken != t1".
    std::string description() const override;

    VKComparisonPredicate(std::string keyPath, core::Value value, int32_t type);

private:
    std::string m_keyPath;
    core::Value m_value;
    int32_t m_type;
};
