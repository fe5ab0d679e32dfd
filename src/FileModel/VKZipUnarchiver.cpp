#include "FileModel/VKZipUnarchiver.h"

#include "FileModel/VKZipEntryReader.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Descriptor.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/Core/UTF8.h"

#include <unzip.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t ChunkSize = 10240;
constexpr const char* ResourceForkFolder = "__MACOSX/";

// Code pages tried, in order, for a name that is not UTF-8: desktop zip
// tools write the DOS code page of their system.
constexpr std::array<const char*, 7> NameEncodings { "CP850", "CP851", "CP852", "CP855", "CP857", "CP1252",
    "ISO-8859-1" };

unzFile handle(void* archive)
{
    return static_cast<unzFile>(archive);
}

// The name's parts below the destination, "." and empty ones dropped; nothing
// for a name that is absolute, climbs with "..", or holds a NUL.
std::optional<std::vector<std::string>> safeComponents(const std::string& name)
{
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos)
        return std::nullopt;
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        std::string part = name.substr(start, end - start);
        if (part == "..")
            return std::nullopt;
        if (!part.empty() && part != ".")
            components.push_back(std::move(part));
        start = end + 1;
    }
    if (components.empty())
        return std::nullopt;
    return components;
}

using core::Descriptor;

bool isFolderAt(int directoryFd, const std::string& name)
{
    struct stat status {};
    return fstatat(directoryFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

// Makes a folder in `directoryFd` unless one is there (never through a
// link); `made` tells whether it is new.
bool makeFolder(int directoryFd, const std::string& name, bool& made)
{
    made = false;
    if (mkdirat(directoryFd, name.c_str(), 0755) == 0) {
        made = true;
        return true;
    }
    return errno == EEXIST && isFolderAt(directoryFd, name);
}

// The entry's local date as a file time; nothing for an undated entry.
std::optional<std::time_t> entryTime(const tm_unz& date)
{
    if (date.tm_year == 0)
        return std::nullopt;
    std::tm local {};
    local.tm_year = static_cast<int>(date.tm_year) - 1900;
    local.tm_mon = static_cast<int>(date.tm_mon);
    local.tm_mday = static_cast<int>(date.tm_mday);
    local.tm_hour = static_cast<int>(date.tm_hour);
    local.tm_min = static_cast<int>(date.tm_min);
    local.tm_sec = static_cast<int>(date.tm_sec);
    local.tm_isdst = -1;
    std::time_t time = mktime(&local);
    if (time == static_cast<std::time_t>(-1))
        return std::nullopt;
    return time;
}

// The archive as minizip reads it: through a window of the file kept in
// memory. minizip reads headers a few bytes at a time with a seek before
// most of them, which through stdio costs a system call or two for every
// field; here only a read outside the window does. The length is taken at
// opening: reads past it (a header that claims more than there is) find
// nothing without asking the system again.
struct WindowedArchive {
    static constexpr size_t WindowSize = 64 * 1024;

    int fd = -1;
    uint64_t length = 0;
    uint64_t position = 0;
    uint64_t windowStart = 0;
    size_t windowLength = 0;
    bool failed = false;
    std::unique_ptr<char[]> window = std::make_unique<char[]>(WindowSize);

    // Reads at `offset` until `length` bytes are in or the file ends.
    ssize_t readAt(char* buffer, size_t length, uint64_t offset)
    {
        size_t done = 0;
        while (done < length) {
            const ssize_t got = pread(fd, buffer + done, length - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                failed = true;
                return -1;
            }
            if (got == 0)
                break;
            done += static_cast<size_t>(got);
        }
        return static_cast<ssize_t>(done);
    }

    static voidpf open(voidpf, const void* path, int mode)
    {
        if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
            return nullptr;
        const int fd = ::open(static_cast<const char*>(path), O_RDONLY | O_CLOEXEC);
        struct stat status;
        if (fd < 0 || fstat(fd, &status) != 0) {
            if (fd >= 0)
                ::close(fd);
            return nullptr;
        }
        auto* archive = new WindowedArchive;
        archive->fd = fd;
        archive->length = static_cast<uint64_t>(status.st_size);
        return archive;
    }

    static uLong read(voidpf, voidpf stream, void* buffer, uLong size)
    {
        auto& archive = *static_cast<WindowedArchive*>(stream);
        char* out = static_cast<char*>(buffer);
        uLong done = 0;
        while (done < size && archive.position < archive.length) {
            const uint64_t end = archive.windowStart + archive.windowLength;
            if (archive.position >= archive.windowStart && archive.position < end) {
                const size_t offset = static_cast<size_t>(archive.position - archive.windowStart);
                const size_t length = std::min<uint64_t>(size - done, archive.windowLength - offset);
                memcpy(out + done, archive.window.get() + offset, length);
                done += length;
                archive.position += length;
                continue;
            }
            if (size - done >= WindowSize) {
                // A large read (entry data) goes straight to the caller.
                const ssize_t got = archive.readAt(out + done, size - done, archive.position);
                if (got > 0) {
                    done += static_cast<uLong>(got);
                    archive.position += static_cast<uint64_t>(got);
                }
                break;
            }
            const ssize_t got = archive.readAt(archive.window.get(),
                std::min<uint64_t>(WindowSize, archive.length - archive.position), archive.position);
            archive.windowStart = archive.position;
            archive.windowLength = got > 0 ? static_cast<size_t>(got) : 0;
            if (got <= 0)
                break;
        }
        return done;
    }

    static uLong write(voidpf, voidpf, const void*, uLong)
    {
        return 0;
    }

    static ZPOS64_T tell(voidpf, voidpf stream)
    {
        return static_cast<WindowedArchive*>(stream)->position;
    }

    static long seek(voidpf, voidpf stream, ZPOS64_T offset, int origin)
    {
        auto& archive = *static_cast<WindowedArchive*>(stream);
        uint64_t base = 0;
        if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
            base = archive.position;
        } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
            base = archive.length;
        } else if (origin != ZLIB_FILEFUNC_SEEK_SET) {
            return -1;
        }
        // As with lseek, a position past the end is allowed (reads there
        // find nothing), one past what a file offset holds is not.
        if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max()) - base)
            return -1;
        archive.position = base + offset;
        return 0;
    }

    static int close(voidpf, voidpf stream)
    {
        auto* archive = static_cast<WindowedArchive*>(stream);
        const int result = ::close(archive->fd);
        delete archive;
        return result == 0 ? 0 : -1;
    }

    static int error(voidpf, voidpf stream)
    {
        return static_cast<WindowedArchive*>(stream)->failed ? 1 : 0;
    }
};

} // namespace

std::shared_ptr<VKZipUnarchiver> VKZipUnarchiver::unarchiverWithZipAtPath(const std::string& archivePath)
{
    zlib_filefunc64_def functions { &WindowedArchive::open, &WindowedArchive::read, &WindowedArchive::write,
        &WindowedArchive::tell, &WindowedArchive::seek, &WindowedArchive::close, &WindowedArchive::error, nullptr };
    unzFile archive = unzOpen2_64(archivePath.c_str(), &functions);
    if (!archive) {
        core::log("Warning, failed to open archive: {}", archivePath);
        return nullptr;
    }
    return std::shared_ptr<VKZipUnarchiver>(new VKZipUnarchiver(archivePath, archive));
}

VKZipUnarchiver::VKZipUnarchiver(std::string archivePath, void* archive)
    : m_archive(archive), m_archivePath(std::move(archivePath))
{
}

VKZipUnarchiver::~VKZipUnarchiver()
{
    close();
}

void VKZipUnarchiver::close()
{
    if (!m_archive)
        return;
    if (unzClose(handle(m_archive)) != UNZ_OK)
        core::log("Warning, failed to close archive at: {}", m_archivePath);
    m_archive = nullptr;
}

uint64_t VKZipUnarchiver::numberOfEntries()
{
    unz_global_info64 info {};
    if (!m_archive || unzGetGlobalInfo64(handle(m_archive), &info) != UNZ_OK)
        return 0;
    return info.number_entry;
}

std::optional<std::string> VKZipUnarchiver::currentEntryName()
{
    unz_file_info64 info {};
    if (unzGetCurrentFileInfo64(handle(m_archive), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK
        || info.size_filename == 0)
        return std::nullopt;
    // The length is a 16-bit field: the buffer stays small.
    std::string raw(info.size_filename + 1, '\0');
    if (unzGetCurrentFileInfo64(handle(m_archive), &info, raw.data(), static_cast<uLong>(raw.size()), nullptr, 0,
            nullptr, 0)
        != UNZ_OK)
        return std::nullopt;
    raw.resize(info.size_filename);
    if (core::utf8::isValid(raw))
        return raw;
    for (const char* encoding : NameEncodings) {
        auto text = core::TextConverter::convertText(raw, encoding);
        if (text && !text->empty())
            return text;
    }
    return std::nullopt;
}

std::optional<std::string> VKZipUnarchiver::nameOfEntryAtIndex(uint64_t index)
{
    if (!m_archive || unzGoToFirstFile(handle(m_archive)) != UNZ_OK)
        return std::nullopt;
    for (uint64_t i = 0; i < index; ++i) {
        if (unzGoToNextFile(handle(m_archive)) != UNZ_OK)
            return std::nullopt;
    }
    return currentEntryName();
}

uint64_t VKZipUnarchiver::uncompressedSize()
{
    if (m_uncompressedSize != 0 || !m_archive)
        return m_uncompressedSize;
    uint64_t total = 0;
    for (int status = unzGoToFirstFile(handle(m_archive)); status == UNZ_OK;
         status = unzGoToNextFile(handle(m_archive))) {
        unz_file_info64 info {};
        if (unzGetCurrentFileInfo64(handle(m_archive), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        total += info.uncompressed_size;
    }
    m_uncompressedSize = total;
    return total;
}

bool VKZipUnarchiver::isEncrypted()
{
    if (!m_archive || unzGoToFirstFile(handle(m_archive)) != UNZ_OK) {
        core::log("Error opening first file in archive: {}", m_archivePath);
        return false;
    }
    do {
        unz_file_info64 info {};
        if (unzGetCurrentFileInfo64(handle(m_archive), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
            core::log("Error getting zip file info: {}", m_archivePath);
            return false;
        }
        auto name = currentEntryName();
        if (name && !name->ends_with('/'))
            return (info.flag & 0x1) != 0;
    } while (unzGoToNextFile(handle(m_archive)) == UNZ_OK);
    return false;
}

bool VKZipUnarchiver::unarchiveToPath(const std::string& destination)
{
    if (!isDirectoryAtPath(destination)) {
        core::log("Warning, unarchiver pass non-directory destination: {}", destination);
        return false;
    }
    if (!m_archive || unzGoToFirstFile(handle(m_archive)) != UNZ_OK) {
        core::log("Error opening first file in archive: {}", m_archivePath);
        return false;
    }
    Descriptor root(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.get() < 0) {
        core::log("Warning, unarchiver pass non-directory destination: {}", destination);
        return false;
    }
    std::vector<std::string> created;
    bool succeeded = false;
    while (true) {
        auto name = currentEntryName();
        if (!name)
            break;
        if (!name->starts_with(ResourceForkFolder)) {
            auto components = safeComponents(*name);
            if (!components) {
                core::log("Warning, unsafe entry name in archive: {}", *name);
                break;
            }
            if (!extractCurrentEntry(*name, root.get(), destination, *components, name->ends_with('/'), created))
                break;
        }
        int status = unzGoToNextFile(handle(m_archive));
        if (status == UNZ_END_OF_LIST_OF_FILE) {
            succeeded = true;
            break;
        }
        if (status != UNZ_OK)
            break;
    }
    if (!succeeded) {
        // Nothing of a failed extraction stays, folders made for it included.
        for (const auto& path : created)
            VKRemoveItemAtPath(path);
    }
    return succeeded;
}

bool VKZipUnarchiver::unarchiveFile(const std::string& entryName, const std::string& destination)
{
    if (core::path::lastPathComponent(destination).empty() || core::fs::attributes(destination)) {
        core::log("Error, cannot unarchive to an existing file");
        return false;
    }
    // Located by the decoded name, so that code-page names are found too.
    bool found = false;
    if (m_archive) {
        for (int status = unzGoToFirstFile(handle(m_archive)); status == UNZ_OK && !found;
             status = unzGoToNextFile(handle(m_archive))) {
            if (currentEntryName() == entryName) {
                found = true;
                break;
            }
        }
    }
    if (!found) {
        core::log("Error, failed to find file in archive: {}", m_archivePath);
        return false;
    }
    const std::string folder = core::path::deletingLastPathComponent(destination);
    Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) {
        core::log("Warning, failed to create file at: {}", destination);
        return false;
    }
    std::vector<std::string> created;
    if (extractCurrentEntry(entryName, directory.get(), folder, { core::path::lastPathComponent(destination) },
            entryName.ends_with('/'), created))
        return true;
    for (const auto& path : created)
        VKRemoveItemAtPath(path);
    return false;
}

bool VKZipUnarchiver::extractCurrentEntry(const std::string& entryName, int directoryFd,
    const std::string& displayRoot, const std::vector<std::string>& components, bool isFolder,
    std::vector<std::string>& created)
{
    auto delegate = this->delegate();
    if (delegate && !delegate->zipUnarchiver(*this, entryName))
        return false;

    // Walk down to the entry's folder without following links, making what
    // is missing: an archive need not list the folders of its files.
    std::string displayPath = displayRoot;
    Descriptor folder;
    int current = directoryFd;
    for (size_t i = 0; i + 1 < components.size(); ++i) {
        displayPath = core::path::appendingPathComponent(displayPath, components[i]);
        bool made = false;
        if (!makeFolder(current, components[i], made)) {
            core::log("Warning, unarchiver cannot extract to an existing path: {}", displayPath);
            return false;
        }
        if (made)
            created.push_back(displayPath);
        int next = openat(current, components[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            core::log("Warning, unarchiver cannot extract to an existing path: {}", displayPath);
            return false;
        }
        folder.reset(next);
        current = next;
    }
    const std::string& name = components.back();
    displayPath = core::path::appendingPathComponent(displayPath, name);

    if (isFolder) {
        bool made = false;
        if (!makeFolder(current, name, made)) {
            core::log("Warning, unarchiver cannot extract to an existing path: {}", displayPath);
            return false;
        }
        if (made)
            created.push_back(displayPath);
        return true;
    }

    unz_file_info64 info {};
    unzGetCurrentFileInfo64(handle(m_archive), &info, nullptr, 0, nullptr, 0, nullptr, 0);
    auto reader = VKZipEntryReader::open(m_archive, m_password);
    if (!reader) {
        core::log("Warning, failed to open current zip file for reading");
        return false;
    }
    Descriptor file(openat(current, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (file.get() < 0) {
        if (errno == EEXIST)
            core::log("Warning, unarchiver cannot extract to an existing path: {}", displayPath);
        else
            core::log("Warning, failed to create file at: {}", displayPath);
        return false;
    }
    bool succeeded = true;
    std::array<char, ChunkSize> buffer;
    while (succeeded) {
        long count = reader->read(buffer.data(), buffer.size());
        if (count < 0) {
            succeeded = false;
            break;
        }
        if (count == 0)
            break;
        for (long written = 0; written < count;) {
            ssize_t step = ::write(file.get(), buffer.data() + written, static_cast<size_t>(count - written));
            if (step < 0 && errno == EINTR)
                continue;
            if (step <= 0) {
                succeeded = false;
                break;
            }
            written += step;
        }
        if (succeeded && delegate && !delegate->zipUnarchiver(*this, static_cast<uint64_t>(count), entryName))
            succeeded = false;
    }
    // A wrong password or corrupt data shows up here, in the length or CRC.
    if (!reader->close())
        succeeded = false;
    if (succeeded) {
        if (auto time = entryTime(info.tmu_date)) {
            struct timespec times[2] = { { 0, UTIME_OMIT }, { *time, 0 } };
            if (futimens(file.get(), times) != 0)
                core::log("Error setting modification date for: {}", displayPath);
        }
    }
    if (::close(file.release()) != 0) {
        core::log("Warning, failed to close file at path: {}", displayPath);
        succeeded = false;
    }
    if (!succeeded) {
        core::log("Warning, unarchive read error for: {}", displayPath);
        unlinkat(current, name.c_str(), 0);
        return false;
    }
    created.push_back(displayPath);
    return true;
}
