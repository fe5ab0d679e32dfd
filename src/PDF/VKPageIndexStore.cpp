#include "PDF/VKPageIndexStore.h"

#include "Kit/VKHalfFloat.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UTF8.h"

#include <cstring>

namespace {

constexpr size_t IndexRectSize = 16;
constexpr size_t StoredRectSize = 8;

constexpr std::string_view PagesIndexedKey = "i";
constexpr std::string_view IndexVersionKey = "v";

void appendLittleEndian(std::string& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint16_t readHalf(const char* bytes)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8));
}

} // namespace

VKPageIndexStore::VKPageIndexStore(const std::string& path)
    : VKContentIndexStore(path)
{
}

std::shared_ptr<VKPageIndexStore> VKPageIndexStore::storeForPath(const std::string& path)
{
    return typedStoreForPath<VKPageIndexStore>(path);
}

std::string VKPageIndexStore::keyForPrefix(std::string_view prefix, uint32_t pageNumber)
{
    return std::string(prefix) + std::to_string(pageNumber);
}

std::optional<std::u16string> VKPageIndexStore::textForPageNumber(uint32_t pageNumber) const
{
    auto text = textForKey(keyForPrefix("t", pageNumber));
    if (!text)
        return std::nullopt;
    return core::toUTF16(*text);
}

bool VKPageIndexStore::setText(std::u16string_view text, uint32_t pageNumber)
{
    return putRecord(keyForName(keyForPrefix("t", pageNumber)), core::toUTF8(text));
}

core::Data VKPageIndexStore::glyphRectsForPageNumber(uint32_t pageNumber) const
{
    auto stored = recordForKey(keyForName(keyForPrefix("g", pageNumber)));
    if (!stored || stored->size() < StoredRectSize)
        return core::Data();
    const size_t count = stored->size() / StoredRectSize;
    std::string rects(count * IndexRectSize, '\0');
    for (size_t i = 0; i < count; ++i) {
        float values[4];
        for (size_t v = 0; v < 4; ++v)
            values[v] = VKHalfToFloat(readHalf(stored->data() + i * StoredRectSize + v * 2));
        std::memcpy(rects.data() + i * IndexRectSize, values, IndexRectSize);
    }
    return core::Data(std::move(rects));
}

bool VKPageIndexStore::setGlyphRects(const core::Data& rects, uint32_t pageNumber)
{
    const size_t count = rects.size() / IndexRectSize;
    std::string stored(count * StoredRectSize, '\0');
    char* out = stored.data();
    for (size_t i = 0; i < count; ++i) {
        float values[4];
        std::memcpy(values, rects.bytes() + i * IndexRectSize, IndexRectSize);
        // Two 32-bit words: x in the low half of the first, y in its high
        // half, then width and height the same way.
        for (size_t v = 0; v < 4; ++v) {
            uint16_t half = VKFloatToHalf(values[v]);
            *out++ = static_cast<char>(half & 0xFF);
            *out++ = static_cast<char>(half >> 8);
        }
    }
    return putRecord(keyForName(keyForPrefix("g", pageNumber)), stored);
}

uint32_t VKPageIndexStore::pagesIndexed() const
{
    return unsignedIntegerForKey(PagesIndexedKey, 0);
}

bool VKPageIndexStore::setPagesIndexed(uint32_t pagesIndexed)
{
    std::string bytes;
    appendLittleEndian(bytes, pagesIndexed);
    bytes.append(4, '\0');
    return putRecord(keyForName(PagesIndexedKey), bytes);
}

uint32_t VKPageIndexStore::indexVersion() const
{
    return unsignedIntegerForKey(IndexVersionKey, 0);
}

bool VKPageIndexStore::clearIfOutdated()
{
    if (!isOpen())
        return false;
    // Reading the mark and the first record is enough to find a file
    // broken at its start; damage met deeper in an earlier use is
    // remembered by the store until it is emptied.
    const bool current = indexVersion() == kIndexVersion;
    bool written;
    {
        Cursor cursor(std::static_pointer_cast<VKKeyValueStore>(shared_from_this()));
        written = cursor.first();
    }
    if (current && !isDamaged())
        return false;
    if ((written || isDamaged()) && !removeAllRecords())
        core::log("Warning, cannot empty the outdated search index {}: {}", path(), lastErrorMessage());
    setUnsignedInteger(kIndexVersion, IndexVersionKey);
    sync();
    return written;
}

bool VKPageIndexStore::addTokens(const std::set<std::string>& tokens, uint64_t pageNumber)
{
    return addTokens(tokens, pageNumber, false);
}

std::optional<std::set<uint64_t>> VKPageIndexStore::identifiersForSearchString(std::string_view searchString) const
{
    return identifiersForSearchString(searchString, Combination::Union);
}
