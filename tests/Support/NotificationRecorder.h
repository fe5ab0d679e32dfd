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
    std::vector<core::Value> received;
    std::vector<std::shared_ptr<core::Object>> senders;

private:
    core::Observation m_observation;
};

// Collects the payload of each notice of one name (from one sender, or any
// with none) posted while it lives.
template <class Payload>
class NoticeRecorder {
public:
    explicit NoticeRecorder(core::NoticeName<Payload> name, const std::shared_ptr<core::Object>& sender = nullptr)
    {
        m_observation = core::NotificationCenter::defaultCenter().observe(name, sender,
            [this](const Payload& payload, const core::Notification& notification) {
                received.push_back(payload);
                senders.push_back(notification.object());
            });
    }
    std::vector<Payload> received;
    std::vector<std::shared_ptr<core::Object>> senders;

private:
    core::Observation m_observation;
};

} // namespace test
