#pragma once

#include "Platform/Core/MainThread.h"
#include "Platform/Core/RunLoop.h"

#include <memory>
#include <utility>

// Hands calls on an object to the main thread: a worker tells an object that
// lives there what happened and goes on at once. On the main thread itself a
// call runs before send() returns. Calls from one thread run in the order
// sent; each keeps the target alive until it has run. Callers send only
// calls without results.
template<typename T>
class VKThreadInvocationProxy {
public:
    explicit VKThreadInvocationProxy(std::shared_ptr<T> target) : m_target(std::move(target)) { }

    // `message(target)`, now on the main thread or later there.
    template<typename Message>
    void send(Message message) const
    {
        if (core::RunLoop::main().isCurrent()) {
            message(*m_target);
            return;
        }
        core::performOnMainThread([target = m_target, message = std::move(message)]() mutable { message(*target); });
    }

    const std::shared_ptr<T>& target() const { return m_target; }

private:
    std::shared_ptr<T> m_target;
};
