#include "Shell/VKKeychain.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Security/FileKeychainStore.h"
#include "Platform/Security/Pkcs12Identity.h"
#include "Platform/Security/SelfSignedIdentity.h"

namespace {

using sec::KeychainStore;

std::mutex keychainMutex;
std::shared_ptr<VKKeychain> sharedKeychainInstance;

constexpr const char* KeychainFolderName = "Keychain";

sec::KeychainQuery passwordQuery(std::string_view user, std::string_view service)
{
    sec::KeychainQuery query;
    query.itemClass = sec::KeychainItemClass::GenericPassword;
    query.attributes = core::Value::makeDictionary({
        { sec::KeychainAttribute::Account, core::Value(user) },
        { sec::KeychainAttribute::Service, core::Value(service) },
    });
    query.caseInsensitive = true;
    return query;
}

// The item exactly as stored, for changing that one item.
sec::KeychainQuery itemQuery(const core::Value& attributes)
{
    sec::KeychainQuery query;
    query.itemClass = sec::KeychainItemClass::GenericPassword;
    query.attributes = attributes;
    return query;
}

// Written only when it changes, so that a plain start leaves the settings
// file alone.
void recordPasswordSet(std::string_view service, bool set)
{
    const char* key = service == VKLoginPasswordService ? VKLoginPasswordSetKey
        : service == VKPasscodeLockService               ? VKPasscodeLockSetKey
                                                         : nullptr;
    if (!key)
        return;
    auto defaults = core::UserDefaults::standard();
    if (defaults->boolForKey(key) != set)
        defaults->set(key, core::Value(set));
}

} // namespace

std::shared_ptr<VKKeychain> VKKeychain::sharedKeychain()
{
    std::lock_guard lock(keychainMutex);
    if (!sharedKeychainInstance) {
        const std::string library = core::paths::library();
        sharedKeychainInstance = create(
            std::make_shared<sec::FileKeychainStore>(core::path::appendingPathComponent(library, KeychainFolderName)),
            core::path::appendingPathComponent(library, IdentityFileName));
    }
    return sharedKeychainInstance;
}

void VKKeychain::setSharedKeychainForTesting(std::shared_ptr<VKKeychain> keychain)
{
    std::unique_lock lock(keychainMutex);
    std::swap(sharedKeychainInstance, keychain);
    lock.unlock();
    keychain.reset();
}

std::shared_ptr<VKKeychain> VKKeychain::create(std::shared_ptr<sec::KeychainStore> store, std::string identityPath)
{
    return std::shared_ptr<VKKeychain>(new VKKeychain(std::move(store), std::move(identityPath)));
}

VKKeychain::VKKeychain(std::shared_ptr<sec::KeychainStore> store, std::string identityPath)
    : m_store(std::move(store))
    , m_identityPath(std::move(identityPath))
{
}

void VKKeychain::postChange()
{
    core::NotificationCenter::defaultCenter().post(VKKeychainDidChangeNotification, shared_from_this());
}

std::optional<std::string> VKKeychain::passwordForUser(std::string_view user, std::string_view service)
{
    std::lock_guard lock(m_mutex);
    const std::string key = core::caseFolded(user);
    if (auto cached = m_cache.find(key); cached != m_cache.end())
        return cached->second;
    auto query = passwordQuery(user, service);
    query.returnData = true;
    std::vector<sec::KeychainItem> found;
    if (m_store->copyMatching(query, found) != KeychainStore::Success || found.empty())
        return std::nullopt;
    std::string text(found.front().data.view());
    if (!core::isValidUTF8(text))
        return std::nullopt;
    m_cache.emplace(key, text);
    return text;
}

bool VKKeychain::storePassword(std::optional<std::string_view> password, std::string_view user,
    std::string_view service)
{
    m_cache.erase(core::caseFolded(user));
    auto query = passwordQuery(user, service);
    query.returnAttributes = true;
    std::vector<sec::KeychainItem> found;
    const KeychainStore::Status search = m_store->copyMatching(query, found);
    if (search != KeychainStore::Success && search != KeychainStore::ItemNotFound) {
        // The item may well be there: a failed search is a failed change.
        core::log("Warning, SecItemCopyMatching failed: {}", search);
        return false;
    }
    if (search == KeychainStore::Success && !found.empty()) {
        const auto exact = itemQuery(found.front().attributes);
        if (password) {
            sec::KeychainChanges changes;
            changes.data = core::Data(*password);
            if (KeychainStore::Status status = m_store->update(exact, changes); status != KeychainStore::Success) {
                core::log("Warning, SecItemUpdate failed: {}", status);
                return false;
            }
        } else if (KeychainStore::Status status = m_store->remove(exact); status != KeychainStore::Success) {
            core::log("Warning, SecItemDelete failed: {}", status);
            return false;
        }
        return true;
    }
    if (!password)
        return true;
    sec::KeychainItem item;
    item.itemClass = sec::KeychainItemClass::GenericPassword;
    item.attributes = core::Value::makeDictionary({
        { sec::KeychainAttribute::Account, core::Value(user) },
        { sec::KeychainAttribute::Service, core::Value(service) },
    });
    item.data = core::Data(*password);
    if (KeychainStore::Status status = m_store->add(item); status != KeychainStore::Success) {
        core::log("Warning, SecItemAdd failed: {}", status);
        return false;
    }
    return true;
}

bool VKKeychain::setPassword(std::optional<std::string_view> password, std::string_view user, std::string_view service)
{
    bool stored;
    bool removed = false;
    {
        std::lock_guard lock(m_mutex);
        stored = storePassword(password, user, service);
        if (!stored) {
            core::log("Warning, setPassword failed for service: {}", service);
            removed = removePasswords(service) == KeychainStore::Success;
        }
    }
    const bool asked = password && !password->empty();
    if (asked || stored)
        recordPasswordSet(service, asked);
    // A failed change still tells those who keep the old password that it
    // is gone.
    if (stored || removed)
        postChange();
    return stored;
}

int32_t VKKeychain::removePasswords(std::string_view service)
{
    m_cache.clear();
    sec::KeychainQuery query;
    query.itemClass = sec::KeychainItemClass::GenericPassword;
    query.attributes = core::Value::makeDictionary({ { sec::KeychainAttribute::Service, core::Value(service) } });
    const KeychainStore::Status status = m_store->remove(query);
    if (status != KeychainStore::Success)
        core::log("Warning, SecItemDelete failed: {}", status);
    return status;
}

bool VKKeychain::removeAllPasswordsForService(std::string_view service)
{
    KeychainStore::Status status;
    {
        std::lock_guard lock(m_mutex);
        status = removePasswords(service);
    }
    // None to remove is none there: the password is off all the same.
    if (status == KeychainStore::Success || status == KeychainStore::ItemNotFound)
        recordPasswordSet(service, false);
    if (status != KeychainStore::Success)
        return false;
    postChange();
    return true;
}

bool VKKeychain::wasLoginPasswordSet()
{
    return core::UserDefaults::standard()->boolForKey(VKLoginPasswordSetKey);
}

bool VKKeychain::wasPasscodeSet()
{
    return core::UserDefaults::standard()->boolForKey(VKPasscodeLockSetKey);
}

std::shared_ptr<const sec::Pkcs12Identity> VKKeychain::sslIdentityAndCertificates()
{
    std::lock_guard lock(m_identityMutex);
    if (m_identity)
        return m_identity;
    core::Error error;
    if (!core::fs::exists(m_identityPath) && !sec::SelfSignedIdentity::writeFile(m_identityPath, IdentityPassphrase, &error)) {
        core::log("Warning, unable to make the server identity: {}", error.description());
        return nullptr;
    }
    core::Data bytes;
    if (!core::fs::readFile(m_identityPath, bytes, &error)) {
        core::log("Warning, unable to read the server identity: {}", error.description());
        return nullptr;
    }
    m_identity = sec::Pkcs12Identity::load(bytes, IdentityPassphrase, &error);
    if (!m_identity)
        core::log("Warning, unable to import the server identity: {}", error.description());
    return m_identity;
}
