#pragma once

#include <memory>
#include <utility>

namespace core {

// A callback bound to the object it calls back: it holds the owner weakly
// and, when called, runs `call(owner, args...)` only if the owner still
// lives, holding it alive for the call; once the owner is gone it does
// nothing. This is where a deferred call (a delayed perform, a timer, a
// block posted to a loop or the main thread, a worker's result) checks its
// owner, so that the call site reads as "call me back".
template<typename Owner, typename F> auto ownerBound(std::weak_ptr<Owner> owner, F call)
{
    return [owner = std::move(owner), call = std::move(call)](auto&&... args) mutable {
        if (auto alive = owner.lock())
            call(*alive, std::forward<decltype(args)>(args)...);
    };
}

template<typename Owner, typename F> auto ownerBound(const std::shared_ptr<Owner>& owner, F call)
{
    return ownerBound(std::weak_ptr<Owner>(owner), std::move(call));
}

} // namespace core
