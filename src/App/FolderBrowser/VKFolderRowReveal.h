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
// them cannot leave it lit). The table and the rows are the host's.
class VKFolderRowReveal {
public:
    // The folder screen, held weakly.
    class Host {
    public:
        virtual ~Host() = default;
        // The table shown (the results while searching); none before the
        // view loads.
        virtual ui::TableView* revealTable() = 0;
        virtual std::optional<ui::IndexPath> revealRowOf(const VKFileResource& resource) = 0;
    };

    static constexpr double HighlightInterval = 0.5;

    explicit VKFolderRowReveal(std::weak_ptr<Host> host = {}) : m_host(std::move(host)) { }
    bool hasHost() const { return !m_host.expired(); }
    void setHost(std::weak_ptr<Host> host) { m_host = std::move(host); }

    void revealAndHighlight(const std::shared_ptr<VKFileResource>& resource);
    void select(const std::shared_ptr<VKFileResource>& resource, bool animated);
    void deselect(const std::shared_ptr<VKFileResource>& resource, bool animated);
    void scrollTo(const std::shared_ptr<VKFileResource>& resource, ui::TableView::ScrollPosition position, bool animated);

private:
    static void highlight(std::weak_ptr<Host> host, const std::shared_ptr<VKFileResource>& resource, int step);

    std::weak_ptr<Host> m_host;
};
