#include "Cloud/VKCloudFileStore.h"

#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Kit/ErrorAdditions.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/StringAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/Assert.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UTF8.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Coordinator.h"
#include "Platform/Store/Predicate.h"
#include "Platform/Store/Schema.h"

#include <cerrno>
#include <fmt/format.h>
#include <mutex>
#include <unordered_set>

struct VKCloudFileStore::Private { };

namespace {

using Node = VKCloudManagedObject;
using NodePointer = std::shared_ptr<VKCloudManagedObject>;

struct Shared {
    std::mutex mutex;
    std::shared_ptr<store::Coordinator> coordinator;
    std::shared_ptr<VKCloudFileStore> store;
};

Shared& shared()
{
    static Shared state;
    return state;
}

std::vector<NodePointer> nodes(const std::vector<std::shared_ptr<store::Object>>& objects)
{
    std::vector<NodePointer> result;
    result.reserve(objects.size());
    for (const auto& object : objects) {
        if (auto node = std::dynamic_pointer_cast<Node>(object))
            result.push_back(std::move(node));
    }
    return result;
}

core::Error posixError(int code, const char* description)
{
    return errorWithPOSIXCode(code, core::localized(description));
}

// Names a listing may hand us but that cannot name an item: they would make
// a node whose local path is its folder's, or one above it.
bool isValidName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos && core::utf8::isValid(name);
}

// Only the IDs of a save cross threads; the objects stay with their thread.
// A save without its objects, which belong to the saving thread.
store::ContextSave idsOfSave(const store::ContextSave& save)
{
    return { {}, {}, {}, save.insertedIDs, save.updatedIDs, save.deletedIDs, save.updatedKeys };
}

} // namespace

// ---- The stores ----

VKCloudFileStore::VKCloudFileStore(const Private&, std::shared_ptr<store::Context> context)
    : m_context(std::move(context))
{
}

VKCloudFileStore::~VKCloudFileStore() = default;

std::string VKCloudFileStore::fileStorePath()
{
    return core::path::appendingPathComponent(VKHomeLayout::current()->metadataDirectory(),
        VKCloudFileStoreFileName);
}

std::shared_ptr<VKCloudFileStore> VKCloudFileStore::make()
{
    std::shared_ptr<store::Coordinator> coordinator;
    {
        std::lock_guard lock(shared().mutex);
        coordinator = shared().coordinator;
    }
    std::shared_ptr<store::Context> context;
    if (coordinator)
        context = store::Context::create(coordinator);
    return std::make_shared<VKCloudFileStore>(Private {}, std::move(context));
}

std::shared_ptr<VKCloudFileStore> VKCloudFileStore::sharedStore()
{
    {
        std::lock_guard lock(shared().mutex);
        if (shared().store)
            return shared().store;
    }
    if (!core::Thread::isMainThread()) {
        core::log("Warning, VKCloudFileStore sharedStore first asked for off the main thread");
        return nullptr;
    }
    // A file that cannot be opened leaves a store without objects: lookups
    // find nothing and saves have nothing to do.
    auto coordinator = store::Coordinator::open(fileStorePath(), VKCloudManagedObject::schema());
    {
        std::lock_guard lock(shared().mutex);
        shared().coordinator = coordinator;
    }
    auto made = make();
    std::lock_guard lock(shared().mutex);
    shared().store = made;
    return made;
}

std::shared_ptr<VKCloudFileStore> VKCloudFileStore::create()
{
    std::shared_ptr<VKCloudFileStore> main;
    {
        std::lock_guard lock(shared().mutex);
        main = shared().store;
    }
    if (!main) {
        core::log("Warning, a VKCloudFileStore made before the shared store");
        return nullptr;
    }
    auto store = make();
    if (store->m_context) {
        std::weak_ptr<VKCloudFileStore> weakMain = main;
        store->m_otherContextDidSave = core::NotificationCenter::defaultCenter().observe(store::ContextDidSaveNotification,
            store->m_context, [weakMain](const store::ContextSave& save) {
                core::performOnMainThread(weakMain, [ids = idsOfSave(save)](VKCloudFileStore& main) {
                    main.updateFromOtherContextDidSaveNotification(ids);
                });
            });
    }
    core::Thread::current()->threadDictionary()[VKCloudFileStoreThreadDictionaryKey] = core::Value(store);
    return store;
}

std::shared_ptr<VKCloudFileStore> VKCloudFileStore::storeForCurrentThread()
{
    if (core::Thread::isMainThread())
        return sharedStore();
    auto& dictionary = core::Thread::current()->threadDictionary();
    auto found = dictionary.find(VKCloudFileStoreThreadDictionaryKey);
    return found == dictionary.end() ? nullptr : found->second.objectAs<VKCloudFileStore>();
}

void VKCloudFileStore::zapCloudFileStore()
{
    std::vector<std::string> paths { fileStorePath() };
    {
        std::lock_guard lock(shared().mutex);
        if (shared().coordinator && shared().coordinator->path() != paths.front())
            paths.push_back(shared().coordinator->path());
        shared().store.reset();
        shared().coordinator.reset();
    }
    for (const auto& path : paths) {
        for (const char* suffix : { "", "-wal", "-shm" })
            core::fs::removeItem(path + suffix);
    }
}

void VKCloudFileStore::resetForTesting()
{
    std::lock_guard lock(shared().mutex);
    shared().store.reset();
    shared().coordinator.reset();
}

std::string VKCloudFileStore::entityName() const
{
    return Node::EntityName;
}

std::shared_ptr<store::Coordinator> VKCloudFileStore::persistentStoreCoordinator() const
{
    return m_context ? m_context->coordinator() : nullptr;
}

std::string VKCloudFileStore::description() const
{
    return fmt::format("<VKCloudFileStore {}> {}", fmt::ptr(this), m_context ? m_context->description() : "(no file)");
}

// ---- Paths and nodes ----

NodePointer VKCloudFileStore::rootNode()
{
    if (!m_context)
        return nullptr;
    if (m_rootNode && m_rootNode->isValid())
        return m_rootNode;
    auto found = nodes(m_context->fetch(store::Predicate::parentIDIs(0)));
    if (!found.empty()) {
        // The oldest one, should a damaged file have several.
        m_rootNode = *std::min_element(found.begin(), found.end(),
            [](const NodePointer& a, const NodePointer& b) { return a->objectID() < b->objectID(); });
        return m_rootNode;
    }
    m_rootNode = m_context->insert<Node>();
    m_rootNode->setName("/");
    m_rootNode->setIsDirectory(true);
    return m_rootNode;
}

std::optional<std::string> VKCloudFileStore::pathForManagedObject(const VKCloudManagedObject& object) const
{
    if (!object.isValid())
        return std::nullopt;
    std::vector<std::string> names;
    std::unordered_set<int64_t> seen { object.objectID() };
    NodePointer node;
    const Node* current = &object;
    while (current->parentID() != 0) {
        names.push_back(current->name());
        node = current->parent();
        if (!node || !seen.insert(node->objectID()).second)
            return std::nullopt;
        current = node.get();
    }
    auto root = const_cast<VKCloudFileStore*>(this)->rootNode();
    if (!root || current->objectID() != root->objectID())
        return std::nullopt;
    std::string path = VKHomeLayout::current()->serversDirectory();
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        path = core::path::appendingPathComponent(path, *name);
    return path;
}

std::optional<std::vector<std::string>> VKCloudFileStore::pathComponentsRelativeToRoot(std::string_view path)
{
    if (!core::path::isAbsolute(path))
        return std::nullopt;
    auto relative = stringByAbbreviatingRelativeToPath(path, VKHomeLayout::current()->serversDirectory());
    if (!relative)
        return std::nullopt;
    if (relative->empty())
        return std::vector<std::string> {};
    return core::path::pathComponents(*relative);
}

NodePointer VKCloudFileStore::managedObjectForPath(std::string_view path, bool caseSensitive)
{
    auto components = pathComponentsRelativeToRoot(path);
    if (!components)
        return nullptr;
    auto node = rootNode();
    for (const auto& component : *components) {
        if (!node)
            break;
        node = node->childWithName(component, caseSensitive);
    }
    return node;
}

NodePointer VKCloudFileStore::folderNodeForPath(std::string_view path)
{
    std::string folder = core::path::deletingLastPathComponent(path);
    if (folder.empty())
        return nullptr;
    return managedObjectForPath(folder);
}

// ---- Changes ----

bool VKCloudFileStore::validateInsert(std::string_view name, const NodePointer& parent, core::Error* error)
{
    if (!isValidName(name)) {
        core::setError(error, posixError(EINVAL, "Invalid file name"));
        return false;
    }
    if (!parent || !parent->isValid()) {
        core::setError(error, posixError(ENOENT, "Parent directory does not exist"));
        return false;
    }
    if (!parent->isDirectory()) {
        core::setError(error, posixError(ENOTDIR, "Parent is not a directory"));
        return false;
    }
    if (parent->childWithName(name, true)) {
        core::setError(error, posixError(EEXIST, "File already exists"));
        return false;
    }
    return true;
}

NodePointer VKCloudFileStore::insertObjectWithName(std::string_view name, const NodePointer& parent, core::Error* error)
{
    if (!m_context) {
        core::setError(error, posixError(ENOENT, "Parent directory does not exist"));
        return nullptr;
    }
    if (!validateInsert(name, parent, error))
        return nullptr;
    auto node = m_context->insert<Node>();
    node->setName(name);
    node->setParent(parent);
    return node;
}

NodePointer VKCloudFileStore::insertObjectForPath(std::string_view path, core::Error* error)
{
    return insertObjectWithName(core::path::lastPathComponent(path), folderNodeForPath(path), error);
}

NodePointer VKCloudFileStore::copyObject(const VKCloudManagedObject& source, std::string_view toPath, core::Error* error)
{
    auto node = insertObjectForPath(toPath, error);
    if (!node)
        return nullptr;
    node->setModificationDate(source.modificationDate());
    node->setSize(source.size());
    node->setIsDirectory(source.isDirectory());
    return node;
}

bool VKCloudFileStore::moveObject(const NodePointer& object, std::string_view toPath, core::Error* error)
{
    auto root = rootNode();
    if (!object || !object->isValid() || (root && object->objectID() == root->objectID())) {
        core::setError(error, core::Error::posix(EINVAL));
        return false;
    }
    std::string name = core::path::lastPathComponent(toPath);
    auto parent = folderNodeForPath(toPath);
    if (!validateInsert(name, parent, error))
        return false;
    // A folder moved into its own subtree would leave the tree, and its
    // items with it.
    std::unordered_set<int64_t> seen;
    for (auto above = parent; above; above = above->parent()) {
        if (above->objectID() == object->objectID() || !seen.insert(above->objectID()).second) {
            core::setError(error, core::Error::posix(EINVAL));
            return false;
        }
    }
    object->setParent(parent);
    object->setName(name);
    return true;
}

bool VKCloudFileStore::deleteObject(const NodePointer& object, core::Error* error)
{
    if (!object || !m_context)
        return false;
    auto root = rootNode();
    if (root && object->objectID() == root->objectID()) {
        core::log("Warning, attempting to remove root");
        core::setError(error, posixError(EPERM, "Unable to remove a root node"));
        return false;
    }
    m_context->deleteObject(object);
    return true;
}

// ---- Children and sizes ----

std::vector<NodePointer> VKCloudFileStore::childrenForManagedObject(const VKCloudManagedObject& object)
{
    if (!m_context)
        return {};
    core::Error error;
    auto found = m_context->fetch(store::Predicate::parentIs(&object), &error);
    if (error)
        core::log("Warning, executeFetchRequest error: {}", error);
    return nodes(found);
}

uint64_t VKCloudFileStore::childCountForManagedObject(const VKCloudManagedObject& object)
{
    if (!m_context || !object.isDirectory())
        return 0;
    core::Error error;
    uint64_t count = m_context->count(store::Predicate::parentIs(&object), &error);
    if (error)
        core::log("Warning, countForFetchRequest error: {}", error);
    return count;
}

int64_t VKCloudFileStore::sumSizeForPredicate(const store::Predicate& predicate)
{
    if (!m_context)
        return 0;
    core::Error error;
    int64_t sum = m_context->sum("size", predicate, &error);
    if (error) {
        core::log("Warning, _sumSizeFetchRequest error: {}", error);
        return 0;
    }
    return sum;
}

int64_t VKCloudFileStore::sizeOfChildrenForManagedObject(const VKCloudManagedObject& object, bool recurse)
{
    if (!m_context || !object.isDirectory())
        return 0;
    int64_t total = 0;
    std::vector<int64_t> folders { object.objectID() };
    std::unordered_set<int64_t> seen { object.objectID() };
    while (!folders.empty()) {
        int64_t folder = folders.back();
        folders.pop_back();
        total += sumSizeForPredicate(store::Predicate::parentIDIs(folder));
        if (!recurse)
            break;
        core::Error error;
        auto below = m_context->fetch(
            store::Predicate::parentIDIs(folder) && store::Predicate::equal("isDirectory", core::Value(true)), &error);
        if (error)
            core::log("Warning, directory fetch request error: {}", error);
        for (const auto& child : below) {
            // A loop in a damaged file is walked once.
            if (seen.insert(child->objectID()).second)
                folders.push_back(child->objectID());
        }
    }
    return total;
}

std::string VKCloudFileStore::uniqueNameForItemAtPath(std::string_view path, std::string_view suffix)
{
    std::string name = core::path::lastPathComponent(path);
    auto folder = folderNodeForPath(path);
    if (!folder || !managedObjectForPath(path))
        return name;
    return uniqueName(name, suffix, [&](const std::string& candidate) { return folder->childWithName(candidate, true) != nullptr; });
}

// ---- Saving and merging ----

bool VKCloudFileStore::contextHasChanges() const
{
    return m_context && m_context->hasChanges();
}

bool VKCloudFileStore::saveContext()
{
    if (!contextHasChanges())
        return true;
    core::Error error;
    if (!m_context->save(&error)) {
        core::log("save error: {}", error);
        return false;
    }
    return true;
}

void VKCloudFileStore::updateFromOtherContextDidSaveNotification(const store::ContextSave& save)
{
    core::assertIsMainThread();
    if (!m_context)
        return;
    if (m_context->hasChanges())
        core::log("Warning, merging a NSManagedObjectContext with outstanding changes");
    m_context->mergeChangesFromContextDidSave(save);
    // Changes made here meanwhile go out too; values written on both sides
    // were merged property by property, so the save cannot conflict.
    if (m_context->hasChanges())
        saveContext();
}

// ---- Locks ----

bool VKCloudFileStore::acquireLock(const NodePointer& object)
{
    return object && m_lockedIDs.insert(object->objectID()).second;
}

void VKCloudFileStore::releaseLock(const NodePointer& object)
{
    if (object)
        m_lockedIDs.erase(object->objectID());
}

bool VKCloudFileStore::isLocked(const NodePointer& object) const
{
    return object && m_lockedIDs.contains(object->objectID());
}

// ---- Bootstrap ----

bool VKCloudFileStore::isBootstrapRequired()
{
    auto root = rootNode();
    return root && childCountForManagedObject(*root) == 0;
}

bool VKCloudFileStore::bootstrapCloudFileStore()
{
    std::string servers = VKHomeLayout::current()->serversDirectory();
    for (const auto& key : VKCloudServicesManager::sharedManager()->registeredServiceKeys())
        importItemAtPath(core::path::appendingPathComponent(servers, key));
    bool saved = m_context && saveContext();
    if (!saved)
        core::log("Warning, the cloud mirror's first filling could not be saved");
    return saved;
}

NodePointer VKCloudFileStore::importItemAtPath(std::string_view path)
{
    core::Error error;
    auto node = insertObjectForPath(path, &error);
    if (!node) {
        core::log("Warning, importItemAtPath failed for {}: {}", core::path::abbreviatingWithTildeInPath(path), error);
        return nullptr;
    }
    auto attributes = standardAttributesForItemAtPath(std::string(path), &error);
    if (!attributes) {
        core::log("Warning, importItemAtPath has no attributes for {}: {}", core::path::abbreviatingWithTildeInPath(path), error);
        return node;
    }
    const auto& values = *attributes;
    auto value = [&](const char* key) {
        auto found = values.find(key);
        return found == values.end() ? core::Value() : found->second;
    };
    node->setIsDirectory(value(NSFileType).toString() == NSFileTypeDirectory);
    node->setSize(value(NSFileSize).toInteger());
    auto date = value(NSFileModificationDate);
    if (date.isDate())
        node->setModificationDate(date.date());
    return node;
}
