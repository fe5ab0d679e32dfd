#include "Viewers/Image/VKImageAlbumSave.h"

#include "Viewers/Image/VKImageViewController.h"

#include "App/FolderBrowser/VKSaveMediaToPhotosAlbumOperation.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

#include <fmt/format.h>

namespace {

VKImageAlbumSave::Saver& albumSaver()
{
    static VKImageAlbumSave::Saver saver;
    return saver;
}

// Hears the end of the album operation that saves the shown picture, the
// same operation the folder screen uses for marked files. The operation
// holds its delegate weakly, so this one keeps itself alive until the end.
class AlbumSaveDelegate final : public VKSaveMediaToPhotosAlbumOperationDelegate {
public:
    static void save(const std::string& path, std::function<void(int)> done)
    {
        auto delegate = std::make_shared<AlbumSaveDelegate>();
        delegate->m_self = delegate;
        delegate->m_done = std::move(done);
        auto operation = VKSaveMediaToPhotosAlbumOperation::create({ path });
        operation->setDelegate(delegate);
        operation->start();
    }

    void saveMediaToPhotosAlbumOperationDidEnd(VKSaveMediaToPhotosAlbumOperation& operation,
        const std::optional<core::Error>&) override
    {
        auto done = std::move(m_done);
        int failures = int(operation.mediaPaths().size()) - operation.successCount();
        m_self.reset();
        if (done)
            done(failures);
    }

private:
    std::shared_ptr<AlbumSaveDelegate> m_self;
    std::function<void(int)> m_done;
};

} // namespace

void VKImageAlbumSave::setSaver(Saver saver)
{
    albumSaver() = std::move(saver);
}

VKImageAlbumSave::~VKImageAlbumSave()
{
    if (m_titleTimer)
        m_titleTimer->invalidate();
}

void VKImageAlbumSave::save(const std::shared_ptr<VKImageViewController>& viewer)
{
    auto current = viewer->resource();
    if (m_saving || !current)
        return;
    m_saving = true;
    viewer->setTitle(core::localized("Saving to Photos..."));
    auto done = [viewer](int failureCount) { viewer->saveMediaToPhotosAlbumDidEnd(failureCount); };
    if (auto& saver = albumSaver())
        saver(current->path(), done);
    else
        AlbumSaveDelegate::save(current->path(), done);
}

void VKImageAlbumSave::didEnd(VKImageViewController& viewer, int failureCount)
{
    m_saving = false;
    if (failureCount > 0) {
        showAlertViewWithTitle(core::localized("Warning"),
            fmt::format(fmt::runtime(core::localized("Failed to save {} photos")), failureCount), core::localized("Cancel"));
        viewer.setTitleFromResource();
        return;
    }
    viewer.setTitle(core::localized("Save Succeeded"));
    if (m_titleTimer)
        m_titleTimer->invalidate();
    m_titleTimer = core::RunLoop::main().schedule(viewer.sharedAs<VKImageViewController>(), 2.0, false, [](VKImageViewController& self, core::Timer&) {
        self.setTitleFromResource();
    });
}
