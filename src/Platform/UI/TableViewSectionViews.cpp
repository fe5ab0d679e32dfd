#include "Platform/UI/TableViewSectionViews.h"

#include "Platform/Graphics/Context.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewGeometry.h"

#include <algorithm>

namespace ui {

namespace {

// A section's title when the source gives no view of its own. In a plain
// table it is a bar across the table, its text inset like the rows'.
class SectionTitleLabel : public Label {
public:
    bool plainBar = false;

    void draw(gfx::Context& context, const gfx::Rect& rect) override
    {
        if (!plainBar) {
            Label::draw(context, rect);
            return;
        }
        const gfx::Rect b = bounds();
        context.setFillColor(gfx::Color::rgb255(150, 164, 176));
        context.fillRect({ b.x(), b.y(), b.width(), b.height() / 2 });
        context.setFillColor(gfx::Color::rgb255(166, 178, 188));
        context.fillRect({ b.x(), b.y() + b.height() / 2, b.width(), b.height() - b.height() / 2 });
        context.setFillColor(gfx::Color::rgb255(129, 143, 155));
        context.fillRect({ b.x(), b.y(), b.width(), 1 });
        drawTextInRect(context, b.insetBy(gfx::EdgeInsets { 0, TextInset, 0, TextInset }));
    }

    static constexpr float TextInset = 12;
};

std::shared_ptr<View> makeTitleLabel(const std::string& title, bool grouped, bool footer)
{
    auto label = View::make<SectionTitleLabel>({});
    label->setText(title);
    label->setFont(Fonts::boldSystemFont(grouped ? 17 : 18));
    if (grouped) {
        label->setBackgroundColor(StandardColors::clear());
        label->setOpaque(false);
        label->setTextColor(gfx::Color::rgb255(76, 86, 108));
        label->setShadowColor(StandardColors::white());
        label->setShadowOffset({ 0, 1 });
        label->setTextAlignment(footer ? gfx::TextAlignment::Center : gfx::TextAlignment::Left);
    } else {
        label->plainBar = true;
        label->setOpaque(true);
        label->setTextColor(StandardColors::white());
        label->setShadowColor(gfx::Color::rgb255(0, 0, 0, 0.45f));
        label->setShadowOffset({ 0, 1 });
    }
    return label;
}

} // namespace

View* TableViewSectionViews::view(int section, bool footer) const
{
    auto it = m_views.find({ section, footer });
    return it == m_views.end() ? nullptr : it->second.get();
}

void TableViewSectionViews::clear()
{
    for (auto& [key, view] : m_views)
        view->removeFromSuperview();
    m_views.clear();
}

void TableViewSectionViews::layout(TableView& table, const TableViewGeometry& geometry, const gfx::Rect& visible)
{
    auto source = table.dataSource();
    auto d = table.tableDelegate();
    const bool grouped = table.style() == TableView::Style::Grouped;
    const auto& sections = geometry.sections();
    // Where each header and footer shows now. A plain table's header stays
    // at the top of the visible area while its section passes under it,
    // pushed up by the next one; the first section found is the one whose
    // header may stick.
    std::map<std::pair<int, bool>, gfx::Rect> wanted;
    bool sticky = !grouped;
    float stickAt = visible.minY() + table.contentInset().top;
    for (auto it = geometry.firstSectionEndingBelow(double(visible.minY())); it != sections.end() && it->top < visible.maxY();
         ++it) {
        int section = int(it - sections.begin());
        for (bool footer : { false, true }) {
            gfx::Rect rect = footer ? table.rectForFooter(section) : table.rectForHeader(section);
            if (sticky && !footer && rect.height() > 0) {
                float end = float(it->top + it->height()) - rect.height();
                rect.origin.y = std::max(rect.y(), std::min(stickAt, end));
            }
            if (rect.height() > 0 && rect.intersects(visible))
                wanted[{ section, footer }] = rect;
        }
    }
    // Those gone from view go first, so that no more are alive than show.
    for (auto it = m_views.begin(); it != m_views.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        it->second->removeFromSuperview();
        it = m_views.erase(it);
    }
    for (auto& [key, rect] : wanted) {
        auto [section, footer] = key;
        auto& view = m_views[key];
        if (!view) {
            view = d ? (footer ? d->viewForFooter(table, section) : d->viewForHeader(table, section)) : nullptr;
            if (!view) {
                auto title = source ? (footer ? source->titleForFooter(table, section) : source->titleForHeader(table, section))
                                    : std::nullopt;
                if (!title || (grouped && title->empty())) {
                    m_views.erase(key);
                    continue;
                }
                view = makeTitleLabel(*title, grouped, footer);
            }
            table.addSubview(view);
        }
        // Titles of a grouped table stand over its rows; a view of the
        // delegate's own spans the table, as headers and footers of the
        // table itself do.
        const bool title = dynamic_cast<SectionTitleLabel*>(view.get()) != nullptr;
        const float margin = TableView::GroupedMargin, spacing = TableView::GroupedSectionSpacing;
        float inset = grouped && title ? margin : 0;
        gfx::Rect frame { inset, rect.y(), rect.width() - 2 * inset, rect.height() };
        // A grouped title lines up with the rows' text and stands just
        // above its section's rows.
        if (grouped && !footer && title && rect.height() > spacing)
            frame = { inset + margin, rect.y() + spacing, std::max(0.0f, rect.width() - 2 * (inset + margin)),
                rect.height() - spacing - 4 };
        view->setFrame(frame);
    }
}

} // namespace ui
