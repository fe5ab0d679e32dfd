#pragma once

#include "Platform/Core/Value.h"

#include <memory>
#include <string>

namespace core {

class Object;

// One posted notification: its name, the object that sent it (may be none)
// and its user info (a dictionary or null).
class Notification {
public:
    Notification(std::string name, std::shared_ptr<Object> object = nullptr, Value userInfo = {})
        : m_name(std::move(name)), m_object(std::move(object)), m_userInfo(std::move(userInfo))
    {
    }

    const std::string& name() const { return m_name; }
    const std::shared_ptr<Object>& object() const { return m_object; }
    const Value& userInfo() const { return m_userInfo; }

private:
    std::string m_name;
    std::shared_ptr<Object> m_object;
    Value m_userInfo;
};

} // namespace core
