#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace core {

// An open file read or written at a moving offset, for data that arrives or
// is consumed in pieces (downloads, streamed bodies). Opening never creates
// or truncates: the file must exist. Failures come back as POSIX-domain
// errors, a full disk (ENOSPC) included, so that a writer can stop and clean
// up. Belongs to one thread at a time; the descriptor closes with the handle.
class FileHandle : public Object {
public:
    static std::shared_ptr<FileHandle> fileHandleForReadingAtPath(const std::string& path, Error* error = nullptr);
    // A document: only a regular file opens (as fs::openRegularFile opens
    // it); a FIFO or device is refused, never waited on.
    static std::shared_ptr<FileHandle> fileHandleForReadingRegularFileAtPath(const std::string& path,
        Error* error = nullptr);
    static std::shared_ptr<FileHandle> fileHandleForWritingAtPath(const std::string& path, Error* error = nullptr);

    struct Private;
    FileHandle(const Private&, int fd);
    ~FileHandle() override;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // -1 once closed.
    int fileDescriptor() const { return m_fd; }

    // The new offset, the file's length; 0 with an error on failure.
    uint64_t seekToEndOfFile(Error* error = nullptr);
    bool seekToFileOffset(uint64_t offset, Error* error = nullptr);
    uint64_t offsetInFile() const;

    // Up to `length` bytes from the offset; fewer only at the end of the
    // file, none there or on failure.
    Data readDataOfLength(size_t length, Error* error = nullptr);

    // Writes every byte at the offset or fails; a failed write may have
    // written a part.
    bool writeData(std::string_view bytes, Error* error = nullptr);
    bool writeData(const Data& data, Error* error = nullptr) { return writeData(data.view(), error); }

    void closeFile();

private:
    static std::shared_ptr<FileHandle> open(const std::string& path, int flags, Error* error);
    bool checkOpen(Error* error) const;

    int m_fd;
};

} // namespace core
