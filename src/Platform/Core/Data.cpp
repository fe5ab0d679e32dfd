#include "Platform/Core/Data.h"

#include <algorithm>
#include <cstdint>
#include <fmt/format.h>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace core {

struct Data::Storage {
    std::string owned;
    void* mapping = nullptr;
    size_t mappingLength = 0;

    ~Storage()
    {
        if (mapping)
            munmap(mapping, mappingLength);
    }
    const uint8_t* bytes() const
    {
        return mapping ? static_cast<const uint8_t*>(mapping) : reinterpret_cast<const uint8_t*>(owned.data());
    }
};

Data::Data(const void* bytes, size_t length)
    : Data(std::string(static_cast<const char*>(bytes), length))
{
}

Data::Data(std::string bytes)
{
    m_length = bytes.size();
    auto storage = std::make_shared<Storage>();
    storage->owned = std::move(bytes);
    m_storage = std::move(storage);
}

Data Data::adoptMapping(void* address, size_t length)
{
    Data data;
    auto storage = std::make_shared<Storage>();
    storage->mapping = address;
    storage->mappingLength = length;
    data.m_storage = std::move(storage);
    data.m_length = length;
    return data;
}

const uint8_t* Data::bytes() const
{
    static const uint8_t empty = 0;
    return m_storage ? m_storage->bytes() + m_offset : &empty;
}

size_t Data::size() const
{
    return m_length;
}

void Data::releaseResidentPages(size_t offset, size_t length) const
{
    if (!m_storage || !m_storage->mapping || offset >= m_length)
        return;
    length = std::min(length, m_length - offset);
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    // The mapping starts on a page, so the page holding the first byte is
    // its own; the last one is rounded up within it.
    uintptr_t start = reinterpret_cast<uintptr_t>(bytes() + offset) & ~(page - 1);
    uintptr_t end = reinterpret_cast<uintptr_t>(bytes() + offset + length);
    madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

std::string Data::description() const
{
    std::string text = "<";
    for (size_t i = 0; i < m_length; ++i) {
        if (i && i % 4 == 0)
            text += ' ';
        text += fmt::format("{:02x}", bytes()[i]);
    }
    text += '>';
    return text;
}

} // namespace core
