#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include <initializer_list>
#include <memory>
#include <string>

// An immutable ordered group of values, used to hand several arguments to
// work that takes one.
class VKTuple : public core::Object {
public:
    // The values up to the first null one, as a nil-terminated list reads:
    // tupleWithObjects({ a, nullptr, b }) holds a alone.
    static std::shared_ptr<VKTuple> tupleWithObjects(std::initializer_list<core::Value> objects);
    static std::shared_ptr<VKTuple> tupleWithObject(core::Value object);
    // Every element of the array, nulls included.

    size_t count() const { return m_data.size(); }
    // Throws NSRangeException beyond the end.
    const core::Value& objectAtIndex(size_t index) const;
    const core::Value& firstObject() const { return objectAtIndex(0); }
    const core::Value& secondObject() const { return objectAtIndex(1); }
    const core::Value& thirdObject() const { return objectAtIndex(2); }
    const core::Value::Array& array() const { return m_data; }

    // A new tuple of the same values.
    std::shared_ptr<VKTuple> copy() const;

    bool isEqual(const core::Object& other) const override;
    size_t hash() const override;
    // "<VKTuple 0x…> data: (a, b)"
    std::string description() const override;

protected:
    explicit VKTuple(core::Value::Array data);

private:
    const core::Value::Array m_data;
};
