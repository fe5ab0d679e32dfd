#include "Viewers/Text/VKTextLoader.h"

#include "Kit/StringIconvEncoding.h"
#include "Kit/VKMagicTextEncoding.h"
#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/TextConverter.h"
#include "Viewers/Text/VKTextFile.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>

namespace {

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

} // namespace

std::shared_ptr<ui::TextStorage> VKTextLoader::decode(const VKTextFile& file, const std::string& encoding, bool lossy,
    const Cancelled& cancelled, const std::function<void(const std::shared_ptr<ui::TextStorage>& text)>& firstScreen)
{
    if (!file.isOpen())
        return nullptr;
    auto storage = ui::TextStorage::create();
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
            if (fine != std::string_view::npos) {
                input.assign(block, carried + fine);
                block.resize(carried + fine);
                storage->append(std::move(block));
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
    for (size_t at = 0; at < text.size();) {
        // ASCII bytes are one unit each, without decoding.
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
    VKTextFile file(request.path);
    auto sizeFor = [&](const ui::TextStorage& text) -> std::optional<float> {
        if (!request.automaticFontSize)
            return std::nullopt;
        float base = request.defaultFontSize > 0 ? request.defaultFontSize : 14;
        float size = fittingFontSize(averageLineLength(text), base, request.widthPerPoint, request.usableWidth);
        return size != request.defaultFontSize ? std::optional<float>(size) : std::nullopt;
    };
    auto attempt = [&](const std::string& encoding, bool lossy) {
        return decode(file, encoding, lossy, cancelled, [&](const std::shared_ptr<ui::TextStorage>& text) {
            if (firstScreen)
                firstScreen(encoding, text, sizeFor(*text));
        });
    };

    std::string encoding = request.currentEncoding;
    std::shared_ptr<ui::TextStorage> text;
    if (!encoding.empty())
        text = attempt(encoding, request.lossy);
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
            else if (suggested == "UTF-8")
                tried = { "UTF-8" };
            for (const std::string& name : tried) {
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
        if (tried.empty())
            magic = VKMagicTextEncoding::magicEncodingForFileData(file.readAll(), &guessed);
        core::log("'file' encoding: {}", magic.value_or("(null)"));
        if (magic && text) {
            encoding = *magic;
        } else if (magic && guessed) {
            encoding = *magic;
            text = ui::TextStorage::withText(*guessed);
        } else {
            std::vector<std::string> candidates = request.candidates;
            if (auto koi = std::find(candidates.begin(), candidates.end(), "KOI8-R"); koi != candidates.end())
                std::rotate(koi, koi + 1, candidates.end());
            for (const std::string& candidate : candidates) {
                if (candidate == request.currentEncoding || (magic && candidate == *magic)
                    || std::find(tried.begin(), tried.end(), candidate) != tried.end())
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
    core::log("used encoding: {}", encoding.empty() ? "(null)" : encoding);
    result.encoding = encoding;
    if (text) {
        result.fontSize = sizeFor(*text);
        result.text = std::move(text);
    }
    return result;
}
