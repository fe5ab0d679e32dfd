#pragma once

#include "Platform/Core/Value.h"

#include <cstdint>
#include <memory>
#include <string>

namespace core {

// A failure the system reports to its caller: a domain, a code and a user-info
// dictionary holding the localized description. Returned through an
// `Error* error = nullptr` out-parameter beside a result.
class Error {
public:
    static constexpr const char* POSIXDomain = "NSPOSIXErrorDomain";
    static constexpr const char* CocoaDomain = "NSCocoaErrorDomain";
    static constexpr const char* LocalizedDescriptionKey = "NSLocalizedDescription";
    static constexpr const char* LocalizedFailureReasonKey = "NSLocalizedFailureReason";
    static constexpr const char* FilePathKey = "NSFilePath";

    Error() = default;
    Error(std::string domain, int64_t code, Value::Dictionary userInfo = {});
    Error(std::string domain, int64_t code, std::string localizedDescription);

    // errno wrapped in the POSIX domain with strerror's text.
    static Error posix(int code);

    const std::string& domain() const { return m_domain; }
    int64_t code() const { return m_code; }
    const Value::Dictionary& userInfo() const { return m_userInfo; }
    void setUserInfoValue(const std::string& key, Value value) { m_userInfo[key] = std::move(value); }

    // The description in the user info, else a generic sentence naming the
    // domain and code.
    std::string localizedDescription() const;
    std::string localizedFailureReason() const;

    const Error* underlyingError() const { return m_underlying.get(); }
    void setUnderlyingError(const Error& error) { m_underlying = std::make_shared<Error>(error); }

    bool isEmpty() const { return m_domain.empty(); }
    explicit operator bool() const { return !isEmpty(); }
    bool is(std::string_view domain, int64_t code) const { return m_domain == domain && m_code == code; }
    bool operator==(const Error& other) const { return m_domain == other.m_domain && m_code == other.m_code; }

    std::string description() const;

private:
    std::string m_domain;
    int64_t m_code = 0;
    Value::Dictionary m_userInfo;
    std::shared_ptr<const Error> m_underlying;
};

// Stores `value` through an optional out-parameter.
inline void setError(Error* out, Error value)
{
    if (out)
        *out = std::move(value);
}

} // namespace core
