#pragma once

// Measures and draws text for the whole system. Line breaking, wrapping and
// truncation are done here once, over two things an engine supplies: the
// width of a run of text and the drawing of one line. The deterministic
// engine (the default) uses the fonts' own metric and draws each glyph as a
// box, so that layouts and pictures are the same on every machine; the Pango
// engine sets real glyphs through fontconfig. Texts are UTF-8.

#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

class Context;

// The device's numbers.
enum class LineBreakMode { WordWrap = 0, CharacterWrap = 1, Clip = 2, HeadTruncation = 3, TailTruncation = 4, MiddleTruncation = 5 };
enum class TextAlignment { Left = 0, Center = 1, Right = 2 };

struct FontMetrics {
    float ascender = 0;
    float descender = 0; // below the baseline, positive
    float lineHeight = 0;
};

class TextEngine {
public:
    // The mark that stands for cut text.
    static constexpr std::string_view Ellipsis = "\u2026";

    virtual ~TextEngine();

    // The width of the text set on one line (line breaks count as any other
    // character).
    virtual float widthOfString(std::string_view text, const Font& font) = 0;
    virtual FontMetrics metrics(const Font& font) = 0;

    // The text on one line: its width and the line height.
    Size sizeOfString(std::string_view text, const Font& font);
    // On one line no wider than `width`, cut as `mode` says.
    Size sizeOfString(std::string_view text, const Font& font, float width, LineBreakMode mode);
    // Wrapped into `constraint` (a height of 0 leaves it unbounded): the
    // width of the widest line and the height of the lines shown.
    Size sizeOfString(std::string_view text, const Font& font, Size constraint, LineBreakMode mode);

    // The text as shown on one line of `width`: the head, middle or tail
    // replaced by "…", or (clip and the wrap modes) the longest start that
    // fits. Text that fits comes back as it is.
    std::string truncatedString(std::string_view text, const Font& font, float width, LineBreakMode mode);
    // The lines the text takes in `constraint`: broken at line breaks, then
    // anywhere (character wrap) or at spaces (every other mode; a word
    // longer than a line is broken where it must); the last line that fits
    // the height takes the rest, cut as a truncating `mode` says.
    std::vector<std::string> linesOfString(std::string_view text, const Font& font, Size constraint, LineBreakMode mode);

    // Draws one line with its top left at `point`, in the context's fill
    // colour; answers its size.
    Size drawString(Context& context, std::string_view text, Point point, const Font& font);
    // Draws the lines in the rectangle, from its top as the context's own
    // space sees it; answers the size taken.
    Size drawString(Context& context, std::string_view text, const Rect& rect, const Font& font, LineBreakMode mode,
        TextAlignment alignment = TextAlignment::Left);

protected:
    // Draws one line with its top left at (x, y) in a space that runs down,
    // in the context's fill colour.
    virtual void drawLine(Context& context, std::string_view line, float x, float y, const Font& font) = 0;

private:
    void drawLines(Context& context, const std::vector<std::string>& lines, const Rect& rect, const Font& font,
        TextAlignment alignment);
};

// The engine in use, for any thread; the deterministic one unless set.
std::shared_ptr<TextEngine> textEngine();
// Nothing puts the deterministic engine back.
void setTextEngine(std::shared_ptr<TextEngine> engine);

std::shared_ptr<TextEngine> makeDeterministicTextEngine();
std::shared_ptr<TextEngine> makePangoTextEngine();

} // namespace gfx
