#include "Platform/Graphics/TextEngine.h"

#include "Platform/Core/CodePoints.h"
#include "Platform/Graphics/Context.h"

#include <cmath>
#include <mutex>

namespace gfx {

namespace {

std::mutex engineMutex;
std::shared_ptr<TextEngine> currentEngine;

struct Span {
    size_t start = 0;
    size_t end = 0;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

std::vector<size_t> boundariesOf(std::string_view text)
{
    std::vector<size_t> boundaries;
    core::forEachCodePoint(text, [&](const core::CodePoint&, size_t offset) { boundaries.push_back(offset); });
    boundaries.push_back(text.size());
    return boundaries;
}

// The largest k in [low, high] for which fits(k) holds, given that it holds
// for every k up to some point; low - 1 when it never does.
template<typename Fits> ptrdiff_t largestFitting(ptrdiff_t low, ptrdiff_t high, Fits fits)
{
    ptrdiff_t found = low - 1;
    while (low <= high) {
        ptrdiff_t middle = low + (high - low) / 2;
        if (fits(middle)) {
            found = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return found;
}

float usableWidth(float width)
{
    return std::isfinite(width) && width > 0 ? width : 0;
}

} // namespace

TextEngine::~TextEngine() = default;

Size TextEngine::sizeOfString(std::string_view text, const Font& font)
{
    return { widthOfString(text, font), metrics(font).lineHeight };
}

Size TextEngine::sizeOfString(std::string_view text, const Font& font, float width, LineBreakMode mode)
{
    return { widthOfString(truncatedString(text, font, width, mode), font), metrics(font).lineHeight };
}

Size TextEngine::sizeOfString(std::string_view text, const Font& font, Size constraint, LineBreakMode mode)
{
    auto lines = linesOfString(text, font, constraint, mode);
    float widest = 0;
    for (const auto& line : lines)
        widest = std::max(widest, widthOfString(line, font));
    return { widest, float(lines.size()) * metrics(font).lineHeight };
}

std::string TextEngine::truncatedString(std::string_view text, const Font& font, float width, LineBreakMode mode)
{
    width = usableWidth(width);
    if (widthOfString(text, font) <= width)
        return std::string(text);
    const std::vector<size_t> b = boundariesOf(text);
    const ptrdiff_t n = ptrdiff_t(b.size()) - 1;
    auto piece = [&](ptrdiff_t k) -> std::string {
        switch (mode) {
        case LineBreakMode::TailTruncation:
            return std::string(text.substr(0, b[size_t(k)])) + std::string(Ellipsis);
        case LineBreakMode::HeadTruncation:
            return std::string(Ellipsis) + std::string(text.substr(b[size_t(n - k)]));
        case LineBreakMode::MiddleTruncation:
            return std::string(text.substr(0, b[size_t((k + 1) / 2)])) + std::string(Ellipsis)
                + std::string(text.substr(b[size_t(n - k / 2)]));
        default:
            return std::string(text.substr(0, b[size_t(k)]));
        }
    };
    ptrdiff_t k = largestFitting(0, n - 1, [&](ptrdiff_t k) { return widthOfString(piece(k), font) <= width; });
    return k < 0 ? std::string() : piece(k);
}

std::vector<std::string> TextEngine::linesOfString(std::string_view text, const Font& font, Size constraint, LineBreakMode mode)
{
    const float width = std::isfinite(constraint.width) && constraint.width > 0 ? constraint.width : INFINITY;
    const float lineHeight = metrics(font).lineHeight;
    size_t maximumLines = SIZE_MAX;
    if (std::isfinite(constraint.height) && constraint.height > 0 && lineHeight > 0)
        maximumLines = std::max<size_t>(1, size_t(std::floor(constraint.height / lineHeight + 1e-4f)));
    auto fits = [&](size_t start, size_t end) { return widthOfString(text.substr(start, end - start), font) <= width; };
    auto skipSpaces = [&](size_t position, size_t end) {
        while (position < end && isSpace(text[position]))
            ++position;
        return position;
    };
    // The longest run of whole code points from `start` that fits, at
    // least one so that every line moves on.
    auto characterBreak = [&](size_t start, size_t end) {
        std::vector<size_t> b = boundariesOf(text.substr(start, end - start));
        ptrdiff_t k = largestFitting(1, ptrdiff_t(b.size()) - 1, [&](ptrdiff_t k) { return fits(start, start + b[size_t(k)]); });
        return start + b[size_t(std::max<ptrdiff_t>(k, 1))];
    };

    const bool byWords = mode != LineBreakMode::CharacterWrap;
    std::vector<Span> spans;
    size_t paragraphStart = 0;
    while (paragraphStart <= text.size()) {
        size_t paragraphEnd = text.find('\n', paragraphStart);
        if (paragraphEnd == std::string_view::npos)
            paragraphEnd = text.size();
        size_t contentEnd = paragraphEnd > paragraphStart && text[paragraphEnd - 1] == '\r' ? paragraphEnd - 1 : paragraphEnd;
        if (contentEnd == paragraphStart)
            spans.push_back({ paragraphStart, paragraphStart });
        for (size_t position = paragraphStart; position < contentEnd;) {
            size_t lineEnd = position;
            if (byWords) {
                for (size_t cursor = position; cursor < contentEnd;) {
                    size_t wordEnd = cursor;
                    while (wordEnd < contentEnd && !isSpace(text[wordEnd]))
                        ++wordEnd;
                    if (!fits(position, wordEnd))
                        break;
                    lineEnd = wordEnd;
                    cursor = skipSpaces(wordEnd, contentEnd);
                }
            }
            if (lineEnd == position)
                lineEnd = fits(position, contentEnd) ? contentEnd : characterBreak(position, contentEnd);
            spans.push_back({ position, lineEnd });
            position = byWords ? skipSpaces(lineEnd, contentEnd) : lineEnd;
        }
        if (paragraphEnd == text.size())
            break;
        paragraphStart = paragraphEnd + 1;
    }

    std::vector<std::string> lines;
    for (size_t i = 0; i < spans.size() && i < maximumLines; ++i)
        lines.emplace_back(text.substr(spans[i].start, spans[i].end - spans[i].start));
    bool truncates = mode == LineBreakMode::HeadTruncation || mode == LineBreakMode::TailTruncation
        || mode == LineBreakMode::MiddleTruncation;
    if (spans.size() > maximumLines && truncates) {
        // The last line shown takes the rest of the text, on one line.
        std::string rest(text.substr(spans[maximumLines - 1].start));
        for (char& c : rest) {
            if (c == '\n' || c == '\r')
                c = ' ';
        }
        lines.back() = truncatedString(rest, font, width, mode);
    }
    return lines;
}

Size TextEngine::drawString(Context& context, std::string_view text, Point point, const Font& font)
{
    Size size = sizeOfString(text, font);
    Rect rect(point.x, context.isFlipped() ? point.y : point.y - size.height, size.width, size.height);
    drawLines(context, { std::string(text) }, rect, font, TextAlignment::Left);
    return size;
}

Size TextEngine::drawString(Context& context, std::string_view text, const Rect& rect, const Font& font,
    LineBreakMode mode, TextAlignment alignment)
{
    Rect r = rect.standardized();
    if (r.isNull())
        return {};
    auto lines = linesOfString(text, font, r.size, mode);
    context.saveGState();
    if (mode == LineBreakMode::Clip)
        context.clipToRect(r);
    drawLines(context, lines, r, font, alignment);
    context.restoreGState();
    float widest = 0;
    for (const auto& line : lines)
        widest = std::max(widest, widthOfString(line, font));
    return { widest, float(lines.size()) * metrics(font).lineHeight };
}

void TextEngine::drawLines(Context& context, const std::vector<std::string>& lines, const Rect& rect, const Font& font,
    TextAlignment alignment)
{
    context.saveGState();
    // Engines draw downward; in a space that rises, the rectangle is turned
    // over in place so that the first line sits at its top.
    if (!context.isFlipped()) {
        context.translateCTM(0, rect.minY() + rect.maxY());
        context.scaleCTM(1, -1);
    }
    const float lineHeight = metrics(font).lineHeight;
    float y = rect.minY();
    for (const auto& line : lines) {
        float x = rect.minX();
        if (alignment != TextAlignment::Left) {
            float spare = rect.width() - widthOfString(line, font);
            x += alignment == TextAlignment::Center ? spare / 2 : spare;
        }
        drawLine(context, line, x, y, font);
        y += lineHeight;
    }
    context.restoreGState();
}

std::shared_ptr<TextEngine> textEngine()
{
    std::lock_guard lock(engineMutex);
    if (!currentEngine)
        currentEngine = makeDeterministicTextEngine();
    return currentEngine;
}

void setTextEngine(std::shared_ptr<TextEngine> engine)
{
    std::lock_guard lock(engineMutex);
    currentEngine = engine ? std::move(engine) : makeDeterministicTextEngine();
}

} // namespace gfx
