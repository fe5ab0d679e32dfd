#include "PDF/VKPDFFontInfo.h"

#include "PDF/VKPDFCMapParser.h"
#include "PDF/VKPDFCompositeFontInfo.h"
#include "PDF/VKPDFMatrix.h"
#include "PDF/VKPDFSimpleFontInfo.h"
#include "Platform/Core/Log.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <unordered_map>

namespace {

// Failed fonts are cached too (as nothing), so a page that selects a broken
// font again and again neither rebuilds it nor logs each time.
using FontCache = std::unordered_map<pdf::Identity, std::shared_ptr<VKPDFFontInfo>>;

FontCache& fontCache()
{
    static FontCache* cache = new FontCache;
    return *cache;
}

std::atomic<uint64_t> creations { 0 };

} // namespace

std::mutex& VKPDFFontInfo::cacheLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

void VKPDFFontInfo::countCreation()
{
    creations.fetch_add(1, std::memory_order_relaxed);
}

uint64_t VKPDFFontInfo::fontInfoCreationCountForTesting()
{
    return creations.load(std::memory_order_relaxed);
}

std::shared_ptr<VKPDFFontInfo> VKPDFFontInfo::fontInfoForName(std::string_view name, const pdf::Scanner& scanner)
{
    pdf::Object object;
    if (!scanner.resource("Font", name, object))
        return nullptr;
    pdf::Identity key = object.identity();
    {
        std::lock_guard guard(cacheLock());
        if (auto found = fontCache().find(key); found != fontCache().end())
            return found->second;
    }
    // Made outside the lock: the document is read meanwhile, and the scan
    // holds the document's own lock, so two scans of one document never
    // build the same font at once.
    std::shared_ptr<VKPDFFontInfo> info;
    pdf::Dictionary font;
    if (object.dictionary(font))
        info = fontInfoWithFontDictionary(font);
    std::lock_guard guard(cacheLock());
    return fontCache().emplace(key, std::move(info)).first->second;
}

std::shared_ptr<VKPDFFontInfo> VKPDFFontInfo::fontInfoWithFontDictionary(const pdf::Dictionary& font)
{
    std::string subtype;
    if (!font.name("Subtype", subtype))
        return nullptr;
    if (subtype == "Type0")
        return VKPDFCompositeFontInfo::fontInfoWithFontDictionary(font);
    return VKPDFSimpleFontInfo::fontInfoWithFontDictionary(font);
}

void VKPDFFontInfo::removeFontInfosForDocument(uint64_t documentSerial)
{
    FontCache dropped;
    {
        std::lock_guard guard(cacheLock());
        FontCache& cache = fontCache();
        for (auto entry = cache.begin(); entry != cache.end();) {
            if (entry->first.document == documentSerial) {
                auto node = cache.extract(entry++);
                dropped.insert(std::move(node));
            } else {
                ++entry;
            }
        }
    }
    // The decoders are released outside the lock.
}

size_t VKPDFFontInfo::cachedFontInfoCountForTesting()
{
    std::lock_guard guard(cacheLock());
    return fontCache().size();
}

void VKPDFFontInfo::parseDescriptorDictionary(const pdf::Dictionary& descriptor)
{
    double value = 0;
    m_ascent = descriptor.number("Ascent", value) ? vkPDFNarrow(value) : 0;
    m_descent = descriptor.number("Descent", value) ? vkPDFNarrow(value) : 0;
    pdf::Array box;
    if ((m_ascent == 0 || m_descent == 0) && descriptor.array("FontBBox", box)) {
        if (box.number(1, value))
            m_descent = vkPDFNarrow(value);
        if (box.number(3, value))
            m_ascent = vkPDFNarrow(value);
    }
}

void VKPDFFontInfo::parseToUnicodeStream(const pdf::Stream& stream)
{
    std::optional<core::Data> data = stream.decodedData(kMaximumToUnicodeBytes);
    if (!data) {
        core::log("Warning, ToUnicode map unreadable or over {} bytes; ignored", kMaximumToUnicodeBytes);
        return;
    }
    VKPDFCMapParser parser(maximumCode(), [this](uint32_t code, std::u16string text) {
        setCharacterString(std::move(text), code);
    });
    parser.parse(data->view());
}

void VKPDFFontInfo::parseToUnicodeEntry(const pdf::Dictionary& font)
{
    pdf::Object toUnicode;
    if (!font.object("ToUnicode", toUnicode))
        return;
    pdf::Stream stream;
    if (toUnicode.stream(stream)) {
        parseToUnicodeStream(stream);
    } else {
        std::string name;
        font.name("BaseFont", name);
        core::log("Warning, ToUnicode of font {} is not a stream; ignored", name);
    }
}

VKPDFFontInfo::GlyphBox VKPDFFontInfo::glyphBox() const
{
    double descent = double(m_descent) * 0.001;
    double height = (double(m_ascent) - double(m_descent)) * 0.001;
    return { vkPDFNarrow(descent), vkPDFNarrow(height) };
}

void VKPDFFontInfo::setSpaceWidth(float spaceGlyphWidth, float meanWidth)
{
    float width = std::isfinite(spaceGlyphWidth) && spaceGlyphWidth > 0 ? spaceGlyphWidth
        : std::isfinite(meanWidth) && meanWidth > 0                     ? meanWidth / 2
                                                                        : 250;
    m_spaceWidth = std::clamp(width, 100.0f, 700.0f);
}

void VKPDFFontInfo::logIllegalCode(uint32_t code)
{
    core::log("Warning: illegal character identifier {}", code);
}
