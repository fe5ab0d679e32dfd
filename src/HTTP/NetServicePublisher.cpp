#include "HTTP/NetServicePublisher.h"

#include <mutex>

namespace {

std::mutex publisherMutex;
std::shared_ptr<NetServicePublisher> currentPublisher;

} // namespace

std::shared_ptr<NetService> NetServicePublisher::publish(const std::string&, const std::string&, const std::string&,
    uint16_t, Completion)
{
    return nullptr;
}

std::shared_ptr<NetServicePublisher> NetServicePublisher::shared()
{
    std::lock_guard lock(publisherMutex);
    if (!currentPublisher)
        currentPublisher = std::make_shared<NetServicePublisher>();
    return currentPublisher;
}

void NetServicePublisher::setShared(std::shared_ptr<NetServicePublisher> publisher)
{
    std::lock_guard lock(publisherMutex);
    currentPublisher = std::move(publisher);
}
