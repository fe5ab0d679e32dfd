#include "HTTP/AsyncWritePacket.h"

AsyncWritePacket::AsyncWritePacket(core::Data buffer, size_t chunkSize, double timeout, long tag)
    : AsyncPacket(timeout, tag)
    , buffer(std::move(buffer))
    , chunkSize(chunkSize)
{
}

size_t AsyncWritePacket::nextLength() const
{
    const size_t rest = buffer.size() - static_cast<size_t>(bytesDone);
    return chunkSize >= 1 && chunkSize < rest ? chunkSize : rest;
}
