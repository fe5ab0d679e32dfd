#include "DropboxSDK/DBUploadBody.h"

#include "DropboxSDK/DBDefines.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/FileHandle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UUID.h"

#include <cerrno>
#include <fcntl.h>
#include <fmt/format.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// The source is copied in pieces of this size, so no file is ever held whole.
constexpr size_t ReadSize = 524288;
constexpr const char* LogPrefix = "DBRestClient#uploadFileToRoot:path:filename:fromPath:";
constexpr const char* BodyFilePrefix = "DBRestClient-upload-";

bool bodyWasRemoved(const core::FileHandle& body)
{
    struct stat info;
    return fstat(body.fileDescriptor(), &info) != 0 || info.st_nlink == 0;
}

// Makes the body file, which must not exist yet, with the part's head.
std::shared_ptr<core::FileHandle> createBody(const std::string& path, const std::string& opening)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    close(fd);
    auto body = core::FileHandle::fileHandleForWritingAtPath(path);
    if (!body || !body->writeData(opening))
        return nullptr;
    return body;
}

} // namespace

std::string DBUploadBody::safeFileName(std::string_view name)
{
    std::string safe(name);
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ';' || c == '"' || c == '\\' || byte < 0x20 || byte == 0x7F)
            c = '-';
    }
    return safe;
}

DBUploadBody::DBUploadBody(const std::string& safeName, std::string sourcePath)
    : m_sourcePath(std::move(sourcePath))
    , m_boundary(core::uuidString())
    , m_path(core::path::appendingPathComponent(VKStagingFolder::path(), BodyFilePrefix + core::uuidString()))
    , m_opening(fmt::format(
          "--{}\r\nContent-Disposition: form-data; name=\"file\"; filename=\"{}\"\r\nContent-Type: application/octet-stream\r\n\r\n",
          m_boundary, safeName))
{
}

std::string DBUploadBody::contentType() const
{
    return fmt::format("multipart/form-data; boundary={}", m_boundary);
}

DBUploadBody::Staged DBUploadBody::stage() const
{
    if (auto body = createBody(m_path, m_opening))
        return appendSource(*body);
    core::log("{} failed to create file", LogPrefix);
    core::fs::removeItem(m_path);
    return { DBErrorFileCreateFailed, 0 };
}

// Appends the source and the closing boundary to the body file, which
// holds the opening bytes.
DBUploadBody::Staged DBUploadBody::appendSource(core::FileHandle& body) const
{
    const int injected = core::FileTestHooks::copyItemError(m_sourcePath);
    int source = injected ? -1 : open(m_sourcePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (source >= 0 && (fstat(source, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(source);
        source = -1;
    }
    if (source < 0) {
        // Never an empty part in its place: that would replace the file in
        // the cloud with nothing and report success.
        core::log("{} unable to open sourceFile", LogPrefix);
        return { DBErrorSourceFileMissing, 0 };
    }
    {
        std::vector<char> buffer(ReadSize);
        for (;;) {
            if (bodyWasRemoved(body)) {
                close(source);
                return { DBErrorFileWriteFailed, 0 };
            }
            const ssize_t got = read(source, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                // A part of the file must not go out as the whole of it.
                core::log("{} unable to read sourceFile", LogPrefix);
                close(source);
                return { DBErrorSourceFileMissing, 0 };
            }
            if (got == 0)
                break;
            if (!body.writeData(std::string_view(buffer.data(), size_t(got)))) {
                core::log("{} failed to write data", LogPrefix);
                close(source);
                return { DBErrorFileWriteFailed, 0 };
            }
        }
        close(source);
    }
    if (!body.writeData(fmt::format("\r\n--{}--\r\n", m_boundary))) {
        core::log("{} failed to write end of data", LogPrefix);
        return { DBErrorFileWriteFailed, 0 };
    }
    return { 0, body.offsetInFile() };
}
