#pragma once

#include "Platform/Core/Value.h"

#include <any>
#include <memory>
#include <string>

namespace core {

class Object;

// The name of a notification that carries a `Payload`: observers and posters
// that go through it agree on the payload's type, which the compiler checks.
// `name` is the plain name, for code that only counts or compares notices.
template <class Payload>
struct NoticeName {
    const char* name;
};

// One posted notification: its name, the object that sent it (may be none),
// its user info (a dictionary or null) and, for a named notice, its payload.
class Notification {
public:
    Notification(std::string name, std::shared_ptr<Object> object = nullptr, Value userInfo = {})
        : m_name(std::move(name)), m_object(std::move(object)), m_userInfo(std::move(userInfo))
    {
    }

    template <class Payload>
    Notification(NoticeName<Payload> name, std::shared_ptr<Object> object, Payload payload)
        : m_name(name.name), m_object(std::move(object)), m_payload(std::move(payload))
    {
    }

    const std::string& name() const { return m_name; }
    const std::shared_ptr<Object>& object() const { return m_object; }
    const Value& userInfo() const { return m_userInfo; }

    // The payload when it is a `Payload`, else null.
    template <class Payload>
    const Payload* payload() const
    {
        return std::any_cast<Payload>(&m_payload);
    }

private:
    std::string m_name;
    std::shared_ptr<Object> m_object;
    Value m_userInfo;
    std::any m_payload;
};

} // namespace core
