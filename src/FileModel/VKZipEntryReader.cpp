#include "FileModel/VKZipEntryReader.h"

#include "FileModel/ZipBytes.h"
#include "Platform/Core/Descriptor.h"
#include "Platform/Core/Log.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

using zipbytes::le16;
using zipbytes::le32;
using core::readAt;

// Compressed data is read in pieces of this size; the first read takes the
// local header with it, so a small entry costs one read.
constexpr size_t InputSize = 64 * 1024;
constexpr size_t LocalHeaderSize = 30;
constexpr uint32_t LocalSignature = 0x04034b50;
constexpr uint32_t EntryUnset32 = 0xffffffff;
constexpr size_t EncryptionHeaderSize = 12;
constexpr uint16_t FlagDataDescriptor = 0x8;
constexpr uint16_t FlagStrongEncryption = 0x40;
constexpr uint16_t MethodStored = 0;
constexpr uint16_t MethodDeflated = 8;
constexpr uint16_t MethodBzip2 = 12;

// The traditional PKWARE stream cipher.
class TraditionalCipher {
public:
    explicit TraditionalCipher(const std::string& password)
    {
        for (unsigned char c : password)
            update(c);
    }
    void decrypt(unsigned char* bytes, size_t length)
    {
        for (size_t i = 0; i < length; ++i) {
            const uint32_t t = (m_keys[2] | 2) & 0xffff;
            bytes[i] = static_cast<unsigned char>(bytes[i] ^ (((t * (t ^ 1)) >> 8) & 0xff));
            update(bytes[i]);
        }
    }

private:
    static uint32_t crc32Step(uint32_t crc, unsigned char c)
    {
        static const z_crc_t* table = get_crc_table();
        return table[(crc ^ c) & 0xff] ^ (crc >> 8);
    }
    void update(unsigned char c)
    {
        m_keys[0] = crc32Step(m_keys[0], c);
        m_keys[1] = (m_keys[1] + (m_keys[0] & 0xff)) * 134775813u + 1;
        m_keys[2] = crc32Step(m_keys[2], static_cast<unsigned char>(m_keys[1] >> 24));
    }

    std::array<uint32_t, 3> m_keys { 0x12345678, 0x23456789, 0x34567890 };
};

// Whether the local header tells what the central record does, as far as
// it has to (sizes and CRC may follow the data, or sit in zip64 fields).
bool agrees(const unsigned char* local, const VKZipCentralDirectory::Entry& entry)
{
    if (le32(local) != LocalSignature || le16(local + 8) != entry.method || le16(local + 26) != entry.rawName.size())
        return false;
    if ((le16(local + 6) & FlagDataDescriptor) != 0)
        return true;
    const uint32_t compressed = le32(local + 18);
    const uint32_t uncompressed = le32(local + 22);
    return le32(local + 14) == entry.crc && (compressed == EntryUnset32 || compressed == entry.compressedSize)
        && (uncompressed == EntryUnset32 || uncompressed == entry.uncompressedSize);
}

} // namespace

struct VKZipEntryReader::State {
    int fd = -1;
    VKZipCentralDirectory::Entry entry;
    // The stored bytes still in the file, from `position` on.
    uint64_t position = 0;
    uint64_t remaining = 0;
    // Stored bytes read and decrypted, from `consumed` on not yet used.
    std::vector<unsigned char> input;
    size_t consumed = 0;
    bool failed = false;
    uint64_t produced = 0;
    uLong crc = crc32(0, nullptr, 0);

    zipbytes::ExtraTimes localTimes;
    std::optional<TraditionalCipher> cipher;
    bool streamEnded = false;
    bool inflateReady = false;
    bool bzip2Ready = false;
    z_stream inflater {};
    bz_stream expander {};

    ~State()
    {
        if (inflateReady)
            inflateEnd(&inflater);
        if (bzip2Ready)
            BZ2_bzDecompressEnd(&expander);
    }

    size_t available() const { return input.size() - consumed; }

    // Takes the next piece from the file once the input is used up; false
    // on a read failure. Nothing more comes once the stored bytes are read.
    bool load()
    {
        if (available() > 0 || remaining == 0)
            return true;
        input.resize(static_cast<size_t>(std::min<uint64_t>(InputSize, remaining)));
        if (!readAt(fd, input.data(), input.size(), position)) {
            core::log("Warning, zip entry data ends early");
            return false;
        }
        position += input.size();
        remaining -= input.size();
        consumed = 0;
        if (cipher)
            cipher->decrypt(input.data(), input.size());
        return true;
    }

    // Up to `capacity` stored bytes; 0 at their end, -1 on a failure.
    long take(unsigned char* buffer, size_t capacity)
    {
        if (!load())
            return -1;
        const size_t count = std::min(capacity, available());
        std::memcpy(buffer, input.data() + consumed, count);
        consumed += count;
        return static_cast<long>(count);
    }

    // Decompressed bytes into the buffer; 0 once the stream has ended.
    long expand(char* buffer, size_t capacity)
    {
        size_t filled = 0;
        while (filled < capacity && !streamEnded) {
            if (!load())
                return -1;
            const size_t inBefore = available();
            const size_t filledBefore = filled;
            unsigned char* next = input.data() + consumed;
            if (entry.method == MethodDeflated) {
                inflater.next_in = next;
                inflater.avail_in = static_cast<uInt>(inBefore);
                inflater.next_out = reinterpret_cast<Bytef*>(buffer + filled);
                inflater.avail_out = static_cast<uInt>(capacity - filled);
                const int status = inflate(&inflater, Z_NO_FLUSH);
                if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                    return -1;
                streamEnded = status == Z_STREAM_END;
                consumed += inBefore - inflater.avail_in;
                filled = capacity - inflater.avail_out;
            } else {
                expander.next_in = reinterpret_cast<char*>(next);
                expander.avail_in = static_cast<unsigned>(inBefore);
                expander.next_out = buffer + filled;
                expander.avail_out = static_cast<unsigned>(capacity - filled);
                const int status = BZ2_bzDecompress(&expander);
                if (status != BZ_OK && status != BZ_STREAM_END)
                    return -1;
                streamEnded = status == BZ_STREAM_END;
                consumed += inBefore - expander.avail_in;
                filled = capacity - expander.avail_out;
            }
            // After a load only the end of the stored bytes leaves nothing to take.
            if (!streamEnded && available() == inBefore && filled == filledBefore) {
                core::log("Warning, zip entry data ends early");
                return -1;
            }
        }
        return static_cast<long>(filled);
    }

    // The local header, and with it the first stored bytes.
    bool start(const std::optional<std::string>& password)
    {
        uint64_t span = 0;
        if (entry.dataLimit < entry.localHeaderOffset
            || (span = entry.dataLimit - entry.localHeaderOffset) < LocalHeaderSize)
            return outside();
        input.resize(static_cast<size_t>(std::min<uint64_t>(span, InputSize)));
        if (!readAt(fd, input.data(), input.size(), entry.localHeaderOffset))
            return false;
        if (!agrees(input.data(), entry)) {
            core::log("Warning, zip entry does not match its central record");
            return false;
        }
        const uint64_t header = LocalHeaderSize + le16(input.data() + 26) + le16(input.data() + 28);
        if (header > span || entry.compressedSize > span - header)
            return outside();
        if (header <= input.size()) {
            const size_t extraStart = LocalHeaderSize + le16(input.data() + 26);
            localTimes = zipbytes::extraTimes(input.data() + extraStart, header - extraStart, entry.dosDate);
        }
        // The input keeps the header and no more than the entry's own data.
        const auto kept = static_cast<size_t>(
            std::min<uint64_t>(header + entry.compressedSize, std::max<uint64_t>(input.size(), header)));
        if (kept > input.size()) {
            const size_t read = input.size();
            input.resize(kept);
            if (!readAt(fd, input.data() + read, kept - read, entry.localHeaderOffset + read))
                return false;
        }
        input.resize(kept);
        consumed = static_cast<size_t>(header);
        position = entry.localHeaderOffset + kept;
        remaining = entry.compressedSize - (kept - header);
        if (entry.isEncrypted()) {
            cipher.emplace(*password);
            cipher->decrypt(input.data() + consumed, available());
            if (!checkPassword())
                return false;
        }
        if (entry.method == MethodDeflated) {
            if (inflateInit2(&inflater, -MAX_WBITS) != Z_OK)
                return false;
            inflateReady = true;
        } else if (entry.method == MethodBzip2) {
            if (BZ2_bzDecompressInit(&expander, 0, 0) != BZ_OK)
                return false;
            bzip2Ready = true;
        }
        return true;
    }

    bool outside() const
    {
        core::log("Warning, zip entry data lies outside its own part of the archive");
        return false;
    }

    bool checkPassword()
    {
        std::array<unsigned char, EncryptionHeaderSize> header {};
        for (size_t got = 0; got < header.size();) {
            long count = take(header.data() + got, header.size() - got);
            if (count <= 0)
                return false;
            got += static_cast<size_t>(count);
        }
        // With a data descriptor the CRC is not known when the header is
        // written, so the check byte is the time's high byte.
        const auto check = static_cast<unsigned char>(
            (entry.flags & FlagDataDescriptor) != 0 ? (entry.dosDate >> 8) & 0xff : (entry.crc >> 24) & 0xff);
        if (header.back() != check) {
            core::log("Warning, wrong password for zip entry");
            return false;
        }
        return true;
    }
};

bool VKZipEntryReader::supportsMethod(uint16_t method)
{
    return method == MethodStored || method == MethodDeflated || method == MethodBzip2;
}

std::unique_ptr<VKZipEntryReader> VKZipEntryReader::open(int fd, const VKZipCentralDirectory::Entry& entry,
    const std::optional<std::string>& password)
{
    if (!supportsMethod(entry.method) || (entry.flags & FlagStrongEncryption) != 0) {
        core::log("Warning, unsupported zip encryption or compression method {}", entry.method);
        return nullptr;
    }
    if (entry.isEncrypted() && !password) {
        core::log("Warning, zip entry is encrypted and no password is set");
        return nullptr;
    }
    if (entry.isEncrypted() && entry.compressedSize < EncryptionHeaderSize) {
        core::log("Warning, encrypted zip entry is too short");
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->fd = fd;
    state->entry = entry;
    if (!state->start(password))
        return nullptr;
    auto reader = std::unique_ptr<VKZipEntryReader>(new VKZipEntryReader(std::move(state)));
    reader->m_localTimes = reader->m_state->localTimes;
    return reader;
}

VKZipEntryReader::VKZipEntryReader(std::unique_ptr<State> state) : m_state(std::move(state)) { }

VKZipEntryReader::~VKZipEntryReader() = default;

long VKZipEntryReader::read(char* buffer, size_t capacity)
{
    State& s = *m_state;
    if (s.failed)
        return -1;
    long count = s.entry.method == MethodStored ? s.take(reinterpret_cast<unsigned char*>(buffer), capacity)
                                                : s.expand(buffer, capacity);
    if (count > 0 && s.produced + static_cast<uint64_t>(count) > s.entry.uncompressedSize) {
        core::log("Warning, zip entry holds more data than declared");
        count = -1;
    }
    if (count < 0) {
        s.failed = true;
        return -1;
    }
    s.produced += static_cast<uint64_t>(count);
    s.crc = crc32_z(s.crc, reinterpret_cast<const Bytef*>(buffer), static_cast<size_t>(count));
    return count;
}

bool VKZipEntryReader::close()
{
    if (!m_state)
        return false;
    std::unique_ptr<State> state = std::move(m_state);
    if (state->failed)
        return false;
    if (state->produced != state->entry.uncompressedSize || state->crc != state->entry.crc) {
        core::log("Warning, zip entry length or CRC mismatch");
        return false;
    }
    if (state->entry.method != MethodStored && !state->streamEnded) {
        core::log("Warning, zip entry data ends early");
        return false;
    }
    return true;
}
