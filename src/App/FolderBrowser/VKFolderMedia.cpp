#include "App/FolderBrowser/VKFolderMedia.h"

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKImportMediaOperation.h"
#include "App/FolderBrowser/VKSaveMediaToPhotosAlbumOperation.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/ErrorInfo.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/NavigationController.h"
#include "Shell/Interface/AlertViewAdditions.h"

#include <fmt/format.h>

#include <algorithm>

using BrowserOperation = VKBrowserOperation;

namespace {

std::shared_ptr<VKImportMediaOperation> runningImport()
{
    if (!BrowserOperation::isOperationInProgress())
        return nullptr;
    return std::dynamic_pointer_cast<VKImportMediaOperation>(BrowserOperation::fileOperation());
}

// The album's answers come long after the screen that asked may have gone,
// so they are taken by the class side: one small delegate per save, which
// knows the run it was started for. Once that run is cancelled (or
// replaced) the save stops before its next file, and its late end touches
// no other operation and shows no alert.
class AlbumSave : public VKSaveMediaToPhotosAlbumOperationDelegate {
public:
    AlbumSave(std::shared_ptr<VKSaveMediaToPhotosAlbumOperation> operation, BrowserOperation::Run run)
        : m_operation(std::move(operation)), m_run(run)
    {
    }

    // The saves under way, kept until they end or their run is cancelled.
    static std::vector<std::shared_ptr<AlbumSave>>& running()
    {
        static std::vector<std::shared_ptr<AlbumSave>> saves;
        return saves;
    }

    void saveMediaToPhotosAlbumOperationDidProcessMedia(VKSaveMediaToPhotosAlbumOperation& operation,
        const std::string&) override
    {
        if (BrowserOperation::isOperationCancelled(m_run)) {
            operation.cancel();
            forget();
            return;
        }
        BrowserOperation::setOperationProgress(operation.progress(), m_run);
    }

    void saveMediaToPhotosAlbumOperationDidEnd(VKSaveMediaToPhotosAlbumOperation&,
        const std::optional<core::Error>& error) override
    {
        auto self = forget();
        if (BrowserOperation::isOperationCancelled(m_run))
            return;
        BrowserOperation::endOperation(m_run);
        if (!error)
            return;
        int64_t failures = core::errorInfo::failureCount(*error).value_or(0);
        showAlertViewWithTitle(core::localized("Unsupported Media"),
            failures == 1 ? core::localized("Failed to save 1 item.")
                          : fmt::format(fmt::runtime(core::localized("Failed to save {} items.")), failures),
            core::localized("OK"));
    }

private:
    std::shared_ptr<AlbumSave> forget()
    {
        auto& saves = running();
        auto it = std::find_if(saves.begin(), saves.end(), [this](const auto& save) { return save.get() == this; });
        if (it == saves.end())
            return nullptr;
        auto self = *it;
        saves.erase(it);
        return self;
    }

    std::shared_ptr<VKSaveMediaToPhotosAlbumOperation> m_operation;
    BrowserOperation::Run m_run;
};

} // namespace

// The media's side of the import while the picker shows; the media
// keep it, the import holds it weakly. It ignores the progress
// and holds back the import's end, so that every later pick of the visit
// feeds the same operation.
class VKFolderImportMediaDelegate : public VKFileOperationDelegate, public VKImportMediaOperationDelegate {
public:
    explicit VKFolderImportMediaDelegate(std::weak_ptr<VKFolderMedia> media)
        : m_media(std::move(media))
    {
    }
    void fileOperation(VKFileOperation&, float) override { }
    void fileOperationDidEnd(VKFileOperation& operation, const std::optional<core::Error>& error) override
    {
        auto media = m_media.lock();
        if (media && media->isImagePickerShown())
            return;
        BrowserOperation::fileOperationDelegate()->fileOperationDidEnd(operation, error);
    }
    void importMediaOperation(VKImportMediaOperation& operation, const std::string& path) override
    {
        if (auto media = m_media.lock())
            media->importMediaOperation(operation, path);
    }

private:
    std::weak_ptr<VKFolderMedia> m_media;
};

std::shared_ptr<VKFolderMedia> VKFolderMedia::self()
{
    return std::static_pointer_cast<VKFolderMedia>(shared_from_this());
}

void VKFolderMedia::importMedia()
{
    auto host = m_host.lock();
    auto* navigation = host ? host->commandScreen().navigationController() : nullptr;
    if (!navigation)
        return;
    m_imagePicker = VKImagePicker::create();
    m_imagePicker->setDelegate(std::static_pointer_cast<VKImagePickerDelegate>(self()));
    navigation->presentModalViewController(m_imagePicker->imagePickerController(), true);
}

void VKFolderMedia::imagePicker(VKImagePicker&, const core::Value& info)
{
    auto operation = runningImport();
    if (!operation) {
        auto host = m_host.lock();
        if (BrowserOperation::isOperationInProgress() || !host) {
            core::log("VKFolderMedia: an operation is running; not importing the picked media");
            return;
        }
        operation = VKImportMediaOperation::create(host->commandFolder());
        if (BrowserOperation::startFileOperation(operation) == BrowserOperation::NoRun)
            return;
        if (!m_importMediaDelegate)
            m_importMediaDelegate = std::make_shared<VKFolderImportMediaDelegate>(self());
        operation->setDelegate(m_importMediaDelegate);
    }
    operation->importMediaWithInfo(info);
}

void VKFolderMedia::imagePickerDidEnd(VKImagePicker&)
{
    auto host = m_host.lock();
    if (auto* navigation = host ? host->commandScreen().navigationController() : nullptr)
        navigation->dismissModalViewController(true);
}

void VKFolderMedia::imagePickerDidDisappear(VKImagePicker&)
{
    auto keep = self();
    auto host = m_host.lock();
    if (host)
        host->commandScreen().setEditing(false, true);
    m_imagePicker.reset();
    auto operation = runningImport();
    if (!operation)
        return;
    const auto& imported = operation->importedResources();
    if (!imported.empty() && host)
        host->commandScrollTo(imported.front(), ui::TableView::ScrollPosition::Middle);
    if (operation->isImporting())
        operation->setDelegate(BrowserOperation::fileOperationDelegate());
    else
        operation->sendDidEndDelegateMessage();
}

void VKFolderMedia::importMediaOperation(VKImportMediaOperation&, const std::string& path)
{
    auto host = m_host.lock();
    auto resource = VKFileResource::resourceWithPath(path);
    if (resource && host && host->commandScreenIsVisible())
        host->commandScrollTo(resource, ui::TableView::ScrollPosition::Middle);
}

void VKFolderMedia::saveToPhotosAlbum(const std::vector<std::shared_ptr<VKFileResource>>& items)
{
    std::vector<std::string> paths;
    for (const auto& resource : items)
        if (resource->isImageType() || resource->isMovieType())
            paths.push_back(resource->path());
    if (paths.empty())
        return;
    const std::string label = paths.size() == 1
        ? core::localized("Copying 1 Item")
        : fmt::format(fmt::runtime(core::localized("Copying {} Items")), paths.size());
    BrowserOperation::Run run = BrowserOperation::startOperationWithLabel(label, false);
    if (run == BrowserOperation::NoRun)
        return;
    auto operation = VKSaveMediaToPhotosAlbumOperation::create(std::move(paths));
    auto save = std::make_shared<AlbumSave>(operation, run);
    AlbumSave::running().push_back(save);
    operation->setDelegate(save);
    core::RunLoop::main().performAfter(0, [operation] { operation->start(); });
}
