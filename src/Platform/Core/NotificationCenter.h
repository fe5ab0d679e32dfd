#pragma once

#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace core {

// Named notifications between objects. post() delivers synchronously on the
// posting thread, to the observers in registration order over a snapshot
// taken when the post begins (an observer added during a post is not called
// for it; one removed by an earlier observer is not called). Only
// postOnMainThread() changes threads.
class NotificationCenter : public Object {
public:
    using Observer = std::function<void(const Notification&)>;

    struct Private;
    explicit NotificationCenter(const Private&);

    static NotificationCenter& defaultCenter();
    static std::shared_ptr<NotificationCenter> create();

    // Observes notifications named `name` (empty: every name) from `sender`
    // (null: from anyone). The sender is held weakly: once it is gone the
    // observation matches nothing, not even a new object at its address.
    Observation observe(std::string_view name, const std::shared_ptr<Object>& sender, Observer observer);

    // Observes a notice by its payload: `observer` takes `(const Payload&)`,
    // `(const Payload&, const Notification&)` or, when it needs no payload,
    // `(const Notification&)`. A post of the name without a payload reaches
    // it with an empty `Payload`.
    template <class Payload, class Function>
    Observation observe(NoticeName<Payload> name, const std::shared_ptr<Object>& sender, Function observer)
    {
        if constexpr (std::is_invocable_v<Function&, const Notification&>) {
            return observe(std::string_view(name.name), sender, Observer(std::move(observer)));
        } else {
            return observe(std::string_view(name.name), sender, [observer = std::move(observer)](const Notification& notification) {
                static const Payload empty {};
                const Payload* payload = notification.payload<Payload>();
                if (!payload)
                    payload = &empty;
                if constexpr (std::is_invocable_v<Function&, const Payload&, const Notification&>)
                    observer(*payload, notification);
                else
                    observer(*payload);
            });
        }
    }

    void post(const Notification& notification);
    void post(std::string name, std::shared_ptr<Object> sender = nullptr, Value userInfo = {});
    // Posts on the main thread in a later pass; the sender lives until then.
    void postOnMainThread(std::string name, std::shared_ptr<Object> sender = nullptr, Value userInfo = {});

    template <class Payload>
    void post(NoticeName<Payload> name, std::shared_ptr<Object> sender, std::type_identity_t<Payload> payload)
    {
        post(Notification(name, std::move(sender), std::move(payload)));
    }
    template <class Payload>
    void postOnMainThread(NoticeName<Payload> name, std::shared_ptr<Object> sender, std::type_identity_t<Payload> payload)
    {
        postOnMainThread(Notification(name, std::move(sender), std::move(payload)));
    }
    void postOnMainThread(Notification notification);

    // How many observations are registered now (tests that check that
    // observers are let go).
    size_t observationCountForTesting() const;

    // Drops every observation (the test environment).
    void resetForTesting();

private:
    struct Registration;
    using Registrations = std::vector<std::shared_ptr<Registration>>;

    void remove(const Registration& registration);

    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Registrations> m_byName;
    Registrations m_anyName;
    uint64_t m_nextOrder = 0;
};

} // namespace core
