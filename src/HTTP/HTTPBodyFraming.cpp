#include "HTTP/HTTPBodyFraming.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Net/HttpMessage.h"

HTTPBodyFraming HTTPBodyFraming::forRequest(const net::HttpMessage& head)
{
    auto transferEncoding = head.header("Transfer-Encoding");
    auto contentLength = head.header("Content-Length");
    return forHeaders(transferEncoding ? std::optional<std::string_view>(*transferEncoding) : std::nullopt,
        contentLength ? std::optional<std::string_view>(*contentLength) : std::nullopt);
}

HTTPBodyFraming HTTPBodyFraming::forHeaders(std::optional<std::string_view> transferEncoding,
    std::optional<std::string_view> contentLength)
{
    HTTPBodyFraming framing;
    if (transferEncoding) {
        // Only chunked is understood, and only alone: any other coding (or a
        // second chunked) would leave the body's end to a decoder this
        // server does not have.
        if (!core::ascii::equalIgnoringCase(core::ascii::trimmed(*transferEncoding), "chunked")) {
            framing.refusal = 501;
            return framing;
        }
        framing.kind = Kind::Chunked;
        framing.closeAfterAnswer = contentLength.has_value();
        return framing;
    }
    if (!contentLength)
        return framing;
    auto length = HTTPBodyFraming::contentLength(*contentLength);
    if (!length) {
        framing.refusal = 400;
        return framing;
    }
    framing.length = *length;
    framing.kind = *length > 0 ? Kind::Length : Kind::None;
    return framing;
}

std::optional<uint64_t> HTTPBodyFraming::contentLength(std::string_view value)
{
    std::optional<uint64_t> length;
    for (;;) {
        const size_t comma = value.find(',');
        auto element = decimalLength(core::ascii::trimmed(value.substr(0, comma)));
        if (!element || (length && *length != *element))
            return std::nullopt;
        length = element;
        if (comma == std::string_view::npos)
            return length;
        value.remove_prefix(comma + 1);
    }
}

std::optional<uint64_t> HTTPBodyFraming::decimalLength(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (value > (MaxLength - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}
