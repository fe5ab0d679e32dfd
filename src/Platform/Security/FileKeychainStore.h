#pragma once

// The program's keychain: one encrypted file in a folder of the home
// (Library/Keychain, mode 0700), so the home stays self-contained and an
// answer never waits on a desktop service or an unlock prompt.
//
// "Tandry.keychain" is "TKC1", a 12-byte nonce drawn afresh for every
// write, the items' binary property list sealed with AES-256-GCM (the magic
// authenticated with it) and the 16-byte tag. The 32-byte random key is
// "Tandry.key" beside it (0600). The modes keep other accounts out; the
// cipher keeps a copy of the file alone (a stray backup) unreadable and
// tells damage from data.
//
// Every change re-reads the file under an exclusive flock on the folder,
// applies itself and writes a new file through a temporary file and a
// rename; every read looks at the file's nonce and re-reads it when another
// store (another process on the same home) wrote since. A file that cannot
// be decrypted, authenticated or parsed (a flipped byte, a missing or
// foreign key, more than 4 MiB) is moved aside as "<name>.corrupt" with one
// log line, and the store starts empty: nothing is overwritten silently.

#include "Platform/Security/KeychainItemList.h"

#include <array>
#include <mutex>
#include <optional>
#include <string>

namespace sec {

class FileKeychainStore : public KeychainStore {
public:
    static constexpr const char* FileName = "Tandry.keychain";
    static constexpr const char* KeyFileName = "Tandry.key";
    static constexpr size_t MaximumFileLength = size_t(4) << 20;
    static constexpr size_t KeyLength = 32;
    static constexpr size_t NonceLength = 12;
    static constexpr size_t TagLength = 16;

    // The store kept in `folder`, which (with the key) is made on the first
    // change. An empty folder names no store: every call is NotAvailable.
    explicit FileKeychainStore(std::string folder);

    Status add(const KeychainItem& item, KeychainItem* stored = nullptr) override;
    Status update(const KeychainQuery& query, const KeychainChanges& changes) override;
    Status remove(const KeychainQuery& query) override;
    Status copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& results) override;

    const std::string& folder() const { return m_folder; }
    std::string path() const;
    std::string keyPath() const;

private:
    using Nonce = std::array<unsigned char, NonceLength>;
    enum class Refresh { Done, Failed, Corrupt };

    template<typename Work> Status read(Work&& work);
    template<typename Work> Status change(Work&& work);
    // Brings m_items up to the file on disk. With `repair`, a corrupt file
    // is moved aside and the store starts empty (the caller holds the
    // exclusive lock).
    Refresh refresh(bool repair);
    void moveAside(const std::string& reason);
    void forget();
    Status write(const KeychainItemList& items);

    std::string m_folder;
    std::mutex m_mutex;
    KeychainItemList m_items;
    // The nonce of the file m_items came from; none when it came from no file.
    std::optional<Nonce> m_nonce;
    std::string m_corruptReason;
};

} // namespace sec
