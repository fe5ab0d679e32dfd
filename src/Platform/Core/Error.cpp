#include "Platform/Core/Error.h"

#include <cstring>
#include <fmt/format.h>

namespace core {

Error::Error(std::string domain, int64_t code, Value::Dictionary userInfo)
    : m_domain(std::move(domain))
    , m_code(code)
    , m_userInfo(std::move(userInfo))
{
}

Error::Error(std::string domain, int64_t code, std::string localizedDescription)
    : m_domain(std::move(domain))
    , m_code(code)
{
    m_userInfo[LocalizedDescriptionKey] = Value(std::move(localizedDescription));
}

Error Error::posix(int code)
{
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return Error(POSIXDomain, code, std::string(text));
}

std::string Error::localizedDescription() const
{
    auto it = m_userInfo.find(LocalizedDescriptionKey);
    if (it != m_userInfo.end() && it->second.isString())
        return it->second.string();
    return fmt::format("The operation couldn\u2019t be completed. ({} error {}.)", m_domain, m_code);
}

std::string Error::localizedFailureReason() const
{
    auto it = m_userInfo.find(LocalizedFailureReasonKey);
    return it != m_userInfo.end() && it->second.isString() ? it->second.string() : std::string();
}

std::string Error::description() const
{
    return fmt::format("Error Domain={} Code={} \"{}\"", m_domain, m_code, localizedDescription());
}

} // namespace core
