#include "WebBrowser/VKRegisterWebBrowser.h"

#include "App/FolderBrowser/VKDownloadFileResourceCell.h"
#include "App/FolderBrowser/VKFolderController.h"

// History and bookmarks need no wiring: their stores start at first use.
// The folder lists show downloads in the download row.
void VKRegisterWebBrowser()
{
    VKFolderController::registerCellFactory("VKDownloadFileResourceCell",
        [](const std::string& identifier) -> std::shared_ptr<VKFileResourceCell> {
            return VKDownloadFileResourceCell::create(identifier);
        });
}
