#pragma once

#include "Platform/Core/Object.h"

#include <atomic>

// A unit of background work for a VKOperationQueue. Subclasses supply run();
// one that wants to stop early polls isCancelled() while it runs, since
// cancelling only sets the flag.
class VKOperation : public core::Object {
public:
    virtual void run() = 0;

    // Sets the flag; an operation whose work runs elsewhere (requests on the
    // network) also stops that work.
    virtual void cancel() { setCancelled(true); }
    // The flag is set by other threads while the operation runs.
    bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    void setCancelled(bool cancelled) { m_cancelled.store(cancelled, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled { false };
};
