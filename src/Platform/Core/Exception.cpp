#include "Platform/Core/Exception.h"

namespace core {

Exception::Exception(std::string name, std::string reason, Value::Dictionary userInfo)
    : m_name(std::move(name))
    , m_reason(std::move(reason))
    , m_userInfo(std::move(userInfo))
    , m_what(m_name + ": " + m_reason)
{
}

} // namespace core
