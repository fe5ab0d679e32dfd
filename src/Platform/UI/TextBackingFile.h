#pragma once

// Where the sealed chunks of a large TextStorage keep their bytes instead
// of the heap, so a text of any size costs the process a few bytes a line:
// the file the text was decoded from, for the part the writer appended as
// read (UTF-8 or ASCII passed through), and otherwise a file of the decoded
// text of the backing's own, made unlinked in a directory the owner names
// (gone with the backing, also after a crash). Both are read back with
// pread into the reader's buffer, never mapped: another program may change
// or shorten the source meanwhile, and a mapping would then fault. Each
// 64 KiB piece of the source kept carries a hash of what was read: a piece
// that no longer matches (a log rotated or cut short) reads as spaces, so
// offsets stay and the text stays UTF-8. Each reading thread keeps the last
// few pieces it read as windows, serving the short reads of drawing
// without a call each.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class TextBackingFile {
public:
    static constexpr size_t PieceBytes = size_t(64) << 10;

    struct Location {
        bool inSource = false;
        uint64_t offset = 0;
        size_t length = 0;
        // The hashes of its pieces, in the source.
        std::shared_ptr<const std::vector<uint64_t>> hashes;
    };

    // `sourceFd` is duplicated (the caller keeps its own); `directory` is
    // where the file of decoded text is made when one is needed.
    static std::shared_ptr<TextBackingFile> create(int sourceFd, std::string directory);
    TextBackingFile(int sourceFd, std::string directory);
    ~TextBackingFile();
    TextBackingFile(const TextBackingFile&) = delete;
    TextBackingFile& operator=(const TextBackingFile&) = delete;

    // The writer's: the text's first `size` bytes are the source's at the
    // same offsets; until endVerbatim, after which nothing more is.
    void setVerbatimThrough(size_t size);
    void endVerbatim();
    // Takes a sealed chunk's bytes (the text's from `start`): where they can
    // be read back, or nothing when they must stay in memory (the file of
    // decoded text could not be made or written).
    std::optional<Location> store(size_t start, std::string_view bytes);

    // Appends `length` bytes from `location` + `local` to `into` (within
    // the chunk stored there).
    void read(const Location& location, size_t local, size_t length, std::string& into) const;
    // Bytes written to the file of decoded text.
    uint64_t decodedBytes() const { return m_spillSize; }

private:
    // Appends pieces [first, last] of `location` to `into`, checked.
    void readPieces(const Location& location, size_t first, size_t last, std::string& into) const;

    const uint64_t m_id;
    int m_source = -1;
    std::string m_directory;
    // The writer's own.
    size_t m_verbatimThrough = 0;
    bool m_verbatimEnded = false;
    bool m_spillFailed = false;
    std::atomic<int> m_spill { -1 };
    std::atomic<uint64_t> m_spillSize { 0 };
};

} // namespace ui
