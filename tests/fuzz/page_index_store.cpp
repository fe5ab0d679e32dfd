// fuzz: tandry_pdf
// A document's search index is a cache file in the home that anyone with
// access to it can change. Whatever the file holds (the first byte picks:
// raw bytes, or records of any keys and values in a sound B+ tree; and
// whether it is read as a plain store of named values), the index opens, a damaged file being made anew; it answers its counts, page
// texts, glyph rectangles (whole 16-byte records) and word lookups; a write
// it refuses was stopped by damage it noticed, which emptying mends; and a
// search over it ends with a hit inside its page's text, whose rectangles
// match that text, or asks for a new index.

#include "FuzzCheck.h"
#include "FuzzScratch.h"

#include "PDF/VKDocumentRange.h"
#include "PDF/VKFileSearchQueryOperation.h"
#include "PDF/VKFileSearchQueryOperationDelegate.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UTF8.h"

#include <tcbdb.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Tokyo Cabinet loses a few small allocations when it gives up on a broken
// leaf; that is the library's, and bounded by the damage met.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libtokyocabinet.so\n";
}

namespace {

constexpr size_t RectSize = 16;

class Delegate : public VKFileSearchQueryOperationDelegate {
public:
    explicit Delegate(std::shared_ptr<VKPageIndexStore> store) : m_store(std::move(store)) { }
    std::shared_ptr<VKPageIndexStore> pageIndexStore() override { return m_store; }
    void searchOperation(VKFileSearchQueryOperation&, std::optional<VKDocumentRange> result) override
    {
        hit = std::move(result);
        ++answers;
    }
    void searchOperationDidOverflow(VKFileSearchQueryOperation&) override { ++answers; }
    void searchOperationDidCancel(VKFileSearchQueryOperation&) override { ++answers; }
    void searchOperationNeedsIndex(VKFileSearchQueryOperation&) override { ++answers; }

    std::optional<VKDocumentRange> hit;
    int answers = 0;

private:
    std::shared_ptr<VKPageIndexStore> m_store;
};

// Records as [key length: 1 byte][value length: 2 bytes, little-endian]
// [key][value], written into a fresh B+ tree file.
void writeRecords(const std::string& path, std::string_view bytes)
{
    TCBDB* db = tcbdbnew();
    FUZZ_CHECK(tcbdbopen(db, path.c_str(), BDBOWRITER | BDBOCREAT | BDBOTRUNC));
    while (bytes.size() >= 3) {
        const size_t keyLength = static_cast<unsigned char>(bytes[0]);
        const size_t valueLength = static_cast<unsigned char>(bytes[1]) | (static_cast<unsigned char>(bytes[2]) << 8);
        bytes.remove_prefix(3);
        const std::string_view key = bytes.substr(0, keyLength);
        bytes.remove_prefix(key.size());
        const std::string_view value = bytes.substr(0, valueLength);
        bytes.remove_prefix(value.size());
        tcbdbput(db, key.data(), int(key.size()), value.data(), int(value.size()));
    }
    tcbdbclose(db);
    tcbdbdel(db);
}

void search(const std::shared_ptr<VKPageIndexStore>& store, const std::string& words)
{
    auto delegate = std::make_shared<Delegate>(store);
    auto operation = VKFileSearchQueryOperation::initWithSearchString(words, std::nullopt, -1, delegate);
    operation->run();
    core::RunLoop::main().runUntilIdle();
    if (!delegate->hit)
        return;
    const uint32_t page = delegate->hit->page();
    const auto text = store->textForPageNumber(page);
    FUZZ_CHECK(text);
    const core::Range range = delegate->hit->range();
    FUZZ_CHECK(range.location <= text->size() && range.length <= text->size() - range.location);
    FUZZ_CHECK(store->glyphRectsForPageNumber(page).size() == text->size() * RectSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static core::LogCapture quiet(true);
    static const bool mainThread = (core::RunLoop::setMainThread(), true);
    (void)mainThread;
    if (size == 0)
        return 0;
    const std::string path = fuzz::scratchFolder() + "/index.db";
    core::fs::removeItem(path);
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1)
        writeRecords(path, bytes);
    else
        core::fs::writeFileAtomically(path, bytes);

    if (data[0] & 2) {
        // The same file as a plain store of named values.
        auto plain = VKKeyValueStore::storeForPath(path);
        FUZZ_CHECK(plain);
        for (const char* key : { "i", "v", "t1", "g1" }) {
            plain->textForKey(key);
            const uint32_t length = plain->dataLengthForKey(key);
            const auto bytes = plain->dataForKey(key);
            FUZZ_CHECK(!bytes || length == VKKeyValueStore::NotFound || bytes->size() == length);
            plain->unsignedIntegerForKey(key, 0);
        }
        plain->setUnsignedInteger(42, "n");
        quiet.clear();
        return 0;
    }

    {
        // As a search controller starts: open, then empty an index that
        // is outdated or broken.
        auto store = VKPageIndexStore::storeForPath(path);
        FUZZ_CHECK(store);
        store->clearIfOutdated();
        FUZZ_CHECK(store->indexVersion() == VKPageIndexStore::kIndexVersion || store->isDamaged());
        const uint32_t indexed = store->pagesIndexed();
        store->indexVersion();
        for (uint32_t page = 0; page <= 3 && page <= indexed + 1; ++page) {
            store->textForPageNumber(page);
            FUZZ_CHECK(store->glyphRectsForPageNumber(page).size() % RectSize == 0);
        }
        for (const char* words : { "hello", "hello world ", "w", "ünï" })
            search(store, words);
        store->identifiersForSearchString("h", VKContentIndexStore::Combination::Union);

        // A write that fails was stopped by damage the store noticed, and
        // emptying the index mends it: then what is written reads back. (A
        // tree whose keys were reordered in place takes writes it cannot
        // find again; nothing short of a full walk would notice that.)
        const std::u16string text = u"probe ü";
        const float rects[4] = { 1.0f, 2.5f, 8.0f, 12.0f };
        std::string rectBytes;
        for (size_t i = 0; i < text.size(); ++i)
            rectBytes.append(reinterpret_cast<const char*>(rects), sizeof rects);
        const core::Data glyphs(std::move(rectBytes));
        const auto write = [&] {
            return store->setText(text, 7) && store->setGlyphRects(glyphs, 7) && store->addTokens({ "probe " }, 7);
        };
        if (!write()) {
            FUZZ_CHECK(store->isDamaged());
            store->clearIfOutdated();
            FUZZ_CHECK(!store->isDamaged() && write());
            FUZZ_CHECK(store->textForPageNumber(7) == text);
            FUZZ_CHECK(store->glyphRectsForPageNumber(7) == glyphs);
            FUZZ_CHECK(store->identifiersForToken("probe ").contains(7));
            FUZZ_CHECK(store->indexVersion() == VKPageIndexStore::kIndexVersion);
        }
    }
    quiet.clear();
    return 0;
}
