#include "FileModel/VKZipCentralDirectory.h"

#include "FileModel/ZipBytes.h"
#include "Platform/Core/Descriptor.h"
#include "Platform/Core/UTF8.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

using zipbytes::le16;
using zipbytes::le32;
using zipbytes::le64;
using core::readAt;

constexpr uint32_t EndSignature = 0x06054b50;
constexpr uint32_t Zip64LocatorSignature = 0x07064b50;
constexpr uint32_t Zip64EndSignature = 0x06064b50;
constexpr uint32_t CentralSignature = 0x02014b50;
constexpr size_t EndRecordSize = 22;
constexpr size_t Zip64LocatorSize = 20;
constexpr size_t Zip64EndSize = 56;
constexpr size_t CentralRecordSize = 46;
constexpr uint16_t Zip64ExtraId = 0x0001;
constexpr uint32_t Unset32 = 0xffffffff;
// How far from the end minizip looks for the end records.
constexpr uint64_t SearchSpan = 0xffff;
// The central directory is read in pieces of this size, plus one record.
constexpr size_t ReadPiece = 256 * 1024;

bool add(uint64_t a, uint64_t b, uint64_t& sum)
{
    return !__builtin_add_overflow(a, b, &sum);
}

// The highest position of a record signature in the tail. An end record at
// the file's very start is an archive without entries (22 bytes).
std::optional<uint64_t> lastSignature(const std::vector<unsigned char>& tail, uint64_t tailStart, uint32_t signature)
{
    for (size_t i = tail.size() >= 4 ? tail.size() - 4 + 1 : 0; i-- > 0;) {
        if (le32(tail.data() + i) == signature)
            return tailStart + i;
    }
    return std::nullopt;
}

// Reads a central directory of known extent record by record, keeping no
// more than a piece and one record in memory.
class PieceReader {
public:
    PieceReader(int fd, uint64_t start, uint64_t size) : m_fd(fd), m_position(start), m_end(start + size) { }

    uint64_t remaining() const { return m_end - m_position; }
    // The next `length` bytes, or null when they are not all there.
    const unsigned char* peek(size_t length)
    {
        if (length > remaining())
            return nullptr;
        if (m_bufferStart + m_buffer.size() < m_position + length || m_position < m_bufferStart) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(remaining(), ReadPiece + length));
            m_buffer.resize(want);
            if (!readAt(m_fd, m_buffer.data(), want, m_position))
                return nullptr;
            m_bufferStart = m_position;
        }
        return m_buffer.data() + (m_position - m_bufferStart);
    }
    void skip(size_t length) { m_position += length; }

private:
    int m_fd;
    uint64_t m_position;
    uint64_t m_end;
    uint64_t m_bufferStart = 0;
    std::vector<unsigned char> m_buffer;
};

// Replaces the sizes and offset that the record marks as unset with those of
// its zip64 extra block, in the order the format gives them. False when the
// block promises a value it does not hold.
bool readZip64Extra(const unsigned char* extra, size_t length, uint64_t& uncompressed, uint64_t& compressed,
    uint64_t& offset)
{
    size_t at = 0;
    while (at + 4 <= length) {
        const uint16_t id = le16(extra + at);
        const size_t blockSize = le16(extra + at + 2);
        if (at + 4 + blockSize > length)
            return id != Zip64ExtraId;
        if (id == Zip64ExtraId) {
            const unsigned char* field = extra + at + 4;
            size_t left = blockSize;
            for (uint64_t* value : { &uncompressed, &compressed, &offset }) {
                if (*value != Unset32)
                    continue;
                if (left < 8)
                    return false;
                *value = le64(field);
                field += 8;
                left -= 8;
            }
        }
        at += 4 + blockSize;
    }
    return true;
}

// The UTF-8 name of an Info-ZIP Unicode Path block (0x7075: version 1, the
// CRC-32 of the stored name, the name) that belongs to the stored name;
// empty when there is none or it is stale or malformed.
std::string unicodePathName(const unsigned char* extra, size_t length, const std::string& rawName)
{
    auto block = zipbytes::extraBlock(extra, length, 0x7075);
    if (!block || block->size <= 5 || block->data[0] != 1
        || le32(block->data + 1)
            != crc32_z(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(rawName.data()), rawName.size()))
        return {};
    std::string name(reinterpret_cast<const char*>(block->data + 5), block->size - 5);
    return core::utf8::isValid(name) ? name : std::string();
}

} // namespace

std::optional<VKZipCentralDirectory> VKZipCentralDirectory::read(int fd)
{
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    const auto fileSize = static_cast<uint64_t>(status.st_size);
    if (fileSize < EndRecordSize)
        return std::nullopt;

    const uint64_t tailStart = fileSize - std::min(fileSize, SearchSpan);
    std::vector<unsigned char> tail(fileSize - tailStart);
    if (!readAt(fd, tail.data(), tail.size(), tailStart))
        return std::nullopt;

    VKZipCentralDirectory directory;
    uint64_t declaredCount = 0;
    uint64_t declaredOffset = 0;
    uint64_t recordPosition = 0;

    // A zip64 locator anywhere in the tail wins, as with minizip.
    std::optional<uint64_t> zip64Record;
    if (auto locator = lastSignature(tail, tailStart, Zip64LocatorSignature);
        locator && *locator + Zip64LocatorSize <= fileSize) {
        const unsigned char* p = tail.data() + (*locator - tailStart);
        const uint64_t position = le64(p + 8);
        std::array<unsigned char, Zip64EndSize> record {};
        if (le32(p + 4) == 0 && le32(p + 16) == 1 && position <= fileSize - Zip64EndSize
            && readAt(fd, record.data(), record.size(), position) && le32(record.data()) == Zip64EndSignature)
            zip64Record = position;
        if (zip64Record) {
            const unsigned char* r = record.data();
            declaredCount = le64(r + 24);
            if (le32(r + 16) != 0 || le32(r + 20) != 0 || le64(r + 32) != declaredCount)
                return std::nullopt;
            directory.m_size = le64(r + 40);
            declaredOffset = le64(r + 48);
            recordPosition = *zip64Record;
            directory.m_zip64 = true;
        }
    }
    auto end = lastSignature(tail, tailStart, EndSignature);
    if (!end || *end + EndRecordSize > fileSize)
        return std::nullopt;
    directory.m_endRecordPosition = *end;
    if (!zip64Record) {
        const unsigned char* p = tail.data() + (*end - tailStart);
        declaredCount = le16(p + 10);
        if (le16(p + 4) != 0 || le16(p + 6) != 0 || le16(p + 8) != declaredCount)
            return std::nullopt;
        directory.m_size = le32(p + 12);
        declaredOffset = le32(p + 16);
        recordPosition = *end;
    }

    // Data before the archive (a self-extracting stub) moves every offset.
    uint64_t declaredEnd = 0;
    if (!add(declaredOffset, directory.m_size, declaredEnd) || declaredEnd > recordPosition)
        return std::nullopt;
    const uint64_t shift = recordPosition - declaredEnd;
    directory.m_start = declaredOffset + shift;

    PieceReader reader(fd, directory.m_start, directory.m_size);
    directory.m_entries.reserve(static_cast<size_t>(std::min(declaredCount, directory.m_size / CentralRecordSize)));
    uint64_t declaredPosition = declaredOffset;
    while (reader.remaining() >= CentralRecordSize) {
        const unsigned char* p = reader.peek(CentralRecordSize);
        if (!p || le32(p) != CentralSignature)
            break;
        Entry entry;
        entry.versionMadeBy = le16(p + 4);
        entry.flags = le16(p + 8);
        entry.method = le16(p + 10);
        entry.dosDate = le32(p + 12);
        entry.crc = le32(p + 16);
        entry.compressedSize = le32(p + 20);
        entry.uncompressedSize = le32(p + 24);
        const size_t nameLength = le16(p + 28);
        const size_t extraLength = le16(p + 30);
        const size_t commentLength = le16(p + 32);
        entry.externalAttributes = le32(p + 38);
        uint64_t offset = le32(p + 42);
        const size_t recordLength = CentralRecordSize + nameLength + extraLength + commentLength;
        p = reader.peek(recordLength);
        if (!p)
            return std::nullopt;
        entry.rawName.assign(reinterpret_cast<const char*>(p + CentralRecordSize), nameLength);
        entry.times = zipbytes::extraTimes(p + CentralRecordSize + nameLength, extraLength, entry.dosDate);
        entry.unicodeName = unicodePathName(p + CentralRecordSize + nameLength, extraLength, entry.rawName);
        if (!readZip64Extra(p + CentralRecordSize + nameLength, extraLength, entry.uncompressedSize,
                entry.compressedSize, offset)
            || !add(offset, shift, entry.localHeaderOffset))
            return std::nullopt;
        entry.centralOffset = declaredPosition;
        declaredPosition += recordLength;
        reader.skip(recordLength);
        directory.m_entries.push_back(std::move(entry));
    }

    // Writers that pass 65,535 entries without zip64 records leave the
    // count cut to 16 bits or at its largest value.
    const uint64_t count = directory.m_entries.size();
    const bool countFits = count == declaredCount
        || (!directory.m_zip64 && (declaredCount == 0xffff || declaredCount == (count & 0xffff)) && count > 0xffff);
    if (!countFits)
        return std::nullopt;
    directory.findOverlaps();
    return directory;
}

void VKZipCentralDirectory::findOverlaps()
{
    std::vector<size_t> order(m_entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&](size_t a, size_t b) { return m_entries[a].localHeaderOffset < m_entries[b].localHeaderOffset; });
    for (size_t i = 0; i < order.size(); ++i) {
        Entry& entry = m_entries[order[i]];
        entry.dataLimit = i + 1 < order.size() ? m_entries[order[i + 1]].localHeaderOffset : m_start;
        uint64_t spanEnd = 0;
        if (!add(entry.localHeaderOffset, entry.minimumSpan(), spanEnd) || spanEnd > entry.dataLimit
            || entry.localHeaderOffset > m_start)
            m_overlapping = std::min(m_overlapping.value_or(order[i]), order[i]);
    }
}
