#pragma once

#include <cstdint>
#include <map>
#include <string>

// Byte counts by cloud path, with their sum kept as they change: an
// operation over thousands of items reports its progress at every event
// without adding them all up again.
class VKCloudByteCounts {
public:
    // The count of `path`, or nullptr.
    const uint64_t* find(const std::string& path) const;
    bool contains(const std::string& path) const { return m_bytes.count(path) != 0; }
    void set(const std::string& path, uint64_t bytes);
    void erase(const std::string& path);
    void clear();
    // The sum, saturating instead of wrapping.
    uint64_t total() const;

private:
    std::map<std::string, uint64_t, std::less<>> m_bytes;
    unsigned __int128 m_total = 0;
};
