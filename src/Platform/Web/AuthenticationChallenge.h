#pragma once

// A server's request for a user name and password during a load, handed to
// the web view's delegate: where (the protection space), how often the
// answers for that space failed in this load, and the credential the
// session's store proposes. Answered once, any time later; a credential kept
// for the session (or longer) goes into net::CredentialStorage, never to
// disk. A challenge let go unanswered uses the proposed credential while
// nothing failed yet, else lets the load go on without one (the server's
// refusal page shows).

#include "Platform/Core/Object.h"
#include "Platform/Net/CredentialStorage.h"

#include <functional>
#include <optional>
#include <string>

namespace web {

class AuthenticationChallenge : public core::Object {
public:
    struct ProtectionSpace {
        std::string host;
        int port = 0;
        std::string realm;
        // "Basic", "Digest", "NTLM", "Negotiate", "ClientCertificate",
        // "ServerTrust" or "Default".
        std::string authenticationMethod;
        // "http" or "https".
        std::string protocol;
        bool isProxy = false;

        bool operator==(const ProtectionSpace&) const = default;
    };
    using Credential = net::CredentialStorage::Credential;
    // The device's numbers.
    enum class Persistence { None = 0, ForSession = 1, Permanent = 2 };
    enum class Disposition { UseCredential, ContinueWithoutCredential, Cancel };
    struct Answer {
        Disposition disposition = Disposition::ContinueWithoutCredential;
        Credential credential;
        Persistence persistence = Persistence::None;
    };
    using Responder = std::function<void(const Answer&)>;

    AuthenticationChallenge(ProtectionSpace space, int previousFailureCount, std::optional<Credential> proposed,
        Responder responder);
    ~AuthenticationChallenge() override;

    const ProtectionSpace& protectionSpace() const { return m_space; }
    int previousFailureCount() const { return m_previousFailureCount; }
    const std::optional<Credential>& proposedCredential() const { return m_proposed; }

    void useCredential(const Credential& credential, Persistence persistence);
    void continueWithoutCredential();
    // Cancels the load (NSURLErrorCancelled).
    void cancel();
    bool isAnswered() const { return m_answered; }
    // Whether the load ended before an answer came.
    bool isCancelled() const { return m_cancelled; }

    // The engine: the load ended first; later answers go nowhere.
    void loadDidEnd();

    // The space as the session's credential store keys it.
    static net::CredentialStorage::ProtectionSpace storageSpace(const ProtectionSpace& space);

private:
    void answer(const Answer& answer);

    ProtectionSpace m_space;
    int m_previousFailureCount;
    std::optional<Credential> m_proposed;
    Responder m_responder;
    bool m_answered = false;
    bool m_cancelled = false;
};

} // namespace web
