#include "Viewers/Text/VKTextFile.h"

#include "Platform/Core/RegularFile.h"

#include <algorithm>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex textFileHookMutex;
VKTextFile::ChunkHook& chunkHook()
{
    static VKTextFile::ChunkHook hook;
    return hook;
}

} // namespace

VKTextFile::VKTextFile(const std::string& path, const std::string& home) : m_path(path)
{
    auto file = core::fs::openRegularFileWithin(path, home, &m_openError);
    if (!file)
        return;
    m_size = size_t(file->size);
    m_fd = file->fd.release();
}

VKTextFile::~VKTextFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

size_t VKTextFile::read(size_t offset, size_t length, std::string& into) const
{
    if (m_fd < 0 || offset >= m_size)
        return 0;
    return core::fs::readAt(m_fd, offset, std::min(length, m_size - offset), into);
}

core::Data VKTextFile::readAll() const
{
    std::string bytes;
    bytes.reserve(m_size);
    for (size_t offset = 0; offset < m_size;) {
        size_t got = read(offset, ChunkSize, bytes);
        if (got == 0)
            break;
        offset += got;
    }
    return core::Data(std::move(bytes));
}

void VKTextFile::setChunkHookForTesting(ChunkHook hook)
{
    std::lock_guard lock(textFileHookMutex);
    chunkHook() = std::move(hook);
}

void VKTextFile::chunkDidRead(size_t chunk) const
{
    ChunkHook hook;
    {
        std::lock_guard lock(textFileHookMutex);
        hook = chunkHook();
    }
    if (hook)
        hook(m_path, chunk);
}
