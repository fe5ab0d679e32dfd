#include "Platform/Core/Bundle.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/PropertyList.h"

#include <climits>
#include <cstdlib>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

std::mutex mainMutex;
std::shared_ptr<Bundle> mainBundle;

bool isDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string findResources()
{
    if (const char* configured = std::getenv("TANDRY_RESOURCES"); configured && *configured)
        return configured;
    char executable[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
    if (length > 0) {
        std::string path(executable, static_cast<size_t>(length));
        std::string folder = path.substr(0, path.rfind('/'));
        // Beside a built program, or where an installed one keeps its data.
        for (const std::string& candidate : { folder + "/resources", folder + "/../share/tandry/resources" })
            if (isDirectory(candidate))
                return candidate;
    }
#ifdef TANDRY_SOURCE_RESOURCES
    return TANDRY_SOURCE_RESOURCES;
#else
    return "resources";
#endif
}

// One file or folder name that stays where it is put.
bool isPlainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

bool isPlainRelativePath(std::string_view path)
{
    while (!path.empty()) {
        auto slash = path.find('/');
        if (!isPlainName(path.substr(0, slash)))
            return false;
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return true;
}

} // namespace

Bundle::Bundle(std::string path)
    : m_path(std::move(path))
{
}

std::shared_ptr<Bundle> Bundle::bundleWithPath(const std::string& path)
{
    return std::shared_ptr<Bundle>(new Bundle(path));
}

std::shared_ptr<Bundle> Bundle::main()
{
    std::lock_guard lock(mainMutex);
    if (!mainBundle)
        mainBundle = bundleWithPath(findResources());
    return mainBundle;
}

void Bundle::setMainForTesting(std::shared_ptr<Bundle> bundle)
{
    std::lock_guard lock(mainMutex);
    mainBundle = std::move(bundle);
}

Value Bundle::infoDictionary() const
{
    std::lock_guard lock(m_mutex);
    if (!m_infoRead) {
        m_infoRead = true;
        Error error;
        m_info = PropertyList::readFile(m_path + "/Info.plist", &error);
        if (!m_info.isDictionary()) {
            if (!m_info.isNull() || error.code() != ENOENT)
                log("Warning, bundle {}: no usable Info.plist: {}", m_path, error.localizedDescription());
            m_info = Value::makeDictionary();
        }
    }
    return m_info;
}

Value Bundle::objectForInfoDictionaryKey(std::string_view key) const
{
    return infoDictionary()[key];
}

std::string Bundle::bundleIdentifier() const
{
    Value identifier = objectForInfoDictionaryKey("CFBundleIdentifier");
    return identifier.isString() ? identifier.string() : std::string();
}

std::string Bundle::pathForResource(std::string_view name, std::string_view type, std::string_view subdirectory) const
{
    std::string file(name);
    if (!type.empty()) {
        if (!isPlainName(type))
            return {};
        file += ".";
        file += type;
    }
    if (!isPlainName(name) || !isPlainName(file) || !isPlainRelativePath(subdirectory))
        return {};
    std::string path = m_path + "/";
    if (!subdirectory.empty())
        path += std::string(subdirectory) + "/";
    path += file;
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? path : std::string();
}

Value Bundle::stringTable(const std::string& language, const std::string& table) const
{
    std::string cacheKey = language + "/" + table;
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_tables.find(cacheKey); it != m_tables.end())
            return it->second;
    }
    Value strings;
    if (isPlainName(language)) {
        std::string path = pathForResource(table, "plist", "strings/" + language);
        if (!path.empty()) {
            Error error;
            strings = PropertyList::readFile(path, &error);
            if (!strings.isDictionary()) {
                log("Warning, unusable strings table: {}", error.localizedDescription());
                strings = Value();
            }
        }
    }
    std::lock_guard lock(m_mutex);
    m_tables.insert_or_assign(cacheKey, strings);
    return strings;
}

std::string Bundle::localizedString(std::string_view key, std::string_view table, std::string_view language) const
{
    std::string tableName(table.empty() ? std::string_view("Default") : table);
    for (std::string candidate : { std::string(language), std::string("en") }) {
        Value translation = stringTable(candidate, tableName)[key];
        if (translation.isString())
            return translation.string();
        if (candidate == "en")
            break;
    }
    return std::string(key);
}

std::string Bundle::description() const
{
    return fmt::format("{} <{}>", Object::description(), m_path);
}

} // namespace core
