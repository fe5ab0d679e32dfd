#include "Platform/Net/CredentialStorage.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/URL.h"

#include <algorithm>

namespace net {

using core::ascii::equalIgnoringCase;

bool CredentialStorage::ProtectionSpace::operator==(const ProtectionSpace& other) const
{
    return equalIgnoringCase(scheme, other.scheme) && equalIgnoringCase(host, other.host) && port == other.port
        && realm == other.realm;
}

CredentialStorage& CredentialStorage::shared()
{
    static CredentialStorage storage;
    return storage;
}

int CredentialStorage::defaultPort(const std::string& scheme)
{
    if (equalIgnoringCase(scheme, "http"))
        return 80;
    if (equalIgnoringCase(scheme, "https"))
        return 443;
    return 0;
}

void CredentialStorage::setCredential(const Credential& credential, const ProtectionSpace& space)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [&](const Entry& entry) { return entry.space == space; });
    m_entries.push_back(Entry { space, credential, m_nextSequence++ });
}

std::optional<CredentialStorage::Credential> CredentialStorage::credential(const ProtectionSpace& space) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& entry : m_entries) {
        if (entry.space == space)
            return entry.credential;
    }
    return std::nullopt;
}

void CredentialStorage::removeAllCredentialsForTesting()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

std::optional<CredentialStorage::Credential> CredentialStorage::credentialForURL(const core::URL& url) const
{
    const std::string scheme = url.scheme();
    const std::string host = url.host();
    const int port = url.port().value_or(defaultPort(scheme));
    std::lock_guard lock(m_mutex);
    const Entry* latest = nullptr;
    for (const auto& entry : m_entries) {
        if (equalIgnoringCase(entry.space.scheme, scheme) && equalIgnoringCase(entry.space.host, host)
            && entry.space.port == port && (!latest || entry.sequence > latest->sequence))
            latest = &entry;
    }
    return latest ? std::optional(latest->credential) : std::nullopt;
}

} // namespace net
