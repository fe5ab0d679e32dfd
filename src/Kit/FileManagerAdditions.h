#pragma once

#include "Kit/VKFileManagerDelegate.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// File-system services the rest of the system builds on, reporting failures
// as error objects: the trash (holder folders emptied on background threads),
// unique names for new items, a recursive copy with progress and
// cancellation, a removal that runs on any thread, and attribute getters that
// describe a link itself.

// ---- The file manager's additions ----------------------------------------

// Where the trash lives; the application points it at its metadata folder
// "Trash" (made on demand). Unset, or an empty answer, means no trash.
void setTrashPathProvider(std::function<std::string()> provider);
// Told the path of each trash item just before it is removed (the file
// model drops its settings and bookmarks of the item there).
void setTrashItemRemovalHook(std::function<void(const std::string& path)> hook);

// The trash folder, or "" when there is none.
std::string trashPath();
// At launch: removes, on a background thread, whatever an earlier run left in
// the trash.
void initializeTrash();
// While a group is open, every move to the trash shares one holder; outside a
// group each move gets a fresh holder and the previous one is emptied.
// Beginning a group empties a holder still open. A holder closed (by a
// group's end or a move outside a group) is emptied on a background thread
// TrashEmptyingDelay seconds later by the main loop's clock, when no group
// is open then: deleted items leave the disk soon, not at the next launch.
inline constexpr double TrashEmptyingDelay = 5;
void beginTrashGroup();
void endTrashGroup();
bool isInTrashGroup();
// Renames the item into the current holder (made when none is open) under its
// own name, or "name.<UUID>" when that is taken. Cocoa-domain error 4 "No
// Trash directory" without a trash. A failure is logged and leaves the item
// where it was.
bool moveItemAtPathToTrash(const std::string& path, core::Error* error = nullptr);
// Hands the open holder to a background thread (a core::Thread) that removes
// it; without one only logs.
void emptyTrashInBackground();

// A path in the same folder at which nothing exists yet (a dangling link
// counts as something), derived from the path's name and the suffix:
// "a.txt" → "a 1.txt", "a 2.txt"…; with the suffix "copy": "a copy.txt",
// "a copy 1.txt"…; "a 3.txt" → "a 4.txt". The path itself when it is free.
std::string uniquePathForItemAtPath(const std::string& path, std::string_view suffix = {});
// The same rule over any set of names: `name` when it is not taken, else
// the first of the derived names that is not. Only the last extension
// counts ("a.tar.gz" → "a.tar 1.gz").
std::string uniqueName(const std::string& name, std::string_view suffix,
    const std::function<bool(const std::string& name)>& isTaken);

// Copies an item and everything below it. Refuses an existing destination
// (POSIX 17, "File already exists"). With a delegate the copy goes item by
// item through VKCopyItemAtPathToPath; without one it is core::fs::copyItem.
bool copyWithUpdatesItemAtPath(const std::string& from, const std::string& to, core::Error* error = nullptr,
    VKFileManagerDelegate* delegate = nullptr);

// Whether a folder is at the path, following links.
bool isDirectoryAtPath(const std::string& path);
// A folder whose extension names a document package ("Essay.rtfd").
bool isPackageAtPath(const std::string& path);
std::string mimeTypeOfItemAtPath(const std::string& path);

// ---- The file manager's attribute getters ---------------------------------
// Each describes the item itself, never a final link's target, and reports a
// failure as a POSIX-domain error.

inline constexpr const char* NSFileType = "NSFileType";
inline constexpr const char* NSFileSystemFileNumber = "NSFileSystemFileNumber";
inline constexpr const char* NSFileSize = "NSFileSize";
inline constexpr const char* NSFileCreationDate = "NSFileCreationDate";
inline constexpr const char* NSFileModificationDate = "NSFileModificationDate";

inline constexpr const char* NSFileTypeRegular = "NSFileTypeRegular";
inline constexpr const char* NSFileTypeDirectory = "NSFileTypeDirectory";
inline constexpr const char* NSFileTypeSymbolicLink = "NSFileTypeSymbolicLink";
inline constexpr const char* NSFileTypeSocket = "NSFileTypeSocket";
inline constexpr const char* NSFileTypeCharacterSpecial = "NSFileTypeCharacterSpecial";
inline constexpr const char* NSFileTypeBlockSpecial = "NSFileTypeBlockSpecial";
inline constexpr const char* NSFileTypeUnknown = "NSFileTypeUnknown"; // FIFOs among others

// 0 on failure.
uint64_t sizeOfItemAtPath(const std::string& path, core::Error* error = nullptr);
// Whole seconds.
std::optional<core::Date> modificationDateOfItemAtPath(const std::string& path, core::Error* error = nullptr);
// The birth time where the file system keeps one, else the modification time;
// whole seconds.
std::optional<core::Date> creationDateOfItemAtPath(const std::string& path, core::Error* error = nullptr);
std::optional<std::string> fileTypeOfItemAtPath(const std::string& path, core::Error* error = nullptr);
// NSFileType, NSFileSystemFileNumber (the low 32 bits of the inode),
// NSFileSize, NSFileCreationDate and NSFileModificationDate (whole seconds).
std::optional<core::Value::Dictionary> standardAttributesForItemAtPath(const std::string& path,
    core::Error* error = nullptr);
// The sizes of the folder's entries themselves (a subfolder counts its own
// entry, not its contents); on a failure, the sum so far.
uint64_t sizeOfDirectoryContentsAtPath(const std::string& path, core::Error* error = nullptr);

// ---- Functions -------------------------------------------------------------

inline constexpr const char* VKFileManagerErrorDomain = "NSFileManagerErrorDomain";

// Extra open flags: after the open, wait for a shared or exclusive flock(2).
inline constexpr int VKOpenSharedLock = 0x10000000;
inline constexpr int VKOpenExclusiveLock = 0x20000000;

// errno in the POSIX domain with the C library's text.
core::Error VKPOSIXDomainErrorFromErrno();
// open(2) (close-on-exec, new files 0666 less the umask); on failure -1 and
// the "Failed to open file" error (code errno, "path").
int VKOpenFileDescriptor(const std::string& path, int flags, core::Error* error = nullptr);
// A negative descriptor is success without a call.
bool VKCloseFileDescriptor(int fd, core::Error* error = nullptr);
// How many descriptors VKOpenFileDescriptor has opened (tests count them).
uint64_t VKOpenFileDescriptorCount();

// Removes the item and everything below it, on any thread, never following a
// link. Nothing at the path is success. A failure leaves errno set.
bool VKRemoveItemAtPath(const std::string& path);
// The item-by-item copy with the delegate's say: folders are made, filled and
// then given the source's mode and time; files go through one buffer of at
// most 51,200 bytes with progress after each, arriving writable by their
// owner. A failure part-way leaves what was copied.
bool VKCopyItemAtPathToPath(const std::string& from, const std::string& to, core::Error* error = nullptr,
    VKFileManagerDelegate* delegate = nullptr);
