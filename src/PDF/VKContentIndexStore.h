#pragma once

// An inverted word index in the key-value store's file: each word of an
// identified text (a page) is one key, the word composed (NFC) and
// lower-cased and a blank in UTF-8, a 0x00, then the identifier in 8 bytes
// big-endian, with an empty value. Bytewise key order keeps the keys of one word, and of every word
// sharing a beginning, in one run, so a lookup is one jump and a walk.
// Optional inverse keys (0x00, the identifier, the word) let an
// identifier's words be removed; they sort before every word key and are
// never found by a lookup, nor are the store's named entries.
//
// Adds and removes are one transaction and one sync each, unless a batch is
// open: then they join its transaction, and the batch's commit syncs once
// for all of them. Lookups read without one. The database's own lock
// serialises single calls, so an indexing thread may add while a search
// thread looks up.

#include "Kit/VKKeyValueStore.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

class VKContentIndexStore : public VKKeyValueStore {
public:
    // How the pages of several words are combined.
    enum class Combination { Intersect, Union };

    // The live index for the path. A file the database cannot open is a
    // damaged cache: it is deleted and made anew. Nothing when the path is
    // held by a store of another class.
    static std::shared_ptr<VKContentIndexStore> storeForPath(const std::string& path);

    // The distinct tokens of a text: each word (letters required) composed
    // and lower-cased, a closing quote as an apostrophe, as search strings
    // are, with one blank appended, UTF-8.
    static std::set<std::string> tokensForText(std::u16string_view text);
    static std::set<std::string> tokensForText(std::string_view text);

    // True once the keys are committed and synced; false, with nothing
    // written, when the transaction cannot begin or commit. Keys already
    // there stay as they are.
    bool addTokens(const std::set<std::string>& tokens, uint64_t identifier, bool withInverses);
    // Removes the word and inverse keys of an identifier added with inverses;
    // one without inverses has nothing to remove and answers true.
    bool removeTokensForIdentifier(uint64_t identifier);
    // Opens a batch on the calling thread: every write until commitBatch()
    // is one transaction. False when the transaction cannot begin (writes
    // then go one by one, as without a batch).
    bool beginBatch();
    // Commits and syncs the batch; false (nothing of it kept) when that
    // fails.
    bool commitBatch();
    bool isInBatch() const { return m_inBatch; }

    // The identifiers of every word that begins with `token` (a token with
    // its blank finds that word alone). Damaged keys are logged and skipped.
    std::set<uint64_t> identifiersForToken(std::string_view token) const;
    // The identifiers holding the words of what the user typed: earlier
    // words whole, the last one as a beginning unless a blank follows it.
    // Nothing when the string has no word.
    std::optional<std::set<uint64_t>> identifiersForSearchString(std::string_view searchString,
        Combination combination) const;

protected:
    explicit VKContentIndexStore(const std::string& path);

    // The live store of class T for the path (opened with `new T(path)`,
    // rebuilt when damaged), or nothing when another class holds the path.
    template<typename T>
    static std::shared_ptr<T> typedStoreForPath(const std::string& path)
    {
        return std::dynamic_pointer_cast<T>(VKKeyValueStore::storeForPath(path, [](const std::string& path) {
            return rebuildingIfDamaged(path, [](const std::string& path) { return new T(path); });
        }));
    }

    // Composed and lower-cased, a closing quote as an apostrophe: the form
    // words take in the index.
    static std::string lowercaseString(std::string_view text);

private:
    std::atomic<bool> m_inBatch { false };

    static VKKeyValueStore* rebuildingIfDamaged(const std::string& path,
        const std::function<VKContentIndexStore*(const std::string&)>& make);
};
