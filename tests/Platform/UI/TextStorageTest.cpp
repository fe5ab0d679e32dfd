// Chunked text storage: what a reader sees equals what was appended however
// the pieces fall, snapshots stay as taken while the writer goes on, and a
// text view shows a storage as it grows, with the large-text rules.

#include "Support/UITestCase.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/TextBackingFile.h"
#include "Platform/UI/TextPrintFormatter.h"
#include "Platform/UI/TextStorage.h"
#include "Platform/UI/TextView.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <random>
#include <unistd.h>
#include <thread>

namespace {

using test::UITestCase;
class TextStorageTest : public UITestCase { };

// Lines of 0 to 3000 bytes with two- and four-byte characters, some of them
// longer than half a chunk so that lines cross chunks.
std::string mixedLines(size_t bytes, unsigned seed)
{
    std::mt19937 random(seed);
    const char* pieces[] = { "word ", "ž", "😀", "\t", "\r" };
    std::string text;
    while (text.size() < bytes) {
        size_t length = random() % 20 == 0 ? ui::TextStorage::ChunkBytes * 3 / 4 : random() % 3000;
        for (size_t end = text.size() + length; text.size() < end;)
            text += pieces[random() % std::size(pieces)];
        text += '\n';
    }
    return text;
}

TEST_F(TextStorageTest, ReadersSeeWhatWasAppendedWhereverPiecesAndChunksFall)
{
    std::string text = mixedLines(6 << 20, 3);
    std::mt19937 random(11);
    auto storage = ui::TextStorage::create();
    std::optional<ui::TextStorage::Snapshot> early;
    for (size_t at = 0; at < text.size();) {
        size_t length = std::min(text.size() - at, size_t(random() % 300000));
        // Pieces end on a character, as a converter writes them.
        while (at + length < text.size() && (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
            ++length;
        storage->append(std::string_view(text).substr(at, length));
        at += length;
        if (!early && at > (2 << 20))
            early = storage->snapshot();
    }
    // A snapshot stays as it was taken: whole chunks, ending at a line end
    // or before a character.
    ASSERT_TRUE(early);
    EXPECT_FALSE(early->isComplete());
    EXPECT_GE(early->size(), size_t(1) << 20);
    EXPECT_EQ(early->string(), text.substr(0, early->size()));
    storage->finish();
    auto whole = storage->snapshot();
    EXPECT_TRUE(whole.isComplete());
    EXPECT_GT(whole.chunkCount(), 4u);
    ASSERT_EQ(whole.size(), text.size());
    EXPECT_TRUE(whole.string() == text);
    EXPECT_LT(early->size(), whole.size());

    // Line ends and ranges, also across chunks, as in one string.
    std::string scratch;
    for (int i = 0; i < 2000; ++i) {
        size_t from = random() % (text.size() + 2);
        EXPECT_EQ(whole.findLineEnd(from), from >= text.size() ? std::string::npos : text.find('\n', from)) << from;
        size_t length = random() % (ui::TextStorage::ChunkBytes + 10);
        std::string_view expected = from <= text.size() ? std::string_view(text).substr(from, length) : std::string_view();
        EXPECT_TRUE(whole.view(from, length, scratch) == expected) << from << " " << length;
    }
    EXPECT_EQ(whole.findLineEnd(text.size() - 1), text.size() - 1);

    // A writer reading behind the pending text and handing its buffers
    // over stores the same text and line ends, in chunks that keep little
    // spare room.
    auto handed = ui::TextStorage::create();
    for (size_t at = 0; at < text.size();) {
        std::string block = handed->takePending(ui::TextStorage::ChunkBytes);
        size_t length = std::min(text.size() - at, size_t(random() % (2 * ui::TextStorage::ChunkBytes)));
        while (at + length < text.size() && (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
            ++length;
        block.append(text, at, length);
        at += length;
        handed->append(std::move(block));
        EXPECT_EQ(handed->appendedSize(), at);
    }
    handed->finish();
    auto same = handed->snapshot();
    EXPECT_GT(same.chunkCount(), 2u);
    EXPECT_TRUE(same.string() == text);
    EXPECT_EQ(same.lineEndCount(), whole.lineEndCount());
    for (size_t index = 0; index < same.chunkCount(); ++index) {
        const auto& chunk = same.chunk(index);
        std::vector<uint32_t> marks;
        size_t ends = 0;
        for (size_t at = chunk.text.find('\n'); at != std::string::npos; at = chunk.text.find('\n', at + 1))
            if (ends++ % chunk.markStride == 0)
                marks.push_back(uint32_t(at));
        EXPECT_EQ(chunk.lineMarks, marks) << index;
        EXPECT_EQ(chunk.lineEndCount, ends) << index;
        EXPECT_LE(chunk.text.capacity(), chunk.text.size() + chunk.text.size() / 8 + 16) << index;
    }
    for (size_t index : { size_t(0), size_t(1), whole.lineEndCount() / 2, whole.lineEndCount() })
        EXPECT_EQ(same.paragraphStart(index), whole.paragraphStart(index));

    // Empty and invalid text.
    EXPECT_TRUE(ui::TextStorage::withText({})->snapshot().isComplete());
    EXPECT_EQ(ui::TextStorage::withText("a\xff")->snapshot().string(), "a\xef\xbf\xbd");
}

// Backed, the sealed chunks leave the heap: those appended as the source's
// bytes are read from it, the rest from the file of decoded text; a reader
// sees the same text, and a source shortened meanwhile reads as spaces.
TEST_F(TextStorageTest, ABackedStorageReadsItsChunksFromItsFilesAsFromMemory)
{
    std::string text = mixedLines(5 << 20, 7);
    size_t verbatim = text.find('\n', text.size() / 2) + 1;
    std::string path = makeFile("source.txt", text);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    auto backing = ui::TextBackingFile::create(fd, home());
    ::close(fd);
    auto storage = ui::TextStorage::createBacked(backing);
    auto plain = ui::TextStorage::create();
    std::mt19937 random(5);
    for (size_t at = 0; at < text.size();) {
        size_t length = std::min(text.size() - at, size_t(random() % 300000));
        while (at + length < text.size() && (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
            ++length;
        if (at + length <= verbatim)
            backing->setVerbatimThrough(at + length);
        else
            backing->endVerbatim();
        storage->append(std::string_view(text).substr(at, length));
        plain->append(std::string_view(text).substr(at, length));
        at += length;
    }
    storage->finish();
    plain->finish();
    auto backed = storage->snapshot();
    auto memory = plain->snapshot();
    ASSERT_EQ(backed.chunkCount(), memory.chunkCount());
    size_t fromSource = 0;
    for (size_t index = 0; index < backed.chunkCount(); ++index) {
        const auto& chunk = backed.chunk(index);
        ASSERT_TRUE(chunk.backed) << index;
        EXPECT_TRUE(chunk.text.empty());
        fromSource += chunk.backed->inSource ? chunk.length : 0;
    }
    EXPECT_GT(fromSource, verbatim - ui::TextStorage::ChunkBytes);
    EXPECT_LE(fromSource, verbatim);
    EXPECT_EQ(backing->decodedBytes(), text.size() - fromSource);
    EXPECT_TRUE(backed.string() == text);
    EXPECT_EQ(backed.lineEndCount(), memory.lineEndCount());
    std::string scratch, other;
    for (int i = 0; i < 3000; ++i) {
        size_t from = random() % (text.size() + 2);
        EXPECT_EQ(backed.findLineEnd(from), memory.findLineEnd(from)) << from;
        EXPECT_EQ(backed.at(from), memory.at(from)) << from;
        size_t length = random() % 2 ? random() % 200 : random() % (ui::TextStorage::ChunkBytes + 10);
        EXPECT_TRUE(backed.view(from, length, scratch) == memory.view(from, length, other)) << from << " " << length;
        size_t paragraph = random() % (memory.lineEndCount() + 2);
        EXPECT_EQ(backed.paragraphStart(paragraph), memory.paragraphStart(paragraph)) << paragraph;
    }

    // The source cut short or changed: its pieces read as spaces, the same
    // length; the decoded part is the backing's own.
    // (Read on a thread of its own, which has read nothing before.)
    ASSERT_EQ(::truncate(path.c_str(), 1000), 0);
    std::thread([&] {
        EXPECT_TRUE(backed.view(text.size() - 100, 100, scratch) == std::string_view(text).substr(text.size() - 100));
        EXPECT_EQ(backed.view(2000, 300, scratch), std::string(300, ' '));
        EXPECT_EQ(backed.view(100, 300, scratch), std::string(300, ' '));
    }).join();
}

TEST_F(TextStorageTest, PublicationsWaitingForTheMainThreadReachItAsOneCall)
{
    std::string text = mixedLines(6 << 20, 5);
    auto storage = ui::TextStorage::create();
    int calls = 0;
    size_t seen = 0;
    storage->setPublishHandler([&] {
        ++calls;
        seen = storage->snapshot().size();
    });
    size_t half = text.find('\n', text.size() / 2) + 1;
    std::thread([&] { storage->append(std::string_view(text).substr(0, half)); }).join();
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(calls, 1);
    EXPECT_GT(seen, size_t(2) << 20);
    EXPECT_EQ(seen, storage->snapshot().size());
    // Once it ran, the next publications call again.
    std::thread([&] {
        storage->append(std::string_view(text).substr(half));
        storage->finish();
    }).join();
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(seen, text.size());
    storage->setPublishHandler({});
}

TEST_F(TextStorageTest, AViewShowsAStorageGrowingOnAWorkerAndKeepsItsPlace)
{
    auto storage = ui::TextStorage::create();
    std::string first;
    for (int i = 0; i < 40000; ++i)
        first += fmt::format("line {:05} of the first part\n", i);
    storage->append(first);
    auto view = ui::TextView::create({ 0, 0, 320, 480 });
    view->setEditable(false);
    window().addSubview(view);
    view->setTextStorage(storage);
    size_t shown = view->textLength();
    EXPECT_GE(shown, ui::TextStorage::ChunkBytes / 2);
    EXPECT_LE(shown, first.size());
    EXPECT_FALSE(view->isLayoutComplete());
    float line = ui::Fonts::lineHeight(view->font());
    view->setContentOffset({ 0, ui::TextView::Inset + 100 * line });

    // The rest comes from a worker, past 4 MiB.
    int completions = 0;
    view->whenLayoutComplete([&] { ++completions; });
    core::Thread::detach("writer", [storage] {
        std::string line(29, 'x');
        line += '\n';
        for (int i = 0; i < 120000; ++i)
            storage->append(line);
        storage->finish();
    });
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return view->isLayoutComplete(); }, 60));
    EXPECT_EQ(completions, 1);
    size_t total = first.size() + 120000 * 30;
    EXPECT_EQ(view->textLength(), total);
    EXPECT_FLOAT_EQ(view->contentOffset().y, ui::TextView::Inset + 100 * line);
    // Every line fits the width; the last paragraph is the empty one after
    // the final line end.
    EXPECT_NEAR(view->contentSize().height, 2 * ui::TextView::Inset + (40000 + 120000 + 1) * double(line), 1);
    // The same storage again changes nothing.
    view->setTextStorage(storage);
    EXPECT_TRUE(view->isLayoutComplete());
    EXPECT_FLOAT_EQ(view->contentOffset().y, ui::TextView::Inset + 100 * line);

    // Over 4 MiB: no whole string, no editing, each said in the log.
    EXPECT_EQ(view->text(), "");
    EXPECT_TRUE(logContains("too many for one string"));
    view->setEditable(true);
    EXPECT_FALSE(view->isEditable());
    EXPECT_TRUE(logContains("too many to edit"));
    // A small text is editable again.
    view->setText("short");
    view->setEditable(true);
    EXPECT_TRUE(view->isEditable());
    EXPECT_EQ(view->text(), "short");
}

TEST_F(TextStorageTest, TheTextViewPrintsItsWholeTextInPages)
{
    // 1,000 short lines and one that wraps: more than the view shows.
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += fmt::format("line {:04}\r\n", i);
    text += std::string(400, 'w');
    auto view = ui::TextView::create({ 0, 0, 320, 480 });
    view->setEditable(false);
    view->setText(text);
    auto formatter = view->printFormatter();
    gfx::Size sheet { 612, 792 };
    float line = ui::Fonts::lineHeight(view->font());
    float width = sheet.width - 2 * ui::TextPrintFormatter::Margin;
    size_t wrapped = gfx::textEngine()->linesOfString(std::string(400, 'w'), view->font(), { width, 0 },
        gfx::LineBreakMode::WordWrap).size();
    ASSERT_GT(wrapped, 1u);
    size_t perPage = size_t((sheet.height - 2 * ui::TextPrintFormatter::Margin) / line + 1e-4);
    size_t lines = 1000 + wrapped;
    ASSERT_EQ(formatter->pageCount(sheet), int((lines + perPage - 1) / perPage));

    // Each sheet starts where the last one ended: the last holds what is
    // left, inside the margins; none past it.
    auto inked = [&](int page) {
        auto bitmap = gfx::makeImageContext(sheet, 1);
        formatter->drawPage(*bitmap, page, sheet);
        int lowest = -1;
        for (int y = 0; y < bitmap->height(); ++y)
            for (int x = 0; x < bitmap->width(); x += 2)
                if (bitmap->pixelAtForTesting(x, y).alpha > 0) {
                    EXPECT_GE(x, int(ui::TextPrintFormatter::Margin) - 1);
                    lowest = y;
                    break;
                }
        return lowest;
    };
    int pages = formatter->pageCount(sheet);
    EXPECT_GT(inked(0), int(sheet.height - ui::TextPrintFormatter::Margin - 2 * line));
    size_t left = lines - size_t(pages - 1) * perPage;
    int last = inked(pages - 1);
    EXPECT_GT(last, int(ui::TextPrintFormatter::Margin + (left - 1) * line));
    EXPECT_LE(last, int(ui::TextPrintFormatter::Margin + left * line));
    EXPECT_EQ(inked(pages), -1);

    // A formatter whose view went prints nothing.
    view.reset();
    EXPECT_EQ(formatter->pageCount(sheet), 0);
}

} // namespace
