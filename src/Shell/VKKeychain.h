#pragma once

#include "Platform/Core/Object.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace sec {
class KeychainStore;
class Pkcs12Identity;
}

// The services whose passwords the system keeps; every caller passes the
// same text as user and service.
inline constexpr const char* VKLoginPasswordService = "VKLoginPasswordService";
inline constexpr const char* VKPasscodeLockService = "VKPasscodeLockService";
// The setting that a remote-access password was set (and not removed
// since). It lives beside the keychain, in the settings, so that a keychain
// that lost the password (damaged, its key replaced) is told apart from one
// that never held it: the first must keep the server closed.
inline constexpr const char* VKLoginPasswordSetKey = "VKLoginPasswordSet";
// The same for the passcode lock: a lock that was switched on stays up when
// the keychain can no longer give its passcode.
inline constexpr const char* VKPasscodeLockSetKey = "VKPasscodeLockSet";
// Posted (object: the keychain) after every change that took.
inline constexpr const char* VKKeychainDidChangeNotification = "VKKeychainDidChangeNotification";

// The application's secrets: the remote-access password, the passcode, the
// passwords settings cells bind to, as generic passwords (account = the
// user, service = the service) in a keychain store; and the server's TLS
// identity, made once per home.
//
// Reads are cached by user alone (callers use the service's name as the
// user, so one entry per service results), case-folded as searches compare
// users, so a write under another spelling drops the entry it replaces; a
// removal drops every entry. Searches ignore case; removing a service's
// passwords names the service as written. A change that fails removes the
// service's passwords, so that a stale password never stays behind a failed
// change. Passwords are never logged, only statuses and services. Asking
// for a remote-access password sets VKLoginPasswordSetKey, and for a
// passcode VKPasscodeLockSetKey, even when the store fails (the server then
// stays closed, the lock up); only a removal that took, or finding none to
// remove, clears it.
class VKKeychain : public core::Object {
public:
    static constexpr const char* IdentityFileName = "webdav.p12";
    // The identity file's passphrase; it guards nothing the file's mode
    // does not already guard, the format simply requires one.
    static constexpr const char* IdentityPassphrase = "quillbrock";

    // Made on first use over the file store in the home's Library/Keychain,
    // the identity in Library/webdav.p12.
    static std::shared_ptr<VKKeychain> sharedKeychain();
    // Replaces it (tests); null makes a new one from the current home.
    static void setSharedKeychainForTesting(std::shared_ptr<VKKeychain> keychain);
    static std::shared_ptr<VKKeychain> create(std::shared_ptr<sec::KeychainStore> store, std::string identityPath);

    // The password as text; nothing when there is none or its bytes are
    // not UTF-8.
    std::optional<std::string> passwordForUser(std::string_view user, std::string_view service);
    // Stores the password (an existing item keeps its stored spelling), or
    // with nothing removes it. True, with the notification, when it took.
    bool setPassword(std::optional<std::string_view> password, std::string_view user, std::string_view service);
    // Every password of the service. False when none was removed.
    bool removeAllPasswordsForService(std::string_view service);
    // Whether a remote-access password was set and not removed since.
    static bool wasLoginPasswordSet();
    // Whether a passcode was set and not removed since.
    static bool wasPasscodeSet();

    // The server's identity from Library/webdav.p12, made on first use
    // (self-signed RSA 2048, 0600). Nothing (logged) when the file cannot
    // be made, read or opened; the next call tries again. A success is kept.
    std::shared_ptr<const sec::Pkcs12Identity> sslIdentityAndCertificates();

    const std::shared_ptr<sec::KeychainStore>& store() const { return m_store; }
    const std::string& identityPath() const { return m_identityPath; }

private:
    VKKeychain(std::shared_ptr<sec::KeychainStore> store, std::string identityPath);
    // With m_mutex held.
    bool storePassword(std::optional<std::string_view> password, std::string_view user, std::string_view service);
    int32_t removePasswords(std::string_view service);
    void postChange();

    std::shared_ptr<sec::KeychainStore> m_store;
    std::string m_identityPath;
    // Held across each store call, so that a read never caches what a
    // write is replacing.
    std::mutex m_mutex;
    std::map<std::string, std::string, std::less<>> m_cache;
    std::mutex m_identityMutex;
    std::shared_ptr<const sec::Pkcs12Identity> m_identity;
};
