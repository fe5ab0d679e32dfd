#include "Platform/Net/Reachability.h"

#include "Platform/Net/NetlinkReachability.h"

#include <mutex>

namespace net {

namespace {

std::mutex factoryMutex;
Reachability::Factory testFactory;

} // namespace

std::shared_ptr<Reachability> Reachability::create(const ReachabilityTarget& target)
{
    Factory factory;
    {
        std::lock_guard lock(factoryMutex);
        factory = testFactory;
    }
    if (factory)
        return factory(target);
    return NetlinkReachability::create(target);
}

void Reachability::setFactoryForTesting(Factory factory)
{
    std::lock_guard lock(factoryMutex);
    testFactory = std::move(factory);
}

} // namespace net
