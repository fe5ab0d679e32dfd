#pragma once

// Read-only UTF-8 text that one writer appends on any thread while others
// read what is already there: the backing of a large TextView, filled by a
// worker decoding a file. The text lives in immutable chunks of about a
// mebibyte, each cut after a line end where the text has one, so only a
// line longer than half a mebibyte may lie across chunks; each chunk keeps
// where every markStride-th of its line ends is (at least LineMarkStride,
// doubled until it keeps at most MaxLineMarks), so finding a paragraph reads
// at most that many lines and a chunk of very short lines costs no more
// than any other. A storage made with a backing keeps no
// sealed chunk's bytes in memory: they are read back from the backing's
// files (see TextBackingFile) into the reader's scratch.
//
// A reader takes a Snapshot (a few pointers, O(1)), which stays valid and
// unchanged while the writer goes on. The owner's publish handler runs on
// the main thread after each sealed chunk and after the end, so a view
// sees the text grow a whole chunk at a time.


#include "Platform/UI/TextBackingFile.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class TextStorage : public std::enable_shared_from_this<TextStorage> {
public:
    // A chunk is sealed at the last line end once this much is pending, or
    // cut at this size (before a character) when that line end is not in
    // its second half.
    static constexpr size_t ChunkBytes = size_t(1) << 20;

    // A chunk's line ends kept: the first, then every markStride-th, the
    // stride LineMarkStride or a power of two over it that keeps at most
    // MaxLineMarks.
    static constexpr size_t LineMarkStride = 64;
    static constexpr size_t MaxLineMarks = 256;

    struct Chunk {
        size_t start = 0; // in the whole text
        size_t firstLine = 0; // line ends in the chunks before it
        size_t length = 0;
        size_t lineEndCount = 0;
        std::string text; // its bytes, unless the backing keeps them
        std::optional<TextBackingFile::Location> backed;
        size_t markStride = LineMarkStride;
        std::vector<uint32_t> lineMarks; // offsets of line ends 0, markStride, ...
    };

    class Snapshot {
    public:
        Snapshot();
        size_t size() const { return m_size; }
        bool empty() const { return m_size == 0; }
        // Whether the writer has finished: nothing more will come.
        bool isComplete() const { return m_complete; }
        // The first '\n' at or after `from`, or npos.
        size_t findLineEnd(size_t from) const;
        // The paragraph starting at `start`: its length without its line
        // end (a "\r" before the "\n" is not part of it) and where the next
        // one starts (npos after the last).
        struct Paragraph {
            size_t length = 0;
            size_t next = 0;
        };
        Paragraph paragraphAt(size_t start) const;
        // The bytes of [start, start + length) (clamped to the text): a view
        // into a chunk, or, for the rare run across chunks, into `scratch`.
        std::string_view view(size_t start, size_t length, std::string& scratch) const;
        char at(size_t offset) const;
        // How many line ends the text has (its paragraphs less one), and
        // where paragraph `index` starts (0 for the first; npos past the
        // last): O(log chunks).
        size_t lineEndCount() const;
        size_t paragraphStart(size_t index) const;
        // The whole text: a copy (only for small texts, editing or tests).
        std::string string() const;
        size_t chunkCount() const { return m_chunks ? m_chunks->size() : 0; }
        // The chunks themselves, for a reader walking the whole text: the
        // one holding `offset` (the last one for the end; chunkCount() > 0).
        size_t chunkIndexAt(size_t offset) const { return chunkAt(offset); }
        const Chunk& chunk(size_t index) const { return *(*m_chunks)[index]; }
        // A chunk's bytes: a view of them in memory, or read into `scratch`.
        std::string_view chunkText(size_t index, std::string& scratch) const;

    private:
        friend class TextStorage;
        using Chunks = std::vector<std::shared_ptr<const Chunk>>;
        // The chunk holding `offset` (the last one for the end).
        size_t chunkAt(size_t offset) const;
        // [local, local + length) of `chunk`: a view, or read into `scratch`.
        std::string_view bytes(const Chunk& chunk, size_t local, size_t length, std::string& scratch) const;
        // Offset in `chunk` of its line end `index` (< lineEndCount).
        size_t lineEndIn(const Chunk& chunk, size_t index) const;
        std::shared_ptr<const Chunks> m_chunks;
        std::shared_ptr<const TextBackingFile> m_backing;
        size_t m_size = 0;
        bool m_complete = false;
    };

    static std::shared_ptr<TextStorage> create();
    // One whose sealed chunks go to `backing` (the bytes leave the heap).
    static std::shared_ptr<TextStorage> createBacked(std::shared_ptr<TextBackingFile> backing);
    // A finished storage holding `text` (invalid UTF-8 becomes U+FFFD).
    static std::shared_ptr<TextStorage> withText(std::string_view text);

    // The writer. `text` is whole, valid UTF-8 (what a converter writes);
    // pieces may split lines anywhere but not characters.
    void append(std::string_view text);
    // The same, taking the piece's buffer: a piece of a chunk or more that
    // finds nothing pending becomes the chunk without a copy.
    void append(std::string&& text);
    // What is pending (the end of the text not yet sealed into a chunk, at
    // most a line's worth but for a long line) taken back by the writer,
    // with room for `more` bytes after it: a reader fills the rest and hands
    // the whole back to append, so no byte is copied twice.
    std::string takePending(size_t more);
    // Seals what is pending; the text is complete.
    void finish();
    // Bytes appended so far, published or not (the writer's count).
    size_t appendedSize() const { return m_appended; }

    Snapshot snapshot() const;
    // Blocks until more than `size` bytes are published or the text is
    // complete, at most `seconds`; answers whether that happened.
    bool waitForGrowth(size_t size, double seconds) const;
    // Runs on the main thread after each publication, or once for several
    // made while it waited (replaces any earlier handler; nothing clears it
    // but a new one).
    void setPublishHandler(std::function<void()> handler);

private:
    void sealFull();
    void seal(size_t length);
    void publish(bool complete);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_grown;
    Snapshot m_published; // under m_mutex
    std::function<void()> m_publishHandler; // under m_mutex
    std::atomic<bool> m_publishPosted { false };
    // The writer's own.
    std::string m_pending;
    size_t m_pendingStart = 0;
    size_t m_appended = 0;
    size_t m_lineEnds = 0;
    std::shared_ptr<const Snapshot::Chunks> m_chunks;
    std::shared_ptr<TextBackingFile> m_backing;
};

} // namespace ui
