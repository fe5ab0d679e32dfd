#pragma once

#include "Platform/Core/Value.h"

#include <exception>
#include <string>

namespace core {

// Misuse of an interface: thrown, never returned. Names follow the device's
// ("NSInvalidArgumentException", "NSInternalInconsistencyException", ...).
class Exception : public std::exception {
public:
    static constexpr const char* InvalidArgument = "NSInvalidArgumentException";
    static constexpr const char* InternalInconsistency = "NSInternalInconsistencyException";
    static constexpr const char* RangeError = "NSRangeException";
    static constexpr const char* UnknownKey = "NSUnknownKeyException";
    static constexpr const char* NotImplemented = "VKNotImplemented";

    Exception(std::string name, std::string reason, Value::Dictionary userInfo = {});

    const std::string& name() const { return m_name; }
    const std::string& reason() const { return m_reason; }
    const Value::Dictionary& userInfo() const { return m_userInfo; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    std::string m_name;
    std::string m_reason;
    Value::Dictionary m_userInfo;
    std::string m_what;
};

} // namespace core
