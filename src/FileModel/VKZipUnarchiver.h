#pragma once

#include "FileModel/VKZipCentralDirectory.h"
#include "Platform/Core/Descriptor.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKZipUnarchiver;

// Why an extraction refused an archive or failed on its data; what the
// system refused comes in the POSIX domain.
inline constexpr const char* VKZipErrorDomain = "VKZipErrorDomain";
enum VKZipErrorCode : int64_t {
    // Entries share their compressed data (the overlap bomb).
    VKZipErrorOverlappingEntries = 1,
    // An absolute, climbing or unreadable name.
    VKZipErrorUnsafeName = 2,
    VKZipErrorUnsupportedMethod = 3,
    // An entry's length or CRC-32 is not what its records say.
    VKZipErrorDataMismatch = 4,
};

// Told of each entry before it is extracted and of each chunk after; false stops.
class VKZipUnarchiverDelegate {
public:
    virtual ~VKZipUnarchiverDelegate() = default;
    virtual bool zipUnarchiver(VKZipUnarchiver& unarchiver, const std::string& fileName) = 0;
    virtual bool zipUnarchiver(VKZipUnarchiver&, uint64_t /*bytes*/, const std::string& /*fileName*/) { return true; }
};

// Lists, tests and extracts a zip archive (zip64 included), encrypted entries
// (traditional PKWARE) when a password is set, bzip2 entries beside stored
// and deflated ones. The central directory is read once when the archive is
// opened, so listing and lookups cost no walk of the archive.
//
// Archives are outside input. Before anything is written an extraction
// refuses an archive whose entries share compressed data (the overlap bomb),
// an entry whose name is absolute or climbs with "..", an entry of a method
// it cannot read, and a total declared size beyond the available space
// (the volume's free space, unless the caller says what may be written:
// the folder browser gives the quota's answer). While writing nothing is created through
// a symbolic link, no entry yields more than its declared size, an entry
// whose length or CRC-32 is wrong fails, and the bytes written stay within
// that budget. A failed or stopped extraction removes everything it made.
// Names are the Unicode Path extra field's, else UTF-8, else Latin-1 for
// archives made on Unix (unless that gives control characters) and a DOS or
// Latin code page for others; "./" and "." are the destination itself.
// Runs of zeros become holes, so sparse files stay so. Files and the
// folders of folder entries take their times from the extended timestamp
// (the local header's, else the central record's), else from the NTFS
// block, else from the entry's DOS date in local time, and from archives
// made on Unix their permission bits (minus the umask), never set-ID or
// sticky bits, and never fewer than the owner needs to read and write a
// file or fill a folder. Relative paths hold from the working directory.
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

    // Extracts every entry but "__MACOSX/" ones into an existing folder. A
    // failure says why: a declared size beyond the available space is the
    // POSIX error EDQUOT, what the system refused its own errno, a refused
    // archive or entry the VKZipErrorDomain's code.
    bool unarchiveToPath(const std::string& destination, core::Error* error = nullptr);
    // One entry, found by its exact name, to a path where nothing is yet.
    bool unarchiveFile(const std::string& entryName, const std::string& destination, core::Error* error = nullptr);
    void close();

    // The bytes an extraction may write below a destination folder, asked
    // once before it starts; nothing when unknown.
    using SpaceFunction = std::function<std::optional<uint64_t>(const std::string& destination)>;
    void setAvailableSpaceFunction(SpaceFunction function) { m_availableSpace = std::move(function); }

    const std::optional<std::string>& password() const { return m_password; }
    void setPassword(std::optional<std::string> password) { m_password = std::move(password); }
    const std::string& archivePath() const { return m_archivePath; }
    std::shared_ptr<VKZipUnarchiverDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKZipUnarchiverDelegate> delegate) { m_delegate = std::move(delegate); }

    struct Extraction;

private:
    VKZipUnarchiver(std::string archivePath, core::Descriptor file, VKZipCentralDirectory directory);
    // The entry's name, decoded; nothing for an empty or undecodable one.
    std::optional<std::string> entryName(size_t index) const;
    bool isArchiveSafe() const;
    // Extracts the entry as the last of `components` below the extraction's
    // root folder.
    bool extractEntry(size_t index, const std::string& name, const std::vector<std::string>& components,
        bool isFolder, Extraction& extraction);
    bool writeEntryData(
        size_t index, const std::string& name, const std::string& displayPath, int file, Extraction& extraction);
    // The times a folder entry's local header gives.
    zipbytes::ExtraTimes folderTimes(size_t index) const;

    core::Descriptor m_file;
    const std::string m_archivePath;
    VKZipCentralDirectory m_directory;
    std::optional<std::string> m_password;
    uint64_t m_uncompressedSize = 0;
    std::weak_ptr<VKZipUnarchiverDelegate> m_delegate;
    SpaceFunction m_availableSpace;
};
