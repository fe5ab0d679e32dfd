#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Reads the data of an archive's current entry, whatever its protection:
// plain entries through minizip, encrypted ones (traditional PKWARE) read
// raw, decrypted and inflated here, since the packaged minizip cannot
// decrypt. Either way no more than the declared size comes out, and the
// entry fails unless its length and CRC-32 come out exactly as declared.
class VKZipEntryReader {
public:
    // The minizip reader handle (an unzFile) positioned on the entry. An
    // encrypted entry needs a password (the empty one counts). Nothing
    // (logged) when the entry cannot be opened or the password is wrong.
    static std::unique_ptr<VKZipEntryReader> open(void* archive, const std::optional<std::string>& password);
    ~VKZipEntryReader();
    VKZipEntryReader(const VKZipEntryReader&) = delete;
    VKZipEntryReader& operator=(const VKZipEntryReader&) = delete;

    // Up to `capacity` bytes; 0 at the end of the data, -1 on a failure.
    long read(char* buffer, size_t capacity);
    // Whether all the data came out whole; closes the entry.
    bool close();

    struct State;

private:
    explicit VKZipEntryReader(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};
