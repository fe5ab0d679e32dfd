#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Net/SocketStream.h"

#include <cstdint>

// The errors the socket hands its delegate: its own, in
// "AsyncSocketErrorDomain" with their texts from the "AsyncSocket" string
// table; a stream's, by the stream's error domain; and the resolver's, in
// "kCFStreamErrorDomainNetDB" with the resolver's text (the connection
// compares these domains' names).
class AsyncSocketErrors {
public:
    static core::Error withCode(int64_t code);
    static core::Error fromStream(const net::SocketStream::Error& error);
    static core::Error fromResolver(int64_t code);
};
