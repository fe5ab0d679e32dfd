#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Object.h"

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

// Named values (text, data, unsigned integers) in one B+ tree database file.
// There is at most one live store per path in the process, so every user of
// a file shares its open handle; the handle is safe across threads (the
// store's lock serialises every call into the database, and a transaction
// begun on one thread makes another thread's wait until it ends).
//
// Record layout: the key is one 0x00 byte followed by the name's UTF-8 bytes;
// an unsigned integer is stored in 8 bytes (32 bits little-endian, then four
// zero bytes). Subclasses keep records of their own, without the leading
// zero, in the same tree through the protected record interface.
class VKKeyValueStore : public core::Object {
public:
    static constexpr uint32_t NotFound = 0x7FFFFFFF;

    // The live store for the path, opened when there is none. The caller
    // keeps it as long as it uses it; the map alone does not.
    static std::shared_ptr<VKKeyValueStore> storeForPath(const std::string& path);

    ~VKKeyValueStore() override;

    const std::string& path() const { return m_path; }

    void setText(std::string_view text, std::string_view key);
    // Nothing when the key is missing or the value is not UTF-8.
    std::optional<std::string> textForKey(std::string_view key) const;
    void setUnsignedInteger(uint32_t value, std::string_view key);
    // The fallback when the key is missing or its value is shorter than 4 bytes.
    uint32_t unsignedIntegerForKey(std::string_view key, uint32_t fallback) const;
    // The value's size in bytes, NotFound when the key is missing.
    uint32_t dataLengthForKey(std::string_view key) const;
    void setData(const core::Data& data, std::string_view key);
    void setData(std::string_view bytes, std::string_view key);
    std::optional<core::Data> dataForKey(std::string_view key) const;

    // The database found its file broken (a bad record header, bad meta
    // data, a short read) in a read or write since it opened or was last
    // emptied; what it answers may be incomplete and writes may fail.
    bool isDamaged() const { return m_damaged; }

protected:
    // Opens (creating) the database; a store that cannot open it logs why
    // and answers every read with "missing".
    explicit VKKeyValueStore(const std::string& path);

    // The live store for the path, or a new one made by `make` (a subclass
    // passes its own constructor). A store of another class found for the
    // path is answered as it is.
    static std::shared_ptr<VKKeyValueStore> storeForPath(const std::string& path,
        const std::function<VKKeyValueStore*(const std::string&)>& make);

    // Called once, before the database closes, with the store still whole.
    // It runs while the store map is locked: it must not ask for stores.
    virtual void storeWillClose() { }

    bool isOpen() const { return m_open; }
    // The raw record key of a named value.
    static std::string keyForName(std::string_view name);

    // Records under raw keys.
    bool putRecord(std::string_view key, std::string_view value);
    // Stores only when the key is not there yet.
    bool putRecordIfAbsent(std::string_view key, std::string_view value);
    bool removeRecord(std::string_view key);
    // Empties the file (a cache made anew).
    bool removeAllRecords();
    std::optional<std::string> recordForKey(std::string_view key) const;
    bool beginTransaction();
    bool commitTransaction();
    bool abortTransaction();
    // Writes what the tree holds in memory to the file.
    bool sync();
    // The library's message for the last failure.
    std::string lastErrorMessage() const;

    // Walks the records in key order. It keeps its store alive.
    class Cursor {
    public:
        explicit Cursor(std::shared_ptr<VKKeyValueStore> store);
        ~Cursor();
        Cursor(const Cursor&) = delete;
        Cursor& operator=(const Cursor&) = delete;

        bool first();
        // To the first record whose key is not less than `key`.
        bool jump(std::string_view key);
        std::optional<std::string> key() const;
        std::optional<std::string> value() const;
        bool next();
        // Removes the current record and moves to the next one.
        bool remove();

    private:
        std::shared_ptr<VKKeyValueStore> m_store;
        void* m_cursor = nullptr;
    };

private:
    void retire();

    // Keeps the result, noting damage when the database failed for it;
    // called under the lock, right after the call.
    bool noted(bool succeeded) const;
    // The database call under the lock, its failure noted.
    template<typename Call>
    bool locked(Call call) const;
    // Commits or aborts the open transaction and lets a waiting one begin.
    bool endTransaction(bool commit);

    std::string m_path;
    void* m_db = nullptr;
    bool m_open = false;
    mutable std::atomic<bool> m_damaged { false };
    mutable std::mutex m_mutex;
    std::condition_variable m_transactionEnded;
    bool m_transaction = false;
    std::thread::id m_transactionThread;
};
