#include "App/FolderBrowser/VKFolderLetterStrip.h"

#include "App/FolderBrowser/VKFolderListing.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "App/FolderBrowser/VKIndexView.h"
#include "Shell/VKApplication.h"

#include <algorithm>

VKFolderLetterStrip::VKFolderLetterStrip(VKFolderListing& listing)
    : m_listing(listing)
{
}

bool VKFolderLetterStrip::isWanted()
{
    return m_listing.sorting().showsIndex() && m_listing.count() > 0;
}

void VKFolderLetterStrip::update(ui::TableView& table, bool allowed)
{
    if (!isWanted()) {
        setHidden(true, allowed);
        return;
    }
    if (m_view && m_view->superview() == &table) {
        setHidden(false, allowed);
        return;
    }
    if (!m_view) {
        m_view = VKIndexView::create();
        m_view->setDataSource(weak_from_this());
        std::weak_ptr<VKFolderLetterStrip> weak = weak_from_this();
        m_view->addTarget(nullptr, "selectedIndexLabelDidChange", [weak](ui::Control& control, const ui::Event*) {
            auto strip = weak.lock();
            auto* table = dynamic_cast<ui::TableView*>(control.superview());
            if (strip && table && strip->m_view->selectedLabel())
                strip->jump(*table, *strip->m_view->selectedLabel());
        }, ui::Control::ValueChanged);
    }
    gfx::Rect bounds = table.bounds();
    float width = m_view->frame().width();
    m_view->setFrame({ bounds.maxX() - width - VKFolderControllerIndexViewMargin, bounds.y() + VKFolderControllerIndexViewMargin,
        width, bounds.height() - 2 * VKFolderControllerIndexViewMargin });
    table.addSubview(m_view);
    setHidden(false, allowed);
}

void VKFolderLetterStrip::setHidden(bool hidden, bool allowed)
{
    if (!m_view || m_view->isHidden() == hidden)
        return;
    if (hidden)
        m_view->setHidden(true);
    else if (allowed && isWanted())
        m_view->setHidden(false);
}

void VKFolderLetterStrip::jump(ui::TableView& table, const std::string& label)
{
    auto target = m_listing.rowForIndexLabel(label);
    if (!target || *target >= m_listing.rows().size()) {
        table.setContentOffset({ 0, 0 });
        return;
    }
    gfx::Rect row = table.rectForRow({ 0, int(*target) });
    float lowest = table.contentSize().height - table.frame().height();
    float y = std::max(0.0f, std::min(row.y(), lowest));
    if (table.contentOffset().y == y)
        return;
    table.setContentOffset({ row.x(), y });
    table.setNeedsDisplay();
}

size_t VKFolderLetterStrip::numberOfSectionsInIndexView(VKIndexView&)
{
    return VKFolderSectionIndex::labelsForLanguage(VKApplication::currentLanguage()).sections.size();
}

std::vector<std::string> VKFolderLetterStrip::labelsForSection(VKIndexView&, size_t section)
{
    const auto& labels = VKFolderSectionIndex::labelsForLanguage(VKApplication::currentLanguage());
    return section < labels.sections.size() ? labels.sections[section] : std::vector<std::string> {};
}

bool VKFolderLetterStrip::canCompressLabelsInSection(VKIndexView&, size_t section)
{
    const auto& labels = VKFolderSectionIndex::labelsForLanguage(VKApplication::currentLanguage());
    return section < labels.canCompress.size() && labels.canCompress[section];
}
