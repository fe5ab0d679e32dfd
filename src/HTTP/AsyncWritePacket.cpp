#include "HTTP/AsyncWritePacket.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

AsyncWritePacket::AsyncWritePacket(core::Data buffer, size_t chunkSize, double timeout, long tag)
    : AsyncPacket(timeout, tag)
    , buffer(std::move(buffer))
    , chunkSize(chunkSize)
{
}

AsyncWritePacket::AsyncWritePacket(int fileDescriptor, uint64_t offset, uint64_t length, double timeout, long tag, bool take)
    : AsyncPacket(timeout, tag)
    , fileOffset(offset)
    , fileLength(length)
{
    this->fileDescriptor = take ? fileDescriptor : fcntl(fileDescriptor, F_DUPFD_CLOEXEC, 0);
    if (this->fileDescriptor < 0)
        fileError = errno ? errno : EBADF;
}

AsyncWritePacket::~AsyncWritePacket()
{
    if (fileDescriptor >= 0)
        ::close(fileDescriptor);
}

size_t AsyncWritePacket::nextLength() const
{
    const uint64_t rest = length() - bytesDone;
    if (isFile())
        // sendfile(2) moves at most about 2 GiB per call.
        return static_cast<size_t>(std::min<uint64_t>(rest, 0x7ffff000));
    return chunkSize >= 1 && chunkSize < rest ? chunkSize : static_cast<size_t>(rest);
}
