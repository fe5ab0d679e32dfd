#pragma once

#include "FileModel/ZipBytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The central directory of a zip archive, read once into memory: what the
// listing, the size sums, the search by name and the extraction need of each
// entry, and where its data may lie. The end records are found as minizip
// finds them (the last signatures within the final 64 KiB, data prepended to
// the archive allowed), so that an entry's declared position here is the one
// minizip's unzSetOffset64 takes; an end record alone (22 bytes) is an
// archive without entries.
//
// Outside input: every length is checked against the file before it is used,
// the number of records is bounded by the directory's size, and a directory
// that does not parse whole gives nothing.
class VKZipCentralDirectory {
public:
    struct Entry {
        std::string rawName; // the stored bytes, not yet decoded
        // The name in UTF-8 that a Unicode Path extra field gives for these
        // very bytes (its CRC-32 matches them); empty when there is none.
        std::string unicodeName;
        uint64_t centralOffset = 0; // the record's declared position
        uint64_t localHeaderOffset = 0; // position in the file
        uint64_t compressedSize = 0;
        uint64_t uncompressedSize = 0;
        // Where this entry's bytes must end: the next local header in the
        // file, or the central directory.
        uint64_t dataLimit = 0;
        uint32_t crc = 0;
        uint32_t dosDate = 0;
        // From the extra field, where it holds them.
        zipbytes::ExtraTimes times;
        uint32_t externalAttributes = 0;
        uint16_t versionMadeBy = 0;
        uint16_t flags = 0;
        uint16_t method = 0;

        bool isEncrypted() const { return (flags & 0x1) != 0; }
        // Whether a Unix tool made the entry: its names are the system's
        // bytes, its external attributes hold a mode.
        bool madeOnUnix() const { return (versionMadeBy >> 8) == 3; }
        // The least a well-formed entry occupies from its local header on.
        uint64_t minimumSpan() const { return 30 + rawName.size() + compressedSize; }
    };

    // Nothing when the file holds no well-formed central directory.
    static std::optional<VKZipCentralDirectory> read(int fd);

    const std::vector<Entry>& entries() const { return m_entries; }
    // The position of the directory in the file, and of its end record.
    uint64_t start() const { return m_start; }
    uint64_t size() const { return m_size; }
    uint64_t endRecordPosition() const { return m_endRecordPosition; }
    bool hasZip64EndRecord() const { return m_zip64; }

    // The first entry (in archive order) whose least span runs into another
    // entry's local header or into the central directory: two entries
    // sharing compressed data, the overlap bomb. Nothing when none does.
    std::optional<size_t> overlappingEntry() const { return m_overlapping; }

private:
    VKZipCentralDirectory() = default;
    void findOverlaps();

    std::vector<Entry> m_entries;
    uint64_t m_start = 0;
    uint64_t m_size = 0;
    uint64_t m_endRecordPosition = 0;
    bool m_zip64 = false;
    std::optional<size_t> m_overlapping;
};
