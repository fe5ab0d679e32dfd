#pragma once

#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKZipUnarchiver;

// Told of each entry before it is extracted and of each chunk after; false stops.
class VKZipUnarchiverDelegate {
public:
    virtual ~VKZipUnarchiverDelegate() = default;
    virtual bool zipUnarchiver(VKZipUnarchiver& unarchiver, const std::string& fileName) = 0;
    virtual bool zipUnarchiver(VKZipUnarchiver&, uint64_t /*bytes*/, const std::string& /*fileName*/) { return true; }
};

// Lists, tests and extracts a zip archive, encrypted entries (traditional
// PKWARE) included when a password is set. Archives are outside input: an
// entry whose name is absolute, climbs with "..", or would land outside the
// destination fails the whole extraction, nothing is created through a
// symbolic link, no entry yields more than its declared size, and an entry
// whose length or CRC-32 is wrong fails. A failed or stopped extraction
// removes everything it made. Names are UTF-8, else a DOS or Latin code page.
//
// The current-entry position is shared by every operation: one thread at a time.
class VKZipUnarchiver : public core::Object {
public:
    // Nothing (logged) when the file is no readable archive.
    static std::shared_ptr<VKZipUnarchiver> unarchiverWithZipAtPath(const std::string& archivePath);
    ~VKZipUnarchiver() override;

    uint64_t numberOfEntries();
    std::optional<std::string> nameOfEntryAtIndex(uint64_t index);
    // The sum of the declared sizes, computed once.
    uint64_t uncompressedSize();
    // Whether the first file entry is encrypted.
    bool isEncrypted();

    // Extracts every entry but "__MACOSX/" ones into an existing folder.
    bool unarchiveToPath(const std::string& destination);
    // One entry, found by its exact name, to a path where nothing is yet.
    bool unarchiveFile(const std::string& entryName, const std::string& destination);
    void close();

    const std::optional<std::string>& password() const { return m_password; }
    void setPassword(std::optional<std::string> password) { m_password = std::move(password); }
    const std::string& archivePath() const { return m_archivePath; }
    std::shared_ptr<VKZipUnarchiverDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKZipUnarchiverDelegate> delegate) { m_delegate = std::move(delegate); }

private:
    VKZipUnarchiver(std::string archivePath, void* archive);
    // The current entry's name, decoded; nothing for an empty or undecodable one.
    std::optional<std::string> currentEntryName();
    // Extracts the current entry as `name` inside the folder open at
    // `directoryFd`, making the missing `parents` first; every item made is
    // appended to `created` (as a path below `displayRoot`).
    bool extractCurrentEntry(const std::string& entryName, int directoryFd, const std::string& displayRoot,
        const std::vector<std::string>& components, bool isFolder, std::vector<std::string>& created);

    void* m_archive = nullptr;
    const std::string m_archivePath;
    std::optional<std::string> m_password;
    uint64_t m_uncompressedSize = 0;
    std::weak_ptr<VKZipUnarchiverDelegate> m_delegate;
};
