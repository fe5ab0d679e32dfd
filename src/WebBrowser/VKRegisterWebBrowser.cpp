#include "WebBrowser/VKRegisterWebBrowser.h"

#include "App/FolderBrowser/VKDownloadFileResourceCell.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/UserDefaults.h"
#include "WebBrowser/VKWebBrowserController.h"

// History and bookmarks need no wiring: their stores start at first use.
// The folder lists show downloads in the download row. The search site
// comes from the bundle's Info.plist unless the user defaults name another.
void VKRegisterWebBrowser()
{
    VKFolderController::registerCellFactory("VKDownloadFileResourceCell",
        [](const std::string& identifier) -> std::shared_ptr<VKFileResourceCell> {
            return VKDownloadFileResourceCell::create(identifier);
        });
    auto bundle = core::Bundle::main();
    if (!bundle)
        return;
    const core::Value& host = bundle->objectForInfoDictionaryKey(VKWebBrowserController::SearchHostKey);
    if (host.isString())
        core::UserDefaults::standard()->registerDefaults({ { VKWebBrowserController::SearchHostKey, host } });
}
