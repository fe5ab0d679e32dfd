#include "Kit/StringTruncation.h"

#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Path.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::string_view kEllipsis = "\u2026";

// The byte offset where each code point starts, and the end.
std::vector<size_t> boundaries(std::string_view text)
{
    std::vector<size_t> offsets;
    offsets.reserve(text.size() + 1);
    core::forEachCodePoint(text, [&](const core::CodePoint&, size_t offset) { offsets.push_back(offset); });
    offsets.push_back(text.size());
    return offsets;
}

size_t characterCount(std::string_view text)
{
    return boundaries(text).size() - 1;
}

// The first `count` characters followed by the ellipsis.
std::string cut(std::string_view text, size_t count)
{
    std::vector<size_t> offsets = boundaries(text);
    count = std::min(count, offsets.size() - 1);
    return std::string(text.substr(0, offsets[count])) + std::string(kEllipsis);
}

std::string joined(const std::vector<std::string>& components, std::string_view separator)
{
    std::string text;
    for (size_t i = 0; i < components.size(); ++i) {
        if (i)
            text += separator;
        text += components[i];
    }
    return text;
}

// The joined width kept as a sum of the parts' widths, so that each change
// measures only the component it changed.
class JoinedWidth {
public:
    JoinedWidth(const std::vector<std::string>& components, std::string_view separator, const gfx::Font& font)
        : m_font(font)
    {
        for (const std::string& component : components)
            m_widths.push_back(font.widthOfString(component));
        m_separators = components.empty() ? 0 : double(font.widthOfString(separator)) * double(components.size() - 1);
    }

    void update(size_t index, std::string_view component) { m_widths[index] = m_font.widthOfString(component); }

    bool fits(float width) const
    {
        double total = m_separators;
        for (float part : m_widths)
            total += part;
        return total <= width;
    }

private:
    const gfx::Font& m_font;
    std::vector<float> m_widths;
    double m_separators = 0;
};

} // namespace

std::string stringByTailTruncatingStringWithFont(std::string_view text, const gfx::Font& font, float width)
{
    if (font.widthOfString(text) <= width)
        return std::string(text);
    // Shorter starts are never wider, so the longest start that fits is
    // found by halving instead of trying one length after another.
    std::vector<size_t> offsets = boundaries(text);
    size_t characters = offsets.size() - 1;
    if (characters < 2)
        return std::string(kEllipsis);
    auto candidate = [&](size_t count) { return std::string(text.substr(0, offsets[count])) + std::string(kEllipsis); };
    size_t low = 0; // the ellipsis alone: the answer when nothing fits
    size_t high = characters - 2;
    while (low < high) {
        size_t middle = low + (high - low + 1) / 2;
        if (font.widthOfString(candidate(middle)) <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return candidate(low);
}

std::string pathComponentsJoinedByString(std::string_view path, std::string_view separator, float width,
    const gfx::Font& font)
{
    std::vector<std::string> components = core::path::pathComponents(path);
    std::string text = joined(components, separator);
    if (components.size() < 2)
        return stringByTailTruncatingStringWithFont(text, font, width);
    if (font.widthOfString(text) <= width)
        return text;

    const size_t folders = components.size() - 1; // all but the last
    const size_t nearest = folders - 1; // the next-to-last component
    const std::string nearestWhole = components[nearest];
    size_t longest = 0;
    for (size_t i = 0; i < folders; ++i)
        longest = std::max(longest, characterCount(components[i]));
    auto lowered = [](size_t limit) { return std::max<size_t>(4, limit > 0 ? limit - 1 : 0); };
    size_t limit = lowered(longest);
    JoinedWidth measure(components, separator, font);

    for (int phase = 0; phase <= 3; ++phase) {
        for (;;) {
            bool changed = false;
            for (size_t i = 0; i < folders; ++i) {
                std::string& component = components[i];
                std::string next = component;
                bool cutDown = phase == 0 || (phase == 1 && i == nearest);
                if (cutDown) {
                    if (characterCount(component) > limit)
                        next = cut(component, limit - 1);
                } else if (phase <= 2) {
                    next = std::string(kEllipsis);
                } else {
                    next.clear();
                }
                if (next == component)
                    continue;
                component = std::move(next);
                measure.update(i, component);
                changed = true;
                if (measure.fits(width))
                    return joined(components, separator);
            }
            if (!changed)
                break;
            limit = lowered(limit);
        }
        if (phase == 0) {
            components[nearest] = nearestWhole;
            measure.update(nearest, nearestWhole);
            limit = lowered(characterCount(nearestWhole));
        }
    }
    return stringByTailTruncatingStringWithFont(joined(components, separator), font, width);
}
