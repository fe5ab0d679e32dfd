#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <string>

class VKZipArchiver;

// Told of each entry before it is written and of each chunk after; false stops.
class VKZipArchiverDelegate {
public:
    virtual ~VKZipArchiverDelegate() = default;
    // Should the entry be written?
    virtual bool zipArchiver(VKZipArchiver& archiver, const std::string& fileName) = 0;
    // A chunk of the entry went into the archive.
    virtual bool zipArchiver(VKZipArchiver&, uint64_t /*bytes*/, const std::string& /*fileName*/) { return true; }
};

// Writes a new zip archive of files, folders and symbolic links, named
// relative to a root folder, as other tools read it: Unix entries with the
// item's mode, names flagged as UTF-8 when they are not plain ASCII, zip64
// records where a size, an offset or the entry count needs them. Files are
// deflated at the given level (stored at level 0), folders stored without
// data, links stored as links (their target as the data), never followed;
// FIFOs, sockets and devices are skipped. Each entry is dated with the item's
// local modification time. Data passes through one 10,240-byte buffer, so
// any size costs the same memory.
//
// The archive is written under a hidden name beside the archive path and
// takes that path only when close() finds every entry whole; a failed or
// stopped entry discards it. Relative paths are taken from the working
// directory when they are given. One thread at a time.
class VKZipArchiver : public core::Object {
public:
    // Nothing (logged, with the reason) when something is at the path
    // already or the file cannot be made. The root is the archive's folder
    // until set.
    static std::shared_ptr<VKZipArchiver> archiverWithPath(const std::string& archivePath,
        core::Error* error = nullptr);
    // The item with everything below it, named from its parent folder; no
    // archive is left when it cannot all go in.
    static bool archiveItemAtPath(const std::string& path, const std::string& archivePath, int compressionLevel);
    ~VKZipArchiver() override;

    // The item must lie below the root; with `recurse` a folder's contents
    // at every depth follow it.
    bool addItemAtPath(const std::string& path, bool recurse, int compressionLevel);
    // Whether the archive now stands complete at its path (false for any
    // close after the first).
    bool close();
    // Closes without keeping anything: the partial archive goes.
    void discard();
    // When something took the archive's path while it was written, close()
    // takes the next free name beside it (archivePath() then names it)
    // instead of failing. Never replaces anything either way.
    void setTakesFreeNameWhenTaken(bool takes) { m_takesFreeName = takes; }
    // Why the archive failed, as the system said (the disk full, an item
    // that cannot be read, the rename refused); empty when it has not or
    // gave no reason, as for a stop by the delegate.
    const core::Error& error() const { return m_error; }

    const std::string& rootPath() const { return m_rootPath; }
    void setRootPath(const std::string& rootPath);
    const std::string& archivePath() const { return m_archivePath; }
    std::shared_ptr<VKZipArchiverDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKZipArchiverDelegate> delegate) { m_delegate = std::move(delegate); }

    struct Sink;

private:
    VKZipArchiver(std::string archivePath, std::string partialPath, std::unique_ptr<Sink> sink);
    bool compressItem(const std::string& path, std::string entryName, int level);
    bool writeData(const std::string& path, const std::string& entryName, int fd, bool zip64, int level);
    // Mends what minizip leaves wrong once more than it expects was written.
    bool finishLargeArchive();
    // Fails the archive, keeping the first reason given.
    bool failWith(core::Error reason);

    std::unique_ptr<Sink> m_sink;
    std::string m_archivePath;
    const std::string m_partialPath;
    std::string m_rootPath;
    std::weak_ptr<VKZipArchiverDelegate> m_delegate;
    uint64_t m_entryCount = 0;
    bool m_failed = false;
    core::Error m_error;
    bool m_zip64 = false;
    bool m_takesFreeName = false;
};
