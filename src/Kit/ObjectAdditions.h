#pragma once

// Additions every object can use: hand-off of calls to the main thread or to
// the next pass of the run loop, and short debugging descriptions.

#include "Kit/VKThreadInvocationProxy.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/RunLoop.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>

// vkProxyForMainThread(view).send([](View& v) { v.reload(); });
template<typename T>
VKThreadInvocationProxy<T> vkProxyForMainThread(std::shared_ptr<T> target)
{
    return VKThreadInvocationProxy<T>(std::move(target));
}

// Runs `call(target)` on the next pass of the calling thread's run loop (in
// its default mode), never inside this call; the target is kept until then.
template<typename T, typename Call>
void vkPerformSelectorOnNextRunLoopRun(std::shared_ptr<T> target, Call call)
{
    core::RunLoop::current().performAfter(0, [target = std::move(target), call = std::move(call)]() mutable { call(*target); });
}

// "<Class: 0x…; detail>" and "<Class: 0x…>"
std::string vkDescriptionWithDetail(const core::Object& object, std::string_view detail);
std::string vkShortDescription(const core::Object& object);
