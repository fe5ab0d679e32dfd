#pragma once

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

// Writes a new zip archive of files and folders, named relative to a root
// folder. Files are deflated at the given level (stored at level 0), folders
// stored without data, each entry dated with the file's local modification
// time. Data passes through one 10,240-byte buffer, so any size costs the
// same memory; files of 4 GiB and more are written as zip64 entries.
//
// The archive is complete only after close(); a failed or stopped archiving
// leaves the partial file to the caller. One thread at a time.
class VKZipArchiver : public core::Object {
public:
    // Nothing (logged) when something is at the path already or the file
    // cannot be made. The root is the archive's folder until set.
    static std::shared_ptr<VKZipArchiver> archiverWithPath(const std::string& archivePath);
    // The item with everything below it, named from its parent folder.
    static bool archiveItemAtPath(const std::string& path, const std::string& archivePath, int compressionLevel);
    ~VKZipArchiver() override;

    // The item must lie below the root; with `recurse` a folder's contents
    // at every depth follow it.
    bool addItemAtPath(const std::string& path, bool recurse, int compressionLevel);
    void close();

    const std::string& rootPath() const { return m_rootPath; }
    void setRootPath(std::string rootPath) { m_rootPath = std::move(rootPath); }
    const std::string& archivePath() const { return m_archivePath; }
    std::shared_ptr<VKZipArchiverDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKZipArchiverDelegate> delegate) { m_delegate = std::move(delegate); }

private:
    VKZipArchiver(std::string archivePath, void* archive);
    bool compressItem(const std::string& path, std::string entryName, int level);

    void* m_archive = nullptr;
    const std::string m_archivePath;
    std::string m_rootPath;
    std::weak_ptr<VKZipArchiverDelegate> m_delegate;
};
