// Saving the marked images and movies to the photo album as the browser's
// one long operation. The album's answers come long after the screen that
// asked may have gone, so they are taken by the class side: one small
// delegate per save, which knows the run it was started for. Once that run
// is cancelled (or replaced) the save stops before its next file, and its
// late end touches no other operation and shows no alert.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKSaveMediaToPhotosAlbumOperation.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"

#include <algorithm>
#include <fmt/format.h>

namespace {

class AlbumSave : public VKSaveMediaToPhotosAlbumOperationDelegate {
public:
    AlbumSave(std::shared_ptr<VKSaveMediaToPhotosAlbumOperation> operation, VKFolderControllerBase::Run run)
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
        if (VKFolderControllerBase::isOperationCancelled(m_run)) {
            operation.cancel();
            forget();
            return;
        }
        VKFolderControllerBase::setOperationProgress(operation.progress(), m_run);
    }

    void saveMediaToPhotosAlbumOperationDidEnd(VKSaveMediaToPhotosAlbumOperation&,
        const std::optional<core::Error>& error) override
    {
        auto self = forget();
        if (VKFolderControllerBase::isOperationCancelled(m_run))
            return;
        VKFolderControllerBase::endOperation(m_run);
        if (!error)
            return;
        const core::Value& count = error->userInfo().count("failureCount") ? error->userInfo().at("failureCount")
                                                                          : core::Value();
        int64_t failures = count.isNumber() ? count.toInteger() : 0;
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
    VKFolderControllerBase::Run m_run;
};

} // namespace

void VKFolderController::copyMarkedItemsToSavedPhotosAlbum(const std::shared_ptr<core::Object>&)
{
    std::string description;
    if (!editing().markedResourcesSupport(VKFileResourceOperationCopy, &description)) {
        showAlertViewWithTitle(core::localized("Warning"), description, core::localized("OK"));
        return;
    }
    std::vector<std::string> paths;
    for (const auto& resource : markedResources())
        if (resource->isImageType() || resource->isMovieType())
            paths.push_back(resource->path());
    if (paths.empty())
        return;
    const std::string label = paths.size() == 1
        ? core::localized("Copying 1 Item")
        : fmt::format(fmt::runtime(core::localized("Copying {} Items")), paths.size());
    Run run = startOperationWithLabel(label, false);
    if (run == NoRun)
        return;
    auto operation = VKSaveMediaToPhotosAlbumOperation::create(std::move(paths));
    auto save = std::make_shared<AlbumSave>(operation, run);
    AlbumSave::running().push_back(save);
    operation->setDelegate(save);
    core::RunLoop::main().performAfter(0, [operation] { operation->start(); });
}
