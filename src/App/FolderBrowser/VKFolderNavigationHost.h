#pragma once

#include "App/FolderBrowser/VKFolderRowOpener.h"
#include "App/FolderBrowser/VKFolderSearch.h"
#include "App/FolderBrowser/VKFolderToolbar.h"

#include <memory>
#include <optional>
#include <string>

class VKFolderController;

// The folder screen's answers to what leads away from its rows: what a row
// opens (VKFolderRowOpener: the screens pushed, the sheets, the viewers'
// folder), the search over the rows (VKFolderSearch, with the repair of a
// stack reached through a "Local Files" result) and the toolbar's buttons
// (VKFolderToolbar). The screen holds it; the opener, which the screen
// holds too, holds it by reference, the others through weak pointers that
// share the screen's life.
class VKFolderNavigationHost : public VKFolderRowOpener::Host, public VKFolderSearch::Host, public VKFolderToolbar::Host {
public:
    explicit VKFolderNavigationHost(VKFolderController& screen) : m_screen(screen) { }

    bool openerIsSearching() const override;
    // The back button takes the title asked for (none: the folder's name);
    // outside a navigation stack the row's selection goes instead.
    void openerPush(const std::shared_ptr<ui::ViewController>& screen, const std::optional<std::string>& backTitle) override;
    void openerDeselect() override;
    void openerShowSheet(VKActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource) override;
    void openerItemVanished() override;
    // The commands answer the rows' sheets.
    std::weak_ptr<ui::ActionSheetDelegate> openerSheetDelegate() override;
    std::shared_ptr<VKViewerFolderHost> openerViewerHost() override;
    std::weak_ptr<VKFolderBrowserServices> openerServices() const override;

    // The strip steps aside, and a stack that does not lead to the folder
    // is made again first.
    void folderSearchWillBegin() override;
    // The folder's rows come back at once, the strip a pass later.
    void folderSearchWillEnd() override;
    void folderSearchChanged(double delay) override;
    void folderSearchBarResized() override;
    std::optional<gfx::Color> folderSearchBarTint() const override;

    void toolbarShowDownloads() override;
    void toolbarBeginSearch() override;
    void toolbarUploadsChanged() override;

private:
    VKFolderController& m_screen;
};
