#pragma once

// The search index of one PDF document, in one file at the document's
// content-index path: per page its text ("t" and the page number), one
// rectangle per UTF-16 unit of that text ("g" and the page number, four
// binary16 values x, y, width, height, little-endian, 8 bytes), its words
// in the word index (the page number as identifier, no inverses), and "i",
// the number of pages indexed from page 1 on. A page is written text,
// rectangles, words, then counted, so a counted page has all three.
//
// Text is handed over in UTF-16, the unit the rectangles and the search's
// hit ranges count in, and stored as UTF-8.
//
// "v" holds the version of the text and word forms the index was written
// with; an index of another version (older ones have none) is emptied and
// built again rather than searched with words of another form.

#include "PDF/VKContentIndexStore.h"
#include "Platform/Core/Data.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

class VKPageIndexStore : public VKContentIndexStore {
public:
    // 2: page text and words composed (NFC), accents joined to letters.
    // 3: right-to-left lines in reading order, word gaps by the font's space.
    // 4: typographic quotes kept in the text, words with the apostrophe.
    static constexpr uint32_t kIndexVersion = 4;

    static std::shared_ptr<VKPageIndexStore> storeForPath(const std::string& path);

    // "t12" for ("t", 12).
    static std::string keyForPrefix(std::string_view prefix, uint32_t pageNumber);

    // Nothing when the page's text was never stored.
    std::optional<std::u16string> textForPageNumber(uint32_t pageNumber) const;
    bool setText(std::u16string_view text, uint32_t pageNumber);
    // 16-byte records of four floats in machine order, one per stored
    // 8-byte record; a stored value under 8 bytes, or none, reads empty.
    core::Data glyphRectsForPageNumber(uint32_t pageNumber) const;
    // Stores whole 16-byte records only; a trailing part is dropped.
    bool setGlyphRects(const core::Data& rects, uint32_t pageNumber);

    uint32_t pagesIndexed() const;
    // 0 makes indexing start again from page 1; stored pages stay and are
    // overwritten as it goes.
    bool setPagesIndexed(uint32_t pagesIndexed);

    // 0 for an index written before versions were kept.
    uint32_t indexVersion() const;
    // Empties an index of another version, or one whose file was found
    // broken, and marks it current (a new one only gets its mark); true
    // when it held anything.
    bool clearIfOutdated();

    using VKContentIndexStore::addTokens;
    bool addTokens(const std::set<std::string>& tokens, uint64_t pageNumber);
    // The pages holding any of the words.
    std::optional<std::set<uint64_t>> identifiersForSearchString(std::string_view searchString) const;
    using VKContentIndexStore::identifiersForSearchString;

protected:
    friend class VKContentIndexStore;
    explicit VKPageIndexStore(const std::string& path);
};
