#include "WebDAV/WebDAVResource.h"

#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerEtag.h"
#include "Kit/FileManagerExtendedAttributes.h"
#include "Kit/HTTPDates.h"
#include "Kit/MIMETypes.h"
#include "Kit/StringAdditions.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UTF8.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVNullResource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int ResourceNoFollow = core::ExtendedAttributes::NoFollow;

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

const std::vector<std::string>& WebDAVResource::collectionLivePropertyNames()
{
    static const std::vector<std::string> names { "creationdate", "getlastmodified", "displayname", "resourcetype",
        "getcontentlength", "supportedlock", "lockdiscovery", "getetag", "quota-available-bytes", "quota-used-bytes",
        "quota", "quotaused" };
    return names;
}

const std::vector<std::string>& WebDAVResource::fileLivePropertyNames()
{
    static const std::vector<std::string> names = [] {
        auto names = collectionLivePropertyNames();
        names.push_back("getcontenttype");
        return names;
    }();
    return names;
}

bool WebDAVResource::isLivePropertyName(std::string_view name)
{
    const auto& names = fileLivePropertyNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool WebDAVResource::isWritableLivePropertyName(std::string_view name)
{
    return name == "creationdate" || name == "getlastmodified";
}

core::Error WebDAVResource::errorWithStatus(int code, std::string status)
{
    return core::Error(ErrorDomain, code,
        core::Value::Dictionary { { StatusKey, status }, { core::Error::LocalizedDescriptionKey, status } });
}

std::string WebDAVResource::standardizedPath(const core::URL& uri)
{
    std::string path = uri.standardized().path();
    if (!path.starts_with('/'))
        path.insert(path.begin(), '/');
    return path;
}

WebDAVResourceRef WebDAVResource::resourceWithURI(const core::URL& uri, const std::string& localPath)
{
    return resourceWithStandardizedPath(standardizedPath(uri), localPath);
}

WebDAVResourceRef WebDAVResource::resourceWithStandardizedPath(std::string path, const std::string& localPath,
    int folder, const std::string* nameInFolder)
{
    if (localPath.empty())
        return nullptr;
    // One look tells both whether the item exists (a link must lead
    // somewhere) and whether it is a folder: listings make many of these.
    auto attributes = folder >= 0 && nameInFolder ? core::fs::attributesInFolder(folder, *nameInFolder, localPath)
                                                  : core::fs::attributes(localPath);
    if (!attributes || (attributes->type == core::fs::FileType::SymbolicLink && !core::fs::exists(localPath)))
        return nullptr;
    auto resource = WebDAVResourceRef(new WebDAVResource(core::URL(), localPath));
    resource->m_isCollection = attributes->isDirectory();
    resource->m_isSymbolicLink = attributes->type == core::fs::FileType::SymbolicLink;
    if (Snapshot::current())
        resource->m_snapshotAttributes = std::move(attributes);
    if (resource->isCollection() && !path.ends_with('/'))
        path += '/';
    resource->m_uri = URLWithPath(path);
    return resource;
}

WebDAVResourceRef WebDAVResource::resourceWithURIMaybeNull(const core::URL& uri, const std::string& localPath)
{
    if (auto resource = resourceWithURI(uri, localPath))
        return resource;
    return WebDAVLockManager::sharedManager()->nullResourceForURI(uri);
}

std::string WebDAVResource::name() const
{
    return core::path::lastPathComponent(m_uri.path());
}

bool WebDAVResource::isCollection() const
{
    if (!m_isCollection) {
        auto attributes = core::fs::attributes(m_path);
        m_isCollection = attributes && attributes->isDirectory();
    }
    return *m_isCollection;
}

bool WebDAVResource::isPackage() const
{
    return isCollection() && MIMEIsPackageType(m_path);
}

bool WebDAVResource::isAppleDouble() const
{
    std::string name = core::path::lastPathComponent(m_path);
    if (name.size() < 3 || !name.starts_with("._"))
        return false;
    return core::fs::exists(core::path::appendingPathComponent(core::path::deletingLastPathComponent(m_path), name.substr(2)));
}

bool WebDAVResource::isReadable() const
{
    return core::fs::isReadable(m_path);
}

bool WebDAVResource::isWritable() const
{
    return core::fs::isWritable(m_path);
}

WebDAVResource::Snapshot::Snapshot()
    : m_outer(current())
{
    current() = this;
}

WebDAVResource::Snapshot::~Snapshot()
{
    if (m_folder >= 0)
        ::close(m_folder);
    current() = m_outer;
}

WebDAVResource::Snapshot*& WebDAVResource::Snapshot::current()
{
    static thread_local Snapshot* snapshot = nullptr;
    return snapshot;
}

std::optional<core::fs::Attributes> WebDAVResource::attributes() const
{
    if (m_snapshotAttributes && Snapshot::current())
        return m_snapshotAttributes;
    return core::fs::attributes(m_path);
}

uint64_t WebDAVResource::fileSize() const
{
    auto attributes = this->attributes();
    return attributes ? attributes->size : 0;
}

bool WebDAVResource::isSpecialFile() const
{
    struct stat item {};
    return ::stat(m_path.c_str(), &item) == 0
        && (S_ISFIFO(item.st_mode) || S_ISSOCK(item.st_mode) || S_ISCHR(item.st_mode) || S_ISBLK(item.st_mode));
}

std::optional<core::Date> WebDAVResource::fileModificationDate() const
{
    auto attributes = this->attributes();
    return attributes ? std::optional(attributes->modificationDate()) : std::nullopt;
}

std::optional<std::string> WebDAVResource::mimeType(int fd) const
{
    if (isCollection())
        return std::nullopt;
    return contentTypeForFile(m_path, fd);
}

std::string WebDAVResource::contentTypeForFile(const std::string& path, int fd)
{
    std::string type = fd >= 0 ? MIMEGetTypeForOpenFile(path, fd) : MIMEGetTypeForFile(path);
    if (type.find('/') == std::string::npos)
        return "application/octet-stream";
    return type;
}

std::optional<std::string> WebDAVResource::etag() const
{
    auto tag = etagForItemAtPath(m_path);
    return tag ? std::optional("\"" + *tag + "\"") : std::nullopt;
}

std::optional<WebDAVResourceList> WebDAVResource::subresourcesToDepth(std::string_view depth) const
{
    if (!isCollection())
        return std::nullopt;
    bool recurse = equalsIgnoringASCIICase(depth, "infinity");
    if (!recurse && depth != "1")
        return std::nullopt;
    core::Error error;
    auto entries = recurse ? core::fs::subpaths(m_path, &error) : core::fs::sortedContentsOfDirectory(m_path, &error);
    if (!entries) {
        core::log("Warning, subresources failed with error: {}", error.description());
        return std::nullopt;
    }
    if (recurse)
        std::sort(entries->begin(), entries->end());
    std::string base = stringByEnsuringTrailingPathSeparator(standardizedPath(m_uri));
    WebDAVResourceList members;
    members.reserve(entries->size());
    // Within a snapshot the members are looked up in the folder held open
    // (it stays open while the snapshot lives, for their dead properties).
    int folder = -1;
    if (Snapshot* snapshot = Snapshot::current(); snapshot && snapshot->m_folder < 0) {
        snapshot->m_folder = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (snapshot->m_folder >= 0)
            snapshot->m_folderPath = m_path;
        folder = snapshot->m_folder;
    }
    // The folder's path and names from the folder itself (no "." or "..",
    // no escapes to undo) make standardized paths as they stand.
    for (const auto& entry : *entries) {
        if (auto member = resourceWithStandardizedPath(base + entry, core::path::appendingPathComponent(m_path, entry),
                folder, &entry))
            members.push_back(std::move(member));
    }
    if (auto nulls = WebDAVLockManager::sharedManager()->nullChildResourcesForURI(m_uri, recurse))
        members.insert(members.end(), nulls->begin(), nulls->end());
    return members;
}

WebDAVPropertyNameList WebDAVResource::propertyNames() const
{
    WebDAVPropertyNameList names;
    for (const auto& name : isCollection() ? collectionLivePropertyNames() : fileLivePropertyNames())
        names.push_back(WebDAVPropertyName::propertyNameWithName(name));
    if (auto dead = deadPropertyNames())
        names.insert(names.end(), dead->begin(), dead->end());
    return names;
}

namespace {

// The live properties in the order tables list them.
enum class Live {
    CreationDate,
    LastModified,
    DisplayName,
    QuotaAvailableBytes,
    QuotaUsedBytes,
    Quota,
    QuotaUsed,
    ResourceType,
    ContentLength,
    ContentType,
    ETag,
    SupportedLock,
    LockDiscovery,
};

struct LiveProperty {
    Live property;
    const char* name;
    bool needsAttributes;
};

constexpr LiveProperty LiveProperties[] = {
    { Live::CreationDate, "creationdate", true },
    { Live::LastModified, "getlastmodified", true },
    { Live::DisplayName, "displayname", false },
    { Live::QuotaAvailableBytes, "quota-available-bytes", false },
    { Live::QuotaUsedBytes, "quota-used-bytes", false },
    { Live::Quota, "quota", false },
    { Live::QuotaUsed, "quotaused", false },
    { Live::ResourceType, "resourcetype", false },
    { Live::ContentLength, "getcontentlength", true },
    { Live::ContentType, "getcontenttype", true },
    { Live::ETag, "getetag", false },
    { Live::SupportedLock, "supportedlock", false },
    { Live::LockDiscovery, "lockdiscovery", false },
};

// Names are immutable: every table shares one of each.
const WebDAVPropertyNameRef& liveName(Live property)
{
    static const auto names = [] {
        std::vector<WebDAVPropertyNameRef> names;
        for (const auto& live : LiveProperties)
            names.push_back(WebDAVPropertyName::propertyNameWithName(live.name));
        return names;
    }();
    return names[static_cast<size_t>(property)];
}

} // namespace

WebDAVPropertyTable WebDAVResource::propertiesForNames(const WebDAVPropertyNameList* names) const
{
    WebDAVPropertyTable table;
    table.reserve(names ? names->size() : std::size(LiveProperties) + 2);
    auto wanted = [names](std::string_view name) {
        return !names || std::any_of(names->begin(), names->end(), [name](const auto& n) { return *n == name; });
    };
    // Each fact is looked up once per table, however many properties use it.
    std::optional<std::optional<core::fs::Attributes>> cachedAttributes;
    auto attributes = [&]() -> const std::optional<core::fs::Attributes>& {
        if (!cachedAttributes)
            cachedAttributes = this->attributes();
        return *cachedAttributes;
    };
    auto quota = VKQuotaManager::defaultManager();
    Snapshot* snapshot = Snapshot::current();
    std::optional<std::optional<uint64_t>> tableAvailable;
    std::optional<uint64_t> tableUsed;
    auto& cachedAvailable = snapshot ? snapshot->m_availableBytes : tableAvailable;
    auto& cachedUsed = snapshot ? snapshot->m_usedBytes : tableUsed;
    auto available = [&]() -> std::optional<uint64_t> {
        if (!cachedAvailable)
            cachedAvailable = quota->quotaAvailableBytes();
        return *cachedAvailable;
    };
    auto used = [&] {
        if (!cachedUsed)
            cachedUsed = quota->quotaUsedBytes();
        return *cachedUsed;
    };
    const bool collection = isCollection();
    // Formatted once a snapshot: every item of a listing gives the same.
    std::optional<std::string> tableQuotaTexts[4];
    auto* quotaTexts = snapshot ? snapshot->m_quotaTexts : tableQuotaTexts;
    auto quotaText = [&](Live property, auto format) -> core::Value {
        auto& text = quotaTexts[static_cast<size_t>(property) - static_cast<size_t>(Live::QuotaAvailableBytes)];
        if (!text)
            text = format();
        return text->empty() ? core::Value() : core::Value(*text);
    };

    for (const auto& live : LiveProperties) {
        if (collection && live.property == Live::ContentType)
            continue;
        if (!wanted(live.name))
            continue;
        if (live.needsAttributes && !attributes())
            return table;
        core::Value value;
        switch (live.property) {
        case Live::CreationDate:
            value = core::Value(ISO8601String(attributes()->creationDate()));
            break;
        case Live::LastModified:
            value = core::Value(RFC1123String(attributes()->modificationDate()));
            break;
        case Live::DisplayName:
            // Shown, never followed: a name that is not UTF-8 shows its
            // stray bytes as U+FFFD (the href keeps them all).
            value = core::Value(core::utf8::sanitized(name()));
            break;
        case Live::QuotaAvailableBytes:
            value = quotaText(live.property, [&] {
                auto bytes = available();
                return bytes ? std::to_string(*bytes) : std::string();
            });
            break;
        case Live::QuotaUsedBytes:
            value = quotaText(live.property, [&] { return std::to_string(used()); });
            break;
        case Live::Quota:
            value = quotaText(live.property, [&] {
                auto bytes = available();
                return bytes ? fmt::format("{:.2f}", (static_cast<double>(*bytes) + static_cast<double>(used())) / 1024.0)
                             : std::string();
            });
            break;
        case Live::QuotaUsed:
            value = quotaText(live.property, [&] { return fmt::format("{:.2f}", static_cast<double>(used()) / 1024.0); });
            break;
        case Live::ResourceType:
            value = core::Value(collection ? "collection" : "");
            break;
        case Live::ContentLength:
            value = core::Value(collection ? std::string("0") : std::to_string(attributes()->size));
            break;
        case Live::ContentType:
            if (attributes()->type == core::fs::FileType::SymbolicLink)
                value = core::Value("inode/symlink");
            else if (auto type = mimeType())
                value = core::Value(*type);
            break;
        case Live::ETag:
            // The tag of the attributes already read, as etag() gives it.
            if (attributes())
                value = core::Value("\"" + etagForAttributes(*attributes()) + "\"");
            break;
        case Live::SupportedLock:
            value = core::Value("exclusive,shared");
            break;
        case Live::LockDiscovery: {
            core::Value::Array locks;
            for (auto& lock : WebDAVLockManager::sharedManager()->locksForURI(m_uri))
                locks.push_back(std::const_pointer_cast<WebDAVLock>(lock));
            value = core::Value(std::move(locks));
            break;
        }
        }
        if (value.isNull()) {
            core::log("Warning, nil property for: {}", live.name);
            continue;
        }
        table.push_back({ liveName(live.property), std::move(value) });
        if (names && table.size() == names->size())
            return table;
    }
    if (auto dead = deadProperties())
        table.insert(table.end(), std::make_move_iterator(dead->begin()), std::make_move_iterator(dead->end()));
    return table;
}

core::Value WebDAVResource::propertyForName(const WebDAVPropertyName& name) const
{
    if (name.isDead()) {
        auto value = xattrStringForItemAtPath(m_path, name.name(), ResourceNoFollow);
        return value ? core::Value(*value) : core::Value();
    }
    WebDAVPropertyNameList names { WebDAVPropertyName::propertyNameWithName(name.name()) };
    for (auto& entry : propertiesForNames(&names)) {
        if (*entry.name == name.name())
            return entry.value;
    }
    return {};
}

std::optional<std::vector<std::string>> WebDAVResource::deadPropertyKeys() const
{
    // A member of the folder a snapshot holds open is looked up in it.
    const Snapshot* snapshot = Snapshot::current();
    if (snapshot && snapshot->m_folder >= 0) {
        const std::string& folder = snapshot->m_folderPath;
        if (m_path.size() > folder.size() + 1 && m_path.starts_with(folder) && m_path[folder.size()] == '/')
            return core::ExtendedAttributes::names(snapshot->m_folder, m_path.substr(folder.size() + 1), m_path);
    }
    return xattrKeysForItemAtPath(m_path, ResourceNoFollow);
}

std::optional<WebDAVPropertyNameList> WebDAVResource::deadPropertyNames() const
{
    auto keys = deadPropertyKeys();
    if (!keys)
        return std::nullopt;
    WebDAVPropertyNameList names;
    for (auto& key : *keys) {
        if (WebDAVPropertyName::isValidDeadPropertyName(key))
            names.push_back(WebDAVPropertyName::propertyNameWithName(std::move(key)));
    }
    return names;
}

std::optional<WebDAVPropertyTable> WebDAVResource::deadProperties() const
{
    auto keys = deadPropertyKeys();
    if (!keys)
        return std::nullopt;
    WebDAVPropertyTable table;
    for (auto& key : *keys) {
        if (!WebDAVPropertyName::isValidDeadPropertyName(key))
            continue;
        if (auto value = xattrStringForItemAtPath(m_path, key, ResourceNoFollow))
            table.push_back({ WebDAVPropertyName::propertyNameWithName(std::move(key)), core::Value(std::move(*value)) });
    }
    return table;
}

bool WebDAVResource::canSetProperty(const core::Value& value, const WebDAVPropertyName& name, core::Error* error) const
{
    core::setError(error, core::Error());
    if (!isWritable()) {
        core::setError(error, errorWithStatus(403, "Forbidden"));
        return false;
    }
    if (!value.isString()) {
        core::setError(error, errorWithStatus(409, "Conflict"));
        return false;
    }
    if (!name.isDead()) {
        // Linux keeps no settable creation date: refusing it is the only
        // honest answer, never a success for a date that was not stored.
        if (!isWritableLivePropertyName(name.name()) || name == "creationdate") {
            core::setError(error, errorWithStatus(403, "Forbidden"));
            return false;
        }
        if (name == "getlastmodified" && !dateWithRFC1123String(value.string())) {
            core::setError(error, errorWithStatus(409, "Conflict"));
            return false;
        }
    }
    auto available = VKQuotaManager::defaultManager()->quotaAvailableBytes();
    if (available && *available < MinimumAvailableBytes) {
        core::setError(error, errorWithStatus(507, "Insufficient Storage"));
        return false;
    }
    return true;
}

bool WebDAVResource::setProperty(const core::Value& value, const WebDAVPropertyName& name, core::Error* error)
{
    if (!canSetProperty(value, name, error))
        return false;
    if (name.isDead())
        return xattrSetString(value.string(), m_path, name.name(), ResourceNoFollow, error);
    auto date = dateWithRFC1123String(value.string());
    core::Error failure;
    auto nanoseconds = static_cast<int64_t>(std::llround(date->timeIntervalSince1970())) * 1000000000LL;
    if (!core::fs::setModificationTime(m_path, nanoseconds, &failure)) {
        core::log("setAttributes error: {}", failure.description());
        core::setError(error, failure);
        return false;
    }
    return true;
}

bool WebDAVResource::canRemovePropertyWithName(const WebDAVPropertyName& name, core::Error* error) const
{
    core::setError(error, core::Error());
    if (!name.isDead() || !isWritable()) {
        core::setError(error, errorWithStatus(403, "Forbidden"));
        return false;
    }
    if (!xattrDataForItemAtPath(m_path, name.name(), ResourceNoFollow)) {
        core::setError(error, errorWithStatus(404, "Not Found"));
        return false;
    }
    return true;
}

bool WebDAVResource::removePropertyWithName(const WebDAVPropertyName& name, core::Error* error)
{
    if (!name.isDead())
        return false;
    return xattrRemoveDataForItemAtPath(m_path, name.name(), ResourceNoFollow, error);
}

int WebDAVResource::isCollectionComparison(const core::Object& other) const
{
    auto* resource = dynamic_cast<const WebDAVResource*>(&other);
    if (!resource)
        return 0;
    bool mine = isCollection() && !isPackage();
    bool theirs = resource->isCollection() && !resource->isPackage();
    return mine == theirs ? 0 : (mine ? -1 : 1);
}

bool WebDAVResource::isEqual(const core::Object& other) const
{
    auto* resource = dynamic_cast<const WebDAVResource*>(&other);
    return resource && resource->m_path == m_path;
}

size_t WebDAVResource::hash() const
{
    return std::hash<std::string>()(m_path);
}

std::string WebDAVResource::description() const
{
    return fmt::format("{}: {} -> {}", className(), m_uri.relativeString(), core::path::abbreviatingWithTildeInPath(m_path));
}
