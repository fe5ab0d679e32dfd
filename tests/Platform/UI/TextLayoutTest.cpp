// Wrapping from the advance table breaks lines exactly where the
// deterministic engine's word wrap does.

#include "Support/UITestCase.h"

#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/TextLayout.h"

#include <random>

namespace {

using test::UITestCase;
class TextLayoutTest : public UITestCase { };

TEST_F(TextLayoutTest, LinesEqualTheEnginesWordWrapOnRandomTexts)
{
    std::mt19937 random(2026);
    const char* pieces[] = { "word", "ab", " ", " ", "  ", "\t", "\r\n", "\n", "Привет", "東京都", "😀", "naïve", "x",
        "over-long-word-without-any-break-at-all-anywhere-in-it", "\xff", "\xe2\x82", "ש", "\r" };
    auto engine = gfx::textEngine();
    for (int round = 0; round < 200; ++round) {
        size_t bytes = random() % (64 * 1024);
        if (round < 40)
            bytes %= 300; // many short texts, where edge cases sit
        std::string text;
        while (text.size() < bytes)
            text += pieces[random() % std::size(pieces)];
        gfx::Font font = gfx::Font::fontWithName(round % 3 ? "Helvetica" : "Courier", float(9 + random() % 32));
        float width = float(1 + random() % 700) + (round % 2 ? 0.5f : 0.f);
        auto expected = engine->linesOfString(text, font, { width, 0 }, gfx::LineBreakMode::WordWrap);

        // Paragraph by paragraph, as a text view does.
        auto layout = ui::TextLayout::forFont(font);
        std::vector<std::string> lines;
        size_t count = 0;
        for (size_t start = 0;;) {
            size_t end = text.find('\n', start);
            size_t stop = end == std::string::npos ? text.size() : end;
            size_t length = stop - start;
            if (length > 0 && text[stop - 1] == '\r')
                --length;
            std::string_view paragraph = std::string_view(text).substr(start, length);
            for (auto [from, to] : layout->lines(paragraph, width))
                lines.emplace_back(paragraph.substr(from, to - from));
            count += layout->lineCount(paragraph, width);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        ASSERT_EQ(lines, expected) << "round " << round << " width " << width << " size " << font.pointSize();
        EXPECT_EQ(count, expected.size());
    }
}

} // namespace
