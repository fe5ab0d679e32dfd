#include "FileModel/VKZipEntryReader.h"

#include "Platform/Core/Log.h"

#include <unzip.h>
#include <zlib.h>

#include <array>
#include <cstring>

namespace {

constexpr size_t ChunkSize = 10240;
constexpr size_t EncryptionHeaderSize = 12;
constexpr unsigned long FlagEncrypted = 0x1;
constexpr unsigned long FlagDataDescriptor = 0x8;
constexpr unsigned long FlagStrongEncryption = 0x40;

// The traditional PKWARE stream cipher.
class TraditionalCipher {
public:
    explicit TraditionalCipher(const std::string& password)
    {
        for (unsigned char c : password)
            update(c);
    }
    unsigned char decrypt(unsigned char byte)
    {
        const uint32_t t = (m_keys[2] | 2) & 0xffff;
        const auto plain = static_cast<unsigned char>(byte ^ (((t * (t ^ 1)) >> 8) & 0xff));
        update(plain);
        return plain;
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

} // namespace

struct VKZipEntryReader::State {
    unzFile archive = nullptr;
    unz_file_info64 info {};
    bool encrypted = false;
    bool failed = false;
    uint64_t produced = 0;
    uLong crc = 0;

    // Encrypted entries only.
    std::optional<TraditionalCipher> cipher;
    bool inflating = false;
    bool inflateReady = false;
    bool streamEnded = false;
    z_stream stream {};
    std::array<unsigned char, ChunkSize> input {};

    ~State()
    {
        if (inflateReady)
            inflateEnd(&stream);
    }

    // Reads and decrypts the next raw bytes; 0 at the end, -1 on a failure.
    long readRaw(unsigned char* buffer, size_t capacity)
    {
        int count = unzReadCurrentFile(archive, buffer, static_cast<unsigned>(capacity));
        if (count < 0)
            return -1;
        for (int i = 0; i < count; ++i)
            buffer[i] = cipher->decrypt(buffer[i]);
        return count;
    }

    long readEncrypted(char* buffer, size_t capacity)
    {
        const uint64_t declared = info.uncompressed_size;
        if (!inflating) {
            long count = readRaw(reinterpret_cast<unsigned char*>(buffer), capacity);
            if (count < 0)
                return -1;
            if (produced + static_cast<uint64_t>(count) > declared) {
                core::log("Warning, zip entry holds more data than declared");
                return -1;
            }
            return count;
        }
        if (streamEnded)
            return 0;
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = static_cast<uInt>(capacity);
        while (stream.avail_out > 0) {
            if (stream.avail_in == 0) {
                long count = readRaw(input.data(), input.size());
                if (count < 0)
                    return -1;
                stream.next_in = input.data();
                stream.avail_in = static_cast<uInt>(count);
            }
            int status = inflate(&stream, Z_NO_FLUSH);
            if (status == Z_STREAM_END) {
                streamEnded = true;
                break;
            }
            if (status == Z_BUF_ERROR) {
                // No input is left and the stream has not ended: cut short.
                core::log("Warning, zip entry data ends early");
                return -1;
            }
            if (status != Z_OK)
                return -1;
        }
        const auto count = static_cast<long>(capacity - stream.avail_out);
        if (produced + static_cast<uint64_t>(count) > declared) {
            core::log("Warning, zip entry holds more data than declared");
            return -1;
        }
        return count;
    }
};

std::unique_ptr<VKZipEntryReader> VKZipEntryReader::open(void* archive, const std::optional<std::string>& password)
{
    auto state = std::make_unique<State>();
    state->archive = static_cast<unzFile>(archive);
    state->crc = crc32(0, nullptr, 0);
    if (unzGetCurrentFileInfo64(state->archive, &state->info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return nullptr;
    state->encrypted = (state->info.flag & FlagEncrypted) != 0;
    if (!state->encrypted) {
        // Never a password to minizip: the packaged one refuses every one.
        if (unzOpenCurrentFile(state->archive) != UNZ_OK)
            return nullptr;
        return std::unique_ptr<VKZipEntryReader>(new VKZipEntryReader(std::move(state)));
    }
    if (!password) {
        core::log("Warning, zip entry is encrypted and no password is set");
        return nullptr;
    }
    const unsigned long method = state->info.compression_method;
    if ((state->info.flag & FlagStrongEncryption) != 0 || (method != 0 && method != Z_DEFLATED)) {
        core::log("Warning, unsupported zip encryption or compression method {}", method);
        return nullptr;
    }
    if (state->info.compressed_size < EncryptionHeaderSize) {
        core::log("Warning, encrypted zip entry is too short");
        return nullptr;
    }
    int rawMethod = 0;
    int level = 0;
    if (unzOpenCurrentFile3(state->archive, &rawMethod, &level, 1, nullptr) != UNZ_OK)
        return nullptr;
    auto reader = std::unique_ptr<VKZipEntryReader>(new VKZipEntryReader(std::move(state)));
    State& s = *reader->m_state;
    s.cipher.emplace(*password);
    std::array<unsigned char, EncryptionHeaderSize> header {};
    if (unzReadCurrentFile(s.archive, header.data(), header.size()) != static_cast<int>(header.size())) {
        reader->close();
        return nullptr;
    }
    for (auto& byte : header)
        byte = s.cipher->decrypt(byte);
    // With a data descriptor the CRC is not known when the header is
    // written, so the check byte is the time's high byte.
    const unsigned char check = (s.info.flag & FlagDataDescriptor) != 0 ? static_cast<unsigned char>((s.info.dosDate >> 8) & 0xff)
                                                                      : static_cast<unsigned char>((s.info.crc >> 24) & 0xff);
    if (header.back() != check) {
        core::log("Warning, wrong password for zip entry");
        reader->close();
        return nullptr;
    }
    if (method == Z_DEFLATED) {
        s.inflating = true;
        if (inflateInit2(&s.stream, -MAX_WBITS) != Z_OK) {
            reader->close();
            return nullptr;
        }
        s.inflateReady = true;
    }
    return reader;
}

VKZipEntryReader::VKZipEntryReader(std::unique_ptr<State> state) : m_state(std::move(state)) { }

VKZipEntryReader::~VKZipEntryReader()
{
    if (m_state)
        close();
}

long VKZipEntryReader::read(char* buffer, size_t capacity)
{
    State& s = *m_state;
    if (s.failed)
        return -1;
    long count = s.encrypted ? s.readEncrypted(buffer, capacity)
                             : unzReadCurrentFile(s.archive, buffer, static_cast<unsigned>(capacity));
    if (count < 0) {
        s.failed = true;
        return -1;
    }
    s.produced += static_cast<uint64_t>(count);
    s.crc = crc32(s.crc, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(count));
    return count;
}

bool VKZipEntryReader::close()
{
    if (!m_state)
        return false;
    std::unique_ptr<State> state = std::move(m_state);
    // minizip checks the CRC of plain entries itself (-105) once all is read.
    const int closed = unzCloseCurrentFile(state->archive);
    if (state->failed)
        return false;
    if (state->produced != state->info.uncompressed_size || state->crc != state->info.crc) {
        core::log("Warning, zip entry length or CRC mismatch");
        return false;
    }
    if (state->encrypted && state->inflating && !state->streamEnded) {
        core::log("Warning, zip entry data ends early");
        return false;
    }
    return closed == UNZ_OK;
}
