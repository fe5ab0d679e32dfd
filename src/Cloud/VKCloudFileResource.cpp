#include "Cloud/VKCloudFileResource.h"

#include "Cloud/StringCloudAdditions.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Predicate.h"

#include <array>
#include <sys/stat.h>

namespace {

using NodePointer = std::shared_ptr<VKCloudManagedObject>;

constexpr std::array<std::string_view, 8> ObservedKeys {
    "name", "modificationDate", "isDirectory", "cloudHash", "cloudRevision", "uploadState", "fetchProgress",
    "uploadProgress",
};

std::shared_ptr<VKCloudFileStore> storeOf(const VKCloudManagedObject&)
{
    return VKCloudFileStore::storeForCurrentThread();
}

} // namespace

VKCloudFileResource::VKCloudFileResource(std::shared_ptr<VKCloudManagedObject> node)
    : VKFileResource(std::string())
    , m_managedObject(std::move(node))
{
}

std::shared_ptr<VKCloudFileResource> VKCloudFileResource::resourceWithManagedObject(NodePointer node)
{
    if (!node) {
        core::log("VKCloudFileResource has nil VKCloudManagedObject");
        return nullptr;
    }
    return std::make_shared<VKCloudFileResource>(std::move(node));
}

std::shared_ptr<VKCloudFileResource> VKCloudFileResource::resourceWithPath(std::string_view path)
{
    auto store = VKCloudFileStore::storeForCurrentThread();
    auto node = store ? store->managedObjectForPath(path) : nullptr;
    return node ? std::make_shared<VKCloudFileResource>(std::move(node)) : nullptr;
}

// ---- Values ----

std::string VKCloudFileResource::path() const
{
    auto store = storeOf(*m_managedObject);
    auto path = store ? store->pathForManagedObject(*m_managedObject) : std::nullopt;
    return path.value_or(std::string());
}

std::string VKCloudFileResource::cloudPath() const
{
    return stringByConvertingToCloudPath(path()).value_or(std::string());
}

std::string VKCloudFileResource::name() const
{
    return m_managedObject->name();
}

bool VKCloudFileResource::isDirectory() const
{
    return m_managedObject->isDirectory();
}

uint64_t VKCloudFileResource::size() const
{
    int64_t size = m_managedObject->size();
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

uint64_t VKCloudFileResource::contentSize() const
{
    auto store = storeOf(*m_managedObject);
    if (!isDirectory() || !store)
        return size();
    int64_t sum = store->sizeOfChildrenForManagedObject(*m_managedObject, true);
    return sum < 0 ? 0 : static_cast<uint64_t>(sum);
}

std::optional<core::Date> VKCloudFileResource::modificationDate() const
{
    return m_managedObject->modificationDate();
}

std::optional<core::Date> VKCloudFileResource::creationDate() const
{
    return m_managedObject->modificationDate();
}

std::string VKCloudFileResource::UUID() const
{
    return m_managedObject->UUID();
}

std::optional<std::string> VKCloudFileResource::cloudHash() const
{
    return m_managedObject->cloudHash();
}

int64_t VKCloudFileResource::cloudRevision() const
{
    return m_managedObject->cloudRevision();
}

int32_t VKCloudFileResource::uploadState() const
{
    return m_managedObject->uploadState();
}

float VKCloudFileResource::fetchProgress() const
{
    return m_managedObject->fetchProgress();
}

float VKCloudFileResource::uploadProgress() const
{
    return m_managedObject->uploadProgress();
}

bool VKCloudFileResource::isUpload() const
{
    return m_managedObject->isUpload();
}

bool VKCloudFileResource::isUploading() const
{
    return m_managedObject->isUploading();
}

bool VKCloudFileResource::exists() const
{
    return m_managedObject->isValid();
}

bool VKCloudFileResource::isStoredLocally() const
{
    std::string itemPath = path();
    struct stat status {};
    return !itemPath.empty() && lstat(itemPath.c_str(), &status) == 0;
}

int32_t VKCloudFileResource::supportedFileOperations() const
{
    if (isUpload())
        return VKFileResourceOperationDelete;
    return VKFileResourceOperationDelete | VKFileResourceOperationMove | VKFileResourceOperationCopy
        | VKFileResourceOperationRename | VKFileResourceOperationCreateFolder | VKFileResourceOperationDownload;
}

std::optional<std::string> VKCloudFileResource::localizedDescriptionForUnsupportedFileOperation(int32_t) const
{
    return core::localized("Operation not supported for cloud resources");
}

void VKCloudFileResource::setMarkedDeleted(bool marked)
{
    m_managedObject->setMarkedDeleted(marked);
    if (!marked && isStoredLocally())
        VKFileResource::setMarkedDeleted(false);
}

bool VKCloudFileResource::isMarkedDeleted() const
{
    return m_managedObject->isMarkedDeleted();
}

// ---- Tree ----

std::vector<std::shared_ptr<VKFileResource>> VKCloudFileResource::wrap(const std::vector<NodePointer>& nodes) const
{
    std::vector<std::shared_ptr<VKFileResource>> resources;
    resources.reserve(nodes.size());
    for (const auto& node : nodes)
        resources.push_back(std::make_shared<VKCloudFileResource>(node));
    return resources;
}

std::optional<std::vector<std::shared_ptr<VKFileResource>>> VKCloudFileResource::children(core::Error*) const
{
    auto store = storeOf(*m_managedObject);
    if (!isDirectory() || !store)
        return std::nullopt;
    return wrap(store->childrenForManagedObject(*m_managedObject));
}

std::optional<std::vector<std::string>> VKCloudFileResource::childNames(core::Error*) const
{
    auto store = storeOf(*m_managedObject);
    if (!isDirectory() || !store)
        return std::nullopt;
    std::vector<std::string> names;
    for (const auto& node : store->childrenForManagedObject(*m_managedObject))
        names.push_back(node->name());
    return names;
}

std::optional<std::vector<std::shared_ptr<VKFileResource>>> VKCloudFileResource::childrenMatchingIsCollection() const
{
    auto context = m_managedObject->context();
    if (!isDirectory() || !context)
        return std::nullopt;
    core::Error error;
    auto found = context->fetch(store::Predicate::parentIs(m_managedObject)
            && store::Predicate::equal("isDirectory", core::Value(true)),
        &error);
    if (error) {
        core::log("Warning, executeFetchRequest error: {}", error);
        return std::nullopt;
    }
    std::vector<std::shared_ptr<VKFileResource>> folders;
    for (const auto& object : found) {
        auto resource = std::make_shared<VKCloudFileResource>(std::dynamic_pointer_cast<VKCloudManagedObject>(object));
        if (!resource->isPackage())
            folders.push_back(std::move(resource));
    }
    return folders;
}

std::vector<std::shared_ptr<VKFileResource>> VKCloudFileResource::childrenMatchingName(std::string_view query) const
{
    auto context = m_managedObject->context();
    if (!isDirectory() || !context)
        return {};
    std::vector<NodePointer> nodes;
    for (const auto& object : context->fetch(
             store::Predicate::parentIs(m_managedObject) && store::Predicate::contains("name", std::string(query))))
        nodes.push_back(std::dynamic_pointer_cast<VKCloudManagedObject>(object));
    return wrap(nodes);
}

uint64_t VKCloudFileResource::sizeOfChildrenMatchingName(std::string_view query) const
{
    auto context = m_managedObject->context();
    if (!isDirectory() || !context)
        return 0;
    int64_t sum = context->sum("size",
        store::Predicate::parentIs(m_managedObject) && store::Predicate::contains("name", std::string(query)));
    return sum < 0 ? 0 : static_cast<uint64_t>(sum);
}

uint64_t VKCloudFileResource::sizeOfChildren() const
{
    auto store = storeOf(*m_managedObject);
    if (!isDirectory() || !store)
        return 0;
    int64_t sum = store->sizeOfChildrenForManagedObject(*m_managedObject);
    return sum < 0 ? 0 : static_cast<uint64_t>(sum);
}

std::shared_ptr<VKFileResource> VKCloudFileResource::parent() const
{
    if (auto folder = m_managedObject->parent())
        return std::make_shared<VKCloudFileResource>(std::move(folder));
    return VKFileResource::parent();
}

std::shared_ptr<VKFileResource> VKCloudFileResource::associatedAppleDoubleResource() const
{
    std::string itemName = name();
    if (itemName.starts_with("._"))
        return nullptr;
    auto folder = m_managedObject->parent();
    auto companion = folder ? folder->childWithName("._" + itemName, true) : nullptr;
    return companion ? std::make_shared<VKCloudFileResource>(std::move(companion)) : nullptr;
}

// ---- Observation and identity ----

core::Observation VKCloudFileResource::observeValueForKey(std::string_view key, std::function<void()> handler)
{
    if (std::find(ObservedKeys.begin(), ObservedKeys.end(), key) != ObservedKeys.end())
        return m_managedObject->observe(key, std::move(handler));
    return VKFileResource::observeValueForKey(key, std::move(handler));
}

bool VKCloudFileResource::isEqual(const core::Object& other) const
{
    const auto* resource = dynamic_cast<const VKCloudFileResource*>(&other);
    return resource && resource->m_managedObject == m_managedObject;
}

size_t VKCloudFileResource::hash() const
{
    return m_managedObject->hash();
}
