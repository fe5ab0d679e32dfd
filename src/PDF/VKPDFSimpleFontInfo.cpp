#include "PDF/VKPDFSimpleFontInfo.h"

#include "Kit/VKSqlite3.h"
#include "PDF/VKPDFCMapParser.h"
#include "PDF/VKPDFMatrix.h"
#include "PDF/VKPDFPageScanner.h"
#include "PDF/VKPDFTextNormalization.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MemoryWarning.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/UTF8.h"
#include "Platform/PDF/FontProgram.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <sqlite3.h>

struct VKPDFSimpleFontInfo::Private { };

namespace {

using EncodingTable = VKPDFSimpleFontInfo::EncodingTable;
using StandardFontMetrics = VKPDFSimpleFontInfo::StandardFontMetrics;

constexpr size_t kMaximumGlyphNameLength = 127;
// Beyond this many names the cache starts afresh: names come from files.
constexpr size_t kMaximumCachedGlyphNames = 65536;

// ---- "encodings" and "core14" ----

std::string resourcePath(std::string_view name, std::string_view type, std::string_view subdirectory = {})
{
    auto bundle = core::Bundle::main();
    return bundle ? bundle->pathForResource(name, type, subdirectory) : std::string();
}

core::Value readTable(std::string_view name, std::string_view subdirectory = {})
{
    std::string path = resourcePath(name, "plist", subdirectory);
    core::Value table = path.empty() ? core::Value() : core::PropertyList::readFile(path);
    if (!table.isDictionary())
        core::log("Warning, font table \"{}{}{}\" missing or unreadable", subdirectory, subdirectory.empty() ? "" : "/", name);
    return table;
}

std::optional<EncodingTable> encodingFromValue(const core::Value& value)
{
    if (!value.isArray() || value.count() != 256)
        return std::nullopt;
    EncodingTable table;
    for (size_t code = 0; code < 256; ++code) {
        if (value[code].isString())
            table[code] = core::toUTF16(value[code].string());
    }
    return table;
}

StandardFontMetrics standardFontFromValue(const core::Value& entry)
{
    StandardFontMetrics metrics;
    metrics.ascent = vkPDFNarrow(entry["Ascent"].toReal());
    metrics.descent = vkPDFNarrow(entry["Descent"].toReal());
    const core::Value& widths = entry["Widths"];
    for (size_t code = 0; code < 256 && code < widths.count(); ++code)
        metrics.widths[code] = vkPDFNarrow(widths[code].toReal());
    if (auto table = encodingFromValue(entry["Encoding"]))
        metrics.encoding = std::move(*table);
    const core::Value& glyphWidths = entry["GlyphWidths"];
    if (glyphWidths.isDictionary()) {
        for (const auto& [text, width] : glyphWidths.dictionary())
            metrics.glyphWidths.emplace(core::toUTF16(text), vkPDFNarrow(width.toReal()));
    }
    return metrics;
}

// "encodings", read on first use and kept for the process.
const std::unordered_map<std::string, EncodingTable>& encodingTables()
{
    static std::unordered_map<std::string, EncodingTable>* tables;
    static std::once_flag once;
    std::call_once(once, [] {
        tables = new std::unordered_map<std::string, EncodingTable>;
        core::Value encodings = readTable("encodings");
        if (encodings.isDictionary()) {
            for (const auto& [name, value] : encodings.dictionary()) {
                if (auto table = encodingFromValue(value))
                    tables->emplace(name, std::move(*table));
            }
        }
        VKPDFSimpleFontInfo::setMemoryWarningsActive(true);
    });
    return *tables;
}

// The standard fonts, each with its file in "core14", read when a document
// first uses it (most use none or a few) and kept for the process.
constexpr std::string_view kStandardFontNames[] = { "Courier", "Courier-Bold", "Courier-BoldOblique", "Courier-Oblique",
    "Helvetica", "Helvetica-Bold", "Helvetica-BoldOblique", "Helvetica-Oblique", "Symbol", "Times-Bold",
    "Times-BoldItalic", "Times-Italic", "Times-Roman", "ZapfDingbats" };

const StandardFontMetrics* standardFontMetrics(std::string_view name)
{
    auto known = std::find(std::begin(kStandardFontNames), std::end(kStandardFontNames), name);
    if (known == std::end(kStandardFontNames))
        return nullptr;
    struct Entry {
        std::once_flag once;
        std::unique_ptr<StandardFontMetrics> metrics;
    };
    static Entry* entries = new Entry[std::size(kStandardFontNames)];
    Entry& entry = entries[known - std::begin(kStandardFontNames)];
    std::call_once(entry.once, [&] {
        core::Value table = readTable(name, "core14");
        if (table.isDictionary())
            entry.metrics = std::make_unique<StandardFontMetrics>(standardFontFromValue(table));
        VKPDFSimpleFontInfo::setMemoryWarningsActive(true);
    });
    return entry.metrics.get();
}

// Names under which files commonly ask for the standard fonts.
std::string_view standardFontAlias(std::string_view name)
{
    static const std::pair<std::string_view, std::string_view> aliases[] = {
        { "Arial", "Helvetica" },
        { "Arial,Bold", "Helvetica-Bold" },
        { "Arial,Italic", "Helvetica-Oblique" },
        { "Arial,BoldItalic", "Helvetica-BoldOblique" },
        { "TimesNewRoman", "Times-Roman" },
        { "TimesNewRoman,Bold", "Times-Bold" },
        { "TimesNewRoman,Italic", "Times-Italic" },
        { "TimesNewRoman,BoldItalic", "Times-BoldItalic" },
        { "CourierNew", "Courier" },
        { "CourierNew,Bold", "Courier-Bold" },
        { "CourierNew,Italic", "Courier-Oblique" },
        { "CourierNew,BoldItalic", "Courier-BoldOblique" },
    };
    for (const auto& [alias, standard] : aliases) {
        if (alias == name)
            return standard;
    }
    return name;
}

// ---- glyph names ----

struct GlyphList {
    bool cacheCreated = false;
    std::unordered_map<std::string, std::u16string> cache;
    std::shared_ptr<VKSqlite3> database;
    std::shared_ptr<VKSqlite3Statement> statement;
};

GlyphList& glyphList()
{
    static GlyphList* list = new GlyphList;
    return *list;
}

std::atomic<uint64_t> glyphListOpens { 0 };

constexpr const char* kLookupMethod = "VKPDFSimpleFontInfo::stringForGlyphName";

bool isSurrogate(uint32_t value)
{
    return value >= 0xD800 && value <= 0xDFFF;
}

// uniXXXX[XXXX...] (BMP values, no surrogates) and uXXXX to uXXXXXX.
std::optional<std::u16string> algorithmicGlyph(std::string_view name)
{
    auto hexValue = [](std::string_view digits) -> std::optional<uint32_t> {
        uint32_t value = 0;
        for (char c : digits) {
            int digit = VKPDFCMapParser::hexDigit(c);
            if (digit < 0)
                return std::nullopt;
            value = value << 4 | uint32_t(digit);
        }
        return value;
    };
    if (name.size() >= 7 && name.substr(0, 3) == "uni" && (name.size() - 3) % 4 == 0) {
        std::u16string text;
        for (size_t i = 3; i < name.size(); i += 4) {
            auto value = hexValue(name.substr(i, 4));
            if (!value || isSurrogate(*value))
                return std::nullopt;
            text.push_back(char16_t(*value));
        }
        return text;
    }
    if (name.size() >= 5 && name.size() <= 7 && name[0] == 'u') {
        auto value = hexValue(name.substr(1));
        if (!value || isSurrogate(*value) || *value > 0x10FFFF)
            return std::nullopt;
        std::u16string text;
        if (*value >= 0x10000) {
            text.push_back(char16_t(0xD800 + ((*value - 0x10000) >> 10)));
            text.push_back(char16_t(0xDC00 + ((*value - 0x10000) & 0x3FF)));
        } else {
            text.push_back(char16_t(*value));
        }
        return text;
    }
    return std::nullopt;
}

// One query of the glyph list; the database is opened and the statement
// prepared on the first miss (again after a memory warning). Under the lock.
std::optional<std::u16string> queryGlyphList(GlyphList& list, std::string_view name)
{
    if (!list.statement) {
        if (!list.database) {
            std::string path = resourcePath("glyphlist", "sqlite");
            if (!path.empty())
                list.database = VKSqlite3::databaseWithPath(path);
            if (!list.database) {
                core::log("{} {}", kLookupMethod, "Cannot open glyphlist database");
                return std::nullopt;
            }
            glyphListOpens.fetch_add(1, std::memory_order_relaxed);
        }
        list.statement = list.database->prepareStatement("SELECT unistr FROM glyphlist WHERE glyphname=?");
        if (!list.statement) {
            core::log("{} {}", kLookupMethod, "Cannot prepare glyphlist stmt");
            return std::nullopt;
        }
    }
    if (sqlite3_bind_text(list.statement->statement(), 1, name.data(), int(name.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
        core::log("{} {}", kLookupMethod, "Cannot bind to glyphlist stmt");
        list.statement->resetStatement();
        return std::nullopt;
    }
    std::optional<std::u16string> result;
    if (list.statement->step() == SQLITE_ROW) {
        if (auto text = list.statement->textValueAtColumn(0))
            result = core::toUTF16(*text);
    }
    list.statement->resetStatement();
    return result;
}

std::optional<std::u16string> glyphComponent(GlyphList& list, std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    if (auto text = algorithmicGlyph(name))
        return text;
    return queryGlyphList(list, name);
}

// The glyph list's reading of a name: the name itself, else without its
// suffix after the first ".", else its "_" components joined.
std::optional<std::u16string> resolveGlyphName(GlyphList& list, std::string_view name)
{
    if (auto text = glyphComponent(list, name))
        return text;
    std::string_view base = name.substr(0, name.find('.'));
    if (base.size() != name.size()) {
        if (auto text = glyphComponent(list, base))
            return text;
    }
    if (base.find('_') == std::string_view::npos)
        return std::nullopt;
    std::u16string joined;
    while (!base.empty()) {
        size_t end = base.find('_');
        if (auto text = glyphComponent(list, base.substr(0, end)))
            joined += *text;
        base = end == std::string_view::npos ? std::string_view() : base.substr(end + 1);
    }
    if (joined.empty())
        return std::nullopt;
    return joined;
}

// Bitmap fonts and documentation tools name their glyphs "a" and the code
// (/a33 for "!"): outside the dingbats font, whose table gives such names
// their signs, the name carries its character. Control codes and names past
// one byte carry none.
std::optional<std::u16string> numberedGlyph(std::string_view name)
{
    if (name.size() < 2 || name.size() > 4 || name[0] != 'a')
        return std::nullopt;
    unsigned code = 0;
    for (char c : name.substr(1)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        code = code * 10 + unsigned(c - '0');
    }
    if (code < 0x20 || (code >= 0x7F && code < 0xA0) || code > 0xFF)
        return std::u16string();
    return std::u16string(1, char16_t(code));
}

// The dingbats font under its own names, subset or not.
bool isDingbatsFont(std::string_view baseFont)
{
    return baseFont.find("Dingbats") != std::string_view::npos || baseFont.find("D050000L") != std::string_view::npos;
}

// ---- memory warnings ----

std::mutex& registrationLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

core::Observation& registration()
{
    static core::Observation* observation = new core::Observation;
    return *observation;
}

// ---- shown text ----

// Accents drawn as glyphs of their own (TeX places them over the letter)
// stay as they are, so that the page text can join them with their letter;
// compatibility composition would turn most of them into a space and a
// combining mark.
bool isSpacingAccent(const std::u16string& text)
{
    return text.size() == 1 && VKPDFTextNormalization::combiningFormOfAccent(text[0]) != 0;
}

// Typographic marks (quotation marks, dashes, the ellipsis, primes) stay
// as drawn: a closing quote is no apostrophe, three dots are no ellipsis.
bool isTypographicMark(const std::u16string& text)
{
    return text.size() == 1 && text[0] >= 0x2010 && text[0] <= 0x205E;
}

std::u16string shownText(const std::u16string& text)
{
    if (text.empty() || isSpacingAccent(text) || isTypographicMark(text))
        return text;
    return core::compatibilityPrecomposed(text);
}

bool namesKnownEncoding(const pdf::Object& encoding, bool hasEncoding)
{
    std::string name;
    pdf::Dictionary dictionary;
    if (!hasEncoding)
        return false;
    if (!encoding.name(name) && !(encoding.dictionary(dictionary) && dictionary.name("BaseEncoding", name)))
        return false;
    return VKPDFSimpleFontInfo::encodingTableForName(name).has_value();
}

// The built-in encoding of the font program embedded through the
// descriptor (FontFile for Type 1, FontFile3 for CFF), its glyph names read
// as text. Nothing without a program; a program FreeType cannot read is
// logged once (the decoder is cached) and gives nothing too.
std::optional<EncodingTable> builtInEncoding(const pdf::Dictionary& font, const pdf::Dictionary& descriptor, bool dingbats)
{
    pdf::Stream program;
    if (!descriptor.stream("FontFile", program) && !descriptor.stream("FontFile3", program))
        return std::nullopt;
    std::optional<pdf::FontProgram::GlyphNames> names;
    if (auto bytes = program.decodedData(pdf::FontProgram::kMaximumBytes))
        names = pdf::FontProgram::builtInEncoding(bytes->view());
    if (!names) {
        std::string name;
        font.name("BaseFont", name);
        core::log("Warning, font program of {} gives no built-in encoding; its codes are read as StandardEncoding", name);
        return std::nullopt;
    }
    EncodingTable table;
    for (size_t code = 0; code < 256; ++code) {
        if (!(*names)[code].empty()) {
            if (auto text = VKPDFSimpleFontInfo::stringForGlyphName((*names)[code], dingbats))
                table[code] = std::move(*text);
        }
    }
    return table;
}

} // namespace

VKPDFSimpleFontInfo::VKPDFSimpleFontInfo(const Private&)
{
}

// ---- class tables ----

std::optional<EncodingTable> VKPDFSimpleFontInfo::encodingTableForName(std::string_view name)
{
    const auto& tables = encodingTables();
    auto found = tables.find(std::string(name));
    if (found == tables.end())
        return std::nullopt;
    return found->second;
}

const StandardFontMetrics* VKPDFSimpleFontInfo::metricsForStandardFontName(std::string_view name)
{
    return standardFontMetrics(standardFontAlias(name));
}

std::optional<std::u16string> VKPDFSimpleFontInfo::stringForGlyphName(std::string_view name, bool dingbatsFont)
{
    if (!dingbatsFont) {
        if (auto text = numberedGlyph(name))
            return text;
    }
    return stringForGlyphName(name);
}

std::optional<std::u16string> VKPDFSimpleFontInfo::stringForGlyphName(std::string_view name)
{
    if (name.empty() || name.size() > kMaximumGlyphNameLength)
        return std::nullopt;
    bool created = false;
    std::optional<std::u16string> result;
    {
        std::lock_guard guard(cacheLock());
        GlyphList& list = glyphList();
        if (!list.cacheCreated) {
            list.cacheCreated = true;
            created = true;
        }
        if (auto found = list.cache.find(std::string(name)); found != list.cache.end())
            return found->second;
        result = resolveGlyphName(list, name);
        if (result) {
            if (list.cache.size() >= kMaximumCachedGlyphNames)
                list.cache.clear();
            list.cache.emplace(std::string(name), *result);
        }
    }
    if (created)
        setMemoryWarningsActive(true);
    return result;
}

void VKPDFSimpleFontInfo::setMemoryWarningsActive(bool active)
{
    core::Observation ended;
    {
        std::lock_guard guard(registrationLock());
        if (active) {
            if (!registration().isActive()) {
                registration() = core::NotificationCenter::defaultCenter().observe(core::DidReceiveMemoryWarningNotification,
                    nullptr, [](const core::Notification&) { didReceiveMemoryWarningNotification(); });
            }
            return;
        }
        ended = std::move(registration());
    }
    // Ended outside the lock: ending waits for a warning being delivered,
    // and its delivery takes the lock.
    ended.reset();
}

void VKPDFSimpleFontInfo::didReceiveMemoryWarningNotification()
{
    std::shared_ptr<VKSqlite3> database;
    std::shared_ptr<VKSqlite3Statement> statement;
    {
        std::lock_guard guard(cacheLock());
        GlyphList& list = glyphList();
        list.cache.clear();
        list.cacheCreated = false;
        statement = std::move(list.statement);
        database = std::move(list.database);
        if (statement)
            statement->finalizeStatement();
        if (database)
            database->close();
    }
    setMemoryWarningsActive(false);
}

uint64_t VKPDFSimpleFontInfo::glyphListOpenCountForTesting()
{
    return glyphListOpens.load(std::memory_order_relaxed);
}

size_t VKPDFSimpleFontInfo::cachedGlyphNameCountForTesting()
{
    std::lock_guard guard(cacheLock());
    return glyphList().cache.size();
}

// ---- one font ----

std::shared_ptr<VKPDFSimpleFontInfo> VKPDFSimpleFontInfo::fontInfoWithFontDictionary(const pdf::Dictionary& font)
{
    auto info = std::make_shared<VKPDFSimpleFontInfo>(Private());
    float missingWidth = 0;
    pdf::Dictionary descriptor;
    double number = 0;
    if (font.dictionary("FontDescriptor", descriptor)) {
        info->parseDescriptorDictionary(descriptor);
        if (descriptor.number("MissingWidth", number))
            missingWidth = vkPDFNarrow(number);
    }

    std::string baseFont;
    bool hasBaseFont = font.name("BaseFont", baseFont);
    info->m_dingbats = hasBaseFont && isDingbatsFont(baseFont);
    const StandardFontMetrics* standard = hasBaseFont ? metricsForStandardFontName(baseFont) : nullptr;
    pdf::Array widths;
    bool fromStandardFont = false;
    if (font.array("Widths", widths)) {
        int64_t first = 0;
        font.integer("FirstChar", first);
        info->parseWidthsArray(widths, first, missingWidth);
    } else if (hasBaseFont) {
        info->setupFromStandardFontName(baseFont);
        fromStandardFont = standard != nullptr;
    } else {
        core::log("Warning: Neither BaseFont nor Widths present in font dictionary");
        return nullptr;
    }

    pdf::Object encoding;
    bool hasEncoding = font.object("Encoding", encoding);
    // A program's own encoding is the base unless the font names a known
    // one: without Encoding, and under Differences without BaseEncoding.
    if (descriptor && !namesKnownEncoding(encoding, hasEncoding)) {
        if (auto table = builtInEncoding(font, descriptor, info->m_dingbats)) {
            info->m_encodingTable = std::move(*table);
            info->m_hasEncodingTable = true;
        }
    }
    if (hasEncoding)
        info->parseEncodingObject(encoding);
    if (!info->m_hasEncodingTable) {
        // No Encoding, or one naming no known table, and no program with
        // its own: the standard font's built-in encoding when it is one,
        // else StandardEncoding.
        if (auto table = encodingTableForName("StandardEncoding")) {
            info->m_encodingTable = std::move(*table);
            info->m_hasEncodingTable = true;
        }
    }

    if (standard) {
        // Older files give standard fonts Widths without a descriptor: take
        // the standard ascent and descent rather than a zero height.
        if (info->m_ascent == 0 && info->m_descent == 0) {
            info->m_ascent = standard->ascent;
            info->m_descent = standard->descent;
        }
        // Without Widths, each code advances by the width of the glyph its
        // encoding names, not by that of the built-in encoding's glyph.
        if (fromStandardFont) {
            for (size_t code = 0; code < 256; ++code) {
                auto found = standard->glyphWidths.find(info->m_encodingTable[code]);
                if (found != standard->glyphWidths.end())
                    info->m_widths[code] = found->second;
            }
        }
    }

    std::string subtype;
    pdf::Array matrix;
    if (font.name("Subtype", subtype) && subtype == "Type3" && font.array("FontMatrix", matrix)) {
        // Type 3 glyph space is the font's own: widths and box scale by its
        // matrix rather than by the usual thousandth.
        double sx = 0, sy = 0;
        if (matrix.number(0, sx) && matrix.number(3, sy) && std::isfinite(sx) && std::isfinite(sy) && sx != 0 && sy != 0) {
            for (float& width : info->m_widths)
                width = vkPDFNarrow(double(width) * sx * 1000);
            pdf::Array box;
            double bottom = 0, top = 0;
            if (info->m_ascent == 0 && info->m_descent == 0 && font.array("FontBBox", box) && box.number(1, bottom)
                && box.number(3, top)) {
                info->m_descent = vkPDFNarrow(bottom);
                info->m_ascent = vkPDFNarrow(top);
            }
            info->m_ascent = vkPDFNarrow(double(info->m_ascent) * std::fabs(sy) * 1000);
            info->m_descent = vkPDFNarrow(double(info->m_descent) * std::fabs(sy) * 1000);
        }
    }

    for (size_t code = 0; code < 256; ++code)
        info->updateShownText(code);

    info->parseToUnicodeEntry(font);
    float space = 0, sum = 0;
    int counted = 0;
    for (size_t code = 0; code < 256; ++code) {
        float width = info->m_widths[code];
        if (!(width > 0) || !std::isfinite(width))
            continue;
        if (space == 0 && info->m_shownText[code] == u" ")
            space = width;
        sum += width;
        ++counted;
    }
    info->setSpaceWidth(space, counted ? sum / float(counted) : 0);
    countCreation();
    return info;
}

void VKPDFSimpleFontInfo::parseWidthsArray(const pdf::Array& widths, int64_t firstChar, float missingWidth)
{
    m_widths.fill(0);
    int64_t count = int64_t(std::min<size_t>(widths.count(), size_t(INT32_MAX)));
    // Kept well inside int64 so first + count cannot overflow.
    int64_t first = std::clamp<int64_t>(firstChar, -(int64_t(1) << 40), int64_t(1) << 40);
    for (int64_t code = 0; code < 256; ++code) {
        if (code >= first && code <= first + count - 1) {
            double width = 0;
            if (widths.number(size_t(code - first), width))
                m_widths[size_t(code)] = vkPDFNarrow(width);
        } else {
            m_widths[size_t(code)] = missingWidth;
        }
    }
}

void VKPDFSimpleFontInfo::setupFromStandardFontName(std::string_view name)
{
    const StandardFontMetrics* metrics = metricsForStandardFontName(name);
    m_widths.fill(0);
    if (!metrics) {
        m_ascent = 0;
        m_descent = 0;
        return;
    }
    m_ascent = metrics->ascent;
    m_descent = metrics->descent;
    m_widths = metrics->widths;
    m_encodingTable = metrics->encoding;
    m_hasEncodingTable = true;
}

void VKPDFSimpleFontInfo::parseEncodingObject(const pdf::Object& encoding)
{
    std::string name;
    if (encoding.name(name)) {
        if (auto table = encodingTableForName(name)) {
            m_encodingTable = std::move(*table);
            m_hasEncodingTable = true;
        }
        return;
    }
    pdf::Dictionary dictionary;
    if (!encoding.dictionary(dictionary))
        return;
    if (dictionary.name("BaseEncoding", name)) {
        if (auto table = encodingTableForName(name)) {
            m_encodingTable = std::move(*table);
            m_hasEncodingTable = true;
        }
    }
    if (!m_hasEncodingTable) {
        if (auto table = encodingTableForName("StandardEncoding")) {
            m_encodingTable = std::move(*table);
            m_hasEncodingTable = true;
        }
    }
    pdf::Array differences;
    if (!dictionary.array("Differences", differences))
        return;
    size_t count = differences.count();
    size_t index = 0;
    while (index < count) {
        int64_t start = 0;
        if (!differences.integer(index, start))
            break;
        ++index;
        // Far codes are only counted, never stored, so the sum cannot overflow.
        int64_t code = std::clamp<int64_t>(start, -(int64_t(1) << 40), int64_t(1) << 40);
        for (; index < count; ++index, ++code) {
            pdf::Object element;
            if (!differences.object(index, element) || element.type() != pdf::ObjectType::Name)
                break;
            if (code < 0 || code > 255)
                continue;
            element.name(name);
            // .notdef names the missing glyph: nothing to extract.
            if (name == ".notdef")
                m_encodingTable[size_t(code)].clear();
            else if (auto text = stringForGlyphName(name, m_dingbats))
                m_encodingTable[size_t(code)] = std::move(*text);
        }
    }
}

void VKPDFSimpleFontInfo::setCharacterString(std::u16string text, uint32_t code)
{
    if (code > 255) {
        logIllegalCode(code);
        return;
    }
    m_encodingTable[code] = std::move(text);
    updateShownText(code);
}

void VKPDFSimpleFontInfo::updateShownText(size_t code)
{
    m_shownText[code] = shownText(m_encodingTable[code]);
}

void VKPDFSimpleFontInfo::processTextString(std::string_view bytes, VKPDFPageScanner& delegate) const
{
    // A code without text still advances: its glyph is drawn.
    const GlyphBox box = glyphBox();
    for (unsigned char code : bytes)
        delegate.processCharacterString(m_shownText[code], box.rect(m_widths[code]), code == 32);
}
