#include "App/FolderBrowser/VKFolderRowOpener.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/FolderBrowser/VKFolderCommands.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFailureReason.h"
#include "App/FolderBrowser/VKFolderListing.h"
#include "App/Viewers/VKViewController.h"
#include "FileModel/VKFileResource.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RegularFile.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

bool hasMimePrefix(const VKFileResource& resource, const std::optional<std::string>& mimePrefix)
{
    return !mimePrefix || mimePrefix->empty() || resource.mimeType().starts_with(*mimePrefix);
}

bool conformsToAnyOf(const VKFileResource& resource, const std::vector<std::string>& identifiers)
{
    return std::any_of(identifiers.begin(), identifiers.end(),
        [&](const std::string& identifier) { return resource.conformsToUTIdentifier(identifier); });
}

// A sheet about one row's item, its buttons answered by the editing
// commands.
std::shared_ptr<VKActionSheet> rowSheet(std::string title, std::weak_ptr<ui::ActionSheetDelegate> delegate, VKFolderCommands::Sheet tag,
    const std::shared_ptr<VKFileResource>& resource)
{
    auto sheet = VKActionSheet::create(std::move(title), std::move(delegate));
    vkSetTag(*sheet, tag);
    sheet->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
    return sheet;
}

} // namespace

VKFolderRowOpener::VKFolderRowOpener(VKFolderListing& listing, Host& host)
    : m_listing(listing)
    , m_host(host)
{
}

bool VKFolderRowOpener::canSelect(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource || !resource->isDownloadResource())
        return true;
    showAlertViewWithMessage(core::localized("Can't view incomplete downloads."), core::localized("OK"));
    return false;
}

void VKFolderRowOpener::select(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return;
    if (!resource->exists()) {
        // A link that loops or whose item went is still there, and stays
        // listed: what it leads to is what cannot be shown.
        if (core::fs::attributes(resource->path())) {
            struct stat target;
            const int reason = stat(resource->path().c_str(), &target) == 0 ? 0 : errno;
            showAlertViewWithMessage(
                VKTextWithFailureReason(
                    fmt::format(fmt::runtime(core::localized("\"{}\" cannot be shown")), resource->name()),
                    core::Error::posix(reason)),
                core::localized("OK"));
            m_host.openerDeselect();
            return;
        }
        showAlertViewWithMessage(fmt::format(fmt::runtime(core::localized("{} no longer exists")), resource->name()),
            core::localized("OK"));
        m_host.openerItemVanished();
        return;
    }
    if (resource->isMarkedDeleted()) {
        m_host.openerDeselect();
        return;
    }
    open(resource);
}

void VKFolderRowOpener::open(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return;
    // A FIFO, socket or device is listed but never read as a document.
    if (core::fs::isSpecialFile(resource->path())) {
        showAlertViewWithMessage(
            fmt::format(fmt::runtime(core::localized("\"{}\" is not a regular file and cannot be shown.")), resource->name()),
            core::localized("OK"));
        m_host.openerDeselect();
        return;
    }
    // Nor is a link followed out of the home, to a file or a folder.
    if (resource->leadsOutOfHome()) {
        showAlertViewWithMessage(
            fmt::format(fmt::runtime(core::localized("\"{}\" is a link that leads out of Tandry's home and cannot be shown.")),
                resource->name()),
            core::localized("OK"));
        m_host.openerDeselect();
        return;
    }
    if (resource->isCollection()) {
        if (resource->isCloudResource() && resource->isUpload()) {
            m_host.openerDeselect();
            return;
        }
        auto screen = VKFolderController::folderControllerWithResource(resource, m_host.openerServices());
        std::optional<std::string> backTitle;
        if (m_host.openerIsSearching())
            backTitle = core::localized("Search");
        m_host.openerPush(screen, backTitle);
        return;
    }
    if (core::path::pathExtension(resource->name()) == "zip") {
        if (!(resource->supportedFileOperations() & VKFileResourceOperationUncompress)) {
            showAlertViewWithTitle(core::localized("Warning"), core::localized("Unzip is not supported in this folder"),
                core::localized("OK"));
        } else {
            auto sheet = rowSheet(fmt::format(fmt::runtime(core::localized("Unzip \"{}\"?")), resource->name()),
                m_host.openerSheetDelegate(), VKFolderCommands::Sheet::Unzip, resource);
            sheet->addButtonWithTitle(core::localized("Unzip"), VKActionSheet::UntaggedButton);
            sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
            m_host.openerShowSheet(*sheet, resource);
        }
        m_host.openerDeselect();
        return;
    }
    auto viewer = VKViewController::viewControllerWithResource(resource, m_host.openerViewerHost());
    viewer->setOrientationLock(m_host.openerServices().lock());
    m_host.openerPush(viewer, core::localized("Back"));
}

void VKFolderRowOpener::askOpenOrReveal(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return;
    auto sheet = rowSheet(resource->name(), m_host.openerSheetDelegate(), VKFolderCommands::Sheet::LongTouch, resource);
    vkAddButton(*sheet, core::localized("Open"), VKFolderCommands::EditAction::Open);
    vkAddButton(*sheet, core::localized("Reveal in Folder"), VKFolderCommands::EditAction::Reveal);
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    m_host.openerShowSheet(*sheet, resource);
}

bool VKFolderRowOpener::askToDeleteFolder(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource || !resource->isCollection())
        return false;
    auto names = resource->childNames();
    if (!names || names->empty())
        return false;
    auto sheet = rowSheet(fmt::format(fmt::runtime(core::localized("\"{}\" is not empty")), resource->name()),
        m_host.openerSheetDelegate(), VKFolderCommands::Sheet::DeleteFolder, resource);
    sheet->setDestructiveButtonIndex(sheet->addButtonWithTitle(core::localized("Delete"), VKActionSheet::UntaggedButton));
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    m_host.openerShowSheet(*sheet, resource);
    return true;
}

// MARK: The viewers' walks

bool VKFolderRowOpener::isViewable(const VKFileResource& resource)
{
    return !resource.isCollection() && !resource.isDownloadResource() && !core::fs::isSpecialFile(resource.path())
        && !resource.leadsOutOfHome();
}

std::vector<std::shared_ptr<VKFileResource>> VKFolderRowOpener::viewable(const std::optional<std::string>& mimePrefix)
{
    std::vector<std::shared_ptr<VKFileResource>> found;
    for (auto& resource : m_listing.resources())
        if (isViewable(*resource) && hasMimePrefix(*resource, mimePrefix))
            found.push_back(std::move(resource));
    return found;
}

template<typename Accepts>
std::shared_ptr<VKFileResource> VKFolderRowOpener::walk(const std::shared_ptr<VKFileResource>& from, int direction,
    Accepts accepts) const
{
    if (!from || direction == 0)
        return nullptr;
    auto row = m_listing.indexOf(from->path());
    if (!row)
        return nullptr;
    const auto& rows = m_listing.rows();
    int step = direction > 0 ? 1 : -1;
    for (long i = long(*row) + step; i >= 0 && size_t(i) < rows.size(); i += step) {
        const auto& resource = rows[size_t(i)].resource;
        if (isViewable(*resource) && accepts(*resource))
            return resource;
    }
    return nullptr;
}

std::shared_ptr<VKFileResource> VKFolderRowOpener::step(const std::shared_ptr<VKFileResource>& from, int direction,
    const std::optional<std::string>& mimePrefix) const
{
    return walk(from, direction, [&](const VKFileResource& r) { return hasMimePrefix(r, mimePrefix); });
}

std::shared_ptr<VKFileResource> VKFolderRowOpener::step(const std::shared_ptr<VKFileResource>& from, int direction,
    const std::vector<std::string>& ignoredIdentifiers) const
{
    return walk(from, direction, [&](const VKFileResource& r) { return !conformsToAnyOf(r, ignoredIdentifiers); });
}

std::shared_ptr<VKFileResource> VKFolderRowOpener::firstViewable(const std::vector<std::string>& ignoredIdentifiers)
{
    for (const auto& resource : m_listing.resources())
        if (isViewable(*resource) && !conformsToAnyOf(*resource, ignoredIdentifiers))
            return resource;
    return nullptr;
}
