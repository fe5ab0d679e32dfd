#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The settings store. A key is looked up, in this order, in
// - the argument domain: `-Key value` pairs of the command line, for this
//   run only and never written to the file;
// - the persistent domain: what was set, kept in a binary property list
//   (standard(): <home>/Library/Preferences/<bundle id>.plist);
// - the global domain: "AppleLanguages" from LANGUAGE, LC_ALL, LC_MESSAGES
//   or LANG;
// - the registration domain: the defaults the program registers at start-up,
//   in memory only.
// Values are property-list values; numbers keep their kinds. The typed
// getters read leniently (the string "8080" is the integer 8080) and never
// throw. Thread-safe.
class UserDefaults {
public:
    // Posted after each change of the standard store, on the changing thread.
    static constexpr const char* didChangeNotification = "UserDefaultsDidChangeNotification";

    static std::shared_ptr<UserDefaults> standard();
    // Drops the shared store (tests); the next standard() reads the file anew.
    static void resetStandardForTesting();

    // A store whose persistent domain is the file at `path`. A damaged file is
    // logged and kept beside as <name>.corrupt; the store then starts empty.
    static std::shared_ptr<UserDefaults> create(std::string path);

    // The argument domain of the process, from `-Key value` pairs (a leading
    // program name or other words are skipped). A value is read as an
    // integer, a real or YES/NO where it is one, else kept as text.
    static void setArguments(const std::vector<std::string>& arguments);

    void registerDefaults(const Value::Dictionary& defaults);

    // The effective value; null when no domain has the key.
    Value object(std::string_view key) const;
    // Stores into the persistent domain. Null, object handles and anything
    // a property list cannot hold throw NSInvalidArgumentException.
    void set(std::string_view key, const Value& value);
    void remove(std::string_view key);

    bool boolForKey(std::string_view key) const;
    int64_t integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    // Text and numbers (as their description); else empty.
    std::string stringForKey(std::string_view key) const;
    // The value when it is of that kind, else null.
    Value arrayForKey(std::string_view key) const;
    Value dictionaryForKey(std::string_view key) const;

    // The persistent domain alone.
    Value persistentDomainForTesting() const;

    // Writes the persistent domain when it changed since the last write.
    bool synchronize(Error* error = nullptr);
    const std::string& path() const { return m_path; }

    // Calls `observer` with the new effective value of `key` after each
    // change of it, on the changing thread and outside the store's lock,
    // until the token is dropped (ObserverGate rules).
    using KeyObserver = std::function<void(const Value& value)>;
    [[nodiscard]] Observation observe(std::string_view key, KeyObserver observer);

    // Called after every change of a domain, on the changing thread, outside
    // the lock: where the change notification and the autosave hang on.
    using ChangeHandler = std::function<void()>;
    void setChangeHandler(ChangeHandler handler);

    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

private:
    struct Observers;
    struct Notice;

    explicit UserDefaults(std::string path);
    void load();
    Value lookup(std::string_view key) const;
    void deliver(std::vector<Notice>& notices);

    const std::string m_path;
    mutable std::mutex m_mutex;
    std::mutex m_saveMutex;
    Value m_registration = Value::makeDictionary();
    Value m_persistent = Value::makeDictionary();
    Value m_global = Value::makeDictionary();
    uint64_t m_generation = 0;
    uint64_t m_savedGeneration = 0;
    bool m_writable = true;
    std::shared_ptr<Observers> m_observers;
    std::shared_ptr<const ChangeHandler> m_changeHandler;
};

} // namespace core
