#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class DBSession;
class MPOAuthCredentialConcreteStore;

// Told when the service refuses the session's token.
class DBSessionDelegate {
public:
    virtual ~DBSessionDelegate() = default;
    virtual void sessionDidReceiveAuthorizationFailure(DBSession& session) = 0;
};

// The settings key of the saved token: a dictionary of the consumer key it
// belongs to, the access token and its secret, under the credential names.
inline constexpr const char* kDBDropboxSavedCredentialsKey = "kDBDropboxSavedCredentialsKey";

// The application's consumer credentials and, once an account is linked,
// its access token, kept in the settings across launches. Every request to
// the cloud service is signed from the session's credential store. Used on
// the main thread.
class DBSession : public core::Object {
public:
    // The process's session, or none.
    static std::shared_ptr<DBSession> sharedSession();
    static void setSharedSession(std::shared_ptr<DBSession> session);

    // Signing with HMAC-SHA1. A token saved for the same consumer key is
    // taken back (the session starts linked); one saved for another key is
    // cleared.
    static std::shared_ptr<DBSession> initWithConsumerKey(std::string_view key, std::string_view secret);

    const std::shared_ptr<MPOAuthCredentialConcreteStore>& credentialStore() const { return m_credentialStore; }

    std::shared_ptr<DBSessionDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<DBSessionDelegate> delegate) { m_delegate = std::move(delegate); }

    // Whether the store holds an access token.
    bool isLinked() const;
    // Stores the token and secret and saves them with the consumer key.
    void updateAccessToken(std::string token, std::string secret);
    // Forgets the token and secret, here and in the settings. The settings
    // are cleared even when the keychain raises, and the exception is then
    // passed on.
    void unlink();

    // The dictionary under kDBDropboxSavedCredentialsKey, or null.
    core::Value savedCredentials() const;
    // Writes the dictionary under the key and synchronises the settings;
    // null does nothing.
    void saveCredentials(const core::Value& credentials);
    void clearSavedCredentials();

private:
    DBSession() = default;

    std::shared_ptr<MPOAuthCredentialConcreteStore> m_credentialStore;
    std::weak_ptr<DBSessionDelegate> m_delegate;
};
