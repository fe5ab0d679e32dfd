#pragma once

#include "Cloud/VKCloudService.h"
#include "DropboxSDK/DBRestClient.h"

#include <string>

// A REST client of the cloud service that also carries the callback objects
// of the one operation it runs for a caller, and the cloud path it acts on
// (thumbnails report it). The service keeps it until its first answer.
class VKDropboxClient : public DBRestClient {
public:
    static std::shared_ptr<VKDropboxClient> initWithSession(std::shared_ptr<DBSession> session);

    void addCallback(VKCloudService::Callback callback);
    // In the order added, each object once.
    const std::vector<VKCloudService::Callback>& callbacks() const { return m_callbacks; }
    const std::string& cloudPath() const { return m_cloudPath; }
    void setCloudPath(std::string cloudPath) { m_cloudPath = std::move(cloudPath); }
    // A listing asked for before a change in its folder was confirmed: its
    // answer may still show what the change removed.
    bool isOutdated() const { return m_outdated; }
    void setOutdated() { m_outdated = true; }

    // A signed GET of the file's content on the content host, without
    // parameters, for players that stream it themselves.
    core::URLRequest streamingURLRequestForPath(const std::string& cloudPath) const;

private:
    using DBRestClient::DBRestClient;

    std::vector<VKCloudService::Callback> m_callbacks;
    std::string m_cloudPath;
    bool m_outdated = false;
};
