#include "Cloud/VKDropboxClient.h"

#include "DropboxSDK/DBDefines.h"

#include <algorithm>

std::shared_ptr<VKDropboxClient> VKDropboxClient::initWithSession(std::shared_ptr<DBSession> session)
{
    return std::shared_ptr<VKDropboxClient>(new VKDropboxClient(std::move(session), "dropbox"));
}

void VKDropboxClient::addCallback(VKCloudService::Callback callback)
{
    if (callback && std::find(m_callbacks.begin(), m_callbacks.end(), callback) == m_callbacks.end())
        m_callbacks.push_back(std::move(callback));
}

core::URLRequest VKDropboxClient::streamingURLRequestForPath(const std::string& cloudPath) const
{
    return requestWithProtocol(kDBProtocolHTTPS, kDBDropboxAPIContentHost, "/files/" + root() + cloudPath, {});
}
