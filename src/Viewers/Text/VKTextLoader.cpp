#include "Viewers/Text/VKTextLoader.h"

#include "Kit/StringIconvEncoding.h"
#include "Kit/VKMagicTextEncoding.h"
#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/UI/TextBackingFile.h"
#include "Viewers/Text/VKTextFile.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <unicode/ucsdet.h>

namespace {

// The multi-byte East Asian encoding that statistics over the whole
// sample name, when the list has it: Windows-1252 decodes nearly any
// bytes, so the first encoding of the list that decodes a Chinese or
// Japanese file is no answer. Latin text is left to the list.
std::optional<std::string> eastAsianEncodingOf(std::string_view sample, const std::vector<std::string>& candidates)
{
    constexpr int32_t LeastConfidence = 30;
    if (sample.empty())
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, decltype(&ucsdet_close)> detector(ucsdet_open(&status), ucsdet_close);
    if (U_FAILURE(status))
        return std::nullopt;
    ucsdet_setText(detector.get(), sample.data(), int32_t(std::min<size_t>(sample.size(), INT32_MAX)), &status);
    const UCharsetMatch* match = ucsdet_detect(detector.get(), &status);
    if (U_FAILURE(status) || !match || ucsdet_getConfidence(match, &status) < LeastConfidence || U_FAILURE(status))
        return std::nullopt;
    const char* found = ucsdet_getName(match, &status);
    if (U_FAILURE(status) || !found)
        return std::nullopt;
    auto upper = [](std::string_view name) {
        std::string result(name);
        std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        return result;
    };
    std::string name = upper(found);
    for (const char* multiByte : { "GB18030", "BIG5", "SHIFT_JIS", "EUC-JP", "EUC-KR" })
        if (name == multiByte)
            for (const std::string& candidate : candidates)
                if (upper(candidate) == name)
                    return candidate;
    return std::nullopt;
}

// Sources whose well-formed text is already what the storage holds.
enum class Passthrough { None, ASCII, UTF8 };

Passthrough passthroughFor(std::string_view encoding)
{
    std::string name;
    for (char c : encoding)
        name += char(std::toupper(static_cast<unsigned char>(c)));
    if (name == "UTF-8" || name == "UTF8")
        return Passthrough::UTF8;
    if (name == "ASCII" || name == "US-ASCII")
        return Passthrough::ASCII;
    return Passthrough::None;
}

// The first byte from `at` on that is not ASCII, or the end.
size_t skipASCII(std::string_view bytes, size_t at)
{
    const size_t n = bytes.size();
    // Eight bytes at a time through ASCII runs, the common case.
    while (at + 8 <= n) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        if (uint64_t high = word & 0x8080808080808080ull) {
            if constexpr (std::endian::native == std::endian::little)
                return at + size_t(std::countr_zero(high)) / 8;
            break;
        }
        at += 8;
    }
    while (at < n && static_cast<unsigned char>(bytes[at]) < 0x80)
        ++at;
    return at;
}

// How much of `bytes` may be stored as it is: all of it when it is plain
// ASCII or (for UTF-8) well-formed up to a sequence cut short at its end,
// which waits for the next chunk; npos when a byte needs the converter's
// judgement.
size_t passthroughPrefix(std::string_view bytes, Passthrough kind)
{
    const size_t n = bytes.size();
    size_t at = skipASCII(bytes, 0);
    if (kind == Passthrough::ASCII)
        return at == n ? n : std::string_view::npos;
    while (at < n) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            at = skipASCII(bytes, at);
            continue;
        }
        core::CodePoint point = core::decodeCodePoint(bytes, at);
        if (!point.valid) {
            // A lead byte whose sequence the chunk cuts short is carried over.
            unsigned char lead = static_cast<unsigned char>(bytes[at]);
            size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (lead >= 0xC2 && lead <= 0xF4 && n - at < length) {
                bool prefix = true;
                for (size_t k = at + 1; k < n; ++k)
                    prefix = prefix && (static_cast<unsigned char>(bytes[k]) & 0xC0) == 0x80;
                if (prefix)
                    return at;
            }
            return std::string_view::npos;
        }
        at += point.length;
    }
    return n;
}

// Appends `bytes` to `out` with each byte that starts no well-formed
// sequence replaced by U+FFFD, counting those and the good multi-byte
// sequences; a sequence the end cuts short is left for the next chunk
// unless `atEnd`. Answers how much was used.
size_t repairUTF8(std::string_view bytes, bool atEnd, std::string& out, size_t& invalid, size_t& multibyte)
{
    const size_t n = bytes.size();
    size_t at = 0;
    while (at < n) {
        size_t run = skipASCII(bytes, at);
        out.append(bytes.substr(at, run - at));
        at = run;
        if (at == n)
            break;
        core::CodePoint point = core::decodeCodePoint(bytes, at);
        if (point.valid) {
            out.append(bytes.substr(at, point.length));
            ++multibyte;
            at += point.length;
            continue;
        }
        if (!atEnd && passthroughPrefix(bytes.substr(at), Passthrough::UTF8) == 0)
            break; // the start of a sequence the next chunk completes
        out.append("\xEF\xBF\xBD");
        ++invalid;
        ++at;
    }
    return at;
}

} // namespace

std::shared_ptr<ui::TextStorage> VKTextLoader::decode(const VKTextFile& file, const std::string& encoding, bool lossy,
    const Cancelled& cancelled, const std::function<void(const std::shared_ptr<ui::TextStorage>& text)>& firstScreen,
    Repair repair)
{
    if (!file.isOpen())
        return nullptr;
    // A text larger than a first screen keeps its bytes in files, not the
    // heap: the part read as it is in the file itself, the rest decoded into
    // a file of the program's own temporary folder.
    std::shared_ptr<ui::TextBackingFile> backing;
    if (file.size() > FirstScreenBytes)
        backing = ui::TextBackingFile::create(file.fd(), core::paths::temporaryDirectory());
    auto storage = backing ? ui::TextStorage::createBacked(backing) : ui::TextStorage::create();
    auto endVerbatim = [&] {
        if (backing)
            backing->endVerbatim();
    };
    if (file.size() == 0) {
        storage->finish();
        return storage;
    }
    auto failed = [&]() -> std::shared_ptr<ui::TextStorage> {
        core::log("Warning, failed to convert from {}", encoding);
        return nullptr;
    };
    core::TextConverter converter = core::TextConverter::toUTF8(encoding);
    if (!converter)
        return failed();
    // A well-formed UTF-8 or ASCII chunk is stored as read; one holding a
    // byte the converter would refuse goes through it, so the outcome (and
    // what a lossy pass drops) stays the converter's.
    const Passthrough passthrough = passthroughFor(encoding);
    if (repair == Repair::FewInvalidUTF8 && passthrough != Passthrough::UTF8)
        return failed();
    size_t invalid = 0, multibyte = 0;
    using Status = core::TextConverter::Status;
    std::string piece; // one chunk's text, handed to the storage
    std::string input; // what the converter left of the last chunk, then the next chunk
    size_t dropped = 0;
    size_t chunk = 0;
    bool shown = false;
    // Converts `source` (nothing: ends the input) into the piece, through a
    // buffer that is never cleared; answers how much of it was used.
    constexpr size_t Room = size_t(1) << 20;
    std::unique_ptr<char[]> out(new char[Room]);
    auto write = [&](std::string_view source, Status& status) {
        const bool finishing = source.empty();
        size_t position = 0;
        for (;;) {
            auto step = finishing ? converter.finish(out.get(), Room)
                                  : converter.convert(source.substr(position), out.get(), Room);
            position += step.consumed;
            piece.append(out.get(), step.produced);
            status = step.status;
            if (status == Status::OutputFull)
                continue;
            if (status == Status::Invalid && lossy && !finishing && position < source.size()) {
                ++position;
                ++dropped;
                continue;
            }
            return position;
        }
    };
    // The converter writes whole characters, so each piece is checked (and
    // stored) on its own.
    auto store = [&]() {
        if (mayBeIllFormedUTF8(piece)) {
            if (!lossy)
                return false;
            dropped += dropInvalidUTF8(piece);
        }
        storage->append(std::move(piece));
        piece = std::string();
        return true;
    };
    auto showFirstScreen = [&](size_t offset) {
        if (firstScreen && !shown && offset < file.size() && storage->appendedSize() >= FirstScreenBytes) {
            shown = true;
            firstScreen(storage);
        }
    };
    for (size_t offset = 0; offset < file.size(); ++chunk) {
        if (cancelled && cancelled())
            return nullptr;
        if (passthrough != Passthrough::None) {
            // Read straight behind the text the storage has not sealed yet,
            // so that a well-formed block becomes its chunk as read.
            std::string block = storage->takePending(input.size() + VKTextFile::ChunkSize);
            size_t carried = block.size();
            block += input;
            input.clear();
            size_t got = file.read(offset, VKTextFile::ChunkSize, block);
            file.chunkDidRead(chunk);
            offset += got;
            size_t fine = passthroughPrefix(std::string_view(block).substr(carried), passthrough);
            // Repairing, a sequence the file's end cuts short is repaired too.
            bool cutAtEnd = got == 0 && fine != std::string_view::npos && carried + fine < block.size();
            if (fine != std::string_view::npos && !(cutAtEnd && repair == Repair::FewInvalidUTF8)) {
                input.assign(block, carried + fine);
                block.resize(carried + fine);
                if (backing)
                    backing->setVerbatimThrough(storage->appendedSize() + block.size());
                storage->append(std::move(block));
                if (got == 0)
                    break;
                showFirstScreen(offset);
                continue;
            }
            endVerbatim();
            if (repair == Repair::FewInvalidUTF8) {
                std::string repaired(block, 0, carried);
                size_t used = repairUTF8(std::string_view(block).substr(carried), got == 0, repaired, invalid, multibyte);
                input.assign(block, carried + used);
                storage->append(std::move(repaired));
                if (got == 0)
                    break;
                showFirstScreen(offset);
                continue;
            }
            // A byte for the converter: the pending text goes back as it was.
            storage->append(std::string_view(block).substr(0, carried));
            input.assign(block, carried);
            if (got == 0)
                break;
        } else {
            size_t got = file.read(offset, VKTextFile::ChunkSize, input);
            file.chunkDidRead(chunk);
            if (got == 0)
                break;
            offset += got;
        }
        {
            endVerbatim();
            Status status = Status::Ok;
            // Converted behind the pending text too, so that the piece
            // becomes its chunk without another copy.
            piece = storage->takePending(2 * Room);
            size_t used = write(input, status);
            if (status == Status::Invalid || !store())
                return failed();
            input.erase(0, used);
        }
        showFirstScreen(offset);
    }
    // A sequence the file cuts short fails either way.
    if (!input.empty())
        return failed();
    // Repaired, the text is UTF-8 only when its bad bytes are few: fewer
    // than its good sequences around them, or than one in 64 KiB.
    if (invalid > 0 && invalid > multibyte && invalid > file.size() / (size_t(64) << 10)) {
        core::log("Warning, {} bytes are not UTF-8: the text is taken for another encoding", invalid);
        return nullptr;
    }
    if (invalid > 0)
        core::log("Warning, {} bytes that are not UTF-8 are shown as U+FFFD", invalid);
    Status status = Status::Ok;
    write({}, status);
    if (!store())
        return failed();
    if (storage->appendedSize() == 0)
        return failed();
    storage->finish();
    if (dropped)
        core::log("Warning, multi-byte error converting from: {}", encoding);
    return storage;
}

bool VKTextLoader::isUTF16(std::string_view encoding)
{
    std::string name;
    for (char c : encoding)
        name += char(std::toupper(static_cast<unsigned char>(c)));
    return name.starts_with("UTF-16") || name.starts_with("UTF16") || name.starts_with("UCS-2");
}

std::optional<std::string> VKTextLoader::utf16WithoutMark(std::string_view head)
{
    size_t units = head.size() / 2;
    if (units < 2)
        return std::nullopt;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(head[i]); };
    if ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))
        return std::nullopt; // marked: the sniffer's to tell
    size_t zeroLow = 0, zeroHigh = 0; // zero bytes at even and at odd places
    for (size_t i = 0; i < units; ++i) {
        zeroLow += byte(2 * i) == 0;
        zeroHigh += byte(2 * i + 1) == 0;
    }
    // Latin text has a zero in most units on one side and (almost) none on
    // the other.
    const char* name = nullptr;
    if (zeroHigh * 2 >= units && zeroLow * 20 <= units)
        name = "UTF-16LE";
    else if (zeroLow * 2 >= units && zeroHigh * 20 <= units)
        name = "UTF-16BE";
    if (!name)
        return std::nullopt;
    // It must read as text: whole characters, no controls but white space.
    size_t length = units * 2;
    unsigned last = name[6] == 'L' ? (byte(length - 1) << 8 | byte(length - 2)) : (byte(length - 2) << 8 | byte(length - 1));
    if (last >= 0xD800 && last <= 0xDBFF)
        length -= 2; // a pair the head cuts in two
    auto text = core::TextConverter::convertText(head.substr(0, length), name, "UTF-8");
    if (!text)
        return std::nullopt;
    for (char c : *text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f')
            return std::nullopt;
    }
    return std::string(name);
}

float VKTextLoader::averageLineLength(const ui::TextStorage& text)
{
    std::string scratch;
    auto shown = text.snapshot();
    return averageLineLength(shown.view(0, FirstScreenBytes + 1, scratch), !shown.isComplete());
}

float VKTextLoader::averageLineLength(std::string_view text, bool more)
{
    if (text.size() > FirstScreenBytes || more) {
        text = text.substr(0, std::min(text.size(), FirstScreenBytes));
        size_t lastEnd = text.rfind('\n');
        text = text.substr(0, lastEnd == std::string_view::npos ? 0 : lastEnd + 1);
    }
    size_t lines = 0;
    size_t units = 0;
    size_t current = 0;
    auto endLine = [&] {
        if (current > 0) {
            ++lines;
            units += current;
        }
        current = 0;
    };
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    auto hasZeroByte = [](uint64_t word) { return (word - ones) & ~word & highs; };
    for (size_t at = 0; at < text.size();) {
        // ASCII bytes are one unit each, without decoding: eight at a time
        // while none of them is a line end.
        if (at + 8 <= text.size()) {
            uint64_t word;
            std::memcpy(&word, text.data() + at, 8);
            if (!((word & highs) | hasZeroByte(word ^ (ones * '\n')) | hasZeroByte(word ^ (ones * '\r')))) {
                current += 8;
                at += 8;
                continue;
            }
        }
        if (unsigned char byte = static_cast<unsigned char>(text[at]); byte < 0x80) {
            if (byte == '\n' || byte == '\r')
                endLine();
            else
                ++current;
            ++at;
            continue;
        }
        core::CodePoint point = core::decodeCodePoint(text, at);
        char32_t c = point.value;
        if (point.valid && (c == 0x85 || c == 0x2028 || c == 0x2029))
            endLine();
        else
            current += point.valid && c >= 0x10000 ? 2 : 1;
        at += point.length;
    }
    endLine();
    return lines ? std::ceil(double(units) / double(lines)) : 0.f;
}

float VKTextLoader::fittingFontSize(float average, float defaultSize, float widthPerPoint, float usableWidth)
{
    float size = defaultSize > 0 ? defaultSize : 14;
    if (!(average > 0 && average < 100 && usableWidth > 0))
        return size;
    while (average * size * widthPerPoint > usableWidth && size > MinimumFontSize)
        size -= 1;
    return size;
}

VKTextLoader::Result VKTextLoader::load(const Request& request, const Cancelled& cancelled, const FirstScreen& firstScreen)
{
    Result result;
    VKTextFile file(request.path, request.home);
    result.openError = file.openError();
    auto sizeFor = [&](const ui::TextStorage& text) -> std::optional<float> {
        if (!request.automaticFontSize)
            return std::nullopt;
        float base = request.defaultFontSize > 0 ? request.defaultFontSize : 14;
        float size = fittingFontSize(averageLineLength(text), base, request.widthPerPoint, request.usableWidth);
        return size != request.defaultFontSize ? std::optional<float>(size) : std::nullopt;
    };
    auto attempt = [&](const std::string& encoding, bool lossy, Repair repair = Repair::None) {
        return decode(file, encoding, lossy, cancelled, [&](const std::shared_ptr<ui::TextStorage>& text) {
            if (firstScreen)
                firstScreen(encoding, text, sizeFor(*text));
        }, repair);
    };

    std::string encoding = request.currentEncoding;
    std::shared_ptr<ui::TextStorage> text;
    // UTF-16 without a mark also reads as UTF-8 (its ASCII with NULs
    // between): on a first load with nothing chosen it goes first.
    if (!request.contentDidLoad && !request.lossy && file.isOpen()) {
        std::string head;
        file.read(0, HeadBytes, head);
        if (auto utf16 = utf16WithoutMark(head)) {
            text = attempt(*utf16, false);
            if (text)
                encoding = *utf16;
        }
    }
    // What fails strictly as UTF-8 fails as ASCII too: not read again.
    bool strictUTF8Failed = false;
    if (!text && !encoding.empty()) {
        text = attempt(encoding, request.lossy);
        strictUTF8Failed = !text && !request.lossy && passthroughFor(encoding) == Passthrough::UTF8;
    }
    if (cancelled && cancelled()) {
        result.cancelled = true;
        return result;
    }
    if (!text && !request.contentDidLoad && file.isOpen()) {
        std::optional<std::string> guessed;
        std::optional<std::string> magic;
        std::vector<std::string> tried;
        if (file.size() > WholeFileMagicBytes) {
            // Its first part up to a line end, so that no character is cut;
            // what it suggests is decoded strictly as the file is read, and
            // a byte further on that does not fit tries the next name.
            std::string head;
            file.read(0, FirstScreenBytes, head);
            if (size_t end = head.rfind('\n'); end != std::string::npos)
                head.resize(end + 1);
            std::optional<std::string> suggested = VKMagicTextEncoding::magicEncodingForFileData(core::Data(std::move(head)), nullptr);
            if (suggested == "ASCII")
                tried = { "ASCII", "UTF-8" };
            else if (suggested)
                tried = { *suggested };
            for (const std::string& name : tried) {
                if (strictUTF8Failed && passthroughFor(name) != Passthrough::None)
                    break;
                text = attempt(name, false);
                if (cancelled && cancelled()) {
                    result.cancelled = true;
                    return result;
                }
                if (text) {
                    magic = name;
                    break;
                }
            }
        }
        // A large file is never read whole: what its first part does not
        // tell is left to the list.
        if (tried.empty() && file.size() <= WholeFileMagicBytes)
            magic = VKMagicTextEncoding::magicEncodingForFileData(file.readAll(), &guessed);
        if (magic && text) {
            encoding = *magic;
        } else if (magic && guessed) {
            encoding = *magic;
            text = ui::TextStorage::withText(*guessed);
        } else if (auto repaired = attempt("UTF-8", false, Repair::FewInvalidUTF8)) {
            // Valid UTF-8 but for a few bytes (a log with some lines of
            // another encoding) is shown as UTF-8, those bytes as U+FFFD.
            encoding = "UTF-8";
            text = std::move(repaired);
        } else if (cancelled && cancelled()) {
            result.cancelled = true;
            return result;
        } else {
            std::vector<std::string> candidates = request.candidates;
            if (auto koi = std::find(candidates.begin(), candidates.end(), "KOI8-R"); koi != candidates.end())
                std::rotate(koi, koi + 1, candidates.end());
            std::string sample;
            file.read(0, DetectionSampleBytes, sample);
            if (auto detected = eastAsianEncodingOf(sample, candidates); detected && *detected != request.currentEncoding) {
                text = attempt(*detected, false);
                if (text)
                    encoding = *detected;
            }
            for (const std::string& candidate : candidates) {
                if (text)
                    break;
                // UTF-16 reads nearly any even number of bytes: it is taken
                // only when the sniffer or the zero bytes tell it.
                if (candidate == request.currentEncoding || (magic && candidate == *magic)
                    || std::find(tried.begin(), tried.end(), candidate) != tried.end() || isUTF16(candidate))
                    continue;
                text = attempt(candidate, false);
                if (cancelled && cancelled()) {
                    result.cancelled = true;
                    return result;
                }
                if (text) {
                    encoding = candidate;
                    break;
                }
            }
            if (!text)
                encoding = magic.value_or("");
        }
    }
    result.encoding = encoding;
    if (text) {
        result.fontSize = sizeFor(*text);
        result.text = std::move(text);
    }
    return result;
}
