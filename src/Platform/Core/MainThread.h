#pragma once

#include "Platform/Core/OwnerBound.h"

#include <functional>
#include <memory>

namespace core {

// Hands work to the main thread. Blocks from one sender run in the order sent.
// Called on the main thread, the block runs in a later pass, never inside
// the call.
void performOnMainThread(std::function<void()> block);
// Hands `block(owner)` to the main thread, skipped when the owner is gone
// by the time it runs there. A worker passes the owner weakly.
template<typename Owner, typename F> void performOnMainThread(const std::shared_ptr<Owner>& owner, F block)
{
    performOnMainThread(std::function<void()>(ownerBound(owner, std::move(block))));
}
template<typename Owner, typename F> void performOnMainThread(std::weak_ptr<Owner> owner, F block)
{
    performOnMainThread(std::function<void()>(ownerBound(std::move(owner), std::move(block))));
}

// Runs `block` on the main thread and returns once it ran: at once (inline)
// when called there, otherwise by waiting for the main loop. An exception
// from the block is rethrown here. When the main loop drops the block (its
// thread ended, the test reset it) the call returns without it.
void performOnMainThreadAndWait(std::function<void()> block);

} // namespace core
