#include "HTTP/AsyncSocketErrors.h"

#include "HTTP/AsyncSocket.h"
#include "Platform/Core/Localized.h"

#include <netdb.h>
#include <string>

core::Error AsyncSocketErrors::withCode(int64_t code)
{
    const char* key = "AsyncSocketCFSocketError";
    const char* text = "General CFSocket error";
    switch (code) {
    case AsyncSocket::CanceledError:
        key = "AsyncSocketCanceledError";
        text = "Connection canceled";
        break;
    case AsyncSocket::ReadTimeoutError:
        key = "AsyncSocketReadTimeoutError";
        text = "Read operation timed out";
        break;
    case AsyncSocket::WriteTimeoutError:
        key = "AsyncSocketWriteTimeoutError";
        text = "Write operation timed out";
        break;
    default:
        break;
    }
    std::string description = core::localized(key, "AsyncSocket");
    if (description == key)
        description = text;
    return core::Error(AsyncSocket::ErrorDomain, code, description);
}

core::Error AsyncSocketErrors::fromStream(const net::SocketStream::Error& error)
{
    switch (error.domain) {
    case net::SocketStream::ErrorDomain::None:
        return {};
    case net::SocketStream::ErrorDomain::POSIX:
        return core::Error::posix(static_cast<int>(error.code));
    case net::SocketStream::ErrorDomain::NetDB:
        return fromResolver(error.code);
    case net::SocketStream::ErrorDomain::SSL:
        return core::Error("kCFStreamErrorDomainSSL", error.code);
    }
    return core::Error("CFStreamError (unlisted domain)", error.code);
}

core::Error AsyncSocketErrors::fromResolver(int64_t code)
{
    return core::Error("kCFStreamErrorDomainNetDB", code, gai_strerror(static_cast<int>(code)));
}
