#include "Platform/UI/TextPrintFormatter.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/TextLayout.h"
#include "Platform/UI/TextView.h"

#include <algorithm>
#include <cmath>

namespace ui {

std::shared_ptr<TextPrintFormatter> TextPrintFormatter::create(const std::shared_ptr<TextView>& view)
{
    auto formatter = std::make_shared<TextPrintFormatter>();
    formatter->setView(view);
    if (view) {
        if (view->textStorage())
            formatter->m_text = view->textStorage()->snapshot();
        formatter->m_font = view->font();
        formatter->m_color = view->textColor();
    }
    return formatter;
}

void TextPrintFormatter::forEachLine(Place from, float width,
    const std::function<bool(std::string_view line, Place)>& visit) const
{
    auto layout = TextLayout::forFont(m_font);
    std::string scratch;
    for (size_t start = from.paragraph; start <= m_text.size();) {
        auto [length, next] = m_text.paragraphAt(start);
        std::string_view paragraph = m_text.view(start, length, scratch);
        std::vector<TextLayout::Span> lines = layout->lines(paragraph, width);
        for (size_t line = start == from.paragraph ? from.line : 0; line < lines.size(); ++line)
            if (!visit(paragraph.substr(lines[line].first, lines[line].second - lines[line].first), { start, line }))
                return;
        if (next == std::string::npos)
            return;
        start = next;
    }
}

void TextPrintFormatter::paginate(gfx::Size page)
{
    if (m_pagedFor == page && !m_pages.empty())
        return;
    m_pagedFor = page;
    m_pages.clear();
    float lineHeight = Fonts::lineHeight(m_font);
    float width = page.width - 2 * Margin;
    m_linesPerPage = size_t(std::max(1.0, std::floor(double(page.height - 2 * Margin) / lineHeight + 1e-4)));
    if (width <= 0 || m_text.empty())
        return;
    size_t onPage = m_linesPerPage;
    forEachLine({}, width, [&](std::string_view, Place place) {
        if (onPage == m_linesPerPage) {
            m_pages.push_back(place);
            onPage = 0;
        }
        ++onPage;
        return true;
    });
}

int TextPrintFormatter::pageCount(gfx::Size page)
{
    if (!hasContent())
        return 0;
    paginate(page);
    return int(m_pages.size());
}

void TextPrintFormatter::drawPage(gfx::Context& context, int index, gfx::Size page)
{
    paginate(page);
    if (index < 0 || size_t(index) >= m_pages.size())
        return;
    auto engine = gfx::textEngine();
    float lineHeight = Fonts::lineHeight(m_font);
    size_t drawn = 0;
    context.setFillColor(m_color);
    forEachLine(m_pages[size_t(index)], page.width - 2 * Margin, [&](std::string_view line, Place) {
        if (drawn == m_linesPerPage)
            return false;
        if (!line.empty())
            engine->drawString(context, line, { Margin, Margin + float(drawn) * lineHeight }, m_font);
        ++drawn;
        return true;
    });
}

} // namespace ui
