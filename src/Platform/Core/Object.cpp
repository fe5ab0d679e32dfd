#include "Platform/Core/Object.h"

#include "Platform/Core/Exception.h"

#include <cxxabi.h>
#include <fmt/format.h>
#include <typeinfo>

namespace core {

Object::~Object() = default;

std::string demangledClassName(const std::type_info& type)
{
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    auto colons = name.rfind("::");
    return colons == std::string::npos ? name : name.substr(colons + 2);
}

std::string Object::className() const
{
    return demangledClassName(typeid(*this));
}

std::string Object::description() const
{
    return fmt::format("<{}: {}>", className(), static_cast<const void*>(this));
}

Value Object::valueForKey(std::string_view key) const
{
    throw Exception(Exception::UnknownKey,
        fmt::format("[<{}> valueForUndefinedKey:]: this class is not key value coding-compliant for the key {}.", className(), key));
}

void Object::setValueForKey(const Value&, std::string_view key)
{
    throw Exception(Exception::UnknownKey,
        fmt::format("[<{}> setValue:forUndefinedKey:]: this class is not key value coding-compliant for the key {}.", className(), key));
}

} // namespace core
