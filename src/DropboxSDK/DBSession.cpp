#include "DropboxSDK/DBSession.h"

#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthSignatureParameter.h"
#include "Platform/Core/UserDefaults.h"

#include <exception>
#include <utility>

namespace {

std::mutex& sharedMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<DBSession>& sharedInstance()
{
    static std::shared_ptr<DBSession> session;
    return session;
}

} // namespace

std::shared_ptr<DBSession> DBSession::sharedSession()
{
    std::lock_guard lock(sharedMutex());
    return sharedInstance();
}

void DBSession::setSharedSession(std::shared_ptr<DBSession> session)
{
    std::shared_ptr<DBSession> old;
    std::lock_guard lock(sharedMutex());
    if (sharedInstance() == session)
        return;
    // The old one goes after the lock is left.
    old = std::exchange(sharedInstance(), std::move(session));
}

std::shared_ptr<DBSession> DBSession::initWithConsumerKey(std::string_view key, std::string_view secret)
{
    auto session = std::shared_ptr<DBSession>(new DBSession);
    core::Value::Dictionary credentials {
        { kMPOAuthCredentialConsumerKey, core::Value(key) },
        { kMPOAuthCredentialConsumerSecret, core::Value(secret) },
        { kMPOAuthSignatureMethod, core::Value(MPOAuthSignatureParameter::HMACSHA1) },
    };
    core::Value saved = session->savedCredentials();
    if (saved.isDictionary()) {
        const core::Value& savedKey = saved[kMPOAuthCredentialConsumerKey];
        if (savedKey.isString() && savedKey.string() == key) {
            for (const char* name : { kMPOAuthCredentialAccessToken, kMPOAuthCredentialAccessTokenSecret }) {
                if (saved[name].isString())
                    credentials[name] = saved[name];
            }
        } else {
            session->clearSavedCredentials();
        }
    }
    session->m_credentialStore = MPOAuthCredentialConcreteStore::initWithCredentials(std::move(credentials));
    return session;
}

bool DBSession::isLinked() const
{
    return m_credentialStore->accessToken().has_value();
}

void DBSession::updateAccessToken(std::string token, std::string secret)
{
    m_credentialStore->setAccessToken(token);
    m_credentialStore->setAccessTokenSecret(secret);
    saveCredentials(core::Value::makeDictionary({
        { kMPOAuthCredentialConsumerKey, core::Value(m_credentialStore->consumerKey().value_or(std::string())) },
        { kMPOAuthCredentialAccessToken, core::Value(std::move(token)) },
        { kMPOAuthCredentialAccessTokenSecret, core::Value(std::move(secret)) },
    }));
}

void DBSession::unlink()
{
    std::exception_ptr failure;
    for (auto clear : { &MPOAuthCredentialConcreteStore::setAccessToken, &MPOAuthCredentialConcreteStore::setAccessTokenSecret }) {
        try {
            ((*m_credentialStore).*clear)(std::nullopt);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    clearSavedCredentials();
    if (failure)
        std::rethrow_exception(failure);
}

core::Value DBSession::savedCredentials() const
{
    return core::UserDefaults::standard()->dictionaryForKey(kDBDropboxSavedCredentialsKey);
}

void DBSession::saveCredentials(const core::Value& credentials)
{
    if (credentials.isNull())
        return;
    auto defaults = core::UserDefaults::standard();
    defaults->set(kDBDropboxSavedCredentialsKey, credentials);
    defaults->synchronize();
}

void DBSession::clearSavedCredentials()
{
    // Written at once, so that an unlinked account stays unlinked whatever
    // happens to the process next.
    auto defaults = core::UserDefaults::standard();
    defaults->remove(kDBDropboxSavedCredentialsKey);
    defaults->synchronize();
}
