#include "App/FolderBrowser/VKFolderZipWork.h"

#include "App/FolderBrowser/VKFolderControllerOperationObserver.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/MIMETypes.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <algorithm>
#include <cerrno>

namespace {

constexpr const char* DefaultArchiveName = "Archive";

// The name without its last extension, ASCII case folded for ".zip".
std::string withoutZipExtension(const std::string& name)
{
    const std::string extension = core::path::pathExtension(name);
    if (extension.size() == 3 && (extension[0] | 0x20) == 'z' && (extension[1] | 0x20) == 'i'
        && (extension[2] | 0x20) == 'p')
        return core::path::deletingPathExtension(name);
    return name;
}

} // namespace

std::string VKFolderZipWork::archiveNameForItems(const std::vector<std::string>& paths)
{
    if (paths.size() != 1)
        return std::string(DefaultArchiveName) + ".zip";
    std::string base = core::path::deletingPathExtension(core::path::lastPathComponent(paths.front()));
    return (base.empty() ? std::string(DefaultArchiveName) : base) + ".zip";
}

std::string VKFolderZipWork::destinationNameForArchive(const std::string& archivePath)
{
    std::string name = withoutZipExtension(core::path::lastPathComponent(archivePath));
    // "Essay.pages.zip" held a package: its extension goes too.
    if (!core::path::pathExtension(name).empty() && MIMEIsPackageType(name))
        name = core::path::deletingPathExtension(name);
    // ".zip" or ".notes.zip" would expand to a name the list hides.
    name.erase(0, name.find_first_not_of('.'));
    if (name.empty())
        return DefaultArchiveName;
    return name;
}

std::optional<std::string> VKFolderZipWork::archiveItems(VKZipArchiver& archiver,
    const std::vector<std::string>& items, uint64_t totalBytes, Run run, core::Error* error)
{
    // The observer also carries the cancel, so it is given even when there
    // are no bytes to count.
    auto observer = std::make_shared<VKFolderControllerOperationObserver>(totalBytes, run);
    archiver.setDelegate(observer);
    archiver.setTakesFreeNameWhenTaken(true);
    bool added = true;
    for (const auto& item : items) {
        if (!archiver.addItemAtPath(item, true, CompressionLevel)) {
            added = false;
            break;
        }
    }
    archiver.setDelegate({});
    // A cancel that came after the last chunk still leaves nothing.
    if (!added || VKBrowserOperation::isOperationCancelled(run)) {
        archiver.discard();
        core::setError(error, archiver.error());
        return std::nullopt;
    }
    if (!archiver.close()) {
        core::setError(error, archiver.error());
        return std::nullopt;
    }
    VKBrowserOperation::setOperationProgress(1.0f, run);
    return archiver.archivePath();
}

std::optional<std::string> VKFolderZipWork::makeExpansionFolder(const std::string& archivePath, core::Error* error)
{
    const std::string name = core::path::lastPathComponent(archivePath);
    core::Error failure;
    for (int attempt = 0; attempt < 64; ++attempt) {
        std::string path = VKStagingFolder::pathForItem(archivePath, "unzip");
        if (core::fs::createDirectory(path, false, &failure))
            return path;
        if (!failure.is(core::Error::POSIXDomain, EEXIST))
            break;
    }
    core::log("Warning, failed to make a folder to unarchive {} in: {}", name, failure.localizedDescription());
    if (error)
        *error = failure;
    return std::nullopt;
}

std::optional<std::string> VKFolderZipWork::moveToFreeName(const std::string& from, const std::string& wanted)
{
    core::Error error;
    std::string to = uniquePathForItemAtPath(wanted);
    // Each free name may be taken before the rename reaches it: a few tries.
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (core::fs::moveItem(from, to, &error))
            return to;
        if (!error.is(core::Error::POSIXDomain, EEXIST))
            break;
        to = uniquePathForItemAtPath(wanted);
    }
    core::log("Warning, failed to move {} to {}: {}", from, to, error.localizedDescription());
    return std::nullopt;
}

VKFolderZipWork::Expansion VKFolderZipWork::expandArchive(VKZipUnarchiver& unarchiver, const std::string& folder,
    Run run)
{
    auto observer = std::make_shared<VKFolderControllerOperationObserver>(unarchiver.uncompressedSize(), run);
    unarchiver.setDelegate(observer);
    // The expansion lands beside the archive: inside the store the quota
    // limits what may be written there too.
    const std::string parent = core::path::deletingLastPathComponent(unarchiver.archivePath());
    unarchiver.setAvailableSpaceFunction([parent](const std::string& destination) {
        std::optional<uint64_t> available = VKQuotaManager::freeSpaceAtPath(destination);
        auto manager = VKQuotaManager::defaultManager();
        if (manager->pathComponentsRelativeToRootForPath(parent)) {
            if (auto quota = manager->quotaAvailableBytes())
                available = available ? std::min(*available, *quota) : *quota;
        }
        return available;
    });
    core::Error error;
    bool expanded = unarchiver.unarchiveToPath(folder, &error);
    unarchiver.setDelegate({});
    auto contents = expanded ? core::fs::contentsOfDirectory(folder) : std::nullopt;
    if (!contents || VKBrowserOperation::isOperationCancelled(run)) {
        core::fs::removeItem(folder);
        return { false, {}, std::move(error) };
    }
    VKBrowserOperation::setOperationProgress(1.0f, run);

    // One item, a folder or a file, needs no folder around it.
    if (contents->size() == 1) {
        const std::string& name = contents->front();
        if (auto moved = moveToFreeName(core::path::appendingPathComponent(folder, name),
                core::path::appendingPathComponent(parent, name))) {
            core::fs::removeItem(folder);
            return { true, *moved, {} };
        }
        // Kept under the destination name, so the content is not lost; the
        // failure is still reported.
        expanded = false;
    }
    auto moved = moveToFreeName(folder,
        core::path::appendingPathComponent(parent, destinationNameForArchive(unarchiver.archivePath())));
    if (!moved) {
        core::fs::removeItem(folder);
        return {};
    }
    return { expanded, *moved, {} };
}
