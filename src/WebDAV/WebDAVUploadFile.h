#pragma once

#include "Platform/Core/Error.h"

#include <memory>
#include <string>
#include <string_view>

namespace core {
class FileHandle;
}

// The file an upload streams into before it becomes the target: made in the
// staging folder (`WebDAVStagingFolder`), on the target's file system, so
// that the closing rename replaces the old file in one step. Until then the
// old file stays whole; a file that is never committed is removed with its
// owner, so a refused or broken upload leaves nothing behind, and one cut
// off by a killed process is out of sight until the next start removes it.
class WebDAVUploadFile {
public:
    // A new empty file for `target` (with the target's permissions when it
    // exists, else 0644); nothing when it cannot be made.
    static std::unique_ptr<WebDAVUploadFile> create(const std::string& target);
    ~WebDAVUploadFile();
    WebDAVUploadFile(const WebDAVUploadFile&) = delete;
    WebDAVUploadFile& operator=(const WebDAVUploadFile&) = delete;

    const std::string& path() const { return m_path; }
    const std::string& targetPath() const { return m_target; }

    // Opens the file for writing (also an empty one needs no opening).
    bool open(core::Error* error = nullptr);
    // Appends every byte or fails (a full disk included).
    bool writeData(std::string_view bytes, core::Error* error = nullptr);
    // Closes the file and renames it over the target; afterwards the object
    // owns nothing.
    bool commit(core::Error* error = nullptr);
    // Closes and removes the file.
    void discard();

private:
    WebDAVUploadFile(std::string target, std::string path) : m_target(std::move(target)), m_path(std::move(path)) { }
    void close();

    std::string m_target;
    std::string m_path;
    std::shared_ptr<core::FileHandle> m_fileHandle;
};
