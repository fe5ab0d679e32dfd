#pragma once

#include "Platform/Core/URLRequest.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <string>
#include <string_view>

class DBSession;

// Builds and signs the REST client's requests with the session's
// credentials (OAuth 1.0): a call's URL under the API version, its path
// escaped, its parameters signed with the protocol's into a GET's query or
// a POST's form body, and an upload's POST, whose signature covers the
// stored name that travels only in the body. The settings
// VKCloudAPIBaseURL and VKCloudContentBaseURL, when set, give scheme, host
// and port. The client owns one for its session and root.
class DBRequestBuilder {
public:
    DBRequestBuilder(std::shared_ptr<DBSession> session, std::string root);

    const std::shared_ptr<DBSession>& session() const { return m_session; }
    const std::string& root() const { return m_root; }

    // Every byte but letters, digits, "-._" and "/" percent-escaped.
    static std::string escapePath(std::string_view path);
    // "scheme://host" of an endpoint, or the base URL setting's.
    static std::string baseURLText(std::string_view protocol, std::string_view host);

    // `path` holds root and cloud path. Throws DBRestClientBadURL when no
    // URL can be made of it.
    core::URLRequest request(std::string_view protocol, std::string_view host, std::string_view path,
        const core::Value::Dictionary& parameters, std::string_view method) const;
    // The POST into the folder `toPath`, its body not yet set.
    core::URLRequest uploadRequest(const std::string& safeName, const std::string& toPath) const;

    // The time-out of requests built from now on; 0 restores the default.
    static void setTimeoutIntervalForTesting(double seconds);

private:
    static double testTimeoutInterval();

    std::shared_ptr<DBSession> m_session;
    std::string m_root;
};
