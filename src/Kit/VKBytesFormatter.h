#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Byte counts as the short texts shown for file sizes, free space, quotas
// and transfers everywhere in the interface and on the browser page:
// "102 B", "0.1 KB", "1023 KB", "1.5 MB", "1.50 GB". The units come from the
// default string table, so a translation can replace them (except the "KB"
// of a count of 0). One shared formatter serves the whole process.
class VKBytesFormatter {
public:
    static VKBytesFormatter& sharedFormatter();

    VKBytesFormatter() = default;

    // When set (the default), a fraction of only zeros is dropped: "1.0 MB"
    // reads "1 MB", "1.00 GB" reads "1 GB"; "1.50 GB" stays.
    bool stripZeros() const { return m_stripZeros.load(std::memory_order_relaxed); }
    void setStripZeros(bool strip) { m_stripZeros.store(strip, std::memory_order_relaxed); }

    std::string formatBytesAsString(uint64_t bytes) const;

private:
    std::atomic<bool> m_stripZeros { true };
};
