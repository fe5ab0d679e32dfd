#include "FileModel/VKFileResource.h"

#include "FileModel/UniformTypeIdentifiers.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKServerLockHooks.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/FileManagerExtendedAttributes.h"
#include "Kit/MIMETypes.h"
#include "Kit/StringAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/Descriptor.h"
#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UTF8.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fmt/format.h>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <typeinfo>
#include <unordered_map>
#include <unicode/stringoptions.h>
#include <unicode/ustring.h>

namespace {

// Extended attributes are read and written on the item itself, never through
// a final link.
constexpr int AttributeOptions = core::ExtendedAttributes::NoFollow;
constexpr size_t MaximumUUIDLength = 64;

// A stored UUID names cache files: only letters, digits and "-" are taken
// from the attribute, so that no value can lead a cache path elsewhere.
bool isUsableUUID(std::string_view text)
{
    if (text.empty() || text.size() > MaximumUUIDLength)
        return false;
    for (char c : text) {
        bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

std::optional<std::string> storedUUID(const std::string& path)
{
    auto text = xattrStringForItemAtPath(path, VKFileResourceUUIDAttribute, AttributeOptions);
    if (text && isUsableUUID(*text))
        return text;
    return std::nullopt;
}

// Equal names but for case, by Unicode's default case folding.
bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin()))
        return true;
    if (!core::utf8::isValid(a) || !core::utf8::isValid(b))
        return false;
    std::u16string wideA = core::toUTF16(a);
    std::u16string wideB = core::toUTF16(b);
    UErrorCode status = U_ZERO_ERROR;
    int32_t order = u_strCaseCompare(wideA.data(), static_cast<int32_t>(wideA.size()), wideB.data(),
        static_cast<int32_t>(wideB.size()), U_FOLD_CASE_DEFAULT, &status);
    return U_SUCCESS(status) && order == 0;
}

bool mimeTypeStartsWith(const VKFileResource& resource, std::string_view prefix)
{
    return resource.mimeType().starts_with(prefix);
}

} // namespace

std::shared_ptr<VKFileResource> VKFileResource::resourceWithPath(std::string_view path)
{
    return resourceWithPath(path, false);
}

std::shared_ptr<VKFileResource> VKFileResource::resourceWithPath(std::string_view path, bool caseInsenstiveMatch)
{
    if (path.empty() || !core::path::isAbsolute(path) || core::fs::hasNul(path))
        return nullptr;
    if (auto cloud = VKCloudHooks::current()) {
        if (core::path::isWithin(path, VKHomeLayout::current()->serversDirectory()))
            return cloud->resourceWithPath(std::string(path));
    }
    auto match = matchingPath(path, caseInsenstiveMatch);
    return match ? makeWithPathNoChecks(std::move(*match)) : nullptr;
}

std::optional<std::string> VKFileResource::matchingPath(std::string_view path, bool caseInsensitiveMatch)
{
    std::string given(path);
    if (core::fs::exists(given))
        return given;
    if (!caseInsensitiveMatch)
        return std::nullopt;
    std::string built;
    for (const auto& component : core::path::pathComponents(path)) {
        std::string candidate = core::path::appendingPathComponent(built, component);
        if (component == "/" || core::fs::exists(candidate)) {
            built = std::move(candidate);
            continue;
        }
        auto names = core::fs::contentsOfDirectory(built);
        if (!names)
            return std::nullopt;
        auto found = std::find_if(names->begin(), names->end(),
            [&](const std::string& name) { return equalIgnoringCase(name, component); });
        if (found == names->end())
            return std::nullopt;
        built = core::path::appendingPathComponent(built, *found);
    }
    if (!core::fs::exists(built))
        return std::nullopt;
    return built;
}

std::shared_ptr<VKFileResource> VKFileResource::makeWithPathNoChecks(std::string path)
{
    return std::shared_ptr<VKFileResource>(new VKFileResource(std::move(path)));
}

VKFileResource::VKFileResource(std::string path)
    : m_path(std::move(path))
{
}

VKFileResource::~VKFileResource() = default;

std::string VKFileResource::path() const
{
    std::lock_guard lock(m_propertyLock);
    return m_path;
}

void VKFileResource::updatePath(std::string path)
{
    std::lock_guard lock(m_propertyLock);
    m_path = std::move(path);
    m_UUID.clear();
    m_UUIDInMemoryOnly = false;
    m_isDirectoryCache.reset();
}

std::string VKFileResource::description() const
{
    return fmt::format("<{} {}> {}", className(), fmt::ptr(this), core::path::abbreviatingWithTildeInPath(path()));
}

void VKFileResource::setMarkedDeleted(bool marked)
{
    if (marked)
        xattrSetString("YES", path(), VKFileResourceMarkedDeletedAttribute, AttributeOptions);
    else
        xattrRemoveDataForItemAtPath(path(), VKFileResourceMarkedDeletedAttribute, AttributeOptions);
}

bool VKFileResource::isMarkedDeleted() const
{
    return xattrStringForItemAtPath(path(), VKFileResourceMarkedDeletedAttribute, AttributeOptions) == "YES";
}

std::optional<std::string> VKFileResource::localizedDescriptionForUnsupportedFileOperation(int32_t) const
{
    return std::nullopt;
}

std::shared_ptr<VKFileResource> VKFileResource::associatedAppleDoubleResource() const
{
    std::string itemName = name();
    if (itemName.starts_with("._"))
        return nullptr;
    return resourceWithPath(core::path::appendingPathComponent(core::path::deletingLastPathComponent(path()), "._" + itemName));
}

bool VKFileResource::exists() const
{
    std::string itemPath = path();
    return !itemPath.empty() && core::fs::exists(itemPath);
}

bool VKFileResource::leadsOutOfHome() const
{
    const std::string itemPath = path();
    if (itemPath.empty() || core::fs::hasNul(itemPath))
        return false;
    char* resolved = realpath(itemPath.c_str(), nullptr);
    if (!resolved)
        return false;
    const std::string target(resolved);
    std::free(resolved);
    // The home itself may lie behind a link (a temporary folder's).
    char* home = realpath(core::paths::home().c_str(), nullptr);
    const std::string root = home ? std::string(home) : core::paths::home();
    std::free(home);
    return !core::path::isWithin(target, root);
}

bool VKFileResource::isDirectory() const
{
    std::lock_guard lock(m_propertyLock);
    if (!m_isDirectoryCache)
        m_isDirectoryCache = !m_path.empty() && core::fs::isDirectory(m_path);
    return *m_isDirectoryCache;
}

bool VKFileResource::isPackage() const
{
    return isDirectory() && MIMEIsPackageType(path());
}

bool VKFileResource::isCollection() const
{
    return isDirectory() && !MIMEIsPackageType(path());
}

uint64_t VKFileResource::size() const
{
    if (isPackage())
        return VKQuotaManager::defaultManager()->sizeForPath(path());
    return sizeOfItemAtPath(path());
}

uint64_t VKFileResource::localSize() const
{
    return sizeOfItemAtPath(path());
}

uint64_t VKFileResource::contentSize() const
{
    if (isDirectory())
        return VKQuotaManager::defaultManager()->contentSizeForPath(path());
    return size();
}

std::optional<core::Date> VKFileResource::modificationDate() const
{
    return modificationDateOfItemAtPath(path());
}

std::optional<core::Date> VKFileResource::creationDate() const
{
    return creationDateOfItemAtPath(path());
}

std::optional<std::vector<std::string>> VKFileResource::childNames(core::Error* error) const
{
    if (!isDirectory()) {
        core::setError(error, core::Error::posix(ENOTDIR));
        return std::nullopt;
    }
    core::Error failure;
    auto names = core::fs::contentsOfDirectory(path(), &failure);
    if (!names) {
        core::log("Warning, contentsOfDirectoryAtPath failed with error: {}", failure.description());
        core::setError(error, std::move(failure));
    }
    return names;
}

std::optional<std::vector<std::shared_ptr<VKFileResource>>> VKFileResource::children(core::Error* error) const
{
    if (!isDirectory()) {
        core::setError(error, core::Error::posix(ENOTDIR));
        return std::nullopt;
    }
    core::Error failure;
    auto entries = core::fs::contentsOfDirectoryWithTypes(path(), &failure);
    if (!entries) {
        core::log("Warning, contentsOfDirectoryAtPath failed with error: {}", failure.description());
        core::setError(error, std::move(failure));
        return std::nullopt;
    }
    // A listed name holds no "/": each child's path is the folder's, made
    // once, and its name.
    std::string prefix = core::path::appendingPathComponent(path(), "x");
    prefix.pop_back();
    std::vector<std::shared_ptr<VKFileResource>> resources;
    resources.reserve(entries->size());
    for (const auto& entry : *entries) {
        std::string childPath;
        childPath.reserve(prefix.size() + entry.name.size());
        childPath.append(prefix).append(entry.name);
        auto child = makeWithPathNoChecks(std::move(childPath));
        // The listing already told what each entry is; only a link needs a
        // look at what it points to.
        if (!entry.isLink)
            child->m_isDirectoryCache = entry.isDirectory;
        resources.push_back(std::move(child));
    }
    return resources;
}

std::vector<VKFileResource::ListingAttributes> VKFileResource::listingAttributes(
    const std::vector<const VKFileResource*>& items, bool sizes, bool dates)
{
    std::vector<ListingAttributes> answers(items.size());
    // The folder of the first plain item, with its final "/"; items
    // elsewhere, the kinds that answer otherwise and the sizes of folders
    // (their contents', from the quota tree) are answered by the items
    // themselves afterwards, on this thread.
    auto plainPath = [](const VKFileResource& item) {
        return typeid(item) == typeid(VKFileResource) ? item.path() : std::string();
    };
    std::string folder;
    for (const VKFileResource* item : items) {
        std::string itemPath = plainPath(*item);
        size_t slash = itemPath.rfind('/');
        if (slash != std::string::npos && slash + 1 < itemPath.size()) {
            folder = itemPath.substr(0, slash + 1);
            break;
        }
    }
    core::Descriptor directory(folder.empty() ? -1 : ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    enum : char { Read, Elsewhere, FolderSize };
    std::vector<char> left(items.size(), Read);
    auto read = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            std::string itemPath = directory.isValid() ? plainPath(*items[i]) : std::string();
            size_t slash = itemPath.rfind('/');
            if (slash + 1 != folder.size() || slash + 1 >= itemPath.size() || itemPath.compare(0, slash + 1, folder) != 0) {
                left[i] = Elsewhere;
                continue;
            }
            bool folderSize = sizes && items[i]->isDirectory();
            if (folderSize)
                left[i] = FolderSize;
            if (folderSize && !dates)
                continue;
            struct stat info;
            if (fstatat(directory.get(), itemPath.c_str() + slash + 1, &info, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0)
                continue;
            if (sizes && !folderSize)
                answers[i].contentSize = uint64_t(info.st_size);
            if (dates)
                answers[i].modificationDate = core::Date::fromUnixTime(double(info.st_mtim.tv_sec));
        }
    };
    // Thousands of items are read by two threads: the lookups in a large
    // folder are most of a listing's time.
    core::Thread::inTwoHalves(items.size(), read);
    for (size_t i = 0; i < items.size(); ++i) {
        if (left[i] == Read)
            continue;
        if (sizes)
            answers[i].contentSize = items[i]->contentSize();
        if (dates && left[i] == Elsewhere)
            answers[i].modificationDate = items[i]->modificationDate();
    }
    return answers;
}

std::shared_ptr<VKFileResource> VKFileResource::parent() const
{
    return resourceWithPath(core::path::deletingLastPathComponent(path()));
}

std::optional<std::vector<std::shared_ptr<VKFileResource>>> VKFileResource::childrenMatchingIsCollection() const
{
    if (!isDirectory())
        return std::nullopt;
    std::string folder = path();
    std::vector<std::shared_ptr<VKFileResource>> resources;
    auto names = VKQuotaManager::defaultManager()->collectionNamesForPath(folder, true);
    if (names.empty())
        return resources;
    std::string prefix = core::path::appendingPathComponent(folder, "x");
    prefix.pop_back();
    // The quota tree may lag behind the disk: a name counts while the folder
    // still lists it, and the listing tells each entry's kind, so that a
    // folder of thousands costs one read, not a lookup a child. Children
    // the cloud answers for, and a folder that cannot be listed, take the
    // lookups.
    auto cloud = VKCloudHooks::current();
    bool cloudChildren = cloud && core::path::isWithin(prefix + "x", VKHomeLayout::current()->serversDirectory());
    std::optional<std::vector<core::fs::DirectoryEntry>> entries;
    if (!cloudChildren)
        entries = core::fs::contentsOfDirectoryWithTypes(folder);
    if (!entries) {
        for (const auto& childName : names) {
            if (auto child = resourceWithPath(prefix + childName))
                resources.push_back(std::move(child));
        }
        return resources;
    }
    std::unordered_map<std::string_view, const core::fs::DirectoryEntry*> listed;
    listed.reserve(entries->size());
    for (const auto& entry : *entries)
        listed.emplace(entry.name, &entry);
    resources.reserve(names.size());
    for (auto& childName : names) {
        auto found = listed.find(childName);
        if (found == listed.end())
            continue;
        const core::fs::DirectoryEntry& entry = *found->second;
        std::string childPath = prefix + childName;
        // A link counts where it leads, as a lookup by path would.
        if (entry.isLink && !core::fs::exists(childPath))
            continue;
        auto child = makeWithPathNoChecks(std::move(childPath));
        if (!entry.isLink)
            child->m_isDirectoryCache = entry.isDirectory;
        resources.push_back(std::move(child));
    }
    return resources;
}

std::vector<std::shared_ptr<VKFileResource>> VKFileResource::childrenMatchingName(std::string_view query) const
{
    std::vector<std::shared_ptr<VKFileResource>> resources;
    std::string folder = path();
    auto matches = VKQuotaManager::defaultManager()->itemsMatchingQuery(query, folder, false, false);
    if (!matches)
        return resources;
    for (const auto& relative : *matches) {
        if (auto child = resourceWithPath(core::path::appendingPathComponent(folder, relative)))
            resources.push_back(std::move(child));
    }
    return resources;
}

uint64_t VKFileResource::sizeOfChildren() const
{
    return isDirectory() ? VKQuotaManager::defaultManager()->sizeForPath(path(), false) : 0;
}

uint64_t VKFileResource::sizeOfChildrenMatchingName(std::string_view query) const
{
    return isDirectory() ? VKQuotaManager::defaultManager()->sizeForPath(path(), query, false, false) : 0;
}

bool VKFileResource::conformsToUTIdentifier(std::string_view identifier) const
{
    std::string extension = pathExtension();
    // Office documents are zip containers, yet never offered as archives.
    if (identifier == "public.archive" && (extension == "docx" || extension == "xlsx" || extension == "pptx"))
        return false;
    auto type = UTTypePreferredIdentifierForExtension(extension);
    return type && UTTypeConformsTo(*type, identifier);
}

std::string VKFileResource::mimeType() const
{
    return MIMEGetTypeForFile(path());
}

std::string VKFileResource::localizedName() const
{
    std::string itemPath = path();
    auto layout = VKHomeLayout::current();
    if (itemPath == layout->documentsDirectory())
        return core::localized("Documents");
    if (itemPath == layout->publicDirectory())
        return core::localized("Public");
    if (itemPath == layout->serversDirectory())
        return core::localized("Servers");
    return name();
}

std::string VKFileResource::pathExtension() const
{
    return core::path::pathExtension(path());
}

std::string VKFileResource::baseName() const
{
    return core::path::deletingPathExtension(name());
}

std::string VKFileResource::name() const
{
    return core::path::lastPathComponent(path());
}

core::URL VKFileResource::fileURL() const
{
    return core::URL::fileURL(path(), isDirectory());
}

std::string VKFileResource::UUID() const
{
    // Filled under the lock, and written create-only: two threads (or two
    // resources of one item) that find no UUID agree on the one written first.
    std::lock_guard lock(m_propertyLock);
    if (!m_UUID.empty())
        return m_UUID;
    if (auto stored = storedUUID(m_path)) {
        m_UUID = *stored;
        return m_UUID;
    }
    std::string fresh = vkGenerateUUID();
    core::Error error;
    bool written = xattrSetString(fresh, m_path, VKFileResourceUUIDAttribute,
        AttributeOptions | core::ExtendedAttributes::CreateOnly, &error);
    if (!written && error.is(core::Error::POSIXDomain, EEXIST)) {
        if (auto stored = storedUUID(m_path)) {
            m_UUID = *stored;
            return m_UUID;
        }
        // An empty or unusable value is ours to replace.
        written = xattrSetString(fresh, m_path, VKFileResourceUUIDAttribute, AttributeOptions);
    }
    if (!written)
        core::log("Warning, failed to set thumbnail cache key for: {}", m_path);
    // Kept either way, so that the resource answers one UUID for its lifetime.
    m_UUID = fresh;
    m_UUIDInMemoryOnly = !written;
    return m_UUID;
}

std::string VKFileResource::existingUUID() const
{
    std::lock_guard lock(m_propertyLock);
    if (m_UUID.empty()) {
        if (auto stored = storedUUID(m_path))
            m_UUID = *stored;
    }
    return m_UUID;
}

bool VKFileResource::isUUIDStored() const
{
    // Subclasses that keep their UUID elsewhere (cloud items, downloads)
    // never reach the in-memory fallback.
    if (UUID().empty())
        return false;
    std::lock_guard lock(m_propertyLock);
    return !m_UUIDInMemoryOnly;
}

bool VKFileResource::isEqual(const core::Object& other) const
{
    if (this == &other)
        return true;
    const auto* resource = dynamic_cast<const VKFileResource*>(&other);
    if (!resource)
        return false;
    // The other must be of the receiver's class or below it: a plain resource
    // equals any resource of its path, a subclass only its own kind.
    if (typeid(*this) != typeid(VKFileResource) && typeid(*this) != typeid(*resource))
        return false;
    return path() == resource->path();
}

size_t VKFileResource::hash() const
{
    return std::hash<std::string>()(path());
}

bool VKFileResource::isImageType() const
{
    return mimeTypeStartsWith(*this, "image/");
}

bool VKFileResource::isMovieType() const
{
    return mimeTypeStartsWith(*this, "video/");
}

bool VKFileResource::isAudioType() const
{
    return mimeTypeStartsWith(*this, "audio/");
}

bool VKFileResource::isTextType() const
{
    return mimeTypeStartsWith(*this, "text/");
}

bool VKFileResource::isPDFType() const
{
    return mimeType() == "application/pdf";
}

bool VKFileResource::isLocked() const
{
    auto hooks = VKServerLockHooks::current();
    if (!hooks)
        return false;
    auto uri = hooks->URIForLocalPath(path());
    return uri && !hooks->locksForURI(*uri).empty();
}

core::Observation VKFileResource::observeValueForKey(std::string_view, std::function<void()>)
{
    return {};
}

bool operator==(const VKFileResource& a, const VKFileResource& b)
{
    return a.isEqual(b);
}
