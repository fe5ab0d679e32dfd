#include "Platform/Core/TextConverter.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <vector>

namespace core {

namespace {

    using Step = TextConverter::Step;
    using Status = TextConverter::Status;

    bool acceptableName(std::string_view name)
    {
        // An empty name means the locale's character set to both libraries, and
        // "//" suffixes change how iconv reports bad input.
        return !name.empty() && name.size() < 64 && name.find('/') == std::string_view::npos
            && name.find('\0') == std::string_view::npos;
    }

    bool isUTF8Name(std::string_view name)
    {
        std::string folded;
        for (char c : name) {
            if (c != '-' && c != '_')
                folded += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        }
        return folded == "utf8";
    }

} // namespace

struct TextConverter::State {
    std::string from;
    std::string to;

    virtual ~State() = default;
    virtual Backend backend() const = 0;
    virtual Step convert(std::string_view input, char* output, size_t capacity) = 0;
    virtual Step finish(char* output, size_t capacity) = 0;
    virtual void reset() = 0;
};

namespace {

    class IconvState final : public TextConverter::State {
    public:
        explicit IconvState(iconv_t cd)
            : m_cd(cd)
        {
        }
        ~IconvState() override { iconv_close(m_cd); }

        TextConverter::Backend backend() const override { return TextConverter::Backend::Iconv; }

        Step convert(std::string_view input, char* output, size_t capacity) override
        {
            if (input.empty())
                return {};
            // iconv never writes through its input pointer; the cast only meets its signature.
            char* in = const_cast<char*>(input.data());
            size_t inLeft = input.size();
            char* out = output;
            size_t outLeft = capacity;
            size_t result = iconv(m_cd, &in, &inLeft, &out, &outLeft);
            Step step { input.size() - inLeft, capacity - outLeft, Status::Ok };
            if (result == static_cast<size_t>(-1))
                step.status = statusOf(errno);
            return step;
        }

        Step finish(char* output, size_t capacity) override
        {
            char* out = output;
            size_t outLeft = capacity;
            size_t result = iconv(m_cd, nullptr, nullptr, &out, &outLeft);
            Step step { 0, capacity - outLeft, Status::Ok };
            if (result == static_cast<size_t>(-1))
                step.status = statusOf(errno);
            return step;
        }

        void reset() override { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

    private:
        static Status statusOf(int error)
        {
            switch (error) {
            case E2BIG:
                return Status::OutputFull;
            case EINVAL:
                return Status::Incomplete;
            default:
                return Status::Invalid;
            }
        }

        iconv_t m_cd;
    };

    // ICU converts through UTF-16. Each step decodes the input in chunks with the
    // source offset of every unit, so that a full output or a bad character can
    // be reported at the exact input byte, as iconv does. A sequence cut by a
    // chunk's end is handed in again with the next chunk instead of being kept in
    // the converter.
    class IcuState final : public TextConverter::State {
    public:
        IcuState(UConverter* from, UConverter* to)
            : m_from(from)
            , m_to(to)
        {
            UErrorCode error = U_ZERO_ERROR;
            ucnv_setToUCallBack(m_from, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
            if (m_to)
                ucnv_setFromUCallBack(m_to, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        }
        ~IcuState() override
        {
            ucnv_close(m_from);
            if (m_to)
                ucnv_close(m_to);
        }

        TextConverter::Backend backend() const override { return TextConverter::Backend::ICU; }

        Step convert(std::string_view input, char* output, size_t capacity) override
        {
            Step step;
            while (step.consumed < input.size()) {
                size_t chunk = std::min(input.size() - step.consumed, kChunk);
                bool last = step.consumed + chunk == input.size();
                const char* begin = input.data() + step.consumed;
                const char* source = begin;
                UChar* units = m_units;
                UErrorCode error = U_ZERO_ERROR;
                ucnv_toUnicode(m_from, &units, m_units + kUnits, &source, begin + chunk, m_offsets, last, &error);
                size_t count = static_cast<size_t>(units - m_units);

                // Where this chunk stops being usable, and why.
                size_t usable = chunk;
                Status stop = Status::Ok;
                if (U_FAILURE(error)) {
                    char bad[32];
                    int8_t badLength = sizeof bad;
                    UErrorCode ignored = U_ZERO_ERROR;
                    ucnv_getInvalidChars(m_from, bad, &badLength, &ignored);
                    size_t read = static_cast<size_t>(source - begin);
                    usable = read - std::min<size_t>(read, static_cast<size_t>(std::max<int8_t>(badLength, 0)));
                    stop = error == U_TRUNCATED_CHAR_FOUND ? Status::Incomplete : Status::Invalid;
                    ucnv_resetToUnicode(m_from);
                } else if (!last) {
                    UErrorCode ignored = U_ZERO_ERROR;
                    int32_t pending = ucnv_toUCountPending(m_from, &ignored);
                    if (pending > 0) {
                        usable = chunk - std::min(chunk, static_cast<size_t>(pending));
                        ucnv_resetToUnicode(m_from);
                    }
                }

                size_t producedAtChunk = step.produced;
                for (size_t i = 0; i < count;) {
                    size_t length = 1;
                    UChar32 c = m_units[i];
                    if (U16_IS_LEAD(c) && i + 1 < count && U16_IS_TRAIL(m_units[i + 1])) {
                        c = U16_GET_SUPPLEMENTARY(c, m_units[i + 1]);
                        length = 2;
                    }
                    int32_t offset = m_offsets[i];
                    Status status = put(c, m_units + i, length, output, capacity, step.produced);
                    if (status != Status::Ok) {
                        if (offset < 0) {
                            // No position for this unit: give the whole chunk back.
                            step.produced = producedAtChunk;
                            offset = 0;
                        }
                        step.consumed += static_cast<size_t>(offset);
                        step.status = status;
                        return step;
                    }
                    i += length;
                }
                step.consumed += usable;
                if (stop != Status::Ok) {
                    step.status = stop;
                    return step;
                }
                if (usable == 0)
                    break; // a pending sequence longer than a chunk cannot happen; never spin
            }
            return step;
        }

        Step finish(char*, size_t) override { return {}; }

        void reset() override
        {
            ucnv_reset(m_from);
            if (m_to)
                ucnv_reset(m_to);
        }

    private:
        static constexpr size_t kChunk = 4096;
        // ICU makes at most two units of one input byte.
        static constexpr size_t kUnits = 2 * kChunk;

        // Writes one code point to the output: UTF-8 directly, any other target
        // through its ICU converter.
        Status put(UChar32 c, const UChar* units, size_t length, char* output, size_t capacity, size_t& produced)
        {
            char encoded[32];
            size_t size = 0;
            if (!m_to) {
                if (U_IS_SURROGATE(c))
                    return Status::Invalid;
                U8_APPEND_UNSAFE(encoded, size, c);
            } else {
                char* target = encoded;
                const UChar* source = units;
                UErrorCode error = U_ZERO_ERROR;
                ucnv_fromUnicode(m_to, &target, encoded + sizeof encoded, &source, units + length, nullptr, true, &error);
                if (U_FAILURE(error)) {
                    ucnv_resetFromUnicode(m_to);
                    return Status::Invalid;
                }
                size = static_cast<size_t>(target - encoded);
            }
            if (capacity - produced < size)
                return Status::OutputFull;
            std::memcpy(output + produced, encoded, size);
            produced += size;
            return Status::Ok;
        }

        UConverter* m_from;
        UConverter* m_to; // null for UTF-8, which is written directly
        UChar m_units[kUnits];
        int32_t m_offsets[kUnits];
    };

    UConverter* openIcu(const std::string& name)
    {
        UErrorCode error = U_ZERO_ERROR;
        UConverter* converter = ucnv_open(name.c_str(), &error);
        if (U_FAILURE(error)) {
            if (converter)
                ucnv_close(converter);
            return nullptr;
        }
        return converter;
    }

} // namespace

TextConverter::TextConverter() = default;
TextConverter::~TextConverter() = default;
TextConverter::TextConverter(TextConverter&& other) noexcept = default;
TextConverter& TextConverter::operator=(TextConverter&& other) noexcept = default;

TextConverter::TextConverter(std::string_view from, std::string_view to)
{
    if (!acceptableName(from) || !acceptableName(to))
        return;
    std::string fromName(from);
    std::string toName(to);
    iconv_t cd = iconv_open(toName.c_str(), fromName.c_str());
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        m_state = std::make_unique<IconvState>(cd);
    } else {
        UConverter* source = openIcu(fromName);
        UConverter* target = nullptr;
        bool ok = source != nullptr;
        if (ok && !isUTF8Name(toName)) {
            target = openIcu(toName);
            ok = target != nullptr;
        }
        if (!ok) {
            if (source)
                ucnv_close(source);
            return;
        }
        m_state = std::make_unique<IcuState>(source, target);
    }
    m_state->from = std::move(fromName);
    m_state->to = std::move(toName);
}

TextConverter::Backend TextConverter::backend() const
{
    return m_state ? m_state->backend() : Backend::None;
}

std::string TextConverter::sourceNameForTesting() const
{
    return m_state ? m_state->from : std::string();
}

TextConverter::Step TextConverter::convert(std::string_view input, char* output, size_t capacity)
{
    if (!m_state)
        return { 0, 0, input.empty() ? Status::Ok : Status::Invalid };
    return m_state->convert(input, output, capacity);
}

TextConverter::Step TextConverter::finish(char* output, size_t capacity)
{
    return m_state ? m_state->finish(output, capacity) : Step {};
}

void TextConverter::reset()
{
    if (m_state)
        m_state->reset();
}

void TextConverter::close()
{
    m_state.reset();
}

TextConverter::Conversion TextConverter::convertAll(std::string_view input, bool lossy, size_t limit)
{
    Conversion result;
    if (!m_state) {
        result.status = input.empty() ? Status::Ok : Status::Invalid;
        return result;
    }
    std::string& text = result.text;
    text.resize(std::min(std::max<size_t>(input.size(), 16), limit));
    size_t used = 0;
    size_t position = 0;
    bool finishing = false;
    for (;;) {
        Step step = finishing ? finish(text.data() + used, text.size() - used)
                              : convert(input.substr(position), text.data() + used, text.size() - used);
        position += step.consumed;
        used += step.produced;
        if (step.status == Status::OutputFull) {
            if (text.size() >= limit) {
                result.status = Status::OutputFull;
                break;
            }
            size_t grown = text.size() + std::max<size_t>(1024, text.size() / 2);
            text.resize(std::min(std::max(grown, text.size()), limit));
            continue;
        }
        if (step.status == Status::Invalid && lossy && !finishing && position < input.size()) {
            ++position;
            ++result.dropped;
            continue;
        }
        if (step.status != Status::Ok) {
            result.status = step.status;
            break;
        }
        if (finishing)
            break;
        finishing = true;
    }
    result.offset = position;
    text.resize(used);
    reset();
    return result;
}

std::optional<std::string> TextConverter::convertText(std::string_view input, std::string_view from,
    std::string_view to)
{
    TextConverter converter(from, to);
    if (!converter)
        return std::nullopt;
    Conversion conversion = converter.convertAll(input);
    if (conversion.status != Status::Ok)
        return std::nullopt;
    return std::move(conversion.text);
}

bool TextConverter::isKnown(std::string_view name)
{
    return TextConverter(name, "UTF-8").isOpen();
}

} // namespace core
