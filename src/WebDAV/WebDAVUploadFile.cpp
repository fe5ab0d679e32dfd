#include "WebDAV/WebDAVUploadFile.h"

#include "Platform/Core/FileHandle.h"
#include "WebDAV/WebDAVStagingFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

std::unique_ptr<WebDAVUploadFile> WebDAVUploadFile::create(const std::string& target)
{
    // A replacement keeps the old file's permissions.
    struct stat old {};
    const mode_t mode = stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = WebDAVStagingFolder::pathForItem(target, "upload");
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return nullptr;
        }
        fchmod(fd, mode);
        ::close(fd);
        return std::unique_ptr<WebDAVUploadFile>(new WebDAVUploadFile(target, std::move(path)));
    }
    return nullptr;
}

WebDAVUploadFile::~WebDAVUploadFile()
{
    discard();
}

bool WebDAVUploadFile::open(core::Error* error)
{
    if (m_path.empty()) {
        core::setError(error, core::Error::posix(ENOENT));
        return false;
    }
    m_fileHandle = core::FileHandle::fileHandleForWritingAtPath(m_path, error);
    return m_fileHandle != nullptr;
}

bool WebDAVUploadFile::writeData(std::string_view bytes, core::Error* error)
{
    if (!m_fileHandle) {
        core::setError(error, core::Error::posix(EBADF));
        return false;
    }
    return m_fileHandle->writeData(bytes, error);
}

void WebDAVUploadFile::close()
{
    if (m_fileHandle)
        m_fileHandle->closeFile();
    m_fileHandle.reset();
}

bool WebDAVUploadFile::commit(core::Error* error)
{
    close();
    if (m_path.empty() || rename(m_path.c_str(), m_target.c_str()) != 0) {
        core::setError(error, core::Error::posix(m_path.empty() ? ENOENT : errno));
        return false;
    }
    m_path.clear();
    return true;
}

void WebDAVUploadFile::discard()
{
    close();
    if (!m_path.empty())
        unlink(m_path.c_str());
    m_path.clear();
}
