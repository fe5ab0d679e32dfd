#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Error.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// File-system services in the shape the system's file manager offers them,
// over POSIX calls. Failures come back through the `Error*` out-parameter as
// POSIX-domain errors (with the path under Error::FilePathKey); nothing throws.
// Every path holding a NUL byte is refused with EINVAL rather than cut short.
namespace core::fs {

enum class FileType { Regular, Directory, SymbolicLink, CharacterSpecial, BlockSpecial, FIFO, Socket, Unknown };

// What the file system keeps about one item; a link describes itself.
struct Attributes {
    FileType type = FileType::Unknown;
    uint64_t size = 0;
    unsigned mode = 0; // permission bits, 07777
    int64_t modificationTime = 0; // nanoseconds since 1970
    int64_t creationTime = 0; // birth time where the file system keeps one, else the modification time
    uint64_t inode = 0;
    uint64_t device = 0; // with the inode, identifies the item
    uint64_t linkCount = 0;
    unsigned uid = 0;
    unsigned gid = 0;

    Date modificationDate() const;
    Date creationDate() const;
    bool isDirectory() const { return type == FileType::Directory; }
};

// Whether something exists at the path, following links (a dangling link does
// not exist); `isDirectory` tells whether it is (or leads to) a folder.
bool exists(const std::string& path, bool* isDirectory = nullptr);
bool isDirectory(const std::string& path);

// access(2) tests of the item the path leads to.
bool isReadable(const std::string& path);
bool isWritable(const std::string& path);
bool isExecutable(const std::string& path);
// Whether the item (a link itself) could be removed: its folder is writable
// and searchable, and a sticky folder also lets this user unlink it.
bool isDeletable(const std::string& path);

// The item's own attributes, never following a final link.
std::optional<Attributes> attributes(const std::string& path, Error* error = nullptr);
// The same for the item called `name` (relative) inside the open `folder`,
// `path` being where it is (for errors): the folder's path is not walked.
std::optional<Attributes> attributesInFolder(int folder, const std::string& name, const std::string& path,
    Error* error = nullptr);
// The attributes of what an open descriptor leads to.
std::optional<Attributes> attributesOfDescriptor(int fd, Error* error = nullptr);
// Opens the item (close-on-exec, with the open(2) flags given) when no
// component of the path is a symbolic link; -1 otherwise, with errno ELOOP
// for a link on the way, ENOSYS where the kernel cannot tell. A path opened
// so is its own resolved path: no resolving is needed to judge where the
// item lies.
int openWithoutLinks(const std::string& path, int flags);
// The same for reading, never waiting on a FIFO.
int openForReadingWithoutLinks(const std::string& path);
// Sets the modification time (nanoseconds since 1970) of the item itself, a
// link included; the access time is left alone.
bool setModificationTime(const std::string& path, int64_t nanoseconds, Error* error = nullptr);

// The names in a folder without "." and "..", in the order the file system
// gives them, or sorted bytewise.
std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path, Error* error = nullptr);
std::optional<std::vector<std::string>> sortedContentsOfDirectory(const std::string& path, Error* error = nullptr);
// The names with what the listing tells of each entry itself (a link to a
// folder is a link, not a folder), so that callers need no stat per entry.
struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    bool isLink = false;
};
std::optional<std::vector<DirectoryEntry>> contentsOfDirectoryWithTypes(const std::string& path, Error* error = nullptr);
// Every item below the folder as a path relative to it, each folder before its
// contents. Links inside are listed but never entered. A folder that cannot be
// read fails the whole walk.
std::optional<std::vector<std::string>> subpaths(const std::string& path, Error* error = nullptr);

// mkdir(2) with `mode` (less the umask). With intermediates, missing parents
// are made too and an existing folder is success; without, an existing item
// is EEXIST and a missing parent ENOENT.
bool createDirectory(const std::string& path, bool intermediates, Error* error = nullptr, unsigned mode = 0755);

// Writes `contents` to a temporary file in the same folder, flushes it to
// disk and renames it over `path`, so that readers see the old file or the
// new one, never a part. On failure the old file is intact and no temporary
// file is left. `mode` applies to a new file; an existing file keeps its mode.
bool writeFileAtomically(const std::string& path, std::string_view contents, Error* error = nullptr, unsigned mode = 0644);

// The whole file, mapped read-only (an empty file gives empty data), as
// openRegularFile opens it: a FIFO, socket or device is refused, never read.
// Nothing (with the error) when it cannot be read.
bool readFile(const std::string& path, Data& contents, Error* error = nullptr);
// readFile, and the file read (links resolved) lies inside `folder`
// (openRegularFileWithin).
bool readFileWithin(const std::string& path, const std::string& folder, Data& contents, Error* error = nullptr);

// Copies an item and, for a folder, everything below it. Links are copied as
// links, FIFOs made anew; modes and modification times are kept; sockets and
// devices are refused (ENOTSUP). Never replaces: an item already at any
// destination path fails with EEXIST. Copying a folder into itself is EINVAL.
// A copy that fails part-way leaves what it made so far.
// User extended attributes travel with every item but links (which Linux
// does not let carry them).
bool copyItem(const std::string& from, const std::string& to, Error* error = nullptr);

struct CopyOptions {
    // Which extended attributes (by name, without "user.") go with the items;
    // all of them when unset.
    std::function<bool(std::string_view name)> attributeFilter;
    // Told of each item that failed (the source path and why): true skips it,
    // its contents included, and goes on; false stops the copy with that
    // error. Without it the first failure stops. A copy whose failures were
    // all skipped succeeds: the callback is where they are counted.
    std::function<bool(const std::string& path, const Error& error)> itemFailed;
    // Told the bytes of each step of file data just written (a step is at
    // most MaximumCopyStep), and 0 before each item: false stops the whole
    // copy with ECANCELED, which itemFailed never hears of.
    std::function<bool(uint64_t bytes)> progress;
    // Where a move across file systems makes its copy of the item bound for
    // `to` before renaming it in: a path nothing holds, on the target's file
    // system. A hidden sibling of the target when unset.
    std::function<std::string(const std::string& to)> stagingPath;
};
// The most file data copied between two progress calls.
inline constexpr uint64_t MaximumCopyStep = 8 * 1024 * 1024;
bool copyItem(const std::string& from, const std::string& to, const CopyOptions& options, Error* error = nullptr);

// A path beside `path` that nothing holds now: "." + its name + "." + tag +
// "-" + six random characters, the name cut to leave room. Hidden, so the
// browser's listings leave it out. Whoever makes an item there uses a call
// that never replaces and asks again when another got there first (EEXIST).
std::string hiddenSiblingPath(const std::string& path, std::string_view tag);

// Renames only, never replacing: EEXIST when `to` exists on the same file
// system, EXDEV when it lies on another (checked first), where nothing is
// copied. The test hooks' rename verdict is honoured.
bool renameItem(const std::string& from, const std::string& to, Error* error = nullptr);

// Renames without ever replacing (EEXIST when `to` exists). Across file
// systems the item is copied and the source removed; a failed copy removes
// its partial destination and leaves the source as it was.
bool moveItem(const std::string& from, const std::string& to, Error* error = nullptr);
// The same, where a copy across file systems is made in a hidden sibling of
// `to` with the options' progress and say, renamed into place without
// replacing, and only then is the source removed: a cancelled or failed copy
// leaves no sibling and the source whole, and `to` never shows a part.
bool moveItem(const std::string& from, const std::string& to, const CopyOptions& options, Error* error = nullptr);

// Swaps two existing items in one step (renameat2 RENAME_EXCHANGE), so that
// a replacement made beside an item takes its place with no moment at which
// neither exists. Both must be on one file system; a file system without the
// exchange gives EINVAL and leaves both as they were.
bool exchangeItems(const std::string& first, const std::string& second, Error* error = nullptr);

// Puts the file at `from` in the place of `to`, so that readers see the old
// file or the new one and never neither: a rename over it, or across file
// systems a copy into a hidden sibling of `to` renamed over it, after which
// `from` is removed. A folder at `to` is refused (EISDIR) and never removed.
// On failure `to` is as it was and `from` stays.
bool replaceItem(const std::string& from, const std::string& to, Error* error = nullptr);
// The same, where the copy across file systems is made at the options'
// staging path (made anew when another holds it) instead of the sibling.
// The test hooks' rename verdict is honoured (EXDEV copies).
bool replaceItem(const std::string& from, const std::string& to, const CopyOptions& options, Error* error = nullptr);

// Copies the regular file the path leads to (a last link followed) into a
// new file at `to`, never replacing one (EEXIST): opened as openRegularFile
// opens it (a folder is EISDIR; a FIFO, socket or device is refused unread),
// written beside `to` and renamed in whole, so a failed copy leaves nothing
// there. Across file systems too.
bool copyRegularFile(const std::string& from, const std::string& to, Error* error = nullptr);

// A new empty file (0600) named `prefix` and six unique characters in the
// folder; its path, or nothing with the error. Two calls never share a name.
std::optional<std::string> createUniqueFile(const std::string& folder, std::string_view prefix,
    Error* error = nullptr);

// Removes the item and, for a folder, everything below it, never following a
// link: a link is removed as a link, so nothing outside the tree is touched.
// Stops at the first failure, leaving what remains. Nothing there is ENOENT.
bool removeItem(const std::string& path, Error* error = nullptr);

// The path a failure names (the error's FilePathKey), or "" when none.
std::string failedPath(const Error& error);

// Whether the path holds a NUL byte.
bool hasNul(std::string_view path);
// A relative path put below the working directory, then cleaned as
// path::standardizingPath cleans it (lexically: links are not resolved).
std::string absolutePath(std::string_view path);

} // namespace core::fs
