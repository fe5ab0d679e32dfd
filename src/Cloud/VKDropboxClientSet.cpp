#include "Cloud/VKDropboxClientSet.h"

#include "Cloud/DBRestClientAdditions.h"
#include "Cloud/VKDropboxClient.h"
#include "Cloud/VKDropboxMirrorMerge.h"
#include "DropboxSDK/DBSession.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"

#include <algorithm>

namespace {

bool holds(const VKDropboxClientSet::Clients& set, const DBRestClient& client)
{
    return std::any_of(set.begin(), set.end(), [&](const auto& candidate) { return candidate.get() == &client; });
}

} // namespace

bool VKDropboxClientSet::isExistence(const DBRestClient& client) const
{
    return holds(m_existence, client);
}

std::shared_ptr<VKDropboxClient> VKDropboxClientSet::take(DBRestClient& restClient)
{
    for (auto* set : { &m_requests, &m_existence }) {
        auto found = std::find_if(set->begin(), set->end(),
            [&](const auto& candidate) { return candidate.get() == &restClient; });
        if (found == set->end())
            continue;
        auto client = *found;
        set->erase(found);
        client->setDelegate({});
        core::RunLoop::main().post([client] { });
        return client;
    }
    return nullptr;
}

bool VKDropboxClientSet::anyRequest(const std::function<bool(const VKDropboxClient&)>& test) const
{
    return std::any_of(m_requests.begin(), m_requests.end(), [&](const auto& client) { return test(*client); });
}

void VKDropboxClientSet::outdateListingsAround(const std::string& cloudPath)
{
    const std::string folder = VKDropboxMirrorMerge::folderKey(core::path::deletingLastPathComponent(cloudPath));
    for (const auto& client : m_requests) {
        if (!client->cloudPath().empty() && VKDropboxMirrorMerge::folderKey(client->cloudPath()) == folder
            && isLoadingMetadataForPath(*client, client->cloudPath()))
            client->setOutdated();
    }
}

VKDropboxClient& VKDropboxClientSet::streaming()
{
    if (!m_streaming)
        m_streaming = VKDropboxClient::initWithSession(DBSession::sharedSession());
    return *m_streaming;
}

void VKDropboxClientSet::detachAll()
{
    for (auto* set : { &m_requests, &m_existence }) {
        for (const auto& client : *set) {
            client->setDelegate({});
            core::RunLoop::main().post([client] { });
        }
        set->clear();
    }
    if (m_streaming) {
        m_streaming->setDelegate({});
        m_streaming.reset();
    }
}
