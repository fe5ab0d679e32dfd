#include "Platform/Web/AuthenticationChallenge.h"

#include <utility>

namespace web {

AuthenticationChallenge::AuthenticationChallenge(ProtectionSpace space, int previousFailureCount,
    std::optional<Credential> proposed, Responder responder)
    : m_space(std::move(space))
    , m_previousFailureCount(previousFailureCount)
    , m_proposed(std::move(proposed))
    , m_responder(std::move(responder))
{
}

AuthenticationChallenge::~AuthenticationChallenge()
{
    if (m_answered || m_cancelled)
        return;
    if (m_proposed && m_previousFailureCount == 0)
        answer({ Disposition::UseCredential, *m_proposed, Persistence::None });
    else
        answer({ Disposition::ContinueWithoutCredential, {}, Persistence::None });
}

void AuthenticationChallenge::useCredential(const Credential& credential, Persistence persistence)
{
    if (m_answered || m_cancelled)
        return;
    // No keyring: a credential kept for longer than the session is kept for the session.
    if (persistence != Persistence::None)
        net::CredentialStorage::shared().setCredential(credential, storageSpace(m_space));
    answer({ Disposition::UseCredential, credential, persistence });
}

void AuthenticationChallenge::continueWithoutCredential()
{
    answer({ Disposition::ContinueWithoutCredential, {}, Persistence::None });
}

void AuthenticationChallenge::cancel()
{
    answer({ Disposition::Cancel, {}, Persistence::None });
}

void AuthenticationChallenge::loadDidEnd()
{
    if (m_answered)
        return;
    m_cancelled = true;
    m_responder = nullptr;
}

net::CredentialStorage::ProtectionSpace AuthenticationChallenge::storageSpace(const ProtectionSpace& space)
{
    return { space.protocol, space.host, space.port, space.realm };
}

void AuthenticationChallenge::answer(const Answer& answer)
{
    if (m_answered || m_cancelled)
        return;
    m_answered = true;
    if (auto responder = std::exchange(m_responder, nullptr))
        responder(answer);
}

} // namespace web
