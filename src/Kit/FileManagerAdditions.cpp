#include "Kit/FileManagerAdditions.h"

#include "Kit/CSRegex.h"
#include "Kit/MIMETypes.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UUID.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = core::fs;

namespace {

constexpr size_t CopyBufferSize = 51'200;
constexpr int64_t NanosecondsPerSecond = 1'000'000'000;

// ---- Trash state ----
// The holder and the group flag are shared by every thread that deletes (the
// main thread, file operations, the server), so one mutex guards them and the
// move into the holder, which must not meet an emptying of that holder.
struct Trash {
    std::mutex mutex;
    std::string holder; // path of the open holder, "" when none
    bool inGroup = false;
    // Counts the holders closed (a group's end, a move outside one): a
    // late emptying only takes the holder it was planned for.
    uint64_t closings = 0;
    std::function<std::string()> provider;
    std::function<void(const std::string&)> removalHook;
};

Trash& trash()
{
    static Trash state;
    return state;
}

std::string trashPathLocked(Trash& state)
{
    return state.provider ? state.provider() : std::string();
}

void removeTrashItems(const std::vector<std::string>& names)
{
    std::string folder = trashPath();
    if (folder.empty())
        return;
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(trash().mutex);
        hook = trash().removalHook;
    }
    for (const auto& name : names) {
        if (name.empty()) {
            core::log("Warning, nil trash item");
            continue;
        }
        std::string path = core::path::appendingPathComponent(folder, name);
        if (hook)
            hook(path);
        if (!VKRemoveItemAtPath(path)) {
            int code = errno;
            core::log("Warning, failed to remove trash item: {}", name);
            core::log("errno {} ({})", std::strerror(code), code);
        }
    }
}

void removeInBackground(std::vector<std::string> names)
{
    core::Thread::detach("VKTrashRemoval", [names = std::move(names)] { removeTrashItems(names); });
}

// Forgets the open holder and answers its name for a removal thread.
std::string takeHolderLocked(Trash& state)
{
    std::string name = core::path::lastPathComponent(state.holder);
    state.holder.clear();
    return name;
}

// The holder just closed leaves the disk TrashEmptyingDelay later, on the
// main loop's clock, unless a group opened meanwhile (its end plans again)
// or a later move took it (and emptied it) first.
void planEmptyingLocked(Trash& state)
{
    if (state.holder.empty())
        return;
    const uint64_t closing = ++state.closings;
    auto empty = [closing] {
        std::string emptied;
        {
            std::lock_guard lock(trash().mutex);
            if (trash().closings == closing && !trash().inGroup && !trash().holder.empty())
                emptied = takeHolderLocked(trash());
        }
        if (!emptied.empty())
            removeInBackground({ emptied });
    };
    if (!core::RunLoop::hasMainThread()) {
        // No main loop to wait on (a tool): the holder goes now.
        removeInBackground({ takeHolderLocked(state) });
        return;
    }
    core::RunLoop::main().post([empty] { core::RunLoop::main().performAfter(TrashEmptyingDelay, empty); });
}

// ---- Errors ----

core::Error fileManagerError(int64_t code, std::string description, const std::string& path = {})
{
    core::Error error(VKFileManagerErrorDomain, code, std::move(description));
    if (!path.empty())
        error.setUserInfoValue("path", core::Value(path));
    return error;
}

bool fail(core::Error* error, core::Error value)
{
    core::setError(error, std::move(value));
    return false;
}

bool failWithErrno(core::Error* error)
{
    return fail(error, VKPOSIXDomainErrorFromErrno());
}

bool itemExists(const std::string& path)
{
    struct stat info;
    return !fs::hasNul(path) && lstat(path.c_str(), &info) == 0;
}

// Floor division, so that a time before 1970 rounds down like the kernel's
// own seconds.
int64_t wholeSeconds(int64_t nanoseconds)
{
    int64_t seconds = nanoseconds / NanosecondsPerSecond;
    return (nanoseconds % NanosecondsPerSecond < 0) ? seconds - 1 : seconds;
}

core::Date dateInWholeSeconds(int64_t nanoseconds)
{
    return core::Date::fromUnixTime(static_cast<double>(wholeSeconds(nanoseconds)));
}

const char* fileTypeName(fs::FileType type)
{
    switch (type) {
    case fs::FileType::Regular: return NSFileTypeRegular;
    case fs::FileType::Directory: return NSFileTypeDirectory;
    case fs::FileType::SymbolicLink: return NSFileTypeSymbolicLink;
    case fs::FileType::Socket: return NSFileTypeSocket;
    case fs::FileType::CharacterSpecial: return NSFileTypeCharacterSpecial;
    case fs::FileType::BlockSpecial: return NSFileTypeBlockSpecial;
    default: return NSFileTypeUnknown;
    }
}

std::optional<fs::Attributes> itemAttributes(const std::string& path, core::Error* error)
{
    if (fs::hasNul(path)) {
        errno = EINVAL;
        failWithErrno(error);
        return std::nullopt;
    }
    return fs::attributes(path, error);
}

// ---- Copy ----

// Closes the descriptors it holds on every way out of a file copy.
class OpenFile {
public:
    OpenFile() = default;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool open(const std::string& path, int flags, core::Error* error)
    {
        m_fd = VKOpenFileDescriptor(path, flags, error);
        return m_fd >= 0;
    }
    int get() const { return m_fd; }
    bool close(core::Error* error) { return VKCloseFileDescriptor(std::exchange(m_fd, -1), error); }

private:
    int m_fd = -1;
};

bool writeAll(int fd, const char* bytes, size_t length)
{
    while (length > 0) {
        ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

bool copyFileData(const std::string& from, const std::string& to, uint64_t size, core::Error* error,
    VKFileManagerDelegate* delegate)
{
    OpenFile source;
    OpenFile destination;
    if (!source.open(from, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | VKOpenSharedLock, error))
        return false;
    if (!destination.open(to, O_WRONLY | O_NOFOLLOW | VKOpenExclusiveLock, error))
        return false;
    std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(CopyBufferSize, size)));
    uint64_t total = 0;
    bool complete = true;
    while (total < size) {
        size_t wanted = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - total));
        ssize_t count = read(source.get(), buffer.data(), wanted);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0 || !writeAll(destination.get(), buffer.data(), static_cast<size_t>(count))) {
            complete = false;
            break;
        }
        total += static_cast<uint64_t>(count);
        if (delegate && !delegate->copyingItemAtPath(from, to, static_cast<uint64_t>(count))) {
            complete = false;
            break;
        }
    }
    if (!complete || total != size)
        return fail(error, fileManagerError(-1, "Failed to copy file data"));
    return destination.close(error) && source.close(error);
}

bool copyFile(const std::string& from, const std::string& to, const fs::Attributes& source, core::Error* error,
    VKFileManagerDelegate* delegate)
{
    // The copy must be writable by its owner, or it could not be filled
    // (nor later changed). A link's 0777 is no mode for the file made in its
    // place before its no-follow open fails.
    unsigned mode = source.type == fs::FileType::SymbolicLink ? 0644 : (source.mode | 0200);
    int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(error, fileManagerError(512, "Failed to create file", to));
    bool moded = fchmod(fd, mode) == 0;
    close(fd);
    if (!moded)
        return fail(error, fileManagerError(512, "Failed to create file", to));
    if (source.size > 0 && !copyFileData(from, to, source.size, error, delegate))
        return false;
    if (delegate)
        delegate->didCopyItemAtPath(from, to);
    return true;
}

bool copyFolder(const std::string& from, const std::string& to, const fs::Attributes& source, core::Error* error,
    VKFileManagerDelegate* delegate)
{
    // Made open to its owner while it is filled; the source's mode and time
    // follow once the contents are in.
    if (fs::hasNul(to) || mkdir(to.c_str(), 0700) != 0)
        return fail(error, fileManagerError(-1, "Failed to create directory", to));
    auto names = fs::contentsOfDirectory(from, error);
    if (!names)
        return false;
    for (const auto& name : *names) {
        if (!VKCopyItemAtPathToPath(from + "/" + name, to + "/" + name, error, delegate))
            return false;
    }
    if (chmod(to.c_str(), source.mode) != 0)
        return failWithErrno(error);
    if (!fs::setModificationTime(to, source.modificationTime, error))
        return false;
    if (delegate)
        delegate->didCopyItemAtPath(from, to);
    return true;
}

// ---- Unique names ----

// The decimal number, saturating at the largest 64-bit value; an empty or
// unreadable text is 0.
int64_t saturatingNumber(std::string_view digits)
{
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    int64_t value = 0;
    auto [end, code] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    (void)end;
    if (code == std::errc::result_out_of_range)
        return std::numeric_limits<int64_t>::max();
    return code == std::errc() ? value : 0;
}

} // namespace

// ---- Trash ----

void setTrashPathProvider(std::function<std::string()> provider)
{
    std::lock_guard lock(trash().mutex);
    trash().provider = std::move(provider);
    trash().holder.clear();
    trash().inGroup = false;
}

void setTrashItemRemovalHook(std::function<void(const std::string& path)> hook)
{
    std::lock_guard lock(trash().mutex);
    trash().removalHook = std::move(hook);
}

std::string trashPath()
{
    std::function<std::string()> provider;
    {
        std::lock_guard lock(trash().mutex);
        provider = trash().provider;
    }
    return provider ? provider() : std::string();
}

void initializeTrash()
{
    std::string folder = trashPath();
    if (folder.empty())
        return;
    auto names = fs::contentsOfDirectory(folder);
    if (names && !names->empty())
        removeInBackground(std::move(*names));
}

void beginTrashGroup()
{
    std::string emptied;
    {
        std::lock_guard lock(trash().mutex);
        if (!trash().holder.empty())
            emptied = takeHolderLocked(trash());
        trash().inGroup = true;
    }
    if (!emptied.empty())
        removeInBackground({ emptied });
}

void endTrashGroup()
{
    std::lock_guard lock(trash().mutex);
    trash().inGroup = false;
    planEmptyingLocked(trash());
}

bool isInTrashGroup()
{
    std::lock_guard lock(trash().mutex);
    return trash().inGroup;
}

bool moveItemAtPathToTrash(const std::string& path, core::Error* error)
{
    Trash& state = trash();
    std::string emptied;
    bool moved = false;
    {
        std::lock_guard lock(state.mutex);
        // Outside a group every move gets a holder of its own.
        if (!state.holder.empty() && !state.inGroup)
            emptied = takeHolderLocked(state);
        std::string folder = trashPathLocked(state);
        if (folder.empty()) {
            core::setError(error, core::Error(core::Error::CocoaDomain, 4, "No Trash directory"));
        } else {
            if (state.holder.empty()) {
                std::string holder = core::path::appendingPathComponent(folder, core::uuidString());
                if (fs::createDirectory(holder, false, error))
                    state.holder = holder;
            }
            if (!state.holder.empty()) {
                std::string name = core::path::lastPathComponent(path);
                std::string destination = core::path::appendingPathComponent(state.holder, name);
                if (itemExists(destination))
                    destination += "." + core::uuidString();
                moved = fs::moveItem(path, destination, error);
                if (!moved)
                    core::log("Warning, moveItemAtPathToTrash:error: failed for: {}", path);
                if (moved && !state.inGroup)
                    planEmptyingLocked(state);
            }
        }
    }
    if (!emptied.empty())
        removeInBackground({ emptied });
    return moved;
}

void emptyTrashInBackground()
{
    std::string emptied;
    {
        std::lock_guard lock(trash().mutex);
        if (!trash().holder.empty())
            emptied = takeHolderLocked(trash());
    }
    if (emptied.empty()) {
        core::log("Warning, emptyTrashInBackground called when trash already empty");
        return;
    }
    removeInBackground({ emptied });
}

// ---- Unique names ----

std::string uniqueName(const std::string& name, std::string_view suffix,
    const std::function<bool(const std::string& name)>& isTaken)
{
    if (!isTaken(name))
        return name;
    std::string base = name;
    std::string extension = core::path::pathExtension(base);
    if (!extension.empty()) {
        base.resize(base.size() - extension.size() - 1);
        extension.insert(0, ".");
    }

    // The suffix is the user's language's word for "copy": it matches itself,
    // whatever it holds.
    std::string pattern = suffix.empty() ? "( [0-9]+)$" : " " + escapedPattern(suffix) + "( [0-9]+)?$";
    int64_t number = suffix.empty() ? 1 : 0;
    if (auto captured = substringsCapturedByPattern(base, pattern, CSRegex::Extended)) {
        base.resize(base.size() - (*captured)[0].size());
        number = captured->size() == 2 ? saturatingNumber((*captured)[1]) : 1;
    }
    // Without a suffix, 0 would give "a .txt".
    if (suffix.empty() && number == 0)
        number = 1;

    for (;;) {
        std::string candidate;
        if (number == 0)
            candidate = fmt::format("{} {}{}", base, suffix, extension);
        else if (!suffix.empty())
            candidate = fmt::format("{} {} {}{}", base, suffix, number, extension);
        else
            candidate = fmt::format("{} {}{}", base, number, extension);
        if (!isTaken(candidate))
            return candidate;
        if (number == std::numeric_limits<int64_t>::max()) {
            // Numbers run out only for names made to exhaust them.
            return fmt::format("{} {}{}", base, core::uuidString(), extension);
        }
        ++number;
    }
}

std::string uniquePathForItemAtPath(const std::string& path, std::string_view suffix)
{
    if (!itemExists(path))
        return path;
    std::string folder = core::path::deletingLastPathComponent(path);
    return core::path::appendingPathComponent(folder,
        uniqueName(core::path::lastPathComponent(path), suffix, [&](const std::string& name) {
            return itemExists(core::path::appendingPathComponent(folder, name));
        }));
}

// ---- Copy and kinds ----

bool copyWithUpdatesItemAtPath(const std::string& from, const std::string& to, core::Error* error,
    VKFileManagerDelegate* delegate)
{
    if (itemExists(to)) {
        return fail(error, core::Error(core::Error::POSIXDomain, EEXIST, core::localized("File already exists")));
    }
    if (delegate)
        return VKCopyItemAtPathToPath(from, to, error, delegate);
    return fs::copyItem(from, to, error);
}

bool isDirectoryAtPath(const std::string& path)
{
    return fs::isDirectory(path);
}

bool isPackageAtPath(const std::string& path)
{
    return isDirectoryAtPath(path) && MIMEIsPackageType(path);
}

std::string mimeTypeOfItemAtPath(const std::string& path)
{
    return MIMEGetTypeForFile(path);
}

// ---- Attributes ----

uint64_t sizeOfItemAtPath(const std::string& path, core::Error* error)
{
    auto attributes = itemAttributes(path, error);
    return attributes ? attributes->size : 0;
}

std::optional<core::Date> modificationDateOfItemAtPath(const std::string& path, core::Error* error)
{
    auto attributes = itemAttributes(path, error);
    if (!attributes)
        return std::nullopt;
    return dateInWholeSeconds(attributes->modificationTime);
}

std::optional<core::Date> creationDateOfItemAtPath(const std::string& path, core::Error* error)
{
    auto attributes = itemAttributes(path, error);
    if (!attributes)
        return std::nullopt;
    return dateInWholeSeconds(attributes->creationTime);
}

std::optional<std::string> fileTypeOfItemAtPath(const std::string& path, core::Error* error)
{
    auto attributes = itemAttributes(path, error);
    if (!attributes)
        return std::nullopt;
    return fileTypeName(attributes->type);
}

std::optional<core::Value::Dictionary> standardAttributesForItemAtPath(const std::string& path, core::Error* error)
{
    auto attributes = itemAttributes(path, error);
    if (!attributes)
        return std::nullopt;
    return core::Value::Dictionary {
        { NSFileType, core::Value(fileTypeName(attributes->type)) },
        { NSFileSystemFileNumber, core::Value(static_cast<uint32_t>(attributes->inode)) },
        { NSFileSize, core::Value(attributes->size) },
        { NSFileCreationDate, core::Value(dateInWholeSeconds(attributes->creationTime)) },
        { NSFileModificationDate, core::Value(dateInWholeSeconds(attributes->modificationTime)) },
    };
}

uint64_t sizeOfDirectoryContentsAtPath(const std::string& path, core::Error* error)
{
    auto names = fs::contentsOfDirectory(path, error);
    if (!names)
        return 0;
    uint64_t total = 0;
    for (const auto& name : *names) {
        core::Error failure;
        uint64_t size = sizeOfItemAtPath(core::path::appendingPathComponent(path, name), &failure);
        if (failure) {
            core::setError(error, std::move(failure));
            break;
        }
        total += size;
    }
    return total;
}

// ---- Functions ----

namespace {
std::atomic<uint64_t> openedDescriptors { 0 };
}

core::Error VKPOSIXDomainErrorFromErrno()
{
    return core::Error::posix(errno);
}

int VKOpenFileDescriptor(const std::string& path, int flags, core::Error* error)
{
    int lock = (flags & VKOpenExclusiveLock) ? LOCK_EX : (flags & VKOpenSharedLock) ? LOCK_SH : 0;
    flags &= ~(VKOpenSharedLock | VKOpenExclusiveLock);
    int fd = -1;
    int code = EINVAL;
    if (!fs::hasNul(path)) {
        fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
        code = errno;
    }
    if (fd >= 0) {
        ++openedDescriptors;
        int locked;
        do
            locked = lock ? flock(fd, lock) : 0;
        while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            code = errno;
            close(fd);
            fd = -1;
        }
    }
    if (fd < 0)
        core::setError(error, fileManagerError(code, "Failed to open file", path));
    return fd;
}

bool VKCloseFileDescriptor(int fd, core::Error* error)
{
    if (fd < 0)
        return true;
    return close(fd) == 0 || failWithErrno(error);
}

uint64_t VKOpenFileDescriptorCount()
{
    return openedDescriptors.load();
}

bool VKRemoveItemAtPath(const std::string& path)
{
    if (fs::hasNul(path)) {
        errno = EINVAL;
        return false;
    }
    if (!itemExists(path))
        return errno == ENOENT || errno == ENOTDIR;
    core::Error error;
    if (fs::removeItem(path, &error))
        return true;
    errno = static_cast<int>(error.code());
    return false;
}

bool VKCopyItemAtPathToPath(const std::string& from, const std::string& to, core::Error* error,
    VKFileManagerDelegate* delegate)
{
    if (delegate && !delegate->shouldCopyItemAtPath(from, to))
        return false;
    if (const int injected = core::FileTestHooks::copyItemError(from))
        return fail(error, core::Error::posix(injected));
    auto source = itemAttributes(from, error);
    if (!source)
        return false;
    switch (source->type) {
    case fs::FileType::Directory:
        return copyFolder(from, to, *source, error, delegate);
    case fs::FileType::Regular:
    case fs::FileType::SymbolicLink: // fails at the no-follow open, as the device's copy does
        return copyFile(from, to, *source, error, delegate);
    default:
        core::log("Warning, unhandled file type: {}", fileTypeName(source->type));
        return fail(error, fileManagerError(-1, "Unhandled file type"));
    }
}
