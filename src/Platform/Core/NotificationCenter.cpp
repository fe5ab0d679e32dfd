#include "Platform/Core/NotificationCenter.h"

#include "Platform/Core/RunLoop.h"

#include <algorithm>

namespace core {

struct NotificationCenter::Private { };

struct NotificationCenter::Registration {
    uint64_t order;
    std::string name;
    bool anySender;
    std::weak_ptr<Object> sender;
    std::shared_ptr<ObserverGate> gate;
    Observer observer;

    bool matches(const Object* posted) const
    {
        if (anySender)
            return true;
        auto alive = sender.lock();
        return alive && alive.get() == posted;
    }
};

NotificationCenter::NotificationCenter(const Private&) { }

NotificationCenter& NotificationCenter::defaultCenter()
{
    static const auto center = create();
    return *center;
}

std::shared_ptr<NotificationCenter> NotificationCenter::create()
{
    return std::make_shared<NotificationCenter>(Private {});
}

Observation NotificationCenter::observe(std::string_view name, const std::shared_ptr<Object>& sender, Observer observer)
{
    auto registration = std::make_shared<Registration>();
    registration->name = std::string(name);
    registration->anySender = !sender;
    registration->sender = sender;
    registration->gate = std::make_shared<ObserverGate>();
    registration->observer = std::move(observer);
    {
        std::lock_guard lock(m_mutex);
        registration->order = m_nextOrder++;
        if (name.empty())
            m_anyName.push_back(registration);
        else
            m_byName[registration->name].push_back(registration);
    }
    std::weak_ptr<NotificationCenter> weakCenter = sharedAs<NotificationCenter>();
    std::weak_ptr<Registration> weakRegistration = registration;
    return Observation(registration->gate, [weakCenter, weakRegistration] {
        auto center = weakCenter.lock();
        auto registration = weakRegistration.lock();
        if (center && registration)
            center->remove(*registration);
    });
}

void NotificationCenter::remove(const Registration& registration)
{
    auto isIt = [&](const auto& held) { return held.get() == &registration; };
    std::lock_guard lock(m_mutex);
    if (registration.name.empty()) {
        std::erase_if(m_anyName, isIt);
        return;
    }
    auto it = m_byName.find(registration.name);
    if (it == m_byName.end())
        return;
    std::erase_if(it->second, isIt);
    if (it->second.empty())
        m_byName.erase(it);
}

void NotificationCenter::post(const Notification& notification)
{
    Registrations snapshot;
    {
        std::lock_guard lock(m_mutex);
        const Registrations* named = nullptr;
        if (auto it = m_byName.find(notification.name()); it != m_byName.end())
            named = &it->second;
        // Both lists are in registration order; merge them.
        auto byOrder = [](const std::shared_ptr<Registration>& a, const std::shared_ptr<Registration>& b) {
            return a->order < b->order;
        };
        if (named)
            std::merge(named->begin(), named->end(), m_anyName.begin(), m_anyName.end(), std::back_inserter(snapshot), byOrder);
        else
            snapshot = m_anyName;
    }
    const Object* sender = notification.object().get();
    for (auto& registration : snapshot) {
        if (registration->matches(sender))
            registration->gate->run([&] { registration->observer(notification); });
    }
}

void NotificationCenter::post(std::string name, std::shared_ptr<Object> sender, Value userInfo)
{
    post(Notification(std::move(name), std::move(sender), std::move(userInfo)));
}

void NotificationCenter::postOnMainThread(std::string name, std::shared_ptr<Object> sender, Value userInfo)
{
    postOnMainThread(Notification(std::move(name), std::move(sender), std::move(userInfo)));
}

void NotificationCenter::postOnMainThread(Notification notification)
{
    auto center = sharedAs<NotificationCenter>();
    RunLoop::main().post([center, notification = std::move(notification)] { center->post(notification); });
}

size_t NotificationCenter::observationCountForTesting() const
{
    std::lock_guard lock(m_mutex);
    size_t count = m_anyName.size();
    for (const auto& [name, registrations] : m_byName)
        count += registrations.size();
    return count;
}

void NotificationCenter::resetForTesting()
{
    std::unordered_map<std::string, Registrations> byName;
    Registrations anyName;
    {
        std::lock_guard lock(m_mutex);
        byName.swap(m_byName);
        anyName.swap(m_anyName);
    }
}

} // namespace core
