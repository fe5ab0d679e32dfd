#pragma once

#include "FileModel/VKZipCentralDirectory.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Reads the data of one archive entry straight from the archive file:
// stored, deflated (zlib) and bzip2 (libbz2) entries, encrypted ones
// (traditional PKWARE) decrypted on the way. The packaged minizip cannot do
// it: it decrypts nothing and, on 64-bit Linux, never takes a zip64 size or
// offset from the central directory.
//
// The local header must agree with the central record, the compressed data
// must lie inside the entry's own part of the archive, no more than the
// declared size comes out, and the entry fails unless its length and CRC-32
// come out exactly as declared.
class VKZipEntryReader {
public:
    // Stored, deflated and bzip2 entries; others are named in the failure.
    static bool supportsMethod(uint16_t method);

    // The entry of the archive open at `fd`. An encrypted entry needs a
    // password (the empty one counts). Nothing (logged) when the entry cannot
    // be read, its records disagree, or the password is wrong.
    static std::unique_ptr<VKZipEntryReader> open(int fd, const VKZipCentralDirectory::Entry& entry,
        const std::optional<std::string>& password);
    ~VKZipEntryReader();
    VKZipEntryReader(const VKZipEntryReader&) = delete;
    VKZipEntryReader& operator=(const VKZipEntryReader&) = delete;

    // Up to `capacity` bytes; 0 at the end of the data, -1 on a failure.
    long read(char* buffer, size_t capacity);
    // Whether all the data came out whole.
    bool close();
    // The times the local header's extra field gives.
    const zipbytes::ExtraTimes& localTimes() const { return m_localTimes; }

    struct State;

private:
    explicit VKZipEntryReader(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
    zipbytes::ExtraTimes m_localTimes;
};
