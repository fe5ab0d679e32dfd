#include "Kit/VKConcreteString.h"

VKConcreteString::VKConcreteString(std::string string)
    : m_string(std::move(string))
{
}

std::shared_ptr<VKConcreteString> VKConcreteString::stringWithString(std::string_view string)
{
    return std::shared_ptr<VKConcreteString>(new VKConcreteString(std::string(string)));
}

std::shared_ptr<VKConcreteString> VKConcreteString::copy() const
{
    return std::shared_ptr<VKConcreteString>(new VKConcreteString(m_string));
}

bool VKConcreteString::isEqual(const core::Object& other) const
{
    auto* string = dynamic_cast<const VKConcreteString*>(&other);
    return string && string->m_string == m_string;
}

size_t VKConcreteString::hash() const
{
    return std::hash<std::string>()(m_string);
}

std::string VKConcreteString::description() const
{
    return m_string;
}
