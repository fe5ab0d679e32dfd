#pragma once

#include "Platform/UI/ActionSheet.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKActionSheet;
class VKFileResource;
class VKFolderBrowserServices;
class VKFolderListing;
class VKViewerFolderHost;
namespace ui {
class ViewController;
}

// What a folder list's rows open, and the sheets a row asks with: a folder
// pushes its screen, a zip archive asks to unzip, any other file opens in
// its viewer; a row that is still a download, or whose item went, says so.
// It walks the rows for the viewers it opened (the next and previous file,
// the files of a kind). The rows are the listing's; the screen, which holds
// the opener, pushes and shows what it is given.
class VKFolderRowOpener {
public:
    class Host {
    public:
        virtual ~Host() = default;
        virtual bool openerIsSearching() const = 0;
        // Pushes `screen` over the folder's, with that title on the back
        // button (none: the folder's name).
        virtual void openerPush(const std::shared_ptr<ui::ViewController>& screen,
            const std::optional<std::string>& backTitle) = 0;
        // Nothing opened: the row's selection goes.
        virtual void openerDeselect() = 0;
        // Shows a row's sheet, closing the screen's others.
        virtual void openerShowSheet(VKActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource) = 0;
        // A row's item is gone: the folder is read again.
        virtual void openerItemVanished() = 0;
        // What the sheets and screens it opens are handed: the delegate of
        // the sheets' buttons, the folder the viewers ask, the services.
        virtual std::weak_ptr<ui::ActionSheetDelegate> openerSheetDelegate() = 0;
        virtual std::shared_ptr<VKViewerFolderHost> openerViewerHost() = 0;
        virtual std::weak_ptr<VKFolderBrowserServices> openerServices() const = 0;
    };

    VKFolderRowOpener(VKFolderListing& listing, Host& host);

    // Whether a touch may select the row: a download still running says it
    // cannot be viewed.
    bool canSelect(const std::shared_ptr<VKFileResource>& resource);
    // A touched row: its item opens, unless it went (said, and the folder
    // read again), is a link that loops or leads to nothing (said, with
    // why) or is marked deleted.
    void select(const std::shared_ptr<VKFileResource>& resource);
    // A folder pushes its screen (a cloud folder still uploading nothing),
    // a ".zip" asks to unzip where the folder allows it, a link out of the
    // home or a FIFO or device says it cannot be shown, any other file
    // opens in its viewer.
    void open(const std::shared_ptr<VKFileResource>& resource);
    // The long touch on a search result: "Open" or "Reveal in Folder".
    void askOpenOrReveal(const std::shared_ptr<VKFileResource>& resource);
    // A swipe's Delete on a folder with items asks first (true: asked).
    bool askToDeleteFolder(const std::shared_ptr<VKFileResource>& resource);

    // The viewers' walks over the rows: no folders, downloads, FIFOs,
    // devices or links out of the home; a MIME prefix ("image/", none: all) or type identifiers to
    // skip choose among the rest. A walk ends at either end, and finds
    // nothing from an item not listed.
    static bool isViewable(const VKFileResource& resource);
    std::vector<std::shared_ptr<VKFileResource>> viewable(const std::optional<std::string>& mimePrefix);
    std::shared_ptr<VKFileResource> step(const std::shared_ptr<VKFileResource>& from, int direction,
        const std::optional<std::string>& mimePrefix) const;
    std::shared_ptr<VKFileResource> step(const std::shared_ptr<VKFileResource>& from, int direction,
        const std::vector<std::string>& ignoredIdentifiers) const;
    std::shared_ptr<VKFileResource> firstViewable(const std::vector<std::string>& ignoredIdentifiers);

private:
    template<typename Accepts>
    std::shared_ptr<VKFileResource> walk(const std::shared_ptr<VKFileResource>& from, int direction, Accepts accepts) const;

    VKFolderListing& m_listing;
    Host& m_host;
};
