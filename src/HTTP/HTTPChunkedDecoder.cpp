#include "HTTP/HTTPChunkedDecoder.h"

#include "Platform/Core/ASCII.h"

#include <algorithm>
#include <cstring>

size_t HTTPChunkedDecoder::fail(size_t consumed)
{
    m_state = State::Failed;
    m_line = std::string();
    return consumed;
}

size_t HTTPChunkedDecoder::decode(std::string_view input, std::string& output)
{
    size_t at = 0;
    while (at < input.size()) {
        switch (m_state) {
        case State::SizeLine: {
            const void* found = std::memchr(input.data() + at, '\n', input.size() - at);
            const size_t end = found ? static_cast<size_t>(static_cast<const char*>(found) - input.data()) : input.size();
            if (m_line.size() + (end - at) > MaxSizeLine + 1)
                return fail(at);
            m_line.append(input.substr(at, end - at));
            if (!found)
                return input.size();
            at = end + 1;
            // The line must end with CR LF.
            if (m_line.empty() || m_line.back() != '\r')
                return fail(at);
            m_line.pop_back();
            auto size = chunkSize(m_line);
            m_line.clear();
            if (!size)
                return fail(at);
            if (*size == 0) {
                m_state = State::Done;
                return at;
            }
            m_remaining = *size;
            m_state = State::Data;
            break;
        }
        case State::Data: {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(m_remaining, input.size() - at));
            output.append(input.substr(at, take));
            at += take;
            m_remaining -= take;
            m_decodedLength += take;
            if (m_remaining == 0)
                m_state = State::DataCR;
            break;
        }
        case State::DataCR:
            if (input[at] != '\r')
                return fail(at);
            ++at;
            m_state = State::DataLF;
            break;
        case State::DataLF:
            if (input[at] != '\n')
                return fail(at);
            ++at;
            m_state = State::SizeLine;
            break;
        case State::Done:
        case State::Failed:
            return at;
        }
    }
    return at;
}

std::optional<uint64_t> HTTPChunkedDecoder::chunkSize(std::string_view line)
{
    if (line.size() > MaxSizeLine)
        return std::nullopt;
    uint64_t size = 0;
    size_t at = 0;
    for (; at < line.size(); ++at) {
        const int digit = core::ascii::hexDigitValue(line[at]);
        if (digit < 0)
            break;
        if (size > (MaxChunkSize - static_cast<uint64_t>(digit)) / 16)
            return std::nullopt;
        size = size * 16 + static_cast<uint64_t>(digit);
    }
    if (at == 0)
        return std::nullopt;
    // Blanks, then an extension ("; name=value"), or nothing.
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    if (at < line.size() && line[at] != ';')
        return std::nullopt;
    // Control characters have no place in an extension.
    for (; at < line.size(); ++at) {
        const auto c = static_cast<unsigned char>(line[at]);
        if ((c < 0x20 && c != '\t') || c == 0x7F)
            return std::nullopt;
    }
    return size;
}
