#include "FileModel/VKZipArchiver.h"

#include "FileModel/VKZipCentralDirectory.h"
#include "FileModel/ZipBytes.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/Descriptor.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RegularFile.h"
#include "Platform/Core/UTF8.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using core::writeAt;
using zipbytes::putLE;

constexpr size_t ChunkSize = 10240;
constexpr size_t SinkBufferSize = 64 * 1024;
constexpr uint64_t Max32 = 0xffffffffull;
constexpr uint64_t MaxCount16 = 0xffff;
constexpr uLong UnixHost = 3 << 8;
constexpr uLong Version = 20;
constexpr uLong Zip64Version = 45;
constexpr uLong FlagUTF8Name = 0x800;
constexpr uLong DosDirectory = 0x10;

// The most deflate can make of `size` bytes, so that an entry that might
// pass 4 GiB once compressed is opened as zip64 from its start.
uint64_t compressedBound(uint64_t size, int level)
{
    return level == 0 ? size : size + (size >> 12) + (size >> 14) + (size >> 25) + 64;
}

bool isPlainASCII(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A new empty file in the staging folder for the archive, at a path that
// nothing held.
std::optional<std::pair<std::string, core::Descriptor>> makePartialFile(const std::string& archivePath)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        std::string path = VKStagingFolder::pathForItem(archivePath, "zip");
        core::Descriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd.isValid())
            return std::make_pair(std::move(path), std::move(fd));
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

// The partial archive as minizip writes it: one descriptor behind a buffer
// that also takes minizip's return to each local header, so that small
// entries cost no system call of their own.
struct VKZipArchiver::Sink {
    core::Descriptor fd;
    zipFile archive = nullptr;
    uint64_t position = 0;
    uint64_t bufferStart = 0;
    std::vector<char> buffer;
    bool failed = false;
    // Why a write failed (errno).
    int failure = 0;

    bool fail()
    {
        failed = true;
        failure = errno;
        return false;
    }

    bool flush()
    {
        if (!buffer.empty() && !failed && !writeAt(fd.get(), buffer.data(), buffer.size(), bufferStart))
            fail();
        buffer.clear();
        return !failed;
    }

    uLong write(const void* bytes, uLong length)
    {
        if (failed)
            return 0;
        const uint64_t bufferEnd = bufferStart + buffer.size();
        if (!buffer.empty() && position >= bufferStart && position + length <= bufferEnd) {
            std::memcpy(buffer.data() + (position - bufferStart), bytes, length);
        } else if (!buffer.empty() && position == bufferEnd && buffer.size() + length <= SinkBufferSize) {
            buffer.insert(buffer.end(), static_cast<const char*>(bytes), static_cast<const char*>(bytes) + length);
        } else {
            if (!flush())
                return 0;
            if (length >= SinkBufferSize) {
                if (!writeAt(fd.get(), bytes, length, position)) {
                    fail();
                    return 0;
                }
            } else {
                buffer.reserve(SinkBufferSize);
                bufferStart = position;
                buffer.assign(static_cast<const char*>(bytes), static_cast<const char*>(bytes) + length);
            }
        }
        position += length;
        return length;
    }

    static zlib_filefunc64_def functions()
    {
        zlib_filefunc64_def table {};
        table.zopen64_file = [](voidpf, const void* sink, int) -> voidpf { return const_cast<void*>(sink); };
        table.zread_file = [](voidpf, voidpf, void*, uLong) -> uLong { return 0; };
        table.zwrite_file = [](voidpf, voidpf sink, const void* bytes, uLong length) -> uLong {
            return static_cast<Sink*>(sink)->write(bytes, length);
        };
        table.ztell64_file = [](voidpf, voidpf sink) -> ZPOS64_T { return static_cast<Sink*>(sink)->position; };
        table.zseek64_file = [](voidpf, voidpf stream, ZPOS64_T offset, int origin) -> long {
            auto* sink = static_cast<Sink*>(stream);
            if (origin != ZLIB_FILEFUNC_SEEK_SET)
                return -1;
            sink->position = offset;
            return 0;
        };
        table.zclose_file = [](voidpf, voidpf sink) -> int { return static_cast<Sink*>(sink)->flush() ? 0 : -1; };
        table.zerror_file = [](voidpf, voidpf sink) -> int { return static_cast<Sink*>(sink)->failed ? 1 : 0; };
        return table;
    }
};

std::shared_ptr<VKZipArchiver> VKZipArchiver::archiverWithPath(const std::string& givenPath, core::Error* error)
{
    // Relative paths hold from the working directory of now, whatever it
    // is when the archive is closed.
    const std::string archivePath = core::fs::absolutePath(givenPath);
    if (core::fs::attributes(archivePath)) {
        core::log("Warning, VKZipArchiver passed existing zip file: {}", archivePath);
        core::setError(error, core::Error::posix(EEXIST));
        return nullptr;
    }
    auto partial = makePartialFile(archivePath);
    const int madeError = partial ? 0 : errno;
    auto sink = std::make_unique<Sink>();
    if (partial) {
        sink->fd = std::move(partial->second);
        zlib_filefunc64_def functions = Sink::functions();
        sink->archive = zipOpen2_64(sink.get(), APPEND_STATUS_CREATE, nullptr, &functions);
        if (!sink->archive)
            ::unlink(partial->first.c_str());
    }
    if (!sink->archive) {
        core::log("Warning, failed to create zip file: {}", archivePath);
        if (madeError)
            core::setError(error, core::Error::posix(madeError));
        return nullptr;
    }
    return std::shared_ptr<VKZipArchiver>(new VKZipArchiver(archivePath, partial->first, std::move(sink)));
}

bool VKZipArchiver::archiveItemAtPath(const std::string& path, const std::string& archivePath, int compressionLevel)
{
    auto archiver = archiverWithPath(archivePath);
    if (!archiver)
        return false;
    const std::string item = core::fs::absolutePath(path);
    archiver->setRootPath(core::path::deletingLastPathComponent(item));
    // An item that could not go in leaves no archive without it.
    if (!archiver->addItemAtPath(item, true, compressionLevel)) {
        archiver->discard();
        return false;
    }
    return archiver->close();
}

void VKZipArchiver::setRootPath(const std::string& rootPath)
{
    m_rootPath = core::fs::absolutePath(rootPath);
}

VKZipArchiver::VKZipArchiver(std::string archivePath, std::string partialPath, std::unique_ptr<Sink> sink)
    : m_sink(std::move(sink)), m_archivePath(std::move(archivePath)), m_partialPath(std::move(partialPath)),
      m_rootPath(core::path::deletingLastPathComponent(m_archivePath))
{
}

VKZipArchiver::~VKZipArchiver()
{
    close();
}

bool VKZipArchiver::close()
{
    if (!m_sink)
        return false;
    bool complete = zipClose(m_sink->archive, nullptr) == ZIP_OK && !m_sink->failed;
    if (!complete) {
        core::log("Warning, failed to close zipFile: {}", m_archivePath);
        if (m_sink->failure)
            failWith(core::Error::posix(m_sink->failure));
    }
    complete = complete && !m_failed;
    if (complete && (m_zip64 || m_sink->position >= Max32 || m_entryCount >= MaxCount16))
        complete = finishLargeArchive();
    m_sink.reset();
    if (complete) {
        core::Error error;
        complete = core::fs::moveItem(m_partialPath, m_archivePath, &error);
        // Someone may take each free name before the rename does: a few tries.
        for (int attempt = 0; !complete && m_takesFreeName && attempt < 16
             && error.is(core::Error::POSIXDomain, EEXIST);
             ++attempt) {
            m_archivePath = uniquePathForItemAtPath(m_archivePath);
            complete = core::fs::moveItem(m_partialPath, m_archivePath, &error);
        }
        if (!complete) {
            core::log("Warning, failed to close zipFile: {} ({})", m_archivePath, error.localizedDescription());
            failWith(std::move(error));
        }
    }
    if (!complete)
        ::unlink(m_partialPath.c_str());
    return complete;
}

bool VKZipArchiver::failWith(core::Error reason)
{
    m_failed = true;
    if (!m_error)
        m_error = std::move(reason);
    return false;
}

void VKZipArchiver::discard()
{
    m_failed = true;
    close();
}

bool VKZipArchiver::finishLargeArchive()
{
    const int fd = m_sink->fd.get();
    auto directory = VKZipCentralDirectory::read(fd);
    if (!directory) {
        core::log("Warning, failed to read back the zip file: {}", m_archivePath);
        return false;
    }
    // minizip marks an entry it writes zip64 fields for as made by MS-DOS,
    // which hides the Unix mode from every reader.
    for (const auto& entry : directory->entries()) {
        if ((entry.versionMadeBy >> 8) != 0)
            continue;
        std::array<unsigned char, 2> version {};
        putLE(version.data(), UnixHost | Zip64Version, 2);
        if (!writeAt(fd, version.data(), version.size(), entry.centralOffset + 4))
            return false;
    }
    if (directory->hasZip64EndRecord() || directory->entries().size() < MaxCount16)
        return true;
    // minizip writes 65,535 and more entries without the zip64 end records
    // that carry their count.
    const uint64_t count = directory->entries().size();
    const uint64_t recordAt = directory->endRecordPosition();
    std::array<unsigned char, 56 + 20 + 22> tail {};
    unsigned char* record = tail.data();
    putLE(record, 0x06064b50, 4);
    putLE(record + 4, 44, 8);
    putLE(record + 12, UnixHost | Zip64Version, 2);
    putLE(record + 14, Zip64Version, 2);
    putLE(record + 24, count, 8);
    putLE(record + 32, count, 8);
    putLE(record + 40, directory->size(), 8);
    putLE(record + 48, directory->start(), 8);
    unsigned char* locator = record + 56;
    putLE(locator, 0x07064b50, 4);
    putLE(locator + 8, recordAt, 8);
    putLE(locator + 16, 1, 4);
    unsigned char* end = locator + 20;
    putLE(end, 0x06054b50, 4);
    putLE(end + 8, MaxCount16, 2);
    putLE(end + 10, MaxCount16, 2);
    putLE(end + 12, std::min(directory->size(), Max32), 4);
    putLE(end + 16, std::min(directory->start(), Max32), 4);
    return writeAt(fd, tail.data(), tail.size(), recordAt);
}

bool VKZipArchiver::addItemAtPath(const std::string& givenPath, bool recurse, int compressionLevel)
{
    const std::string path = core::fs::absolutePath(givenPath);
    core::Error missing;
    auto attributes = core::fs::attributes(path, &missing);
    if (!attributes) {
        core::log("Warning, VKZipArchiver cannot archive non-existent file: {}", path);
        return failWith(std::move(missing));
    }
    const std::string root = m_rootPath.ends_with('/') ? m_rootPath : m_rootPath + "/";
    if (!path.starts_with(root) || path.size() == root.size()) {
        core::log("Warning, path is not child of root path");
        return false;
    }
    const std::string name = path.substr(root.size());
    if (!compressItem(path, name, compressionLevel))
        return false;
    if (!attributes->isDirectory() || !recurse)
        return true;
    // The walk lists links but never enters them. A folder below that
    // cannot be read fails the item: an archive silently missing part of
    // the tree would pass for a whole one.
    core::Error unread;
    auto subpaths = core::fs::subpaths(path, &unread);
    if (!subpaths) {
        core::log("Error reading folder {}", path);
        return failWith(std::move(unread));
    }
    for (const auto& relative : *subpaths) {
        if (!compressItem(core::path::appendingPathComponent(path, relative), name + "/" + relative, compressionLevel))
            return false;
    }
    return true;
}

bool VKZipArchiver::compressItem(const std::string& path, std::string entryName, int level)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        core::log("Warning, stat failed for: {}", path);
    } else if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode) && !S_ISLNK(status.st_mode)) {
        core::log("Warning, VKZipArchiver skipped special file: {}", path);
        return true;
    }
    auto delegate = this->delegate();
    if (delegate && !delegate->zipArchiver(*this, entryName)) {
        m_failed = true;
        return false;
    }

    zip_fileinfo info {};
    const bool isDirectory = S_ISDIR(status.st_mode);
    const bool isLink = S_ISLNK(status.st_mode);
    if (status.st_mode != 0) {
        std::tm local {};
        localtime_r(&status.st_mtime, &local);
        // minizip takes the full year and the month from 0.
        info.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
        info.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
        info.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
        info.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
        info.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
        info.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
        info.external_fa = (static_cast<uLong>(status.st_mode) & 0xffff) << 16;
    }
    if (isDirectory) {
        entryName += "/";
        level = 0;
        info.external_fa |= DosDirectory;
    }
    // A link's target is small: stored as it is, as other tools do.
    if (isLink)
        level = 0;

    // A file that cannot be read as a regular file fails before its entry
    // starts (a FIFO put in its place is never waited on).
    core::Descriptor fd;
    if (!isDirectory && !isLink) {
        core::Error unopened;
        auto opened = core::fs::openRegularFile(path, &unopened, O_NOFOLLOW);
        if (!opened) {
            core::log("Error opening {} for reading", path);
            return failWith(std::move(unopened));
        }
        fd = std::move(opened->fd);
        status.st_size = static_cast<off_t>(opened->size);
    }
    const bool zip64 = !isDirectory && compressedBound(static_cast<uint64_t>(status.st_size), level) >= Max32;
    m_zip64 = m_zip64 || zip64;
    const uLong flags = isPlainASCII(entryName) || !core::utf8::isValid(entryName) ? 0 : FlagUTF8Name;
    if (zipOpenNewFileInZip4_64(m_sink ? m_sink->archive : nullptr, entryName.c_str(), &info, nullptr, 0, nullptr,
            0, nullptr, level == 0 ? 0 : Z_DEFLATED, level, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
            0, UnixHost | (zip64 ? Zip64Version : Version), flags, zip64 ? 1 : 0)
        != ZIP_OK) {
        core::log("Error opening {} in zipfile", path);
        return failWith(m_sink && m_sink->failure ? core::Error::posix(m_sink->failure) : core::Error());
    }
    ++m_entryCount;

    bool written = true;
    if (isLink) {
        std::vector<char> target(static_cast<size_t>(std::max<off_t>(status.st_size, 0)) + 1 + PATH_MAX);
        ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        written = length >= 0 && zipWriteInFileInZip(m_sink->archive, target.data(), static_cast<unsigned>(length)) >= 0;
        if (!written)
            core::log("Error reading {}", path);
    } else if (!isDirectory) {
        written = writeData(path, entryName, fd.get(), zip64, level);
    }
    if (zipCloseFileInZip(m_sink->archive) != ZIP_OK) {
        core::log("Error closing {} in the zipfile", path);
        written = false;
    }
    if (!written && m_sink->failure)
        failWith(core::Error::posix(m_sink->failure));
    m_failed = m_failed || !written;
    return written;
}

bool VKZipArchiver::writeData(const std::string& path, const std::string& entryName, int fd, bool zip64, int level)
{
    auto delegate = this->delegate();
    std::array<char, ChunkSize> buffer;
    // A sparse file's holes are zeros from memory rather than read: the
    // kernel would fill every page of them first.
    struct stat status {};
    const bool sparse = fstat(fd, &status) == 0 && status.st_blocks * 512 < status.st_size;
    uint64_t holeEnd = 0;
    uint64_t dataEnd = 0;
    uint64_t total = 0;
    while (true) {
        if (sparse && total >= holeEnd && total >= dataEnd) {
            // No data past here (ENXIO): the rest is a hole; no answer at all:
            // read everything.
            const off_t data = lseek(fd, static_cast<off_t>(total), SEEK_DATA);
            const bool noMoreData = data < 0 && errno == ENXIO;
            const off_t hole = data >= 0 ? lseek(fd, data, SEEK_HOLE) : -1;
            holeEnd = data >= 0 ? static_cast<uint64_t>(data)
                                : (noMoreData ? std::max<uint64_t>(total, static_cast<uint64_t>(status.st_size)) : total);
            dataEnd = hole >= 0 ? static_cast<uint64_t>(hole) : UINT64_MAX;
        }
        ssize_t count = 0;
        if (total < holeEnd) {
            count = static_cast<ssize_t>(std::min<uint64_t>(buffer.size(), holeEnd - total));
            std::memset(buffer.data(), 0, static_cast<size_t>(count));
        } else {
            count = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(total));
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            const int code = errno;
            core::log("Error reading {}", path);
            return failWith(core::Error::posix(code));
        }
        if (count == 0)
            return true;
        total += static_cast<uint64_t>(count);
        // An entry begun without zip64 fields cannot pass 4 GiB: the file grew.
        if (!zip64 && compressedBound(total, level) >= Max32) {
            core::log("Error reading {}: the file grew while it was archived", path);
            return false;
        }
        if (zipWriteInFileInZip(m_sink->archive, buffer.data(), static_cast<unsigned>(count)) < 0) {
            core::log("Error writing {} in the zipfile", path);
            return false;
        }
        if (delegate && !delegate->zipArchiver(*this, static_cast<uint64_t>(count), entryName))
            return false;
    }
}
