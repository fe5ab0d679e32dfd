#include "Cloud/VKCloudServicesManager.h"

#include "Cloud/VKCloudService.h"
#include "Cloud/VKDropboxCloudService.h"
#include "FileModel/VKFileResource.h"
#include "Kit/StringAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <mutex>

namespace {

std::mutex sharedMutex;
std::shared_ptr<VKCloudServicesManager> sharedInstance;

} // namespace

std::shared_ptr<VKCloudServicesManager> VKCloudServicesManager::sharedManager()
{
    std::lock_guard lock(sharedMutex);
    if (!sharedInstance)
        sharedInstance = std::make_shared<VKCloudServicesManager>();
    return sharedInstance;
}

void VKCloudServicesManager::resetForTesting()
{
    std::lock_guard lock(sharedMutex);
    sharedInstance.reset();
}

void VKCloudServicesManager::registerCloudServices()
{
    // The program's cloud services register here, each under its name.
    sharedManager()->registerCloudService([] { return VKDropboxCloudService::create(); }, VKDropboxCloudService::Name);
}

void VKCloudServicesManager::registerCloudService(Factory factory, const std::string& key)
{
    m_registeredServices[key] = std::move(factory);
    VKHomeLayout::current()->serversSubdirectory(key);
}

std::shared_ptr<VKCloudService> VKCloudServicesManager::cloudServiceForRegisteredKey(std::string_view key)
{
    auto made = m_services.find(key);
    if (made != m_services.end())
        return made->second;
    auto registered = m_registeredServices.find(key);
    if (registered == m_registeredServices.end()) {
        core::log("Warning, no VKCloudService registered for key: {}", key);
        return nullptr;
    }
    auto service = registered->second();
    if (service)
        m_services.emplace(std::string(key), service);
    return service;
}

std::shared_ptr<VKCloudService> VKCloudServicesManager::cloudServiceForPath(std::string_view path)
{
    auto relative = stringByAbbreviatingRelativeToPath(path, VKHomeLayout::current()->serversDirectory());
    if (!relative || relative->empty())
        return nullptr;
    auto components = core::path::pathComponents(*relative);
    if (components.empty())
        return nullptr;
    return cloudServiceForRegisteredKey(components.front());
}

std::shared_ptr<VKCloudService> VKCloudServicesManager::cloudServiceForResource(const VKFileResource& resource)
{
    return cloudServiceForPath(resource.path());
}

std::vector<std::string> VKCloudServicesManager::registeredServiceKeys() const
{
    std::vector<std::string> keys;
    for (const auto& [key, factory] : m_registeredServices)
        keys.push_back(key);
    return keys;
}

std::vector<std::string> VKCloudServicesManager::linkedServiceKeys()
{
    std::vector<std::string> keys;
    for (const auto& key : registeredServiceKeys()) {
        auto service = cloudServiceForRegisteredKey(key);
        if (service && service->isLinked())
            keys.push_back(key);
    }
    return keys;
}

bool VKCloudServicesManager::hasLinkedServices()
{
    return !linkedServiceKeys().empty();
}
