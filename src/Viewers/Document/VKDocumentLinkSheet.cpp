#include "Viewers/Document/VKDocumentLinkSheet.h"

#include "Viewers/Document/VKDocumentLinkHooks.h"
#include "Viewers/Document/VKDocumentViewController.h"

#include "App/Viewers/VKViewerFolderHost.h"
#include "Downloads/VKDownloadManager.h"
#include "FileModel/VKFileResource.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/Pasteboard.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKApplication.h"

#include <algorithm>

namespace {

std::string linkTargetFolder(const VKDocumentViewController& viewer)
{
    if (viewer.folderController())
        if (auto folder = viewer.folderController()->folderResource())
            return folder->path();
    // A viewer opened without a folder screen downloads beside its file.
    return viewer.resource() ? core::path::deletingLastPathComponent(viewer.resource()->path()) : std::string();
}

void openLink(VKDocumentViewController& viewer, const core::URLRequest& request)
{
    auto application = VKApplication::sharedApplication();
    if (isAppleRegisteredURL(request.url())) {
        if (application)
            application->openURLNoChecks(request.url());
        return;
    }
    auto hooks = VKDocumentLinkHooks::current();
    if (hooks && viewer.navigationController()) {
        hooks->openLinkInBrowser(request, linkTargetFolder(viewer), *viewer.navigationController());
        return;
    }
    core::log("Opening link outside the application: {}", request.url().absoluteString());
    if (application)
        application->openURLNoChecks(request.url());
}

} // namespace

bool VKDocumentLinkSheet::answer(VKDocumentViewController& viewer, VKActionSheet& sheet, int tag)
{
    if (tag != VKDocumentViewController::OpenLinkButtonTag && tag != VKDocumentViewController::DownloadLinkButtonTag
        && tag != VKDocumentViewController::CopyLinkButtonTag)
        return false;
    const core::Value& info = sheet.userInfo();
    std::optional<core::URL> url = info.isString() ? core::URL::parse(info.toString()) : std::nullopt;
    if (!url)
        return true;
    core::URLRequest request(*url);
    if (tag == VKDocumentViewController::OpenLinkButtonTag) {
        openLink(viewer, request);
    } else if (tag == VKDocumentViewController::DownloadLinkButtonTag) {
        std::string folder = linkTargetFolder(viewer);
        if (!folder.empty())
            VKDownloadManager::sharedManager()->startWebDownloadWithRequest(request, folder);
    } else {
        ui::Pasteboard::general()->setURL(request.url());
    }
    return true;
}

void VKDocumentLinkSheet::offer(VKDocumentViewController& viewer, const core::URLRequest& request)
{
    const core::URL& url = request.url();
    std::string scheme = url.scheme();
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (scheme == "tel") {
        if (auto application = VKApplication::sharedApplication())
            application->openURLNoChecks(url);
        return;
    }
    auto sheet = VKActionSheet::create(url.absoluteString(),
        std::dynamic_pointer_cast<ui::ActionSheetDelegate>(viewer.shared_from_this()));
    sheet->setTag(VKDocumentViewController::LinkActionSheetTag);
    sheet->setUserInfo(core::Value(url.absoluteString()));
    sheet->addButtonWithTitle(core::localized("Open"), VKDocumentViewController::OpenLinkButtonTag);
    sheet->addButtonWithTitle(core::localized("Copy"), VKDocumentViewController::CopyLinkButtonTag);
    if (!core::path::pathExtension(url.path()).empty() && !isAppleRegisteredURL(url))
        sheet->addButtonWithTitle(core::localized("Download"), VKDocumentViewController::DownloadLinkButtonTag);
    sheet->setCancelButtonIndex(sheet->addButton(core::localized("Cancel")));
    showActionSheet(viewer, *sheet, viewer.view());
}
