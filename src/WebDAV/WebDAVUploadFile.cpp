#include "WebDAV/WebDAVUploadFile.h"

#include "Platform/Core/FileHandle.h"

#include <fmt/format.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

std::unique_ptr<WebDAVUploadFile> WebDAVUploadFile::create(const std::string& target)
{
    std::string name = target.substr(target.rfind('/') + 1);
    std::string folder = target.substr(0, target.size() - name.size());
    // The name is cut so that the pattern stays within a name's limit.
    std::string pattern = fmt::format("{}.{}.upload-XXXXXX", folder, name.substr(0, 200));
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = mkstemp(buffer.data());
    if (fd < 0)
        return nullptr;
    // A replacement keeps the old file's permissions.
    struct stat old {};
    fchmod(fd, stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    ::close(fd);
    return std::unique_ptr<WebDAVUploadFile>(new WebDAVUploadFile(target, buffer.data()));
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
