#include "Platform/Core/FileSystem.h"

#include "Platform/Core/Descriptor.h"
#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <memory>
#include <sys/syscall.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace core::fs {

namespace {

constexpr int64_t NanosecondsPerSecond = 1'000'000'000;
constexpr int DirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
// The most readFile takes from a file that reports no size.
constexpr size_t UnsizedFileLimit = 16 << 20;

bool fail(Error* error, int code, const std::string& path = {})
{
    if (error) {
        Error failure = Error::posix(code);
        if (!path.empty())
            failure.setUserInfoValue(Error::FilePathKey, Value(path));
        *error = std::move(failure);
    }
    return false;
}

template <typename T>
std::optional<T> none(Error* error, int code, const std::string& path)
{
    fail(error, code, path);
    return std::nullopt;
}

int64_t nanoseconds(const statx_timestamp& time)
{
    return time.tv_sec * NanosecondsPerSecond + time.tv_nsec;
}

timespec timespecFrom(int64_t nanoseconds)
{
    int64_t seconds = nanoseconds / NanosecondsPerSecond;
    int64_t rest = nanoseconds % NanosecondsPerSecond;
    if (rest < 0) {
        rest += NanosecondsPerSecond;
        --seconds;
    }
    return { static_cast<time_t>(seconds), static_cast<long>(rest) };
}

FileType typeOf(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return FileType::Regular;
    case S_IFDIR: return FileType::Directory;
    case S_IFLNK: return FileType::SymbolicLink;
    case S_IFCHR: return FileType::CharacterSpecial;
    case S_IFBLK: return FileType::BlockSpecial;
    case S_IFIFO: return FileType::FIFO;
    case S_IFSOCK: return FileType::Socket;
    default: return FileType::Unknown;
    }
}

// What stat(2) tells, in statx's terms (no birth time).
struct statx statxFrom(const struct stat& plain)
{
    struct statx info {};
    info.stx_mask = STATX_BASIC_STATS;
    info.stx_mode = static_cast<uint16_t>(plain.st_mode);
    info.stx_size = static_cast<uint64_t>(plain.st_size);
    info.stx_mtime = { plain.st_mtim.tv_sec, static_cast<uint32_t>(plain.st_mtim.tv_nsec), 0 };
    info.stx_ino = plain.st_ino;
    info.stx_nlink = static_cast<uint32_t>(plain.st_nlink);
    info.stx_uid = plain.st_uid;
    info.stx_gid = plain.st_gid;
    info.stx_dev_major = major(plain.st_dev);
    info.stx_dev_minor = minor(plain.st_dev);
    return info;
}

// statx(2) for the birth time; lstat(2) where the call is unavailable (old
// kernels, container filters).
bool linkStatus(int folder, const char* name, struct statx& info)
{
    if (statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_BTIME, &info) == 0)
        return true;
    if (errno != ENOSYS && errno != EPERM)
        return false;
    struct stat plain;
    if (fstatat(folder, name, &plain, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    info = statxFrom(plain);
    return true;
}

bool writeAll(int fd, const char* bytes, size_t length)
{
    while (length > 0) {
        ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// Kernel-side copy where the file systems allow it, else through a buffer.
// After each step (at most MaximumCopyStep) the test hook and the progress
// callback have their say; a false from the callback is ECANCELED. A failure
// leaves errno set.
bool copyData(int in, int out, const std::function<bool(uint64_t)>* progress = nullptr,
    const std::string* to = nullptr)
{
    bool kernelCopy = true;
    std::vector<char> buffer;
    uint64_t written = 0;
    auto stepDone = [&](uint64_t bytes) {
        written += bytes;
        if (to) {
            if (const int injected = FileTestHooks::copyDataError(*to, written)) {
                errno = injected;
                return false;
            }
        }
        if (progress && *progress && !(*progress)(bytes)) {
            errno = ECANCELED;
            return false;
        }
        return true;
    };
    for (;;) {
        if (kernelCopy) {
            ssize_t count = copy_file_range(in, nullptr, out, nullptr, MaximumCopyStep, 0);
            if (count > 0) {
                if (!stepDone(static_cast<uint64_t>(count)))
                    return false;
                continue;
            }
            if (count == 0)
                return true;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EPERM)
                return false;
            kernelCopy = false;
            buffer.resize(256 * 1024);
        }
        ssize_t count = read(in, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return count == 0;
        if (!writeAll(out, buffer.data(), static_cast<size_t>(count)) || !stepDone(static_cast<uint64_t>(count)))
            return false;
    }
}

// A new hidden file ".name.XXXXXX" beside `path`, where a replacement is
// written before it is renamed over the path; its descriptor (-1 and errno
// on failure), its path in `temporary` and the folder both are in.
int makeHiddenSibling(const std::string& path, std::vector<char>& temporary, std::string& folder)
{
    auto slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Long names still leave room for the temporary's prefix and suffix.
    std::string pattern = folder + "/." + name.substr(0, 200) + ".XXXXXX";
    temporary.assign(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    return mkostemp(temporary.data(), O_CLOEXEC);
}

// What `in` reads, copied into a hidden sibling of `to` with that mode and
// renamed over `to` (`replace`) or into its place only when nothing is there
// (EEXIST); a failure leaves no sibling and `to` as it was.
bool copyIntoPlace(int in, unsigned mode, const std::string& to, bool replace, Error* error,
    const std::function<std::string(const std::string& to)>& stagingPath = nullptr)
{
    std::string folder;
    std::vector<char> temporary;
    Descriptor out;
    if (!stagingPath) {
        out = Descriptor(makeHiddenSibling(to, temporary, folder));
    } else {
        // Another may take the staging path first: ask for another.
        do {
            const std::string staging = stagingPath(to);
            temporary.assign(staging.begin(), staging.end());
            temporary.push_back('\0');
            out = Descriptor(open(temporary.data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        } while (out.get() < 0 && errno == EEXIST);
    }
    if (out.get() < 0)
        return fail(error, errno, to);
    auto abandon = [&](int code) {
        unlink(temporary.data());
        return fail(error, code, to);
    };
    if (fchmod(out.get(), mode) != 0)
        return abandon(errno);
    const std::string part(temporary.data());
    if (!copyData(in, out.get(), nullptr, &part))
        return abandon(errno);
    if (close(out.release()) != 0)
        return abandon(errno);
    if (replace ? rename(temporary.data(), to.c_str()) != 0
                : renameat2(AT_FDCWD, temporary.data(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
        return abandon(errno);
    return true;
}

struct Entry {
    std::string name;
    bool isDirectory; // the entry itself: a link to a folder is not one
    bool isLink = false;
    bool isRegular = false;
};

// The entries of an open folder; the descriptor stays open for *at() calls.
bool readEntries(int directory, std::vector<Entry>& entries, int& code)
{
    int copy = fcntl(directory, F_DUPFD_CLOEXEC, 0);
    DIR* stream = copy < 0 ? nullptr : fdopendir(copy);
    if (!stream) {
        code = errno;
        if (copy >= 0)
            close(copy);
        return false;
    }
    rewinddir(stream);
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(stream);
        if (!entry)
            break;
        std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        bool isLink = entry->d_type == DT_LNK;
        bool isRegular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info;
            bool known = fstatat(directory, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0;
            isFolder = known && S_ISDIR(info.st_mode);
            isLink = known && S_ISLNK(info.st_mode);
            isRegular = known && S_ISREG(info.st_mode);
        }
        entries.push_back({ std::string(name), isFolder, isLink, isRegular });
    }
    code = errno;
    closedir(stream);
    return code == 0;
}

// Opens the folder `name` inside `directory`, refusing a link in its place.
int openSubdirectory(int directory, const std::string& name)
{
    return openat(directory, name.c_str(), DirectoryFlags | O_NOFOLLOW);
}

bool collectSubpaths(int directory, const std::string& prefix, std::vector<std::string>& paths, int& code)
{
    std::vector<Entry> entries;
    if (!readEntries(directory, entries, code))
        return false;
    for (const auto& entry : entries) {
        paths.push_back(prefix + entry.name);
        if (!entry.isDirectory)
            continue;
        Descriptor folder(openSubdirectory(directory, entry.name));
        if (folder.get() < 0) {
            code = errno;
            return false;
        }
        if (!collectSubpaths(folder.get(), paths.back() + "/", paths, code))
            return false;
    }
    return true;
}

// Everything inside an open folder, by descriptor, so that a folder swapped
// for a link while the removal runs is refused rather than followed.
bool removeContents(int directory, int& code)
{
    std::vector<Entry> entries;
    if (!readEntries(directory, entries, code))
        return false;
    for (const auto& entry : entries) {
        if (entry.isDirectory) {
            Descriptor folder(openSubdirectory(directory, entry.name));
            if (folder.get() < 0) {
                code = errno;
                return false;
            }
            if (!removeContents(folder.get(), code))
                return false;
        }
        if (unlinkat(directory, entry.name.c_str(), entry.isDirectory ? AT_REMOVEDIR : 0) != 0) {
            code = errno;
            return false;
        }
    }
    return true;
}

std::optional<std::vector<std::string>> listFolder(const std::string& path, Error* error)
{
    if (hasNul(path))
        return none<std::vector<std::string>>(error, EINVAL, path);
    if (int injected = FileTestHooks::listFolderError(path))
        return none<std::vector<std::string>>(error, injected, path);
    Descriptor folder(open(path.c_str(), DirectoryFlags));
    std::vector<Entry> entries;
    int code = 0;
    if (folder.get() < 0 || !readEntries(folder.get(), entries, code))
        return none<std::vector<std::string>>(error, folder.get() < 0 ? errno : code, path);
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (auto& entry : entries)
        names.push_back(std::move(entry.name));
    return names;
}

Attributes attributesFrom(const struct statx& info)
{
    Attributes result;
    result.type = typeOf(info.stx_mode);
    result.size = info.stx_size;
    result.mode = info.stx_mode & 07777;
    result.modificationTime = nanoseconds(info.stx_mtime);
    result.creationTime = (info.stx_mask & STATX_BTIME) ? nanoseconds(info.stx_btime) : result.modificationTime;
    result.inode = info.stx_ino;
    result.linkCount = info.stx_nlink;
    result.uid = info.stx_uid;
    result.gid = info.stx_gid;
    result.device = makedev(info.stx_dev_major, info.stx_dev_minor);
    return result;
}

// An item of a copy: a name inside an open folder (or, with AT_FDCWD, a
// whole path), and its whole path for errors and the caller's callbacks.
struct Place {
    int folder;
    const char* name;
    const std::string& path;
};

// One recursive copy. Each item is made, filled and then finished with the
// source's attributes, mode and time; the caller's options decide which
// attributes go along and whether a failed item stops the copy. Below the
// top, items are reached relative to their folders' open descriptors and a
// regular file's kind comes from its folder's listing: a copy of many small
// files would otherwise spend much of its time walking their paths.
class TreeCopy {
public:
    TreeCopy(const CopyOptions& options, Error* error) : m_options(options), m_error(error) { }

    // The whole copy; a cancelled one removes what it made before it
    // returns.
    bool run(const std::string& from, const std::string& to)
    {
        if (copy({ AT_FDCWD, from.c_str(), from }, { AT_FDCWD, to.c_str(), to }, false))
            return true;
        if (m_cancelled && m_madeTop) {
            removeItem(to);
            releaseInBackground(std::move(m_held));
        }
        return false;
    }

private:
    // Files at least this large that the copy wrote stay open until the
    // copy ends. Removing a large file costs when its last descriptor
    // closes (the kernel drops its cached pages, waiting for those being
    // written): held, the names of a cancelled copy go at once and that
    // cost is paid on a thread of its own.
    static constexpr off_t HeldFileBytes = 4 * 1024 * 1024;
    static constexpr size_t MostHeldFiles = 64;
    // Each folder being copied holds two descriptors; deeper than this the
    // items are reached by their whole paths instead, so that no tree can
    // run the process out of descriptors.
    static constexpr int MostOpenDepth = 64;

    static void releaseInBackground(std::vector<Descriptor> descriptors)
    {
        if (descriptors.empty())
            return;
        try {
            std::thread([held = std::move(descriptors)] { }).detach();
        } catch (const std::system_error&) {
            // No thread: the descriptors close here as the lambda goes.
        }
    }

    void hold(Descriptor descriptor)
    {
        if (descriptor.isValid() && m_held.size() < MostHeldFiles)
            m_held.push_back(std::move(descriptor));
    }

    // Called right after an item is made at `to`.
    void made()
    {
        if (m_depth == 1)
            m_madeTop = true;
    }

    bool copy(const Place& from, const Place& to, bool listedRegular)
    {
        Error failure;
        ++m_depth;
        const bool copied = copyOne(from, to, listedRegular, &failure);
        --m_depth;
        if (copied)
            return true;
        // A failure below this item has already been reported and stopped the copy.
        if (m_stopped)
            return false;
        const bool cancelled = failure.is(Error::POSIXDomain, ECANCELED);
        m_cancelled = cancelled;
        if (!cancelled && m_options.itemFailed && m_options.itemFailed(from.path, failure))
            return true;
        m_stopped = true;
        setError(m_error, std::move(failure));
        return false;
    }

    static int openSource(const Place& from)
    {
        // O_NONBLOCK: an item swapped for a FIFO must not hang the copy.
        return openat(from.folder, from.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }

    bool copyOne(const Place& from, const Place& to, bool listedRegular, Error* error)
    {
        if (const int injected = FileTestHooks::copyItemError(from.path))
            return fail(error, injected, from.path);
        // Asked before each item too, so a cancel is heard between small files.
        if (m_options.progress && !m_options.progress(0))
            return fail(error, ECANCELED, from.path);
        if (listedRegular) {
            // Opened at once; what the descriptor shows decides (an item
            // replaced since the listing goes the long way below).
            Descriptor in(openSource(from));
            struct stat info;
            if (in.get() >= 0 && fstat(in.get(), &info) == 0 && S_ISREG(info.st_mode))
                return copyFile(std::move(in), info, to, error);
            if (in.get() < 0 && errno != ELOOP && errno != ENXIO)
                return fail(error, errno, from.path);
        }
        struct statx status;
        if (!linkStatus(from.folder, from.name, status))
            return fail(error, errno, from.path);
        const Attributes source = attributesFrom(status);
        switch (source.type) {
        case FileType::Directory:
            return copyFolder(from, to, source, error);
        case FileType::Regular: {
            Descriptor in(openSource(from));
            struct stat info;
            if (in.get() < 0 || fstat(in.get(), &info) != 0)
                return fail(error, errno, from.path);
            if (!S_ISREG(info.st_mode))
                return fail(error, EINVAL, from.path);
            return copyFile(std::move(in), info, to, error);
        }
        case FileType::SymbolicLink:
            if (!copyLink(from, to, error))
                return false;
            break;
        case FileType::FIFO:
            if (mkfifoat(to.folder, to.name, 0600) != 0)
                return fail(error, errno, to.path);
            made();
            // Opening a FIFO would block: finished by path. Links carry
            // neither user attributes nor a mode of their own here.
            if (!copyAttributes(from.path, to.path, -1, -1, error))
                return false;
            if (fchmodat(to.folder, to.name, source.mode, 0) != 0)
                return fail(error, errno, to.path);
            break;
        default:
            return fail(error, ENOTSUP, from.path);
        }
        const timespec times[2] = { { 0, UTIME_OMIT }, timespecFrom(source.modificationTime) };
        if (utimensat(to.folder, to.name, times, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(error, errno, to.path);
        return true;
    }

    bool copyFolder(const Place& from, const Place& to, const Attributes& source, Error* error)
    {
        // The copy's own top folder showing up in the source means the
        // destination lies inside the source (through a link or otherwise).
        if (m_top && m_top->first == source.device && m_top->second == source.inode)
            return fail(error, EINVAL, from.path);
        if (mkdirat(to.folder, to.name, 0700) != 0)
            return fail(error, errno, to.path);
        made();
        Descriptor out(openat(to.folder, to.name, DirectoryFlags | O_NOFOLLOW));
        if (out.get() < 0)
            return fail(error, errno, to.path);
        if (!m_top) {
            auto made = attributesOfDescriptor(out.get(), error);
            if (!made)
                return false;
            m_top = { made->device, made->inode };
        }
        Descriptor in(openat(from.folder, from.name, DirectoryFlags | O_NOFOLLOW));
        std::vector<Entry> entries;
        int code = 0;
        if (in.get() < 0 || !readEntries(in.get(), entries, code))
            return fail(error, in.get() < 0 ? errno : code, from.path);
        const bool relative = m_depth < MostOpenDepth;
        for (const auto& entry : entries) {
            const std::string fromPath = from.path + "/" + entry.name;
            const std::string toPath = to.path + "/" + entry.name;
            const bool copied = relative
                ? copy({ in.get(), entry.name.c_str(), fromPath }, { out.get(), entry.name.c_str(), toPath },
                      entry.isRegular)
                : copy({ AT_FDCWD, fromPath.c_str(), fromPath }, { AT_FDCWD, toPath.c_str(), toPath },
                      entry.isRegular);
            if (!copied)
                return false;
        }
        // Attributes first: a read-only mode would refuse them. The time
        // last, once nothing more is made inside.
        return finish(in.get(), out.get(), from.path, to.path, source.mode, source.modificationTime, error);
    }

    // The process's file-mode creation mask, read once a copy from /proc
    // (umask(2) would change it for every thread while it is asked); -1
    // when it cannot be read.
    int creationMask()
    {
        if (m_mask != Unread)
            return m_mask;
        m_mask = -1;
        Descriptor status(open("/proc/self/status", O_RDONLY | O_CLOEXEC));
        char text[4096];
        const ssize_t length = status.get() < 0 ? -1 : read(status.get(), text, sizeof text - 1);
        if (length <= 0)
            return m_mask;
        text[length] = '\0';
        if (const char* field = strstr(text, "\nUmask:")) {
            char* end = nullptr;
            const long mask = strtol(field + 7, &end, 8);
            if (end != field + 7 && mask >= 0 && mask <= 0777)
                m_mask = int(mask);
        }
        return m_mask;
    }

    bool copyFile(Descriptor in, const struct stat& info, const Place& to, Error* error)
    {
        // Made with its final mode where the mask leaves that mode whole,
        // saving a call a file; otherwise (special bits, no writing for its
        // owner, which the attributes need, or a mask that takes bits) made
        // private and given its mode once filled.
        const unsigned mode = info.st_mode & 07777;
        const int mask = creationMask();
        const bool madeWithMode = mask >= 0 && (mode & 07000) == 0 && (mode & S_IWUSR) && (mode & unsigned(mask)) == 0;
        Descriptor out(openat(to.folder, to.name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
            madeWithMode ? mode : 0600));
        if (out.get() < 0)
            return fail(error, errno, to.path);
        made();
        if (!copyData(in.get(), out.get(), &m_options.progress, &to.path)) {
            const int code = errno;
            if (code == ECANCELED)
                hold(std::move(out));
            return fail(error, code, to.path);
        }
        const int64_t modified = int64_t(info.st_mtim.tv_sec) * NanosecondsPerSecond + info.st_mtim.tv_nsec;
        if (!finish(in.get(), out.get(), to.path, to.path, madeWithMode ? std::nullopt : std::optional(mode), modified,
                error))
            return false;
        if (close(out.release()) != 0)
            return fail(error, errno, to.path);
        if (info.st_size >= HeldFileBytes)
            hold(Descriptor(openat(to.folder, to.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)));
        return true;
    }

    bool copyLink(const Place& from, const Place& to, Error* error)
    {
        char target[PATH_MAX];
        ssize_t length = readlinkat(from.folder, from.name, target, sizeof target);
        if (length < 0)
            return fail(error, errno, from.path);
        if (static_cast<size_t>(length) == sizeof target)
            return fail(error, ENAMETOOLONG, from.path);
        if (symlinkat(std::string(target, static_cast<size_t>(length)).c_str(), to.folder, to.name) != 0)
            return fail(error, errno, to.path);
        made();
        return true;
    }

    // An item made and filled gets its attributes, its mode and its time
    // through the descriptors it was copied with.
    bool finish(int in, int out, const std::string& from, const std::string& to, std::optional<unsigned> mode,
        int64_t modified, Error* error)
    {
        if (!copyAttributes(from, to, in, out, error))
            return false;
        if (mode && fchmod(out, *mode) != 0)
            return fail(error, errno, to);
        const timespec times[2] = { { 0, UTIME_OMIT }, timespecFrom(modified) };
        if (futimens(out, times) != 0)
            return fail(error, errno, to);
        return true;
    }

    // Through the descriptors `in` and `out`, or by path when they are -1.
    bool copyAttributes(const std::string& from, const std::string& to, int in, int out, Error* error)
    {
        constexpr int options = ExtendedAttributes::NoFollow;
        Error listError;
        auto names = in >= 0 ? ExtendedAttributes::names(in, from, &listError)
                             : ExtendedAttributes::names(from, options, &listError);
        if (!names) {
            // A file system without extended attributes has none to copy.
            if (listError.is(Error::POSIXDomain, ENOTSUP))
                return true;
            setError(error, std::move(listError));
            return false;
        }
        for (const auto& name : *names) {
            if (m_options.attributeFilter && !m_options.attributeFilter(name))
                continue;
            auto value = in >= 0 ? ExtendedAttributes::value(in, from, name, error)
                                 : ExtendedAttributes::value(from, name, options, error);
            if (!value)
                return false;
            const bool set = out >= 0 ? ExtendedAttributes::setValue(out, to, name, value->view(), error)
                                      : ExtendedAttributes::setValue(to, name, value->view(), options, error);
            if (!set)
                return false;
        }
        return true;
    }

    const CopyOptions& m_options;
    Error* m_error;
    bool m_stopped = false;
    bool m_cancelled = false;
    int m_depth = 0;
    bool m_madeTop = false;
    std::vector<Descriptor> m_held;
    std::optional<std::pair<uint64_t, uint64_t>> m_top; // device and inode of the top destination folder
    static constexpr int Unread = -2;
    int m_mask = Unread;
};

} // namespace

Date Attributes::modificationDate() const
{
    return Date::fromUnixTime(static_cast<double>(modificationTime) / NanosecondsPerSecond);
}

Date Attributes::creationDate() const
{
    return Date::fromUnixTime(static_cast<double>(creationTime) / NanosecondsPerSecond);
}

std::string failedPath(const Error& error)
{
    auto found = error.userInfo().find(Error::FilePathKey);
    return found != error.userInfo().end() && found->second.isString() ? found->second.string() : std::string();
}

bool hasNul(std::string_view path)
{
    return path.find('\0') != std::string_view::npos;
}

std::string absolutePath(std::string_view path)
{
    std::string result;
    if (path.empty() || path[0] != '/') {
        std::unique_ptr<char, decltype(&std::free)> directory(getcwd(nullptr, 0), &std::free);
        result = directory ? directory.get() : "/";
        if (!path.empty() && !result.ends_with('/'))
            result += '/';
    }
    result += path;
    // Absolute by now, so no "~" is expanded.
    return path::standardizingPath(result);
}

bool exists(const std::string& path, bool* isDirectory)
{
    struct stat info;
    if (hasNul(path) || stat(path.c_str(), &info) != 0)
        return false;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return true;
}

bool isDirectory(const std::string& path)
{
    bool folder = false;
    return exists(path, &folder) && folder;
}

bool isReadable(const std::string& path)
{
    return !hasNul(path) && access(path.c_str(), R_OK) == 0;
}

bool isWritable(const std::string& path)
{
    return !hasNul(path) && access(path.c_str(), W_OK) == 0;
}

bool isExecutable(const std::string& path)
{
    return !hasNul(path) && access(path.c_str(), X_OK) == 0;
}

bool isDeletable(const std::string& path)
{
    struct stat item;
    if (hasNul(path) || path::standardizingPath(path) == "/" || lstat(path.c_str(), &item) != 0)
        return false;
    std::string folder = path::deletingLastPathComponent(path);
    if (folder.empty())
        folder = ".";
    struct stat parent;
    if (access(folder.c_str(), W_OK | X_OK) != 0 || stat(folder.c_str(), &parent) != 0)
        return false;
    if (!(parent.st_mode & S_ISVTX))
        return true;
    uid_t user = geteuid();
    return user == 0 || user == item.st_uid || user == parent.st_uid;
}

std::optional<Attributes> attributes(const std::string& path, Error* error)
{
    return attributesInFolder(AT_FDCWD, path, path, error);
}

std::optional<Attributes> attributesInFolder(int folder, const std::string& name, const std::string& path, Error* error)
{
    if (hasNul(name))
        return none<Attributes>(error, EINVAL, path);
    struct statx info;
    if (!linkStatus(folder, name.c_str(), info))
        return none<Attributes>(error, errno, path);
    return attributesFrom(info);
}

std::optional<Attributes> attributesOfDescriptor(int fd, Error* error)
{
    struct statx info;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) == 0)
        return attributesFrom(info);
    if (errno != ENOSYS && errno != EPERM) {
        setError(error, Error::posix(errno));
        return std::nullopt;
    }
    struct stat plain;
    if (fstat(fd, &plain) != 0) {
        setError(error, Error::posix(errno));
        return std::nullopt;
    }
    return attributesFrom(statxFrom(plain));
}

int openForReadingWithoutLinks(const std::string& path)
{
    return openWithoutLinks(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
}

int openWithoutLinks(const std::string& path, int flags)
{
    if (hasNul(path)) {
        errno = EINVAL;
        return -1;
    }
    open_how how {};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    do
        fd = syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    while (fd < 0 && errno == EINTR);
    return static_cast<int>(fd);
}

bool setModificationTime(const std::string& path, int64_t nanoseconds, Error* error)
{
    if (hasNul(path))
        return fail(error, EINVAL, path);
    const timespec times[2] = { { 0, UTIME_OMIT }, timespecFrom(nanoseconds) };
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(error, errno, path);
    return true;
}

std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path, Error* error)
{
    return listFolder(path, error);
}

std::optional<std::vector<DirectoryEntry>> contentsOfDirectoryWithTypes(const std::string& path, Error* error)
{
    if (hasNul(path))
        return none<std::vector<DirectoryEntry>>(error, EINVAL, path);
    if (int injected = FileTestHooks::listFolderError(path))
        return none<std::vector<DirectoryEntry>>(error, injected, path);
    Descriptor folder(open(path.c_str(), DirectoryFlags));
    std::vector<Entry> entries;
    int code = 0;
    if (folder.get() < 0 || !readEntries(folder.get(), entries, code))
        return none<std::vector<DirectoryEntry>>(error, folder.get() < 0 ? errno : code, path);
    std::vector<DirectoryEntry> listed;
    listed.reserve(entries.size());
    for (auto& entry : entries)
        listed.push_back({ std::move(entry.name), entry.isDirectory, entry.isLink });
    return listed;
}

std::optional<std::vector<std::string>> sortedContentsOfDirectory(const std::string& path, Error* error)
{
    auto names = listFolder(path, error);
    if (names)
        std::sort(names->begin(), names->end());
    return names;
}

std::optional<std::vector<std::string>> subpaths(const std::string& path, Error* error)
{
    if (hasNul(path))
        return none<std::vector<std::string>>(error, EINVAL, path);
    Descriptor folder(open(path.c_str(), DirectoryFlags));
    if (folder.get() < 0)
        return none<std::vector<std::string>>(error, errno, path);
    std::vector<std::string> paths;
    int code = 0;
    if (!collectSubpaths(folder.get(), {}, paths, code))
        return none<std::vector<std::string>>(error, code, path);
    return paths;
}

bool createDirectory(const std::string& path, bool intermediates, Error* error, unsigned mode)
{
    if (hasNul(path))
        return fail(error, EINVAL, path);
    if (!intermediates)
        return mkdir(path.c_str(), mode) == 0 || fail(error, errno, path);
    if (isDirectory(path))
        return true;
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        std::string prefix = path.substr(0, end);
        int code = mkdir(prefix.c_str(), mode) == 0 ? 0 : errno;
        // An existing parent that is no folder shows up as ENOTDIR one step on.
        if (code == EEXIST && (end != std::string::npos || isDirectory(prefix)))
            code = 0;
        if (code != 0)
            return fail(error, code, prefix);
        if (end == std::string::npos)
            return true;
    }
}

bool writeFileAtomically(const std::string& path, std::string_view contents, Error* error, unsigned mode)
{
    if (path.empty() || hasNul(path))
        return fail(error, EINVAL, path);
    std::string folder;
    std::vector<char> temporary;
    Descriptor fd(makeHiddenSibling(path, temporary, folder));
    if (fd.get() < 0)
        return fail(error, errno, path);
    auto abandon = [&](int code) {
        unlink(temporary.data());
        return fail(error, code, path);
    };
    struct stat existing;
    unsigned finalMode = stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : mode;
    if (fchmod(fd.get(), finalMode) != 0)
        return abandon(errno);
    if (!writeAll(fd.get(), contents.data(), contents.size()))
        return abandon(errno);
    if (fsync(fd.get()) != 0)
        return abandon(errno);
    if (close(fd.release()) != 0)
        return abandon(errno);
    if (rename(temporary.data(), path.c_str()) != 0)
        return abandon(errno);
    // The rename itself survives a crash only once the folder is on disk.
    Descriptor parent(open(folder.c_str(), DirectoryFlags));
    if (parent.get() >= 0)
        fsync(parent.get());
    return true;
}

namespace {

bool readOpenedFile(std::optional<RegularFile> file, const std::string& path, Data& contents, Error* error)
{
    if (!file)
        return false;
    if (file->size == 0) {
        // Kernel files (/proc, /sys) report a size of 0 whatever they hold:
        // read through, up to a bound such files never reach.
        std::string bytes;
        char buffer[65536];
        for (;;) {
            ssize_t count = read(file->fd.get(), buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                return fail(error, errno, path);
            if (count == 0)
                break;
            if (bytes.size() + static_cast<size_t>(count) > UnsizedFileLimit)
                return fail(error, EFBIG, path);
            bytes.append(buffer, static_cast<size_t>(count));
        }
        contents = Data(std::move(bytes));
        return true;
    }
    void* mapping = mmap(nullptr, static_cast<size_t>(file->size), PROT_READ, MAP_PRIVATE, file->fd.get(), 0);
    if (mapping == MAP_FAILED)
        return fail(error, errno, path);
    contents = Data::adoptMapping(mapping, static_cast<size_t>(file->size));
    return true;
}

} // namespace

bool readFile(const std::string& path, Data& contents, Error* error)
{
    return readOpenedFile(openRegularFile(path, error), path, contents, error);
}

bool readFileWithin(const std::string& path, const std::string& folder, Data& contents, Error* error)
{
    return readOpenedFile(openRegularFileWithin(path, folder, error), path, contents, error);
}

bool copyItem(const std::string& from, const std::string& to, Error* error)
{
    return copyItem(from, to, CopyOptions(), error);
}

// A cancelled copy (the progress callback said no) removes what it made
// before it returns; the space of the large files it wrote comes back a
// moment later, from another thread.
bool copyItem(const std::string& from, const std::string& to, const CopyOptions& options, Error* error)
{
    if (hasNul(from) || hasNul(to))
        return fail(error, EINVAL, hasNul(from) ? from : to);
    if (path::isWithin(to, from) && path::standardizingPath(to) != path::standardizingPath(from))
        return fail(error, EINVAL, to);
    return TreeCopy(options, error).run(from, to);
}

std::string hiddenSiblingPath(const std::string& path, std::string_view tag)
{
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string item = path;
    while (item.size() > 1 && item.back() == '/')
        item.pop_back();
    const auto slash = item.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : item.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? item : item.substr(slash + 1);
    // Room for the dots, the tag and the suffix within a name's 255 bytes,
    // cut on a character's first byte.
    const size_t room = 255 - 3 - std::min<size_t>(tag.size(), 64) - 6;
    if (name.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    for (;;) {
        unsigned char random[6];
        if (getrandom(random, sizeof random, 0) != sizeof random) {
            for (auto& byte : random)
                byte = static_cast<unsigned char>(std::rand());
        }
        std::string candidate = folder + "." + name + "." + std::string(tag.substr(0, 64)) + "-";
        for (unsigned char byte : random)
            candidate += Letters[byte % (sizeof Letters - 1)];
        struct stat existing;
        if (lstat(candidate.c_str(), &existing) != 0)
            return candidate;
    }
}

bool moveItem(const std::string& from, const std::string& to, Error* error)
{
    return moveItem(from, to, CopyOptions(), error);
}

bool renameItem(const std::string& from, const std::string& to, Error* error)
{
    if (hasNul(from) || hasNul(to))
        return fail(error, EINVAL, hasNul(from) ? from : to);
    if (const int injected = FileTestHooks::renameItemError(from))
        return fail(error, injected, from);
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int code = errno;
    if (code == EINVAL && !path::isWithin(to, from)) {
        // A file system without no-replace renames: look first.
        struct stat existing;
        if (lstat(to.c_str(), &existing) == 0)
            return fail(error, EEXIST, to);
        if (rename(from.c_str(), to.c_str()) == 0)
            return true;
        code = errno;
    }
    return fail(error, code, from);
}

bool moveItem(const std::string& from, const std::string& to, const CopyOptions& options, Error* error)
{
    Error renameError;
    if (renameItem(from, to, &renameError))
        return true;
    if (!renameError.is(Error::POSIXDomain, EXDEV)) {
        setError(error, std::move(renameError));
        return false;
    }
    struct stat existing;
    if (lstat(to.c_str(), &existing) == 0)
        return fail(error, EEXIST, to);
    // Another file system: the copy is made beside the target and only a
    // whole copy takes its name.
    for (;;) {
        const std::string staging = options.stagingPath ? options.stagingPath(to) : hiddenSiblingPath(to, "move");
        Error copyError;
        if (!copyItem(from, staging, options, &copyError)) {
            // Another got to the sibling's name first: nothing of ours is there.
            if (copyError.is(Error::POSIXDomain, EEXIST) && failedPath(copyError) == staging)
                continue;
            removeItem(staging);
            setError(error, std::move(copyError));
            return false;
        }
        if (renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0
            && !(errno == EINVAL && lstat(to.c_str(), &existing) != 0 && rename(staging.c_str(), to.c_str()) == 0)) {
            const int renameCode = errno == EINVAL ? EEXIST : errno;
            removeItem(staging);
            return fail(error, renameCode, to);
        }
        return removeItem(from, error);
    }
}

bool replaceItem(const std::string& from, const std::string& to, Error* error)
{
    return replaceItem(from, to, CopyOptions(), error);
}

bool replaceItem(const std::string& from, const std::string& to, const CopyOptions& options, Error* error)
{
    if (hasNul(from) || hasNul(to) || from.empty() || to.empty())
        return fail(error, EINVAL, hasNul(from) ? from : to);
    struct stat target;
    if (stat(to.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
        return fail(error, EISDIR, to);
    // An injected EXDEV goes the way of a file on another file system.
    const int injected = FileTestHooks::renameItemError(from);
    if (injected && injected != EXDEV)
        return fail(error, injected, from);
    if (!injected && rename(from.c_str(), to.c_str()) == 0)
        return true;
    if (const int code = injected ? injected : errno; code != EXDEV)
        return fail(error, code, code == ENOENT ? from : to);

    // Another file system: the copy is made beside the target and only then
    // takes its place.
    Descriptor in(open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0)
        return fail(error, errno, from);
    struct stat source;
    if (fstat(in.get(), &source) != 0)
        return fail(error, errno, from);
    if (!S_ISREG(source.st_mode))
        return fail(error, ENOTSUP, from);
    if (!copyIntoPlace(in.get(), source.st_mode & 07777, to, true, error, options.stagingPath))
        return false;
    unlink(from.c_str());
    return true;
}

bool copyRegularFile(const std::string& from, const std::string& to, Error* error)
{
    if (hasNul(to) || to.empty())
        return fail(error, EINVAL, to);
    auto file = openRegularFile(from, error);
    if (!file)
        return false;
    struct stat source;
    if (fstat(file->fd.get(), &source) != 0)
        return fail(error, errno, from);
    return copyIntoPlace(file->fd.get(), source.st_mode & 0777, to, false, error);
}

std::optional<std::string> createUniqueFile(const std::string& folder, std::string_view prefix, Error* error)
{
    if (hasNul(folder) || hasNul(prefix) || prefix.find('/') != std::string_view::npos)
        return none<std::string>(error, EINVAL, folder);
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != '/')
        pattern += '/';
    pattern.append(prefix);
    pattern += "XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    Descriptor fd(mkostemp(path.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return none<std::string>(error, errno, folder);
    return std::string(path.data());
}

bool exchangeItems(const std::string& first, const std::string& second, Error* error)
{
    if (hasNul(first) || hasNul(second))
        return fail(error, EINVAL, hasNul(first) ? first : second);
    if (renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) != 0)
        return fail(error, errno, first);
    return true;
}

bool removeItem(const std::string& path, Error* error)
{
    if (hasNul(path))
        return fail(error, EINVAL, path);
    // "link/" would name the link's target: the item is the link itself.
    std::string item = path;
    while (item.size() > 1 && item.back() == '/')
        item.pop_back();
    struct stat info;
    if (lstat(item.c_str(), &info) != 0)
        return fail(error, errno, path);
    if (!S_ISDIR(info.st_mode))
        return unlink(item.c_str()) == 0 || fail(error, errno, path);
    Descriptor folder(open(item.c_str(), DirectoryFlags | O_NOFOLLOW));
    if (folder.get() < 0)
        return fail(error, errno, path);
    int code = 0;
    if (!removeContents(folder.get(), code))
        return fail(error, code, path);
    return rmdir(item.c_str()) == 0 || fail(error, errno, path);
}

} // namespace core::fs
