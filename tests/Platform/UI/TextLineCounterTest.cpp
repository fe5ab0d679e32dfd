// Counting a large text's wrapped lines on a worker: the count made while a
// storage grows equals wrapping each paragraph whole, a paragraph of many
// mebibytes keeps checkpoints where its lines start, and a text view scrolled
// into the middle of such a paragraph draws the lines that are there.

#include "Support/UITestCase.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/DeterministicTextEngine.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TextLineCounter.h"
#include "Platform/UI/TextView.h"

#include <random>

namespace {

using test::UITestCase;
class TextLineCounterTest : public UITestCase { };

// Words of 1 to 12 letters, some with two- and four-byte characters, and
// now and then a line end.
std::string words(size_t bytes, unsigned seed, bool lineEnds)
{
    std::mt19937 random(seed);
    std::string text;
    text.reserve(bytes + 64);
    while (text.size() < bytes) {
        text.append(1 + random() % 12, char('a' + random() % 26));
        if (random() % 16 == 0)
            text += random() % 2 ? "ž" : "😀";
        text += lineEnds && random() % 40 == 0 ? (random() % 2 ? "\n" : "\r\n") : " ";
    }
    return text;
}

TEST_F(TextLineCounterTest, TheCountOfAGrowingStorageEqualsWrappingEachParagraphWhole)
{
    // Short paragraphs around one of 3 MiB without a line end, which
    // crosses chunks and wraps into more lines than a checkpoint's worth;
    // among them a run of one-letter and empty lines, more than a group
    // holds and enough to space a chunk's line marks wider.
    std::string before = words(1 << 19, 1, true) + "\n";
    for (int k = 0; k < 20000; ++k)
        before += k % 7 == 0 ? "\n" : "a\n";
    before += words(1 << 19, 4, true) + "\n";
    std::string text = before + words(3 << 20, 2, false) + "\n" + words(1 << 20, 3, true);
    size_t huge = size_t(std::count(before.begin(), before.end(), '\n'));
    gfx::Font font = gfx::Font::fontWithName("Helvetica", 12);
    auto layout = ui::TextLayout::forFont(font);
    const float width = 150;
    auto storage = ui::TextStorage::create();
    core::Thread::detach("writer", [storage, text] {
        std::mt19937 random(5);
        for (size_t at = 0; at < text.size();) {
            size_t length = std::min(text.size() - at, size_t(1 + random() % 400000));
            while (at + length < text.size() && (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
                ++length;
            storage->append(std::string_view(text).substr(at, length));
            at += length;
        }
        storage->finish();
    });
    ui::TextLineCounter counter(layout, width);
    while (!counter.isComplete()) {
        auto snapshot = storage->snapshot();
        ASSERT_TRUE(counter.advance(snapshot));
        storage->waitForGrowth(snapshot.size(), 1);
    }
    const ui::TextLineTable& table = counter.table();

    // Paragraph by paragraph, as one string.
    size_t index = 0;
    uint64_t total = 0;
    for (size_t start = 0;; ++index) {
        size_t end = text.find('\n', start);
        size_t stop = end == std::string::npos ? text.size() : end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        std::string_view paragraph = std::string_view(text).substr(start, stop - start);
        auto lines = layout->lines(paragraph, width);
        ASSERT_LT(index, table.paragraphCount());
        ASSERT_EQ(table.linesOf(index), lines.size()) << "paragraph " << index;
        EXPECT_EQ(table.paragraphStart(index), start) << "paragraph " << index;
        EXPECT_EQ(table.linesBefore(index), total);
        EXPECT_EQ(table.paragraphAtLine(total), index);
        EXPECT_EQ(table.paragraphAtLine(total + lines.size() - 1), index);
        // Where every 4,096th line starts.
        const auto& checkpoints = table.checkpoints(index);
        EXPECT_EQ(checkpoints.size(), (lines.size() - 1) / ui::TextLineTable::CheckpointLines) << "paragraph " << index;
        for (size_t k = 0; k < checkpoints.size(); ++k)
            EXPECT_EQ(checkpoints[k], lines[(k + 1) * ui::TextLineTable::CheckpointLines].first);
        total += lines.size();
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    EXPECT_EQ(table.paragraphCount(), index + 1);
    EXPECT_EQ(table.lineCount(), total);
    EXPECT_GT(table.checkpoints(huge).size(), 2u);
    EXPECT_EQ(table.paragraphAtLine(total + 10), index);
    EXPECT_EQ(table.paragraphStart(index + 1), std::string::npos);
    EXPECT_GT(storage->snapshot().chunk(0).markStride, ui::TextStorage::LineMarkStride);

    // A count told to stop says so.
    ui::TextLineCounter stopped(layout, width);
    EXPECT_FALSE(stopped.advance(storage->snapshot(), [] { return true; }));
    EXPECT_FALSE(stopped.isComplete());
}

// The index of a text of a million one-letter lines stays a few kilobytes:
// its size follows the text's bytes, not its lines.
TEST_F(TextLineCounterTest, AMillionShortLinesCostAFewKilobytes)
{
    std::string text;
    for (int k = 0; k < 1000000; ++k)
        text += "a\n";
    text += "end";
    auto storage = ui::TextStorage::withText(text);
    ui::TextLineCounter counter(ui::TextLayout::forFont(gfx::Font::fontWithName("Helvetica", 12)), 150);
    ASSERT_TRUE(counter.advance(storage->snapshot()));
    ASSERT_TRUE(counter.isComplete());
    const ui::TextLineTable& table = counter.table();
    EXPECT_EQ(table.paragraphCount(), 1000001u);
    EXPECT_LT(table.memoryBytesForTesting(), 16u * 1024);
    for (size_t index : { size_t(0), size_t(4095), size_t(4096), size_t(777777), size_t(1000000) }) {
        EXPECT_EQ(table.paragraphStart(index), 2 * index);
        EXPECT_EQ(table.linesBefore(index), index);
        EXPECT_EQ(table.paragraphAtLine(index), index);
    }
}

// Records the lines a view draws.
class RecordingEngine : public gfx::DeterministicTextEngine {
public:
    void drawLine(gfx::Context& context, std::string_view line, float x, float y, const gfx::Font& font) override
    {
        drawn.emplace_back(std::string(line), y);
        DeterministicTextEngine::drawLine(context, line, x, y, font);
    }
    std::vector<std::pair<std::string, float>> drawn;
};

TEST_F(TextLineCounterTest, AViewScrolledIntoTheMiddleOfAHugeLineDrawsTheLinesThere)
{
    auto engine = std::make_shared<RecordingEngine>();
    gfx::setTextEngine(engine);
    std::string text = words(20 << 20, 7, false);
    auto view = ui::TextView::create({ 0, 0, 320, 480 });
    view->setEditable(false);
    window().addSubview(view);
    view->setTextStorage(ui::TextStorage::withText(text));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return view->isLayoutComplete(); }, 120));

    float width = 320 - 2 * ui::TextView::Inset;
    auto lines = ui::TextLayout::forFont(view->font())->lines(text, width);
    double lineHeight = ui::Fonts::lineHeight(view->font());
    EXPECT_NEAR(view->contentSize().height, 2 * ui::TextView::Inset + double(lines.size()) * lineHeight, 2);

    // Scrolled to a line in the middle, between checkpoints.
    size_t middle = lines.size() / 2 + 1234;
    view->setContentOffset({ 0, float(ui::TextView::Inset + double(middle) * lineHeight) });
    engine->drawn.clear();
    auto bitmap = gfx::BitmapContext::create(320, 480);
    ui::Renderer::render(*view, *bitmap);
    ASSERT_GE(engine->drawn.size(), 10u);
    // The first line drawn at the top is the middle one, and the rest
    // follow it.
    size_t first = 0;
    while (first < engine->drawn.size() && engine->drawn[first].second < -lineHeight / 2)
        ++first;
    ASSERT_LT(first + 5, engine->drawn.size());
    for (size_t k = 0; k < 5; ++k) {
        auto [start, end] = lines[middle + k];
        EXPECT_EQ(engine->drawn[first + k].first, text.substr(start, end - start)) << "line " << middle + k;
    }
}

} // namespace
