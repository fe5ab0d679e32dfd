#include "Cloud/VKDropboxMirrorMerge.h"

#include "Cloud/DBMetadataAdditions.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKConcreteCloudService.h"
#include "DropboxSDK/DBMetadata.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace {

// A name the service may give a mirror node: one component, never one that
// walks the tree.
bool isSafeName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

// A path from the service as a log line may show it: NUL written out.
std::string printablePath(std::string_view path)
{
    std::string text;
    for (char c : path)
        text += c == '\0' ? std::string("\\0") : std::string(1, c);
    return text;
}

std::string foldedCase(std::string_view text)
{
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folded;
}

} // namespace

bool VKDropboxMirrorMerge::isSafeCloudPath(std::string_view path)
{
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string_view::npos)
        return false;
    size_t start = 1;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        std::string_view component = path.substr(start, end - start);
        if (component.empty() ? end != path.size() : !isSafeName(component))
            return false;
        start = end + 1;
    }
    return true;
}

std::string VKDropboxMirrorMerge::folderKey(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return foldedCase(path);
}


bool VKDropboxMirrorMerge::updateCloudResource(const Resource& resource, const std::shared_ptr<const DBMetadata>& metadata)
{
    if (!resource || !metadata)
        return false;
    const std::string recordPath = metadata->path().value_or(std::string());
    bool merged = false;
    if (!isSafeCloudPath(recordPath))
        core::log("Warning, updateCloudResource refusing record path: {}", printablePath(recordPath));
    else
        merged = mergeNode(resource->managedObject(), *metadata, resource->cloudPath());
    auto store = VKCloudFileStore::sharedStore();
    const bool saved = store && store->saveContext();
    return merged && saved;
}

bool VKDropboxMirrorMerge::mergeNode(const std::shared_ptr<VKCloudManagedObject>& node, const DBMetadata& metadata,
    const std::string& cloudPath)
{
    auto store = VKCloudFileStore::sharedStore();
    if (!store || !node || !node->isValid())
        return false;
    if (node->isUpload())
        return true;
    auto parent = node->parent();
    if (store->isLocked(node) || (parent && store->isLocked(parent))) {
        core::log("Warning, updateCloudResource skipping locked item: {}", cloudPath);
        return false;
    }
    auto resource = VKCloudFileResource::resourceWithManagedObject(node);
    if (!resource)
        return false;
    if (metadata.isDeleted())
        return m_service.deleteCloudResource(resource);
    if (metadata.isDirectory() != node->isDirectory()) {
        core::log("Warning, existing resource has incorrect file type: {}", resource->description());
        const std::string localPath = resource->path();
        if (!m_service.deleteCloudResource(resource))
            return false;
        auto replacement = metadata.isDirectory() ? m_service.insertCloudDirectoryResourceForPath(localPath)
                                                  : m_service.insertCloudFileResourceForPath(localPath);
        if (!replacement)
            return false;
        return mergeNode(replacement->managedObject(), metadata, cloudPath);
    }
    if (metadata.lastModifiedDate())
        node->setModificationDate(metadata.lastModifiedDate());
    node->setSize(std::max<int64_t>(0, metadata.totalBytes()));
    if (!node->isDirectory()) {
        // A copy this device just uploaded or imported has no revision yet
        // but already the size the cloud reports: it stays.
        const bool freshCopy = node->cloudRevision() <= 0 && resource->isStoredLocally()
            && resource->localSize() == static_cast<uint64_t>(node->size());
        if (!freshCopy && node->cloudRevision() != metadata.revision() && resource->isStoredLocally()) {
            core::Error error;
            if (!core::fs::removeItem(resource->path(), &error)) {
                core::log("updateCloudResource: removeItemAtPath failed: {}", error);
                return false;
            }
        }
        node->setCloudRevision(metadata.revision());
        return true;
    }
    if (!metadata.contents())
        return true;
    return mergeListing(node, metadata, cloudPath);
}

bool VKDropboxMirrorMerge::mergeListing(const std::shared_ptr<VKCloudManagedObject>& node, const DBMetadata& metadata,
    const std::string& cloudPath)
{
    auto store = VKCloudFileStore::sharedStore();
    node->setCloudHash(metadata.folderHash());
    node->setCloudRevision(metadata.revision());

    // Entries that cannot name a node directly below this folder are left
    // out; the rest merge. Names match exactly, so "A.txt" and "a.txt" are
    // two nodes.
    const std::string listedFolder = folderKey(metadata.path().value_or(std::string()));
    std::vector<std::pair<std::string, std::shared_ptr<const DBMetadata>>> entries;
    std::unordered_set<std::string> entryNames;
    for (const auto& entry : *metadata.contents()) {
        if (!entry)
            continue;
        const std::string entryPath = entry->path().value_or(std::string());
        const std::string name = metadataName(*entry);
        const bool belowFolder = !entryPath.empty() && entryPath.front() == '/'
            && folderKey(core::path::deletingLastPathComponent(entryPath)) == listedFolder;
        if (!isSafeName(name) || !belowFolder || !isSafeCloudPath(entryPath)) {
            core::log("Warning, updateCloudResource skipping listing entry: {}", printablePath(entryPath));
            continue;
        }
        if (entryNames.insert(name).second)
            entries.emplace_back(name, entry);
    }

    std::unordered_map<std::string, std::shared_ptr<VKCloudManagedObject>> children;
    for (const auto& child : store->childrenForManagedObject(*node)) {
        if (!child->isUpload() && !entryNames.count(child->name())) {
            if (auto gone = VKCloudFileResource::resourceWithManagedObject(child))
                m_service.deleteCloudResource(gone);
            continue;
        }
        children.emplace(child->name(), child);
    }

    const std::string folderPath = cloudPath == "/" ? std::string() : cloudPath;
    for (const auto& [name, entry] : entries) {
        auto child = children.count(name) ? children[name] : nullptr;
        if (!child) {
            core::Error error;
            child = store->insertObjectWithName(name, node, &error);
            if (!child) {
                core::log("Warning, updateCloudResource:withMetadata: failed for: {} ({})", name, error);
                return false;
            }
            child->setIsDirectory(entry->isDirectory());
        }
        const std::string childPath = folderPath + "/" + name;
        if (!mergeNode(child, *entry, childPath)) {
            core::log("Warning, updateCloudResource:withMetadata: failed for: {}", childPath);
            return false;
        }
    }
    return true;
}
