#pragma once

#include "Platform/UI/IndexPath.h"
#include "Platform/UI/TableView.h"

#include <memory>
#include <optional>

class VKFileResource;

// Brings an item's row of the folder screen into sight: scrolls to it
// unless it shows whole, selects or deselects it, or shows it in the middle
// and flashes it (selected, unselected, selected, unselected, 0.5 s apart;
// the row is looked up again at each step, so a reload or a move between
// them cannot leave it lit; a flash ends with the reveal). The table and
// the rows are the host's.
class VKFolderRowReveal {
public:
    // The folder screen, which holds the reveal.
    class Host {
    public:
        virtual ~Host() = default;
        // The table shown (the results while searching); none before the
        // view loads.
        virtual ui::TableView* revealTable() = 0;
        virtual std::optional<ui::IndexPath> revealRowOf(const VKFileResource& resource) = 0;
    };

    static constexpr double HighlightInterval = 0.5;

    explicit VKFolderRowReveal(Host& host) : m_host(host) { }
    VKFolderRowReveal(const VKFolderRowReveal&) = delete;
    VKFolderRowReveal& operator=(const VKFolderRowReveal&) = delete;

    void revealAndHighlight(const std::shared_ptr<VKFileResource>& resource);
    void select(const std::shared_ptr<VKFileResource>& resource, bool animated);
    void deselect(const std::shared_ptr<VKFileResource>& resource, bool animated);
    void scrollTo(const std::shared_ptr<VKFileResource>& resource, ui::TableView::ScrollPosition position, bool animated);

private:
    void highlight(const std::shared_ptr<VKFileResource>& resource, int step);

    Host& m_host;
    // The flash's later steps run only while the reveal lives.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
