// The credential store's keychain items: internet passwords named by the
// credential, under the hosts of the store's URLs, with the type 'oaut'.
//
// Every query names all of the item's known attributes, the account and the
// type always among them, so that a removal can never reach past this
// store's own items (a query of the class alone would match every internet
// password in the keychain).

#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"

#include "Shell/VKKeychain.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/UTF8.h"
#include "Platform/Security/KeychainStore.h"

#include <fmt/format.h>

namespace {

using Status = sec::KeychainStore::Status;

[[noreturn]] void raiseNotAvailable()
{
    throw core::Exception("Keychain Not Available", "Keychain Access Not Currently Available");
}

} // namespace

std::shared_ptr<sec::KeychainStore> MPOAuthCredentialConcreteStore::keychain() const
{
    if (m_keychain)
        return m_keychain;
    return VKKeychain::sharedKeychain()->store();
}

core::Value MPOAuthCredentialConcreteStore::keychainAttributes(const std::string& name) const
{
    core::Value attributes = core::Value::makeDictionary();
    auto& entries = attributes.mutableDictionary();
    if (m_authenticationURL && !m_authenticationURL->host().empty())
        entries[sec::KeychainAttribute::SecurityDomain] = m_authenticationURL->host();
    if (m_baseURL && !m_baseURL->host().empty())
        entries[sec::KeychainAttribute::Server] = m_baseURL->host();
    entries[sec::KeychainAttribute::Account] = name;
    entries[sec::KeychainAttribute::AuthenticationType] = sec::KeychainAuthenticationDefault;
    entries[sec::KeychainAttribute::Type] = KeychainItemType;
    return attributes;
}

void MPOAuthCredentialConcreteStore::addToKeychainUsingName(const std::string& name, std::string_view value)
{
    auto store = keychain();
    if (!store)
        raiseNotAvailable();
    core::Value attributes = keychainAttributes(name);
    if (!findValueFromKeychainUsingName(name)) {
        sec::KeychainItem item;
        item.itemClass = sec::KeychainItemClass::InternetPassword;
        item.attributes = attributes;
        item.data = core::Data(value);
        Status status = store->add(item);
        if (status == sec::KeychainStore::DuplicateItem)
            throw core::Exception("Keychain duplicate item exception", fmt::format("Item already exists for {}", name));
        if (status == sec::KeychainStore::NotAvailable)
            raiseNotAvailable();
        return;
    }
    sec::KeychainQuery query;
    query.itemClass = sec::KeychainItemClass::InternetPassword;
    query.attributes = attributes;
    sec::KeychainChanges changes;
    changes.attributes = attributes;
    changes.data = core::Data(value);
    // The item was just found; a failed update leaves the old value, which
    // the next lookup still answers.
    (void)store->update(query, changes);
}

std::optional<std::string> MPOAuthCredentialConcreteStore::findValueFromKeychainUsingName(const std::string& name)
{
    return findValueFromKeychainUsingName(name, nullptr);
}

std::optional<std::string> MPOAuthCredentialConcreteStore::findValueFromKeychainUsingName(const std::string& name,
    sec::KeychainItem* item)
{
    auto store = keychain();
    if (!store)
        return std::nullopt;
    sec::KeychainQuery query;
    query.itemClass = sec::KeychainItemClass::InternetPassword;
    query.attributes = keychainAttributes(name);
    query.returnData = true;
    query.returnAttributes = true;
    query.returnReference = true;
    std::vector<sec::KeychainItem> found;
    if (store->copyMatching(query, found) != sec::KeychainStore::Success || found.empty())
        return std::nullopt;
    if (!core::utf8::isValid(found.front().data.view()))
        return std::nullopt;
    if (item)
        *item = found.front();
    return found.front().data.toString();
}

void MPOAuthCredentialConcreteStore::removeValueFromKeychainUsingName(const std::string& name)
{
    auto store = keychain();
    if (!store)
        raiseNotAvailable();
    sec::KeychainQuery query;
    query.itemClass = sec::KeychainItemClass::InternetPassword;
    query.attributes = keychainAttributes(name);
    switch (store->remove(query)) {
    case sec::KeychainStore::BadParameter:
        throw core::Exception("Keychain parameter error",
            fmt::format("One or more parameters passed to the function were not valid from {}", query.attributes.description()));
    case sec::KeychainStore::AllocationFailed:
        throw core::Exception("Keychain memory error", "Failed to allocate memory");
    case sec::KeychainStore::NotAvailable:
        raiseNotAvailable();
    default:
        // Nothing to remove, or a failure the caller cannot mend.
        break;
    }
}
