#pragma once

#include "App/FolderBrowser/VKFolderSorting.h"
#include "Platform/UI/IndexPath.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class VKFileResource;

namespace core {
class Object;
}
namespace ui {
class BarButtonItem;
class NavigationItem;
class Toolbar;
}

// The folder screen's editing mode: the marked items (by path, with the
// size each added, kept to the rows listed), the editing toolbar's buttons
// and their state, the Select All / Select None item and the prompt that
// counts the marks. The rows, the bars and the commands are the host's,
// the screen that holds the editing; it asks for them when it needs them.
class VKFolderEditing {
public:
    // The folder screen, which holds the editing.
    class Host {
    public:
        virtual ~Host() = default;
        // The rows listed, in their order.
        virtual const std::vector<VKFolderRow>& editingRows() = 0;
        // What marking the item adds to the marked size.
        virtual uint64_t editingSizeOfItem(const VKFileResource& resource) const = 0;
        // Every mark changed at once (all or none): the rows show theirs again.
        virtual void editingMarksReset() = 0;
        // Whether the screen is editing now: outside editing the bars stay as
        // they are.
        virtual bool editingIsActive() const = 0;
        // Editing's bars: the screen's navigation item, the toolbar's items
        // while editing, and the toolbar (none outside a navigation stack).
        virtual ui::NavigationItem& editingNavigationItem() = 0;
        virtual const std::vector<std::shared_ptr<ui::BarButtonItem>>& editingBarItems() const = 0;
        virtual ui::Toolbar* editingToolbar() const = 0;
        // The left item's commands.
        virtual void editingMarkAll() = 0;
        virtual void editingUnmarkAll() = 0;
    };

    // One button of the editing toolbar: its title, its picture
    // ("<imagePrefix>Action.png"), the action it stands for and what it runs
    // with the button as sender.
    struct Button {
        const char* title;
        const char* imagePrefix;
        const char* action;
        std::function<void(const std::shared_ptr<core::Object>& sender)> send;
    };

    static constexpr float ButtonWidth = 64;
    // The actions whose buttons follow their own rules: Rename wants one
    // mark, Sync none, More and New Folder are always there.
    static constexpr const char* RenameAction = "renameMarkedItem";
    static constexpr const char* SyncAction = "syncFolder";
    static constexpr const char* MenuAction = "showEditActionMenu";
    static constexpr const char* NewFolderAction = "createNewFolder";
    static constexpr const char* MarkAllAction = "markAllItems";
    static constexpr const char* UnmarkAllAction = "unmarkAllItems";

    // Without a host the marks stand alone: no rows to keep them to, no bars.
    explicit VKFolderEditing(Host* host = nullptr) : m_host(host) { }
    VKFolderEditing(const VKFolderEditing&) = delete;
    VKFolderEditing& operator=(const VKFolderEditing&) = delete;

    // ---- The marks ----
    bool isMarked(const VKFileResource& resource) const;
    size_t markCount() const { return m_marks.size(); }
    uint64_t markedSize() const { return m_markedSize; }
    // Marking twice counts once.
    void mark(const VKFileResource& resource);
    void unmark(const VKFileResource& resource);
    // Every listed item that allows some operation.
    void markAll();
    void clear();
    // After the rows were rebuilt: the marks of items no longer listed go.
    void prune();
    // The marked rows, in row order, as rows of `section`.
    std::vector<ui::IndexPath> markedIndexPathsForTesting(int section) const;
    std::vector<std::shared_ptr<VKFileResource>> markedResources() const;
    // Whether every marked item allows all the operations of `mask`; when
    // not, the first refusal's words go to `description`.
    bool markedResourcesSupport(uint32_t mask, std::string* description) const;

    // ---- The bars ----
    // The toolbar of these buttons between flexible spaces; all but More
    // start disabled.
    std::vector<std::shared_ptr<ui::BarButtonItem>> makeToolbarItems(const std::vector<Button>& buttons) const;
    // A bar too narrow for every button at ButtonWidth (a phone upright)
    // shares its width out among them.
    void fitToolbarItems() const;
    // The buttons, the left item and the prompt for the marks, while editing.
    void updateBars();

private:
    std::string keyOf(const VKFileResource& resource) const;

    Host* const m_host;
    // The Select All / Select None item answers only while the editing lives.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // Marked items by standardized path, with the size each added.
    std::map<std::string, uint64_t> m_marks;
    uint64_t m_markedSize = 0;
};
