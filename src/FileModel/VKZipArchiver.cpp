#include "FileModel/VKZipArchiver.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <zip.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t ChunkSize = 10240;
constexpr uint64_t Zip64Threshold = 0xffffffffull;

} // namespace

std::shared_ptr<VKZipArchiver> VKZipArchiver::archiverWithPath(const std::string& archivePath)
{
    if (core::fs::attributes(archivePath)) {
        core::log("Warning, VKZipArchiver passed existing zip file: {}", archivePath);
        return nullptr;
    }
    zipFile archive = zipOpen64(archivePath.c_str(), APPEND_STATUS_CREATE);
    if (!archive) {
        core::log("Warning, failed to create zip file: {}", archivePath);
        return nullptr;
    }
    return std::shared_ptr<VKZipArchiver>(new VKZipArchiver(archivePath, archive));
}

bool VKZipArchiver::archiveItemAtPath(const std::string& path, const std::string& archivePath, int compressionLevel)
{
    auto archiver = archiverWithPath(archivePath);
    if (!archiver)
        return false;
    archiver->setRootPath(core::path::deletingLastPathComponent(path));
    const bool added = archiver->addItemAtPath(path, true, compressionLevel);
    archiver->close();
    return added;
}

VKZipArchiver::VKZipArchiver(std::string archivePath, void* archive)
    : m_archive(archive), m_archivePath(std::move(archivePath)),
      m_rootPath(core::path::deletingLastPathComponent(m_archivePath))
{
}

VKZipArchiver::~VKZipArchiver()
{
    close();
}

void VKZipArchiver::close()
{
    if (!m_archive)
        return;
    if (zipClose(static_cast<zipFile>(m_archive), nullptr) != ZIP_OK)
        core::log("Warning, failed to close zipFile: {}", m_archivePath);
    m_archive = nullptr;
}

bool VKZipArchiver::addItemAtPath(const std::string& path, bool recurse, int compressionLevel)
{
    bool isDirectory = false;
    if (!core::fs::exists(path, &isDirectory)) {
        core::log("Warning, VKZipArchiver cannot archive non-existent file: {}", path);
        return false;
    }
    const std::string root = m_rootPath.ends_with('/') ? m_rootPath : m_rootPath + "/";
    if (!path.starts_with(root) || path.size() == root.size()) {
        core::log("Warning, path is not child of root path");
        return false;
    }
    const std::string name = path.substr(root.size());
    if (!compressItem(path, name, compressionLevel))
        return false;
    if (!isDirectory || !recurse)
        return true;
    for (const auto& relative : core::fs::subpaths(path).value_or(std::vector<std::string>())) {
        if (!compressItem(core::path::appendingPathComponent(path, relative), name + "/" + relative, compressionLevel))
            return false;
    }
    return true;
}

bool VKZipArchiver::compressItem(const std::string& path, std::string entryName, int level)
{
    auto delegate = this->delegate();
    if (delegate && !delegate->zipArchiver(*this, entryName))
        return false;

    zip_fileinfo info {};
    struct stat status {};
    bool isDirectory = false;
    if (::stat(path.c_str(), &status) != 0) {
        core::log("Warning, stat failed for: {}", path);
    } else {
        isDirectory = S_ISDIR(status.st_mode);
        std::tm local {};
        localtime_r(&status.st_mtime, &local);
        // minizip takes the full year and the month from 0.
        info.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
        info.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
        info.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
        info.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
        info.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
        info.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
    }
    if (isDirectory) {
        entryName += "/";
        level = 0;
    }
    const bool zip64 = !isDirectory && static_cast<uint64_t>(status.st_size) >= Zip64Threshold;
    auto archive = static_cast<zipFile>(m_archive);
    if (!archive
        || zipOpenNewFileInZip64(archive, entryName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
               level == 0 ? 0 : Z_DEFLATED, level, zip64 ? 1 : 0)
            != ZIP_OK) {
        core::log("Error opening {} in zipfile", path);
        return false;
    }

    bool written = true;
    if (!isDirectory) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            core::log("Error opening {} for reading", path);
            written = false;
        }
        std::array<char, ChunkSize> buffer;
        while (written) {
            ssize_t count = ::read(fd, buffer.data(), buffer.size());
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0) {
                core::log("Error reading {}", path);
                written = false;
                break;
            }
            if (count == 0)
                break;
            if (zipWriteInFileInZip(archive, buffer.data(), static_cast<unsigned>(count)) < 0) {
                core::log("Error writing {} in the zipfile", path);
                written = false;
                break;
            }
            if (delegate && !delegate->zipArchiver(*this, static_cast<uint64_t>(count), entryName))
                written = false;
        }
        if (fd >= 0)
            ::close(fd);
    }
    if (zipCloseFileInZip(archive) != ZIP_OK) {
        core::log("Error closing {} in the zipfile", path);
        return false;
    }
    return written;
}
