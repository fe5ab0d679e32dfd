#pragma once

#include "Platform/Core/Object.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class VKCloudService;
class VKFileResource;

// The registry of cloud services: service kinds registered under a key, one
// instance per key made on first use and kept for the life of the process,
// and the service that owns a local path (the first component below the
// servers folder is its key). Used on the main thread.
class VKCloudServicesManager : public core::Object {
public:
    using Factory = std::function<std::shared_ptr<VKCloudService>()>;

    static std::shared_ptr<VKCloudServicesManager> sharedManager();
    // Registers the program's services; called once at start-up.
    static void registerCloudServices();
    // Forgets every registration and instance (tests).
    static void resetForTesting();

    // Stores the kind under the key and makes the key's folder in the
    // servers folder when it is missing.
    void registerCloudService(Factory factory, const std::string& key);
    // The key's service, made on first use; nothing (logged) for a key that
    // was never registered.
    std::shared_ptr<VKCloudService> cloudServiceForRegisteredKey(std::string_view key);
    // Nothing for a path outside the servers folder or the folder itself.
    std::shared_ptr<VKCloudService> cloudServiceForPath(std::string_view path);
    std::shared_ptr<VKCloudService> cloudServiceForResource(const VKFileResource& resource);

    // In key order.
    std::vector<std::string> registeredServiceKeys() const;
    std::vector<std::string> linkedServiceKeys();
    bool hasLinkedServices();

private:
    std::map<std::string, Factory, std::less<>> m_registeredServices;
    std::map<std::string, std::shared_ptr<VKCloudService>, std::less<>> m_services;
};
