#include "Platform/Core/UserDefaults.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/UserDefaultsAutosave.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fmt/format.h>
#include <sys/stat.h>

namespace core {

struct UserDefaults::Observers {
    struct Entry {
        uint64_t id;
        std::shared_ptr<ObserverGate> gate;
        KeyObserver call;
    };
    std::mutex mutex;
    uint64_t nextId = 1;
    std::map<std::string, std::vector<std::shared_ptr<Entry>>, std::less<>> byKey;

    std::vector<std::shared_ptr<Entry>> forKey(std::string_view key)
    {
        std::lock_guard lock(mutex);
        auto it = byKey.find(key);
        return it == byKey.end() ? std::vector<std::shared_ptr<Entry>>() : it->second;
    }

    bool watches(std::string_view key)
    {
        std::lock_guard lock(mutex);
        return byKey.find(key) != byKey.end();
    }
};

// A change of one key's effective value, delivered after the lock is left.
struct UserDefaults::Notice {
    std::string key;
    Value value;
};

namespace {

std::mutex standardMutex;
std::shared_ptr<UserDefaults> standardDefaults;

std::mutex argumentsMutex;
Value argumentDomain = Value::makeDictionary();

// A command-line value as a property-list literal where it is one.
Value argumentValue(const std::string& text)
{
    if (text == "YES")
        return true;
    if (text == "NO")
        return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    const char* digits = begin + (!text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0);
    if (digits == end || !(std::isdigit(static_cast<unsigned char>(*digits)) || *digits == '.'))
        return text;
    int64_t integer = 0;
    auto [integerEnd, integerError] = std::from_chars(begin + (*begin == '+' ? 1 : 0), end, integer);
    if (integerError == std::errc() && integerEnd == end)
        return integer;
    double real = 0;
    auto [realEnd, realError] = std::from_chars(begin + (*begin == '+' ? 1 : 0), end, real);
    if (realError == std::errc() && realEnd == end)
        return real;
    return text;
}

// "de_DE.UTF-8" → "de"; "C" and "POSIX" mean English.
std::string languageOfLocale(std::string_view locale)
{
    size_t end = locale.find_first_of("_.@-");
    std::string language(locale.substr(0, end));
    std::transform(language.begin(), language.end(), language.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (language == "c" || language == "posix")
        return "en";
    bool letters = !language.empty() && std::all_of(language.begin(), language.end(), [](unsigned char c) { return std::isalpha(c); });
    return letters ? language : std::string();
}

Value languagesFromEnvironment()
{
    Value::Array languages;
    for (const char* name : { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = std::getenv(name);
        if (!value || !*value)
            continue;
        std::string_view list(value);
        while (!list.empty()) {
            auto colon = list.find(':');
            std::string language = languageOfLocale(list.substr(0, colon));
            if (!language.empty() && std::find(languages.begin(), languages.end(), Value(language)) == languages.end())
                languages.push_back(Value(language));
            list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
        }
        if (!languages.empty())
            break;
    }
    if (languages.empty())
        languages.push_back(Value("en"));
    return Value(std::move(languages));
}

// Why a value cannot be stored; empty when it can.
std::string unstorable(const Value& value, size_t depth = 0)
{
    switch (value.type()) {
    case Value::Type::Null:
        return "null";
    case Value::Type::Object:
        return value.object()->description();
    case Value::Type::Array:
    case Value::Type::Dictionary:
        if (depth >= PropertyList::MaximumDepth)
            return "a value nested too deeply";
        if (value.isArray()) {
            for (const auto& item : value.array()) {
                if (auto why = unstorable(item, depth + 1); !why.empty())
                    return why;
            }
        } else {
            for (const auto& [key, item] : value.dictionary()) {
                if (auto why = unstorable(item, depth + 1); !why.empty())
                    return why;
            }
        }
        return {};
    default:
        return {};
    }
}

} // namespace

UserDefaults::UserDefaults(std::string path)
    : m_path(std::move(path))
    , m_observers(std::make_shared<Observers>())
{
    m_global.mutableDictionary()["AppleLanguages"] = languagesFromEnvironment();
}

UserDefaults::~UserDefaults() = default;

std::shared_ptr<UserDefaults> UserDefaults::create(std::string path)
{
    std::shared_ptr<UserDefaults> defaults(new UserDefaults(std::move(path)));
    defaults->load();
    return defaults;
}

std::shared_ptr<UserDefaults> UserDefaults::standard()
{
    std::lock_guard lock(standardMutex);
    if (!standardDefaults) {
        std::string identifier = Bundle::main()->bundleIdentifier();
        if (identifier.empty())
            identifier = "defaults";
        standardDefaults = create(paths::preferences() + "/" + identifier + ".plist");
        UserDefaultsAutosave::attach(standardDefaults);
    }
    return standardDefaults;
}

void UserDefaults::resetStandardForTesting()
{
    std::lock_guard lock(standardMutex);
    standardDefaults = nullptr;
}

void UserDefaults::setArguments(const std::vector<std::string>& arguments)
{
    Value domain = Value::makeDictionary();
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word.size() < 2 || word[0] != '-' || word[1] == '-')
            continue;
        domain.mutableDictionary()[word.substr(1)] = argumentValue(arguments[i + 1]);
        ++i;
    }
    std::lock_guard lock(argumentsMutex);
    argumentDomain = std::move(domain);
}

void UserDefaults::load()
{
    struct stat info;
    if (stat(m_path.c_str(), &info) != 0 && errno == ENOENT)
        return;
    Error error;
    Value contents = PropertyList::readFile(m_path, &error);
    if (contents.isDictionary()) {
        m_persistent = std::move(contents);
        return;
    }
    std::string reason = contents.isNull() ? error.localizedDescription() + " " + error.localizedFailureReason()
                                           : std::string("it does not hold a dictionary");
    // Keep the damaged file for a person to look at; never write over it.
    std::string aside = m_path + ".corrupt";
    for (int n = 2; stat(aside.c_str(), &info) == 0 && n < 100; ++n)
        aside = m_path + ".corrupt." + std::to_string(n);
    if (std::rename(m_path.c_str(), aside.c_str()) == 0) {
        log("Warning, settings file {} is unreadable ({}); kept as {}, starting empty", m_path, reason, aside);
    } else {
        m_writable = false;
        log("Warning, settings file {} is unreadable ({}) and cannot be moved aside; settings are not saved this run",
            m_path, reason);
    }
}

Value UserDefaults::lookup(std::string_view key) const
{
    {
        std::lock_guard lock(argumentsMutex);
        if (const Value& value = argumentDomain[key]; !value.isNull())
            return value;
    }
    for (const Value* domain : { &m_persistent, &m_global, &m_registration }) {
        if (const Value& value = (*domain)[key]; !value.isNull())
            return value;
    }
    return Value();
}

Value UserDefaults::object(std::string_view key) const
{
    std::lock_guard lock(m_mutex);
    return lookup(key);
}

void UserDefaults::deliver(std::vector<Notice>& notices)
{
    std::shared_ptr<const ChangeHandler> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_changeHandler;
    }
    for (const auto& notice : notices) {
        for (const auto& entry : m_observers->forKey(notice.key))
            entry->gate->run([&] { entry->call(notice.value); });
    }
    if (handler && *handler)
        (*handler)();
}

void UserDefaults::set(std::string_view key, const Value& value)
{
    if (auto why = unstorable(value); !why.empty())
        throw Exception(Exception::InvalidArgument, fmt::format("cannot store {} for the setting {}", why, key));
    std::vector<Notice> notices;
    {
        std::lock_guard lock(m_mutex);
        Value before = lookup(key);
        m_persistent.mutableDictionary().insert_or_assign(std::string(key), value);
        ++m_generation;
        Value after = lookup(key);
        if (!(before == after) && m_observers->watches(key))
            notices.push_back({ std::string(key), std::move(after) });
    }
    deliver(notices);
}

void UserDefaults::remove(std::string_view key)
{
    std::vector<Notice> notices;
    {
        std::lock_guard lock(m_mutex);
        auto& entries = m_persistent.mutableDictionary();
        auto it = entries.find(key);
        if (it == entries.end())
            return;
        Value before = lookup(key);
        entries.erase(it);
        ++m_generation;
        Value after = lookup(key);
        if (!(before == after) && m_observers->watches(key))
            notices.push_back({ std::string(key), std::move(after) });
    }
    deliver(notices);
}

void UserDefaults::registerDefaults(const Value::Dictionary& defaults)
{
    for (const auto& [key, value] : defaults) {
        if (auto why = unstorable(value); !why.empty())
            throw Exception(Exception::InvalidArgument, fmt::format("cannot register {} for the setting {}", why, key));
    }
    std::vector<Notice> notices;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [key, value] : defaults) {
            bool watched = m_observers->watches(key);
            Value before = watched ? lookup(key) : Value();
            m_registration.mutableDictionary().insert_or_assign(key, value);
            if (watched) {
                Value after = lookup(key);
                if (!(before == after))
                    notices.push_back({ key, std::move(after) });
            }
        }
    }
    deliver(notices);
}

bool UserDefaults::boolForKey(std::string_view key) const
{
    return object(key).toBool();
}

int64_t UserDefaults::integerForKey(std::string_view key) const
{
    return object(key).toInteger();
}

double UserDefaults::doubleForKey(std::string_view key) const
{
    Value value = object(key);
    return value.isNumber() || value.isBool() || value.isString() ? value.toReal() : 0;
}

std::string UserDefaults::stringForKey(std::string_view key) const
{
    Value value = object(key);
    return value.isString() || value.isNumber() || value.isBool() ? value.toString() : std::string();
}

Value UserDefaults::arrayForKey(std::string_view key) const
{
    Value value = object(key);
    return value.isArray() ? value : Value();
}

Value UserDefaults::dictionaryForKey(std::string_view key) const
{
    Value value = object(key);
    return value.isDictionary() ? value : Value();
}

Value UserDefaults::persistentDomainForTesting() const
{
    std::lock_guard lock(m_mutex);
    return m_persistent;
}

bool UserDefaults::synchronize(Error* error)
{
    // One writer at a time, each with the newest snapshot, so that an older
    // snapshot never lands after a newer one.
    std::lock_guard save(m_saveMutex);
    Value snapshot;
    uint64_t generation;
    {
        std::lock_guard lock(m_mutex);
        if (m_generation == m_savedGeneration)
            return true;
        if (!m_writable) {
            setError(error, Error(Error::CocoaDomain, 513, "The settings file cannot be replaced: its damaged predecessor could not be moved aside."));
            return false;
        }
        snapshot = m_persistent;
        generation = m_generation;
    }
    Error failure;
    std::string folder = path::deletingLastPathComponent(m_path);
    if (fs::createDirectory(folder, true, &failure)
        && PropertyList::writeFile(m_path, snapshot, PropertyList::Format::Binary, &failure)) {
        std::lock_guard lock(m_mutex);
        m_savedGeneration = generation;
        return true;
    }
    log("Warning, cannot save the settings to {}: {}", m_path, failure.localizedDescription());
    setError(error, failure);
    return false;
}

Observation UserDefaults::observe(std::string_view key, KeyObserver observer)
{
    auto entry = std::make_shared<Observers::Entry>();
    entry->gate = std::make_shared<ObserverGate>();
    entry->call = std::move(observer);
    {
        std::lock_guard lock(m_observers->mutex);
        entry->id = m_observers->nextId++;
        m_observers->byKey[std::string(key)].push_back(entry);
    }
    std::weak_ptr<Observers> weakObservers = m_observers;
    std::string ownKey(key);
    uint64_t id = entry->id;
    return Observation(entry->gate, [weakObservers, ownKey, id] {
        auto observers = weakObservers.lock();
        if (!observers)
            return;
        std::lock_guard lock(observers->mutex);
        auto it = observers->byKey.find(ownKey);
        if (it == observers->byKey.end())
            return;
        std::erase_if(it->second, [id](const auto& entry) { return entry->id == id; });
        if (it->second.empty())
            observers->byKey.erase(it);
    });
}

void UserDefaults::setChangeHandler(ChangeHandler handler)
{
    std::lock_guard lock(m_mutex);
    m_changeHandler = handler ? std::make_shared<const ChangeHandler>(std::move(handler)) : nullptr;
}

} // namespace core
