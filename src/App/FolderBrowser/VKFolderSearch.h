#pragma once

#include "Platform/Graphics/Color.h"
#include "Platform/UI/SearchDisplayController.h"

#include <memory>
#include <optional>
#include <string>

class VKFolderSearchBar;

namespace ui {
class TableViewDataSource;
class TableViewDelegate;
class ViewController;
}

// The folder list's search: the bar that heads the list, the display
// controller that shows the results over it, the scope a local folder keeps
// between searches ("VKFolderSearchScope"), and when the rows are due again
// (0.4 s after the last keystroke, at once for a new scope). The rows
// themselves are the host's, the screen that holds the search: it hears
// of each step and builds them.
class VKFolderSearch : public ui::SearchDisplayDelegate, public std::enable_shared_from_this<VKFolderSearch> {
public:
    // The folder screen.
    class Host {
    public:
        virtual ~Host() = default;
        // Before the results show: the host hides its letter strip and may
        // put its navigation stack right.
        virtual void folderSearchWillBegin() = 0;
        // While the search ends (not searching any more): the folder's rows
        // come back.
        virtual void folderSearchWillEnd() = 0;
        // The text or the scope changed: the rows are due after `delay`.
        virtual void folderSearchChanged(double delay) = 0;
        // The scope bar came or went under the field.
        virtual void folderSearchBarResized() = 0;
        // The bar's colour while no search runs.
        virtual std::optional<gfx::Color> folderSearchBarTint() const = 0;
    };

    static constexpr double KeystrokeDelay = 0.4;
    static constexpr const char* ScopeKey = "VKFolderSearchScope";

    explicit VKFolderSearch(Host& host) : m_host(host) { }
    ~VKFolderSearch() override;

    // Makes the bar (as wide as `width`) and the display controller over
    // `contents`; the results table asks the same data source and delegate
    // as the list, at the list's row height. A local folder offers the
    // "Local Files" scope and keeps its choice. Until then nothing is
    // searched.
    void load(bool localFolder, const std::shared_ptr<ui::ViewController>& contents,
        float width, float rowHeight, std::weak_ptr<ui::TableViewDataSource> dataSource,
        std::weak_ptr<ui::TableViewDelegate> delegate);
    bool isLoaded() const { return m_display != nullptr; }

    bool isSearching() const;
    // The bar's text while searching, else nothing.
    std::optional<std::string> text() const;
    // 1 for "Local Files", else 0 (also before the bar exists).
    int scope() const;
    const std::shared_ptr<VKFolderSearchBar>& bar() const { return m_bar; }
    ui::SearchDisplayController* displayController() const { return m_display.get(); }

    void willBeginSearch(ui::SearchDisplayController& controller) override;
    void willEndSearch(ui::SearchDisplayController& controller) override;
    bool shouldReloadForSearchString(ui::SearchDisplayController& controller, const std::string& text) override;
    bool shouldReloadForSearchScope(ui::SearchDisplayController& controller, int scope) override;

private:
    void showScopeBar(bool shown);

    Host& m_host;
    bool m_localFolder = false;
    std::shared_ptr<VKFolderSearchBar> m_bar;
    std::shared_ptr<ui::SearchDisplayController> m_display;
    // The search is ending: no longer searching, though still active.
    bool m_ending = false;
};
