#pragma once

#include "Platform/Core/Descriptor.h"
#include "Platform/Core/Error.h"

#include <cstdint>
#include <optional>
#include <string>

namespace core::fs {

// A regular file open for reading and the size it had when opened: reads
// stop there, however the file grows meanwhile.
struct RegularFile {
    Descriptor fd;
    uint64_t size = 0;
};

// Opens a document for reading. Only a regular file is ever read: a device
// may never end and a FIFO may never answer. The open does not wait (a FIFO
// with no writer cannot hold it) and what the descriptor itself leads to
// decides, so an item renamed or swapped after a check changes nothing; the
// descriptor blocks again before it is handed back. A folder fails with
// EISDIR; a FIFO, socket or device with notRegularFileError. `flags` adds
// open(2) flags, O_NOFOLLOW where a final link must not be followed.
std::optional<RegularFile> openRegularFile(const std::string& path, Error* error = nullptr, int flags = 0);

// openRegularFile, and the file it opened (links resolved) must lie inside
// `folder`: one a link leads out to fails with outsideFolderError, unread.
// An empty `folder` bounds nothing.
std::optional<RegularFile> openRegularFileWithin(
    const std::string& path, const std::string& folder, Error* error = nullptr, int flags = 0);

// Appends up to `length` bytes read at `offset` of `fd` to `into` (pread,
// again after a signal): the count read, fewer at the file's end or on an
// error.
size_t readAt(int fd, uint64_t offset, size_t length, std::string& into);

// Where an open descriptor leads: the path of the item it opened, links
// resolved then. Nothing when the system cannot tell.
std::optional<std::string> pathOfDescriptor(int fd);

// Whether the item the path leads to (links followed) is there and is
// neither a regular file nor a folder: a FIFO, socket or device, listed but
// never opened as a document.
bool isSpecialFile(const std::string& path);

// The failure for an item at `path` that is no regular file: POSIX ENODEV,
// described in words a person can act on, the path under FilePathKey.
Error notRegularFileError(const std::string& path);

// The failure for an item at `path` that leads out of the folder it had to
// stay in: RegularFileErrorDomain's OutsideFolder, the path under FilePathKey.
inline constexpr const char* RegularFileErrorDomain = "core.fs.RegularFile";
enum RegularFileErrorCode : int64_t { RegularFileErrorOutsideFolder = 1 };
Error outsideFolderError(const std::string& path);

} // namespace core::fs
