#include "Platform/UI/TextViewLinks.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Fonts.h"

#include <algorithm>
#include <cctype>

namespace ui {

std::vector<core::Range> TextViewLinks::ranges(std::string_view text)
{
    static const std::string_view starts[] = { "http://", "https://", "ftp://", "mailto:", "www." };
    std::vector<core::Range> found;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t at = 0;
    while (at < text.size()) {
        bool wordStart = at == 0 || isSpace(text[at - 1]) || std::string_view("(<[\"'").find(text[at - 1]) != std::string_view::npos;
        size_t prefix = 0;
        if (wordStart) {
            for (std::string_view start : starts) {
                if (text.size() - at >= start.size() + 1 && std::equal(start.begin(), start.end(), text.begin() + long(at),
                        [](char a, char b) { return std::tolower((unsigned char)a) == std::tolower((unsigned char)b); })) {
                    prefix = start.size();
                    break;
                }
            }
        }
        if (prefix == 0) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < text.size() && !isSpace(text[end]) && std::string_view("<>\"").find(text[end]) == std::string_view::npos)
            ++end;
        // Closing punctuation belongs to the sentence.
        while (end > at + prefix && std::string_view(".,;:!?)]}'").find(text[end - 1]) != std::string_view::npos)
            --end;
        if (end > at + prefix)
            found.push_back({ at, end - at });
        at = std::max(end, at + 1);
    }
    return found;
}

std::string TextViewLinks::address(std::string_view run)
{
    if (run.size() >= 4 && std::tolower((unsigned char)run[0]) == 'w' && std::tolower((unsigned char)run[1]) == 'w'
        && std::tolower((unsigned char)run[2]) == 'w' && run[3] == '.')
        return "http://" + std::string(run);
    return std::string(run);
}

gfx::Color TextViewLinks::color()
{
    return gfx::Color::rgb255(0, 84, 210);
}

void TextViewLinks::drawLine(gfx::Context& context, std::string_view line, size_t lineStart,
    const std::vector<core::Range>& links, gfx::Point at, const gfx::Font& f, const gfx::Color& textColor)
{
    auto engine = gfx::textEngine();
    size_t done = 0;
    auto draw = [&](size_t end, bool link) {
        if (end <= done)
            return;
        std::string_view piece = line.substr(done, end - done);
        float x = at.x + engine->widthOfString(line.substr(0, done), f);
        context.setFillColor(link ? color() : textColor);
        engine->drawString(context, piece, gfx::Point { x, at.y }, f);
        if (link) {
            float underline = at.y + Fonts::lineHeight(f) - 1.5f;
            context.fillRect({ x, underline, engine->widthOfString(piece, f), 1 });
        }
        done = end;
    };
    for (const core::Range& link : links) {
        if (link.end() <= lineStart || link.location >= lineStart + line.size())
            continue;
        size_t from = std::max(link.location, lineStart) - lineStart;
        size_t to = std::min(link.end(), lineStart + line.size()) - lineStart;
        draw(from, false);
        draw(to, true);
    }
    draw(line.size(), false);
}

std::optional<std::string> TextViewLinks::addressAt(std::string_view text, TextLayout::Span line, float x,
    const gfx::Font& font)
{
    std::string_view shown = text.substr(line.first, line.second - line.first);
    for (const core::Range& link : ranges(text)) {
        if (link.end() <= line.first || link.location >= line.second)
            continue;
        size_t from = std::max(link.location, line.first) - line.first;
        size_t to = std::min(link.end(), line.second) - line.first;
        float left = gfx::textEngine()->widthOfString(shown.substr(0, from), font);
        float right = gfx::textEngine()->widthOfString(shown.substr(0, to), font);
        if (x >= left && x <= right)
            return address(text.substr(link.location, link.length));
    }
    return std::nullopt;
}

} // namespace ui
