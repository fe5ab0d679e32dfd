#pragma once

// The print formatter of a text view: the whole text, not just what shows,
// wrapped to the sheet's width and cut into sheets. It pages through the
// text storage as it was when the formatter was made; a sheet is laid out
// when it is drawn, and only where each sheet starts is kept.

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Font.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/TextStorage.h"

#include <functional>
#include <string>
#include <vector>

namespace ui {

class TextView;

class TextPrintFormatter : public PrintFormatter {
public:
    // Margin on every side of a sheet, in points.
    static constexpr float Margin = 36;

    static std::shared_ptr<TextPrintFormatter> create(const std::shared_ptr<TextView>& view);

    int pageCount(gfx::Size page) override;
    void drawPage(gfx::Context& context, int index, gfx::Size page) override;

private:
    // Where a sheet starts: a paragraph's first byte and a line within it.
    struct Place {
        size_t paragraph = 0;
        size_t line = 0;
    };
    // Walks the wrapped lines from `from`; `visit` gets each line and its
    // paragraph's place, and stops the walk by answering false.
    void forEachLine(Place from, float width, const std::function<bool(std::string_view line, Place)>& visit) const;
    void paginate(gfx::Size page);

    TextStorage::Snapshot m_text;
    gfx::Font m_font = gfx::Font::systemFont(12);
    gfx::Color m_color;
    gfx::Size m_pagedFor;
    std::vector<Place> m_pages;
    size_t m_linesPerPage = 1;
};

} // namespace ui
