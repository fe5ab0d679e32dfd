#include "Kit/VKTuple.h"

#include "Platform/Core/Exception.h"

#include <fmt/format.h>

VKTuple::VKTuple(core::Value::Array data)
    : m_data(std::move(data))
{
}

std::shared_ptr<VKTuple> VKTuple::tupleWithObjects(std::initializer_list<core::Value> objects)
{
    core::Value::Array data;
    for (const auto& object : objects) {
        if (object.isNull())
            break;
        data.push_back(object);
    }
    return std::shared_ptr<VKTuple>(new VKTuple(std::move(data)));
}

std::shared_ptr<VKTuple> VKTuple::tupleWithObject(core::Value object)
{
    return tupleWithObjects({ std::move(object) });
}

const core::Value& VKTuple::objectAtIndex(size_t index) const
{
    if (index >= m_data.size()) {
        throw core::Exception(core::Exception::RangeError, m_data.empty()
                ? fmt::format("index {} beyond bounds for empty array", index)
                : fmt::format("index {} beyond bounds [0 .. {}]", index, m_data.size() - 1));
    }
    return m_data[index];
}

std::shared_ptr<VKTuple> VKTuple::copy() const
{
    return std::shared_ptr<VKTuple>(new VKTuple(m_data));
}

bool VKTuple::isEqual(const core::Object& other) const
{
    if (this == &other)
        return true;
    auto* tuple = dynamic_cast<const VKTuple*>(&other);
    return tuple && tuple->m_data == m_data;
}

size_t VKTuple::hash() const
{
    return core::Value(m_data).hash();
}

std::string VKTuple::description() const
{
    return fmt::format("<{} {}> data: {}", className(), static_cast<const void*>(this), core::Value(m_data).description());
}
