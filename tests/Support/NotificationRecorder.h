#pragma once

#include "Platform/Core/NotificationCenter.h"

#include <memory>
#include <vector>

namespace test {

// Collects the user info of each notification of one name (from one sender,
// or any with none) posted while it lives.
class NotificationRecorder {
public:
    explicit NotificationRecorder(const char* name, const std::shared_ptr<core::Object>& sender = nullptr)
    {
        m_observation = core::NotificationCenter::defaultCenter().observe(name, sender,
            [this](const core::Notification& notification) {
                received.push_back(notification.userInfo());
                senders.push_back(notification.object());
            });
    }
    // A notice with a payload: counted and its sender kept, the payload left.
    template <class Payload>
    explicit NotificationRecorder(core::NoticeName<Payload> name, const std::shared_ptr<core::Object>& sender = nullptr)
        : NotificationRecorder(name.name, sender)
    {
    }
    std::vector<core::Value> received;
    std::vector<std::shared_ptr<core::Object>> senders;

private:
    core::Observation m_observation;
};

} // namespace test
