#include "App/FolderBrowser/VKFolderTransferRows.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/TableView.h"

#include <map>
#include <mutex>

namespace {

std::mutex& cellFactoryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, VKFolderTransferRows::CellFactory>& cellFactories()
{
    static std::map<std::string, VKFolderTransferRows::CellFactory> factories;
    return factories;
}

} // namespace

void VKFolderTransferRows::registerCellFactory(const std::string& identifier, CellFactory factory)
{
    std::lock_guard lock(cellFactoryMutex());
    cellFactories()[identifier] = std::move(factory);
}

std::string VKFolderTransferRows::cellIdentifier(const VKFileResource* resource)
{
    if (resource && resource->isDownloadResource())
        return "VKDownloadFileResourceCell";
    if (resource && resource->isCloudResource() && resource->isUpload())
        return "VKUploadFileResourceCell";
    return "VKFileResourceCell";
}

std::shared_ptr<VKFileResourceCell> VKFolderTransferRows::dequeueCell(ui::TableView& table, const VKFileResource* resource)
{
    std::string identifier = cellIdentifier(resource);
    if (auto cell = std::dynamic_pointer_cast<VKFileResourceCell>(table.dequeueReusableCell(identifier)))
        return cell;
    CellFactory factory;
    {
        std::lock_guard lock(cellFactoryMutex());
        if (auto found = cellFactories().find(identifier); found != cellFactories().end())
            factory = found->second;
    }
    auto cell = factory ? factory(identifier) : nullptr;
    return cell ? cell : VKFileResourceCell::create(identifier);
}

void VKFolderTransferRows::observe(std::weak_ptr<Host> host, const std::string& folderPath)
{
    // The download of a notification, when it is one of this folder's.
    auto inFolder = [folderPath](const core::Notification& notification) -> std::shared_ptr<VKFileResource> {
        auto download = std::dynamic_pointer_cast<VKFileResource>(notification.object());
        bool here = download
            && core::path::standardizingPath(core::path::deletingLastPathComponent(download->path())) == folderPath;
        return here ? download : nullptr;
    };
    auto follow = [&](const char* name, std::function<void(Host&, const core::Notification&)> handle) {
        m_observations.push_back(core::NotificationCenter::defaultCenter().observe(name, nullptr,
            [host, handle = std::move(handle)](const core::Notification& notification) {
                if (auto screen = host.lock()) {
                    handle(*screen, notification);
                    screen->transfersChanged();
                }
            }));
    };
    follow(VKDownloadManagerDownloadDidStartNotification, [inFolder](Host& screen, const core::Notification& notification) {
        if (auto download = inFolder(notification); download && !screen.transferIsListed(download))
            screen.transferStarted(download);
    });
    follow(VKDownloadManagerDownloadDidFinishNotification, [inFolder](Host& screen, const core::Notification& notification) {
        if (auto download = inFolder(notification))
            screen.transferFinished(download, VKFileResource::resourceWithPath(download->path()));
    });
    follow(VKDownloadManagerDownloadDidFailNotification, [inFolder](Host& screen, const core::Notification& notification) {
        if (auto here = inFolder(notification))
            screen.transferFailed(here);
    });
    follow(VKDownloadFileResourceDidDeleteDownloadNotification, [inFolder](Host& screen, const core::Notification& notification) {
        if (inFolder(notification))
            screen.transferDeleted();
    });
}
