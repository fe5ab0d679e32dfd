#include "Viewers/Text/VKTextLoader.h"

#include "Kit/StringIconvEncoding.h"
#include "Kit/VKMagicTextEncoding.h"
#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/TextConverter.h"
#include "Viewers/Text/VKTextFile.h"

#include <algorithm>
#include <cmath>

std::optional<std::string> VKTextLoader::decode(const VKTextFile& file, const std::string& encoding, bool lossy,
    const Cancelled& cancelled, const std::function<void(const std::string& text)>& firstScreen)
{
    if (!file.isOpen())
        return std::nullopt;
    if (file.size() == 0)
        return std::string();
    auto failed = [&]() -> std::optional<std::string> {
        core::log("Warning, failed to convert from {}", encoding);
        return std::nullopt;
    };
    core::TextConverter converter = core::TextConverter::toUTF8(encoding);
    if (!converter)
        return failed();
    using Status = core::TextConverter::Status;
    std::string text;
    std::string input; // what the converter left of the last chunk, then the next chunk
    size_t dropped = 0;
    size_t chunk = 0;
    bool shown = false;
    // Converts `source` (nothing: ends the input) into the text; answers
    // how much of it was used.
    auto write = [&](std::string_view source, Status& status) {
        const bool finishing = source.empty();
        size_t position = 0;
        for (;;) {
            size_t used = text.size();
            size_t room = (source.size() - position) * 3 + 64;
            if (text.capacity() < used + room)
                text.reserve(std::max(text.capacity() + text.capacity() / 2, used + room));
            text.resize(used + room);
            auto step = finishing ? converter.finish(text.data() + used, room)
                                  : converter.convert(source.substr(position), text.data() + used, room);
            position += step.consumed;
            text.resize(used + step.produced);
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
    for (size_t offset = 0; offset < file.size(); ++chunk) {
        if (cancelled && cancelled())
            return std::nullopt;
        size_t got = file.read(offset, VKTextFile::ChunkSize, input);
        file.chunkDidRead(chunk);
        if (got == 0)
            break;
        offset += got;
        Status status = Status::Ok;
        size_t used = write(input, status);
        if (status == Status::Invalid)
            return failed();
        input.erase(0, used);
        if (firstScreen && !shown && text.size() >= FirstScreenBytes && offset < file.size()) {
            shown = true;
            firstScreen(text);
        }
    }
    // A sequence the file cuts short fails either way.
    if (!input.empty())
        return failed();
    Status status = Status::Ok;
    write({}, status);
    if (mayBeIllFormedUTF8(text)) {
        if (!lossy)
            return failed();
        dropped += dropInvalidUTF8(text);
    }
    if (text.empty())
        return failed();
    if (dropped)
        core::log("Warning, multi-byte error converting from: {}", encoding);
    return text;
}

float VKTextLoader::averageLineLength(std::string_view text)
{
    text = text.substr(0, std::min(text.size(), FirstScreenBytes));
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
    core::forEachCodePoint(text, [&](const core::CodePoint& point, size_t) {
        char32_t c = point.value;
        if (point.valid && (c == '\n' || c == '\r' || c == 0x85 || c == 0x2028 || c == 0x2029))
            endLine();
        else
            current += point.valid && c >= 0x10000 ? 2 : 1;
    });
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
    auto sizeFor = [&](std::string_view text) -> std::optional<float> {
        if (!request.automaticFontSize)
            return std::nullopt;
        float base = request.defaultFontSize > 0 ? request.defaultFontSize : 14;
        float size = fittingFontSize(averageLineLength(text), base, request.widthPerPoint, request.usableWidth);
        return size != request.defaultFontSize ? std::optional<float>(size) : std::nullopt;
    };
    auto attempt = [&](const std::string& encoding, bool lossy) {
        return decode(file, encoding, lossy, cancelled, [&](const std::string& text) {
            if (firstScreen)
                firstScreen(encoding, text, sizeFor(text));
        });
    };

    std::string encoding = request.currentEncoding;
    std::optional<std::string> text;
    if (!encoding.empty())
        text = attempt(encoding, request.lossy);
    if (cancelled && cancelled()) {
        result.cancelled = true;
        return result;
    }
    if (!text && !request.contentDidLoad && file.isOpen()) {
        std::optional<std::string> guessed;
        std::optional<std::string> magic = VKMagicTextEncoding::magicEncodingForFileData(file.readAll(), &guessed);
        core::log("'file' encoding: {}", magic.value_or("(null)"));
        if (magic && guessed) {
            encoding = *magic;
            text = std::move(guessed);
        } else {
            std::vector<std::string> candidates = request.candidates;
            if (auto koi = std::find(candidates.begin(), candidates.end(), "KOI8-R"); koi != candidates.end())
                std::rotate(koi, koi + 1, candidates.end());
            for (const std::string& candidate : candidates) {
                if (candidate == request.currentEncoding || (magic && candidate == *magic))
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
