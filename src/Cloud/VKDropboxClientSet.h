#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class DBRestClient;
class VKDropboxClient;

// The cloud service's one-shot clients, each kept until it answered: those
// serving a request (a listing, thumbnail, copy, move, delete or new
// folder) and those asking whether an item exists; and the one client that
// makes streaming requests. A client leaves the set detached from its
// delegate and alive to the end of the pass (it may be answering from
// inside one of its own calls). Main thread only.
class VKDropboxClientSet {
public:
    using Clients = std::vector<std::shared_ptr<VKDropboxClient>>;

    VKDropboxClientSet() = default;
    VKDropboxClientSet(const VKDropboxClientSet&) = delete;
    VKDropboxClientSet& operator=(const VKDropboxClientSet&) = delete;

    void addRequest(std::shared_ptr<VKDropboxClient> client) { m_requests.push_back(std::move(client)); }
    void addExistence(std::shared_ptr<VKDropboxClient> client) { m_existence.push_back(std::move(client)); }
    const Clients& requests() const { return m_requests; }
    const Clients& existence() const { return m_existence; }

    bool isExistence(const DBRestClient& client) const;
    // The answering client, out of the set; none for one it does not hold.
    std::shared_ptr<VKDropboxClient> take(DBRestClient& client);
    // Whether a request client answers yes.
    bool anyRequest(const std::function<bool(const VKDropboxClient&)>& test) const;
    // Listings of the folder holding `cloudPath` still on their way were
    // made before its change: they are asked for again when they answer.
    void outdateListingsAround(const std::string& cloudPath);
    VKDropboxClient& streaming();
    // Every client detached and out of the set (the service goes or
    // unlinks).
    void detachAll();

private:
    Clients m_requests;
    Clients m_existence;
    std::shared_ptr<VKDropboxClient> m_streaming;
};
