#include "Kit/VKKeyValueStore.h"

#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/Log.h"

#include <climits>
#include <condition_variable>
#include <mutex>
#include <tcbdb.h>
#include <thread>
#include <tcutil.h>
#include <unordered_map>

namespace {

// The live stores by path. Entries do not keep their store alive. A store
// leaves the map and closes its database under the lock, and a store being
// torn down is waited for: the library refuses a second open of a file that
// is still open in the process, so a new store for the same path must only
// open after the old handle has closed.
struct StoreMap {
    struct Entry {
        std::weak_ptr<VKKeyValueStore> store;
        const VKKeyValueStore* object;
    };
    std::mutex mutex;
    std::condition_variable closed;
    std::unordered_map<std::string, Entry> entries;
};

StoreMap& storeMap()
{
    // Never destroyed: stores may still be released while the process exits.
    static auto* map = new StoreMap;
    return *map;
}

TCBDB* database(void* db)
{
    return static_cast<TCBDB*>(db);
}

// The most records in one page of the tree a file may name.
constexpr uint32_t MaximumPageMembers = 65536;

// Lengths the library takes as int.
bool fits(std::string_view bytes)
{
    return bytes.size() <= static_cast<size_t>(INT_MAX);
}

std::optional<std::string> takeBuffer(void* buffer, int size)
{
    if (!buffer)
        return std::nullopt;
    std::string bytes(static_cast<const char*>(buffer), static_cast<size_t>(size));
    tcfree(buffer);
    return bytes;
}

} // namespace

std::shared_ptr<VKKeyValueStore> VKKeyValueStore::storeForPath(const std::string& path)
{
    return storeForPath(path, [](const std::string& path) { return new VKKeyValueStore(path); });
}

std::shared_ptr<VKKeyValueStore> VKKeyValueStore::storeForPath(const std::string& path,
    const std::function<VKKeyValueStore*(const std::string&)>& make)
{
    auto& map = storeMap();
    std::unique_lock lock(map.mutex);
    for (;;) {
        auto entry = map.entries.find(path);
        if (entry == map.entries.end())
            break;
        if (auto store = entry->second.store.lock())
            return store;
        // Its last owner let go and it is on its way out: wait until it has
        // closed its database and left the map.
        map.closed.wait(lock);
    }
    std::shared_ptr<VKKeyValueStore> store(make(path), [](VKKeyValueStore* store) {
        store->retire();
        delete store;
    });
    map.entries[path] = { store, store.get() };
    return store;
}

VKKeyValueStore::VKKeyValueStore(const std::string& path)
    : m_path(path)
{
    // No library lock: its threaded mode gives up the processor after
    // every call (hundreds of times for one page's words); the store's own
    // lock serialises the calls instead.
    TCBDB* db = tcbdbnew();
    m_db = db;
    m_open = tcbdbopen(db, path.c_str(), BDBOREADER | BDBOWRITER | BDBOCREAT);
    if (!m_open) {
        core::log("{} {}", "-[VKKeyValueStore initWithPath:]",
            fmt::format("Cannot open database {} ({})", path, tcbdberrmsg(tcbdbecode(db))));
        return;
    }
    // The library sizes every page it makes by the counts in the file's
    // header: a changed header would have it ask for gigabytes. Files are
    // made with 128 and 256.
    const auto sane = [](uint32_t members) { return members >= 4 && members <= MaximumPageMembers; };
    if (!sane(tcbdblmemb(db)) || !sane(tcbdbnmemb(db))) {
        core::log("{} {}", "-[VKKeyValueStore initWithPath:]",
            fmt::format("Cannot open database {} (page sizes {} and {})", path, tcbdblmemb(db), tcbdbnmemb(db)));
        tcbdbclose(db);
        m_open = false;
    }
}

void VKKeyValueStore::retire()
{
    auto& map = storeMap();
    std::lock_guard lock(map.mutex);
    auto entry = map.entries.find(m_path);
    if (entry != map.entries.end() && entry->second.object == this)
        map.entries.erase(entry);
    storeWillClose();
    {
        std::lock_guard calls(m_mutex);
        if (m_open) {
            tcbdbclose(database(m_db));
            m_open = false;
        }
    }
    map.closed.notify_all();
}

VKKeyValueStore::~VKKeyValueStore()
{
    if (m_open)
        tcbdbclose(database(m_db));
    tcbdbdel(database(m_db));
}

std::string VKKeyValueStore::keyForName(std::string_view name)
{
    std::string key;
    key.reserve(name.size() + 1);
    key += '\0';
    key += name;
    return key;
}

void VKKeyValueStore::setText(std::string_view text, std::string_view key)
{
    setData(text, key);
}

std::optional<std::string> VKKeyValueStore::textForKey(std::string_view key) const
{
    auto value = recordForKey(keyForName(key));
    if (!value || !core::isValidUTF8(*value))
        return std::nullopt;
    return value;
}

void VKKeyValueStore::setUnsignedInteger(uint32_t value, std::string_view key)
{
    char bytes[8] = {};
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    setData(std::string_view(bytes, sizeof bytes), key);
}

uint32_t VKKeyValueStore::unsignedIntegerForKey(std::string_view key, uint32_t fallback) const
{
    auto value = recordForKey(keyForName(key));
    if (!value || value->size() < 4)
        return fallback;
    uint32_t result = 0;
    for (int i = 3; i >= 0; --i)
        result = (result << 8) | static_cast<unsigned char>((*value)[static_cast<size_t>(i)]);
    return result;
}

uint32_t VKKeyValueStore::dataLengthForKey(std::string_view key) const
{
    std::string raw = keyForName(key);
    if (!m_open || !fits(raw))
        return NotFound;
    std::lock_guard lock(m_mutex);
    int size = tcbdbvsiz(database(m_db), raw.data(), static_cast<int>(raw.size()));
    return size < 0 ? NotFound : static_cast<uint32_t>(size);
}

void VKKeyValueStore::setData(const core::Data& data, std::string_view key)
{
    setData(data.view(), key);
}

void VKKeyValueStore::setData(std::string_view bytes, std::string_view key)
{
    if (!putRecord(keyForName(key), bytes))
        core::log("{} {}", "-[VKKeyValueStore setData:forKey:]", fmt::format("Unable to store data for key {}", key));
}

std::optional<core::Data> VKKeyValueStore::dataForKey(std::string_view key) const
{
    auto value = recordForKey(keyForName(key));
    if (!value)
        return std::nullopt;
    return core::Data(std::move(*value));
}

// Tokyo Cabinet aborts on a null pointer even for an empty region.
static const char* nonNull(std::string_view bytes)
{
    return bytes.data() ? bytes.data() : "";
}

bool VKKeyValueStore::noted(bool succeeded) const
{
    if (!succeeded) {
        switch (tcbdbecode(database(m_db))) {
        case TCEMETA:
        case TCERHEAD:
        case TCEREAD:
        case TCEMISC:
            m_damaged = true;
            break;
        default:
            break;
        }
    }
    return succeeded;
}

template<typename Call>
bool VKKeyValueStore::locked(Call call) const
{
    std::lock_guard lock(m_mutex);
    return noted(call());
}

bool VKKeyValueStore::putRecord(std::string_view key, std::string_view value)
{
    return m_open && fits(key) && fits(value) && locked([&] {
        return tcbdbput(database(m_db), nonNull(key), static_cast<int>(key.size()), nonNull(value),
            static_cast<int>(value.size()));
    });
}

bool VKKeyValueStore::putRecordIfAbsent(std::string_view key, std::string_view value)
{
    return m_open && fits(key) && fits(value) && locked([&] {
        return tcbdbputkeep(database(m_db), nonNull(key), static_cast<int>(key.size()), nonNull(value),
            static_cast<int>(value.size()));
    });
}

bool VKKeyValueStore::removeRecord(std::string_view key)
{
    return m_open && fits(key)
        && locked([&] { return tcbdbout(database(m_db), nonNull(key), static_cast<int>(key.size())); });
}

std::optional<std::string> VKKeyValueStore::recordForKey(std::string_view key) const
{
    if (!m_open || !fits(key))
        return std::nullopt;
    // A copy made under the database's lock: a write on another thread
    // cannot change it while it is read.
    int size = 0;
    void* buffer = nullptr;
    locked([&] {
        buffer = tcbdbget(database(m_db), key.data(), static_cast<int>(key.size()), &size);
        return buffer != nullptr;
    });
    return takeBuffer(buffer, size);
}

bool VKKeyValueStore::removeAllRecords()
{
    // Emptying writes the file anew, whatever was broken in it.
    if (!m_open || !locked([&] { return tcbdbvanish(database(m_db)); }))
        return false;
    m_damaged = false;
    return true;
}

bool VKKeyValueStore::beginTransaction()
{
    if (!m_open)
        return false;
    std::unique_lock lock(m_mutex);
    // One transaction at a time: another thread's is waited for (the
    // library would sleep holding the lock); the same thread's is refused.
    if (m_transaction && m_transactionThread == std::this_thread::get_id())
        return false;
    m_transactionEnded.wait(lock, [&] { return !m_transaction; });
    if (!noted(tcbdbtranbegin(database(m_db))))
        return false;
    m_transaction = true;
    m_transactionThread = std::this_thread::get_id();
    return true;
}

bool VKKeyValueStore::endTransaction(bool commit)
{
    if (!m_open)
        return false;
    std::lock_guard lock(m_mutex);
    // Committed or not, the library's transaction is over.
    bool done = commit ? noted(tcbdbtrancommit(database(m_db))) : tcbdbtranabort(database(m_db));
    m_transaction = false;
    m_transactionEnded.notify_all();
    return done;
}

bool VKKeyValueStore::commitTransaction()
{
    return endTransaction(true);
}

bool VKKeyValueStore::abortTransaction()
{
    return endTransaction(false);
}

bool VKKeyValueStore::sync()
{
    return m_open && locked([&] { return tcbdbsync(database(m_db)); });
}

std::string VKKeyValueStore::lastErrorMessage() const
{
    std::lock_guard lock(m_mutex);
    return tcbdberrmsg(tcbdbecode(database(m_db)));
}

VKKeyValueStore::Cursor::Cursor(std::shared_ptr<VKKeyValueStore> store)
    : m_store(std::move(store))
{
    if (m_store && m_store->m_open) {
        std::lock_guard lock(m_store->m_mutex);
        m_cursor = tcbdbcurnew(database(m_store->m_db));
    }
}

VKKeyValueStore::Cursor::~Cursor()
{
    if (m_cursor) {
        std::lock_guard lock(m_store->m_mutex);
        tcbdbcurdel(static_cast<BDBCUR*>(m_cursor));
    }
}

bool VKKeyValueStore::Cursor::first()
{
    return m_cursor && m_store->locked([&] { return tcbdbcurfirst(static_cast<BDBCUR*>(m_cursor)); });
}

bool VKKeyValueStore::Cursor::jump(std::string_view key)
{
    return m_cursor && fits(key) && m_store->locked([&] {
        return tcbdbcurjump(static_cast<BDBCUR*>(m_cursor), key.data(), static_cast<int>(key.size()));
    });
}

std::optional<std::string> VKKeyValueStore::Cursor::key() const
{
    if (!m_cursor)
        return std::nullopt;
    int size = 0;
    void* buffer;
    {
        std::lock_guard lock(m_store->m_mutex);
        buffer = tcbdbcurkey(static_cast<BDBCUR*>(m_cursor), &size);
    }
    return takeBuffer(buffer, size);
}

std::optional<std::string> VKKeyValueStore::Cursor::value() const
{
    if (!m_cursor)
        return std::nullopt;
    int size = 0;
    void* buffer;
    {
        std::lock_guard lock(m_store->m_mutex);
        buffer = tcbdbcurval(static_cast<BDBCUR*>(m_cursor), &size);
    }
    return takeBuffer(buffer, size);
}

bool VKKeyValueStore::Cursor::next()
{
    return m_cursor && m_store->locked([&] { return tcbdbcurnext(static_cast<BDBCUR*>(m_cursor)); });
}

bool VKKeyValueStore::Cursor::remove()
{
    return m_cursor && m_store->locked([&] { return tcbdbcurout(static_cast<BDBCUR*>(m_cursor)); });
}
