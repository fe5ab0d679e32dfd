#include "App/FolderBrowser/VKImportMediaOperation.h"

#include "Shell/ImageScalingAdditions.h"
#include "CloudOperations/VKCloudUploadManager.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKStagingFolder.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/URL.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/ImagePickerController.h"

#include <cerrno>
#include <mutex>

namespace {

using Picker = ui::ImagePickerController;

// Past this many names taken under our feet something else is wrong.
constexpr int MaximumMoveTries = 1000;

std::mutex hookMutex;
std::function<void(const std::string&)> writtenHook;

void runWrittenHook(const std::string& hiddenPath)
{
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(hookMutex);
        hook = writtenHook;
    }
    if (hook)
        hook(hiddenPath);
}

const core::Value& entry(const core::Value& info, const char* key)
{
    static const core::Value none;
    if (!info.isDictionary())
        return none;
    auto it = info.dictionary().find(key);
    return it == info.dictionary().end() ? none : it->second;
}

} // namespace

std::shared_ptr<VKImportMediaOperation> VKImportMediaOperation::create(std::shared_ptr<VKFileResource> destination)
{
    return std::shared_ptr<VKImportMediaOperation>(new VKImportMediaOperation(std::move(destination)));
}

VKImportMediaOperation::VKImportMediaOperation(std::shared_ptr<VKFileResource> destination)
    : VKFileOperation({})
{
    m_destinationPath = destination ? destination->path() : std::string();
    m_cloudDestination = destination && destination->isCloudResource();
    setDestination(std::move(destination));
    setLabel(core::localized("Copying Media"));
    m_indeterminate = true;
    m_mayBeCancelled = true;
}

void VKImportMediaOperation::setWrittenHookForTesting(std::function<void(const std::string&)> hook)
{
    std::lock_guard lock(hookMutex);
    writtenHook = std::move(hook);
}

void VKImportMediaOperation::run()
{
    beginBackgroundTask();
    if (m_cloudDestination && !m_destinationPath.empty() && !core::fs::exists(m_destinationPath)) {
        core::Error error;
        if (!core::fs::createDirectory(m_destinationPath, true, &error))
            core::log("Warning, failed to create {}: {}", m_destinationPath, error);
    }
}

void VKImportMediaOperation::importMediaWithInfo(const core::Value& info)
{
    m_importQueue.push_back(info);
    processImportQueue();
}

bool VKImportMediaOperation::isImporting() const
{
    return m_isImporting || !m_importQueue.empty();
}

std::string VKImportMediaOperation::localizedErrorDescription()
{
    return core::localized("Failed to import media");
}

void VKImportMediaOperation::processImportQueue()
{
    if (m_isImporting)
        return;
    if (m_importQueue.empty()) {
        sendDidEndDelegateMessage();
        return;
    }
    m_isImporting = true;
    core::Value info = std::move(m_importQueue.front());
    m_importQueue.pop_front();
    auto self = sharedAs<VKImportMediaOperation>();
    core::Thread::detach("VKImportMediaOperation", [self, info = std::move(info)] {
        std::optional<std::string> path = self->importMediaInBackground(info);
        core::performOnMainThread([self, path] { self->mediaImportDidCompleteForPath(path); });
    });
}

std::optional<std::string> VKImportMediaOperation::importMediaInBackground(const core::Value& info)
{
    if (entry(info, Picker::mediaURLKey).isString())
        return importMediaInfo(info);
    // A picture with a file of its own comes in as that file, untouched.
    if (auto source = filePath(entry(info, Picker::imageURLKey)))
        return copyIn(*source, core::path::lastPathComponent(*source));
    std::shared_ptr<gfx::Image> image = entry(info, Picker::editedImageKey).objectAs<gfx::Image>();
    if (!image)
        image = entry(info, Picker::originalImageKey).objectAs<gfx::Image>();
    if (!image) {
        core::log("Warning: UIImagePickerController appears to have returned no media: {}", info.description());
        return std::nullopt;
    }
    return importImage(image, core::localized("image"));
}

std::optional<std::string> VKImportMediaOperation::filePath(const core::Value& url)
{
    if (!url.isString())
        return std::nullopt;
    auto parsed = core::URL::parse(url.string());
    if (!parsed || !parsed->isFileURL())
        return std::nullopt;
    bool isFolder = false;
    if (!core::fs::exists(parsed->path(), &isFolder) || isFolder)
        return std::nullopt;
    return parsed->path();
}

std::optional<std::string> VKImportMediaOperation::importMediaInfo(const core::Value& info)
{
    auto source = filePath(entry(info, Picker::mediaURLKey));
    if (!source)
        return std::nullopt;
    const core::Value& type = entry(info, Picker::mediaTypeKey);
    std::string name = "media";
    if (type.isString() && type.string().starts_with("public.") && type.string().size() > 7)
        name = type.string().substr(7);
    std::string extension = core::ascii::lowercased(core::path::pathExtension(*source));
    if (!extension.empty())
        name += "." + extension;
    return copyIn(*source, name);
}

std::optional<std::string> VKImportMediaOperation::copyIn(const std::string& source, const std::string& name)
{
    const std::string proposed = core::path::appendingPathComponent(m_destinationPath, name);
    std::string hidden = VKStagingFolder::pathForItem(proposed, "import");
    core::fs::CopyOptions options;
    options.progress = [this](uint64_t) { return !isCancelled(); };
    core::Error error;
    if (!core::fs::copyItem(source, hidden, options, &error)) {
        if (error.code() != ECANCELED)
            core::log("Warning, failed to import {}: {}", source, error);
        core::fs::removeItem(hidden);
        return std::nullopt;
    }
    return moveIn(hidden, proposed);
}

std::optional<std::string> VKImportMediaOperation::importImage(const std::shared_ptr<gfx::Image>& image,
    const std::string& proposedFilename)
{
    if (isCancelled())
        return std::nullopt;
    // Refused on its header: an image this large is never decoded.
    if (!vkCanProcessImage(*image)) {
        core::log("Warning, maximum supported pixel size exceeded: {}", image->description());
        return std::nullopt;
    }
    // What shows through a transparent picture would be lost in a JPEG.
    const bool transparent = image->hasTransparency();
    const std::string proposed =
        core::path::appendingPathComponent(m_destinationPath, proposedFilename + (transparent ? ".png" : ".jpg"));
    std::string hidden = VKStagingFolder::pathForItem(proposed, "import");
    core::Error error;
    if (transparent ? !image->writePNG(hidden, &error) : !image->writeJPEG(hidden, JPEGQuality, &error)) {
        core::log("Warning, failed to write the picked image: {}", error);
        core::fs::removeItem(hidden);
        return std::nullopt;
    }
    return moveIn(hidden, proposed);
}

std::optional<std::string> VKImportMediaOperation::moveIn(const std::string& hiddenPath,
    const std::string& proposedPath)
{
    runWrittenHook(hiddenPath);
    for (int tries = 0; tries < MaximumMoveTries && !isCancelled(); ++tries) {
        std::string target = uniquePathForProposedPath(proposedPath);
        core::Error error;
        if (core::fs::moveItem(hiddenPath, target, &error)) {
            if (!isCancelled())
                return target;
            core::fs::removeItem(target);
            return std::nullopt;
        }
        if (error.code() != EEXIST) {
            core::log("Warning, failed to import to {}: {}", target, error);
            break;
        }
    }
    core::fs::removeItem(hiddenPath);
    return std::nullopt;
}

std::string VKImportMediaOperation::uniquePathForProposedPath(const std::string& proposedPath)
{
    if (!m_cloudDestination)
        return uniquePathForItemAtPath(proposedPath);
    // Names the mirror holds count as taken even when their files were
    // never downloaded.
    auto store = VKCloudFileStore::create();
    const std::string folder = core::path::deletingLastPathComponent(proposedPath);
    std::string name = uniqueName(core::path::lastPathComponent(proposedPath), {}, [&](const std::string& candidate) {
        std::string path = core::path::appendingPathComponent(folder, candidate);
        return core::fs::exists(path) || core::fs::attributes(path) || (store && store->managedObjectForPath(path));
    });
    return core::path::appendingPathComponent(folder, name);
}

void VKImportMediaOperation::mediaImportDidCompleteForPath(const std::optional<std::string>& path)
{
    m_isImporting = false;
    if (isCancelled()) {
        if (path)
            core::fs::removeItem(*path);
        m_importQueue.clear();
        return;
    }
    if (path && m_cloudDestination) {
        auto store = VKCloudFileStore::sharedStore();
        core::Error error;
        auto node = store ? store->insertObjectForPath(*path, &error) : nullptr;
        if (node) {
            if (auto attributes = core::fs::attributes(*path)) {
                node->setSize(int64_t(attributes->size));
                node->setModificationDate(attributes->modificationDate());
            }
            if (auto resource = VKCloudFileResource::resourceWithManagedObject(node))
                VKCloudUploadManager::sharedManager()->startUploadOfCloudResource(resource);
            store->saveContext();
        } else {
            core::log("Warning, failed to enter {} into the mirror: {}", *path, error);
            ++m_errorCount;
        }
    }
    std::shared_ptr<VKFileResource> resource = path ? VKFileResource::resourceWithPath(*path) : nullptr;
    if (resource) {
        m_importedResources.push_back(resource);
        if (auto quota = VKQuotaManager::defaultManager())
            quota->updateQuotaForPath(*path);
        core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification,
            shared_from_this(), { m_destinationPath });
        if (auto delegate = std::dynamic_pointer_cast<VKImportMediaOperationDelegate>(this->delegate()))
            delegate->importMediaOperation(*this, *path);
    } else {
        ++m_errorCount;
    }
    processImportQueue();
}
