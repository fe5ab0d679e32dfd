#include "Platform/Security/FileKeychainStore.h"

#include "Platform/Core/DamagedFile.h"
#include "Platform/Core/Descriptor.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PropertyList.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace sec {

namespace {

constexpr std::string_view Magic = "TKC1";
constexpr size_t HeaderLength = 4 + FileKeychainStore::NonceLength;

using core::Descriptor;

// Text that holds a secret: wiped before its memory goes back.
struct SecretText {
    std::string text;
    ~SecretText()
    {
        if (!text.empty())
            OPENSSL_cleanse(text.data(), text.size());
    }
};

bool readFully(int fd, std::string& into, size_t length)
{
    into.resize(length);
    size_t done = 0;
    while (done < length) {
        ssize_t got = pread(fd, into.data() + done, length - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// The folder's advisory lock, shared or exclusive, for the life of the object.
class FolderLock {
public:
    bool acquire(const std::string& folder, int operation)
    {
        m_fd.reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (m_fd.get() < 0)
            return false;
        int result;
        do
            result = flock(m_fd.get(), operation);
        while (result != 0 && errno == EINTR);
        return result == 0;
    }
    void release() { m_fd.reset(); }

private:
    Descriptor m_fd;
};

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// "TKC1" nonce ciphertext tag, the magic authenticated with the text.
std::optional<std::string> seal(std::string_view plain, const std::string& key)
{
    std::string sealed(HeaderLength + plain.size() + FileKeychainStore::TagLength, '\0');
    auto* out = reinterpret_cast<unsigned char*>(sealed.data());
    std::memcpy(out, Magic.data(), Magic.size());
    unsigned char* nonce = out + Magic.size();
    if (RAND_bytes(nonce, int(FileKeychainStore::NonceLength)) != 1)
        return std::nullopt;
    CipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int length = 0;
    unsigned char* text = out + HeaderLength;
    bool sealedWell = context && EVP_EncryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1
        && EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, int(FileKeychainStore::NonceLength), nullptr) == 1
        && EVP_EncryptInit_ex(context.get(), nullptr, nullptr, reinterpret_cast<const unsigned char*>(key.data()), nonce) == 1
        && EVP_EncryptUpdate(context.get(), nullptr, &length, out, int(Magic.size())) == 1
        && EVP_EncryptUpdate(context.get(), text, &length, reinterpret_cast<const unsigned char*>(plain.data()),
               int(plain.size())) == 1
        && EVP_EncryptFinal_ex(context.get(), text + length, &length) == 1
        && EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, int(FileKeychainStore::TagLength),
               text + plain.size()) == 1;
    if (!sealedWell)
        return std::nullopt;
    return sealed;
}

// The text sealed in `file`; nothing when the key does not open it or the
// bytes were changed.
bool unseal(std::string_view file, const std::string& key, SecretText& plain)
{
    if (file.size() < HeaderLength + FileKeychainStore::TagLength)
        return false;
    const auto* in = reinterpret_cast<const unsigned char*>(file.data());
    const size_t textLength = file.size() - HeaderLength - FileKeychainStore::TagLength;
    plain.text.assign(textLength, '\0');
    auto* out = reinterpret_cast<unsigned char*>(plain.text.data());
    CipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int length = 0;
    // The tag is only read by the cipher; the interface takes it writable.
    unsigned char tag[FileKeychainStore::TagLength];
    std::memcpy(tag, in + HeaderLength + textLength, sizeof tag);
    return context && EVP_DecryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1
        && EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, int(FileKeychainStore::NonceLength), nullptr) == 1
        && EVP_DecryptInit_ex(context.get(), nullptr, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
               in + Magic.size()) == 1
        && EVP_DecryptUpdate(context.get(), nullptr, &length, in, int(Magic.size())) == 1
        && EVP_DecryptUpdate(context.get(), out, &length, in + HeaderLength, int(textLength)) == 1
        && EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, int(sizeof tag), tag) == 1
        && EVP_DecryptFinal_ex(context.get(), out + length, &length) == 1;
}

enum class KeyState { Read, Missing, Unusable, Failed };

KeyState readKey(const std::string& path, SecretText& key)
{
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return errno == ENOENT ? KeyState::Missing : KeyState::Failed;
    struct stat info;
    if (fstat(fd.get(), &info) != 0)
        return KeyState::Failed;
    if (!S_ISREG(info.st_mode) || static_cast<size_t>(info.st_size) != FileKeychainStore::KeyLength)
        return KeyState::Unusable;
    return readFully(fd.get(), key.text, FileKeychainStore::KeyLength) ? KeyState::Read : KeyState::Failed;
}

} // namespace

FileKeychainStore::FileKeychainStore(std::string folder)
    : m_folder(std::move(folder))
{
}

std::string FileKeychainStore::path() const
{
    return core::path::appendingPathComponent(m_folder, FileName);
}

std::string FileKeychainStore::keyPath() const
{
    return core::path::appendingPathComponent(m_folder, KeyFileName);
}

void FileKeychainStore::forget()
{
    m_items = KeychainItemList();
    m_nonce.reset();
}

void FileKeychainStore::moveAside(const std::string& reason)
{
    const std::string file = path();
    if (auto target = core::fs::moveAsideAsDamaged(file))
        core::log("Warning, the keychain {} {}; moved aside as {}, starting empty", file, reason,
            core::path::lastPathComponent(*target));
    else
        core::log("Warning, the keychain {} {} and could not be moved aside: {}", file, reason, std::strerror(errno));
    forget();
}

FileKeychainStore::Refresh FileKeychainStore::refresh(bool repair)
{
    auto corrupt = [&](const char* reason) {
        if (!repair)
            return Refresh::Corrupt;
        moveAside(reason);
        return Refresh::Done;
    };
    Descriptor fd(::open(path().c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno != ENOENT)
            return Refresh::Failed;
        forget();
        return Refresh::Done;
    }
    struct stat info;
    if (fstat(fd.get(), &info) != 0)
        return Refresh::Failed;
    const auto size = static_cast<uint64_t>(info.st_size);
    if (size > MaximumFileLength)
        return corrupt("is larger than 4 MiB");
    if (size < HeaderLength + TagLength)
        return corrupt("is too short");
    std::string header;
    if (!readFully(fd.get(), header, HeaderLength))
        return Refresh::Failed;
    if (!header.starts_with(Magic))
        return corrupt("is not a keychain file");
    Nonce nonce;
    std::memcpy(nonce.data(), header.data() + Magic.size(), NonceLength);
    if (m_nonce == nonce)
        return Refresh::Done;

    std::string file;
    if (!readFully(fd.get(), file, size))
        return Refresh::Failed;
    SecretText key;
    switch (readKey(keyPath(), key)) {
    case KeyState::Read:
        break;
    case KeyState::Missing:
        return corrupt("has no key beside it");
    case KeyState::Unusable:
        return corrupt("has a key that is not one");
    case KeyState::Failed:
        return Refresh::Failed;
    }
    SecretText plain;
    if (!unseal(file, key.text, plain))
        return corrupt("does not open with its key (damaged, or another key)");
    auto list = KeychainItemList::fromPropertyList(core::PropertyList::read(plain.text));
    if (!list)
        return corrupt("does not hold a list of items");
    m_items = std::move(*list);
    m_nonce = nonce;
    return Refresh::Done;
}

template<typename Work> KeychainStore::Status FileKeychainStore::read(Work&& work)
{
    std::lock_guard lock(m_mutex);
    if (m_folder.empty())
        return NotAvailable;
    if (!core::fs::isDirectory(m_folder)) {
        forget();
        return work(static_cast<const KeychainItemList&>(m_items));
    }
    FolderLock folderLock;
    if (!folderLock.acquire(m_folder, LOCK_SH))
        return IOError;
    Refresh state = refresh(false);
    if (state == Refresh::Corrupt) {
        // Moving the file aside needs the lock to ourselves; another store
        // may have mended it meanwhile.
        folderLock.release();
        if (!folderLock.acquire(m_folder, LOCK_EX))
            return IOError;
        state = refresh(true);
    }
    if (state != Refresh::Done)
        return IOError;
    return work(static_cast<const KeychainItemList&>(m_items));
}

template<typename Work> KeychainStore::Status FileKeychainStore::change(Work&& work)
{
    std::lock_guard lock(m_mutex);
    if (m_folder.empty())
        return NotAvailable;
    if (!core::fs::createDirectory(m_folder, true, nullptr, 0700))
        return IOError;
    // A folder made by hand with a looser mode is closed to others first.
    struct stat folder;
    if (stat(m_folder.c_str(), &folder) == 0 && (folder.st_mode & 077) != 0)
        chmod(m_folder.c_str(), 0700);
    FolderLock folderLock;
    if (!folderLock.acquire(m_folder, LOCK_EX))
        return IOError;
    if (refresh(true) != Refresh::Done)
        return IOError;
    KeychainItemList items = m_items;
    if (Status status = work(items); status != Success)
        return status;
    return write(items);
}

KeychainStore::Status FileKeychainStore::write(const KeychainItemList& items)
{
    SecretText key;
    switch (readKey(keyPath(), key)) {
    case KeyState::Read:
        break;
    case KeyState::Unusable:
        if (auto target = core::fs::moveAsideAsDamaged(keyPath()))
            core::log("Warning, the keychain key {} is not one; moved aside as {}", keyPath(), *target);
        else
            return IOError;
        [[fallthrough]];
    case KeyState::Missing: {
        key.text.assign(KeyLength, '\0');
        if (RAND_bytes(reinterpret_cast<unsigned char*>(key.text.data()), int(KeyLength)) != 1)
            return IOError;
        if (!core::fs::writeFileAtomically(keyPath(), key.text, nullptr, 0600))
            return IOError;
        break;
    }
    case KeyState::Failed:
        return IOError;
    }
    auto encoded = core::PropertyList::write(items.propertyList(), core::PropertyList::Format::Binary);
    if (!encoded)
        return IOError;
    SecretText plain { std::move(*encoded) };
    if (plain.text.size() + HeaderLength + TagLength > MaximumFileLength)
        return AllocationFailed;
    auto sealed = seal(plain.text, key.text);
    if (!sealed)
        return IOError;
    if (!core::fs::writeFileAtomically(path(), *sealed, nullptr, 0600))
        return IOError;
    m_items = items;
    Nonce nonce;
    std::memcpy(nonce.data(), sealed->data() + Magic.size(), NonceLength);
    m_nonce = nonce;
    return Success;
}

KeychainStore::Status FileKeychainStore::add(const KeychainItem& item, KeychainItem* stored)
{
    return change([&](KeychainItemList& items) { return items.add(item, stored); });
}

KeychainStore::Status FileKeychainStore::update(const KeychainQuery& query, const KeychainChanges& changes)
{
    return change([&](KeychainItemList& items) { return items.update(query, changes); });
}

KeychainStore::Status FileKeychainStore::remove(const KeychainQuery& query)
{
    return change([&](KeychainItemList& items) { return items.remove(query); });
}

KeychainStore::Status FileKeychainStore::copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& results)
{
    return read([&](const KeychainItemList& items) { return items.copyMatching(query, results); });
}

} // namespace sec
