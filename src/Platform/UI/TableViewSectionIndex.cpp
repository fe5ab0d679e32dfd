#include "Platform/UI/TableViewSectionIndex.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/Touch.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui {

namespace {

// The section index along the right edge: a tap picks the title under it.
class SectionIndexView : public View {
public:
    void touchesEnded(const TouchSet& touches, const Event&) override
    {
        auto* table = dynamic_cast<TableView*>(superview());
        if (!table || touches.empty() || table->sectionIndexTitles().empty())
            return;
        float y = touches.front()->locationInView(this).y;
        int count = int(table->sectionIndexTitles().size());
        int index = std::clamp(int(y / (bounds().height() / float(count))), 0, count - 1);
        table->tapIndexTitle(index);
    }
    void touchesBegan(const TouchSet&, const Event&) override { }
    void touchesMoved(const TouchSet&, const Event&) override { }
};

} // namespace

void TableViewSectionIndex::reload(TableView& table)
{
    auto source = table.dataSource();
    m_titles = source ? source->sectionIndexTitles(table) : std::vector<std::string> {};
}

void TableViewSectionIndex::layout(TableView& table)
{
    if (m_titles.empty()) {
        if (m_view)
            m_view->setHidden(true);
        return;
    }
    if (!m_view) {
        m_view = std::make_shared<SectionIndexView>();
        table.addSubview(m_view);
    }
    gfx::Rect b = table.bounds();
    m_view->setHidden(false);
    m_view->setFrame({ b.maxX() - TableView::IndexWidth, b.y(), TableView::IndexWidth, b.height() });
    table.bringSubviewToFront(m_view.get());
}

std::optional<int> TableViewSectionIndex::sectionForTitle(TableView& table, int index) const
{
    if (index < 0 || index >= int(m_titles.size()))
        throw core::Exception(core::Exception::RangeError,
            fmt::format("TableView::tapIndexTitle: {} is beyond {} index titles", index, m_titles.size()));
    auto source = table.dataSource();
    if (!source)
        return std::nullopt;
    int section = source->sectionForSectionIndexTitle(table, m_titles[size_t(index)], index);
    if (section < 0 || section >= table.numberOfSections())
        return std::nullopt;
    return section;
}

} // namespace ui
