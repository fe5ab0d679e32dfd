#include "Platform/Net/FakeURLServer.h"

#include "Platform/Net/FakeURLLoad.h"

#include <algorithm>

namespace net {

struct FakeURLServer::Private { };

namespace {

std::mutex registryMutex;
std::vector<std::shared_ptr<FakeURLServer>> registry;

} // namespace

FakeURLServer::FakeURLServer(const Private&, std::string prefix)
    : m_prefix(std::move(prefix))
{
}

std::shared_ptr<FakeURLServer> FakeURLServer::install(std::string prefix)
{
    auto server = std::make_shared<FakeURLServer>(Private {}, std::move(prefix));
    std::lock_guard lock(registryMutex);
    registry.push_back(server);
    return server;
}

void FakeURLServer::removeAll()
{
    std::vector<std::shared_ptr<FakeURLServer>> removed;
    {
        std::lock_guard lock(registryMutex);
        removed.swap(registry);
    }
    for (auto& server : removed)
        server->cancelLoads();
}

std::shared_ptr<FakeURLServer> FakeURLServer::serverForURL(const std::string& url)
{
    std::lock_guard lock(registryMutex);
    std::shared_ptr<FakeURLServer> best;
    for (const auto& server : registry) {
        if (url.starts_with(server->m_prefix) && (!best || server->m_prefix.size() > best->m_prefix.size()))
            best = server;
    }
    return best;
}

void FakeURLServer::uninstall()
{
    {
        std::lock_guard lock(registryMutex);
        std::erase(registry, shared_from_this());
    }
    cancelLoads();
}

void FakeURLServer::setHandler(Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

std::vector<std::shared_ptr<FakeURLLoad>> FakeURLServer::loads() const
{
    std::lock_guard lock(m_mutex);
    return m_loads;
}

std::shared_ptr<FakeURLLoad> FakeURLServer::lastLoad() const
{
    std::lock_guard lock(m_mutex);
    return m_loads.empty() ? nullptr : m_loads.back();
}

void FakeURLServer::accept(const std::shared_ptr<FakeURLLoad>& load)
{
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        m_loads.push_back(load);
        handler = m_handler;
    }
    if (handler)
        handler(*load);
}

void FakeURLServer::cancelLoads()
{
    std::vector<std::shared_ptr<FakeURLLoad>> loads;
    {
        std::lock_guard lock(m_mutex);
        loads.swap(m_loads);
        m_handler = nullptr;
    }
    for (auto& load : loads)
        load->cancelConnection();
}

} // namespace net
