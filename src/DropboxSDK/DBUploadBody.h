#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace core {
class FileHandle;
}

// An upload's multipart form, staged in a body file of this run's staging
// folder (swept by the launch after a killed run):
// the part's head naming the stored file, the source copied in pieces (never
// held whole) and the closing boundary. Made on the main thread, which
// settles the body file's name (no other upload can take it, and a cancel
// removes it) and the boundary; staged on a worker. The REST client makes
// one per upload and hands it to the worker.
class DBUploadBody {
public:
    // The outcome of staging: a DBErrorDomain code (0 on success) and the
    // body's length in bytes.
    struct Staged {
        int errorCode = 0;
        uint64_t length = 0;
    };

    // The name the service stores and the signature covers: every character
    // that would end or break the Content-Disposition line (";", a quote, a
    // backslash, CR, LF and other controls) becomes "-".
    static std::string safeFileName(std::string_view name);

    DBUploadBody(const std::string& safeName, std::string sourcePath);

    const std::string& path() const { return m_path; }
    // The request's Content-Type header.
    std::string contentType() const;

    // On a worker: makes the body file, which must not exist yet, and fills
    // it. A source that vanished, or became a FIFO or a device, is opened
    // without waiting and refused; a removed body file (the upload was
    // cancelled) stops the copy. A body file made but not filled is left for
    // its request to remove.
    Staged stage() const;

private:
    Staged appendSource(core::FileHandle& body) const;

    std::string m_sourcePath;
    std::string m_boundary;
    std::string m_path;
    std::string m_opening;
};
