#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace core {

// An immutable run of bytes: owned bytes or a read-only file mapping.
// Copies share the bytes.
class Data {
public:
    Data() = default;
    Data(const void* bytes, size_t length);
    explicit Data(std::string bytes);
    explicit Data(std::string_view bytes) : Data(bytes.data(), bytes.size()) { }

    // Takes ownership of a read-only mapping of a file made with mmap(2); it
    // is unmapped when the last copy goes away.
    static Data adoptMapping(void* address, size_t length);

    const uint8_t* bytes() const;
    const char* chars() const { return reinterpret_cast<const char*>(bytes()); }
    size_t size() const;
    bool empty() const { return size() == 0; }
    std::string_view view() const { return { chars(), size() }; }
    std::string toString() const { return std::string(view()); }
    // A file mapping lets go of the pages it holds of these bytes, so that a
    // large file read through once stays out of the resident memory (they
    // come back from the file when read again); owned bytes stay.
    void releaseResidentPages(size_t offset, size_t length) const;

    // Lower-case hex "<0a0b 0c0d>" as the device prints data.
    std::string description() const;

    bool operator==(const Data& other) const { return view() == other.view(); }

private:
    struct Storage;
    std::shared_ptr<const Storage> m_storage;
    size_t m_offset = 0;
    size_t m_length = 0;
};

} // namespace core
