#include "FileModel/VKZipUnarchiver.h"

#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKZipEntryReader.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Descriptor.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RegularFile.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/Core/UTF8.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace {

constexpr size_t UnarchiveChunkSize = 10240;
constexpr const char* ResourceForkFolder = "__MACOSX/";

// Code pages tried, in order, for a name that is not UTF-8 from an archive
// made on DOS or Windows: their zip tools write the DOS code page of the
// system. Unix tools store the system's bytes, Latin-1 where not UTF-8,
// unless the bytes would be Latin-1's control characters (0x80 to 0x9f),
// which no name holds: a DOS code page's letters.
constexpr std::array<const char*, 7> NameEncodings { "CP850", "CP851", "CP852", "CP855", "CP857", "CP1252",
    "ISO-8859-1" };
constexpr const char* UnixNameEncoding = "ISO-8859-1";

const std::array<char, UnarchiveChunkSize> Zeros {};

// The name's parts below the destination, "." and empty ones dropped (no
// parts at all: the destination itself); nothing for a name that is
// absolute, climbs with "..", or holds a NUL.
std::optional<std::vector<std::string>> safeComponents(const std::string& name)
{
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos)
        return std::nullopt;
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        std::string part = name.substr(start, end - start);
        if (part == "..")
            return std::nullopt;
        if (!part.empty() && part != ".")
            components.push_back(std::move(part));
        start = end + 1;
    }
    return components;
}

// The entry's local date as a file time; nothing for an undated entry.
std::optional<std::time_t> entryTime(uint32_t dosDate)
{
    if (dosDate == 0)
        return std::nullopt;
    std::tm local {};
    local.tm_year = static_cast<int>(dosDate >> 25) + 80;
    local.tm_mon = static_cast<int>((dosDate >> 21) & 0xf) - 1;
    local.tm_mday = static_cast<int>((dosDate >> 16) & 0x1f);
    local.tm_hour = static_cast<int>((dosDate >> 11) & 0x1f);
    local.tm_min = static_cast<int>((dosDate >> 5) & 0x3f);
    local.tm_sec = static_cast<int>(dosDate & 0x1f) * 2;
    local.tm_isdst = -1;
    std::time_t time = mktime(&local);
    if (time == static_cast<std::time_t>(-1))
        return std::nullopt;
    return time;
}

// The access and modification times to give what an entry makes: the extra
// field's, the local header's first (it may hold the access time too), else
// the entry's local date; an unknown access time is the modification time.
// Nothing for an undated entry.
std::optional<std::array<timespec, 2>> entryStamps(
    const zipbytes::ExtraTimes& localTimes, const VKZipCentralDirectory::Entry& entry)
{
    zipbytes::ExtraTimes times = localTimes.modified ? localTimes : entry.times;
    if (!times.modified) {
        if (auto time = entryTime(entry.dosDate))
            times.modified = int64_t(*time) * 1000000000;
    }
    if (!times.modified)
        return std::nullopt;
    auto timespecOf = [](int64_t ns) {
        int64_t seconds = ns / 1000000000, rest = ns % 1000000000;
        if (rest < 0)
            --seconds, rest += 1000000000;
        return timespec { static_cast<time_t>(seconds), static_cast<long>(rest) };
    };
    return std::array<timespec, 2> { timespecOf(times.accessed.value_or(*times.modified)), timespecOf(*times.modified) };
}

// The mode to create an entry's file or folder with (the umask then
// applies): the permission bits a Unix tool stored, never set-user-ID,
// set-group-ID or sticky, and at least what the owner needs to go on
// (reading and writing a file, entering and filling a folder); without a
// stored mode (other systems, links kept as files) 0644 and 0755.
mode_t entryMode(const VKZipCentralDirectory::Entry& entry, bool isFolder)
{
    const uint32_t stored = entry.externalAttributes >> 16;
    const uint32_t type = stored & S_IFMT;
    if (!entry.madeOnUnix() || stored == 0 || (type != 0 && type != S_IFREG && type != S_IFDIR))
        return isFolder ? 0755 : 0644;
    return static_cast<mode_t>(stored & 0777) | (isFolder ? S_IRWXU : S_IRUSR | S_IWUSR);
}

} // namespace

// One extraction's state: the destination, what it made (for the rollback),
// the folders it walked and the bytes it may still write.
struct VKZipUnarchiver::Extraction {
    struct Level {
        std::string name;
        std::string relativePath;
        core::Descriptor fd;
    };

    core::Descriptor rootFolder;
    int root = -1;
    std::string displayRoot;
    std::vector<std::string> created;
    // Folders made (true) or found already, by relative path: each is made
    // at most once.
    std::unordered_map<std::string, bool> folders;
    // The modes of the folders the archive lists, by relative path; others
    // are made 0755.
    std::unordered_map<std::string, mode_t> folderModes;
    // The folder entries this extraction made, with their stamps, given once
    // everything is written (writing into a folder changes its time).
    struct MadeFolder {
        std::vector<std::string> components;
        std::array<timespec, 2> stamps;
    };
    std::vector<MadeFolder> madeFolders;
    // The chain of folders of the last entry, kept open since archives list
    // a folder's entries together.
    std::vector<Level> chain;
    std::optional<uint64_t> budget;
    // Why it failed, when the system or the archive said (the first reason).
    core::Error failure;
    std::array<char, UnarchiveChunkSize> buffer {};

    std::string displayPath(const std::string& relativePath) const
    {
        return core::path::appendingPathComponent(displayRoot, relativePath);
    }

    // The folder of the first `count` components, made where missing, never
    // through a link; -1 (logged) when it cannot be had.
    int folderFor(const std::vector<std::string>& components, size_t count)
    {
        size_t kept = 0;
        while (kept < chain.size() && kept < count && chain[kept].name == components[kept])
            ++kept;
        chain.erase(chain.begin() + static_cast<ptrdiff_t>(kept), chain.end());
        for (size_t i = kept; i < count; ++i) {
            const int parent = i == 0 ? root : chain.back().fd.get();
            const std::string& name = components[i];
            std::string relative = i == 0 ? name : chain.back().relativePath + "/" + name;
            if (!folders.contains(relative)) {
                auto mode = folderModes.find(relative);
                const bool made = mkdirat(parent, name.c_str(), mode == folderModes.end() ? 0755 : mode->second) == 0;
                if (made)
                    created.push_back(displayPath(relative));
                else if (errno != EEXIST) {
                    note(core::Error::posix(errno));
                    core::log("Warning, unarchiver cannot extract to an existing path: {}", displayPath(relative));
                    return -1;
                }
                folders.emplace(relative, made);
            }
            core::Descriptor fd(openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!fd.isValid()) {
                note(core::Error::posix(errno));
                core::log("Warning, unarchiver cannot extract to an existing path: {}", displayPath(relative));
                return -1;
            }
            chain.push_back({ name, std::move(relative), std::move(fd) });
        }
        return count == 0 ? root : chain[count - 1].fd.get();
    }

    // Opens the folder and sizes the budget; false when the folder cannot
    // be opened (`root` stays -1) or the declared bytes do not fit (logged).
    bool begin(const std::string& folder, uint64_t needed, const SpaceFunction& space, core::Error* error)
    {
        rootFolder.reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!rootFolder.isValid())
            return false;
        root = rootFolder.get();
        displayRoot = folder;
        budget = space ? space(folder) : VKQuotaManager::freeSpaceAtPath(folder);
        if (budget && needed > *budget) {
            core::log("Warning, not enough space to unarchive {} bytes to: {}", needed, folder);
            core::setError(error, core::Error::posix(EDQUOT));
            return false;
        }
        return true;
    }

    // Gives the folders made for folder entries their times; a folder that
    // cannot be had is logged and left.
    void stampFolders()
    {
        for (const auto& made : madeFolders) {
            const int parent = folderFor(made.components, made.components.size() - 1);
            if (parent < 0
                || utimensat(parent, made.components.back().c_str(), made.stamps.data(), AT_SYMLINK_NOFOLLOW) != 0)
                core::log("Error setting modification date for: {}", displayPath(relativePathOf(made.components)));
        }
        madeFolders.clear();
    }

    static std::string relativePathOf(const std::vector<std::string>& components)
    {
        std::string path;
        for (const auto& component : components)
            path += (path.empty() ? "" : "/") + component;
        return path;
    }

    void note(core::Error reason)
    {
        if (!failure)
            failure = std::move(reason);
    }

    void fail(core::Error* error)
    {
        if (failure)
            core::setError(error, failure);
        rollBack();
    }

    void rollBack()
    {
        chain.clear();
        // Nothing of a failed extraction stays, folders made for it included.
        for (const auto& path : created)
            VKRemoveItemAtPath(path);
        created.clear();
    }
};

std::shared_ptr<VKZipUnarchiver> VKZipUnarchiver::unarchiverWithZipAtPath(const std::string& archivePath)
{
    // An archive that is no regular file (a FIFO named .zip) is never waited on.
    auto file = core::fs::openRegularFile(archivePath);
    std::optional<VKZipCentralDirectory> directory;
    if (file)
        directory = VKZipCentralDirectory::read(file->fd.get());
    if (!directory) {
        core::log("Warning, failed to open archive: {}", archivePath);
        return nullptr;
    }
    return std::shared_ptr<VKZipUnarchiver>(
        new VKZipUnarchiver(core::fs::absolutePath(archivePath), std::move(file->fd), std::move(*directory)));
}

VKZipUnarchiver::VKZipUnarchiver(std::string archivePath, core::Descriptor file, VKZipCentralDirectory directory)
    : m_file(std::move(file)), m_archivePath(std::move(archivePath)), m_directory(std::move(directory))
{
}

VKZipUnarchiver::~VKZipUnarchiver()
{
    close();
}

void VKZipUnarchiver::close()
{
    if (m_file.isValid() && ::close(m_file.release()) != 0)
        core::log("Warning, failed to close archive at: {}", m_archivePath);
}

uint64_t VKZipUnarchiver::numberOfEntries()
{
    return m_file.isValid() ? m_directory.entries().size() : 0;
}

std::optional<std::string> VKZipUnarchiver::entryName(size_t index) const
{
    const auto& entry = m_directory.entries()[index];
    const std::string& raw = entry.rawName;
    if (raw.empty())
        return std::nullopt;
    if (!entry.unicodeName.empty())
        return entry.unicodeName;
    if (core::utf8::isValid(raw))
        return raw;
    if (entry.madeOnUnix() && std::none_of(raw.begin(), raw.end(), [](char c) {
            return static_cast<unsigned char>(c) >= 0x80 && static_cast<unsigned char>(c) < 0xa0;
        }))
        return core::TextConverter::convertText(raw, UnixNameEncoding);
    for (const char* encoding : NameEncodings) {
        auto text = core::TextConverter::convertText(raw, encoding);
        if (text && !text->empty())
            return text;
    }
    return std::nullopt;
}

std::optional<std::string> VKZipUnarchiver::nameOfEntryAtIndex(uint64_t index)
{
    if (!m_file.isValid() || index >= m_directory.entries().size())
        return std::nullopt;
    return entryName(static_cast<size_t>(index));
}

uint64_t VKZipUnarchiver::uncompressedSize()
{
    if (m_uncompressedSize != 0 || !m_file.isValid())
        return m_uncompressedSize;
    uint64_t total = 0;
    for (const auto& entry : m_directory.entries()) {
        if (__builtin_add_overflow(total, entry.uncompressedSize, &total))
            total = UINT64_MAX;
    }
    m_uncompressedSize = total;
    return total;
}

bool VKZipUnarchiver::isEncrypted()
{
    if (!m_file.isValid()) {
        core::log("Error opening first file in archive: {}", m_archivePath);
        return false;
    }
    for (size_t i = 0; i < m_directory.entries().size(); ++i) {
        auto name = entryName(i);
        if (name && !name->ends_with('/'))
            return m_directory.entries()[i].isEncrypted();
    }
    return false;
}

bool VKZipUnarchiver::isArchiveSafe() const
{
    if (auto index = m_directory.overlappingEntry()) {
        core::log("Warning, zip entries overlap (possible zip bomb) at {} in archive: {}",
            m_directory.entries()[*index].rawName, m_archivePath);
        return false;
    }
    return true;
}

namespace {

struct PlannedEntry {
    size_t index;
    std::string name;
    std::vector<std::string> components;
    bool isFolder;
};

} // namespace

bool VKZipUnarchiver::unarchiveToPath(const std::string& givenDestination, core::Error* error)
{
    const std::string destination = core::fs::absolutePath(givenDestination);
    if (!isDirectoryAtPath(destination)) {
        core::log("Warning, unarchiver pass non-directory destination: {}", destination);
        return false;
    }
    // An archive without entries extracts to nothing.
    if (!m_file.isValid()) {
        core::log("Error opening first file in archive: {}", m_archivePath);
        return false;
    }
    if (!isArchiveSafe()) {
        core::setError(error, core::Error(VKZipErrorDomain, VKZipErrorOverlappingEntries, "Entries share their data"));
        return false;
    }

    // Every name and method is checked, and the sizes summed, first.
    std::vector<PlannedEntry> plan;
    plan.reserve(m_directory.entries().size());
    uint64_t needed = 0;
    for (size_t i = 0; i < m_directory.entries().size(); ++i) {
        const auto& entry = m_directory.entries()[i];
        auto name = entryName(i);
        if (!name) {
            core::log("Warning, unreadable entry name in archive: {}", m_archivePath);
            core::setError(error, core::Error(VKZipErrorDomain, VKZipErrorUnsafeName, "An entry's name is unsafe"));
            return false;
        }
        if (name->starts_with(ResourceForkFolder))
            continue;
        auto components = safeComponents(*name);
        if (!components) {
            core::log("Warning, unsafe entry name in archive: {}", *name);
            core::setError(error, core::Error(VKZipErrorDomain, VKZipErrorUnsafeName, "An entry's name is unsafe"));
            return false;
        }
        if (components->empty())
            continue;
        const bool isFolder = name->ends_with('/');
        if (!isFolder) {
            if (!VKZipEntryReader::supportsMethod(entry.method)) {
                core::log("Warning, unsupported compression method {} for entry: {}", entry.method, *name);
                core::setError(error,
                    core::Error(VKZipErrorDomain, VKZipErrorUnsupportedMethod, "An entry's method is unsupported"));
                return false;
            }
            if (__builtin_add_overflow(needed, entry.uncompressedSize, &needed))
                needed = UINT64_MAX;
        }
        plan.push_back({ i, std::move(*name), std::move(*components), isFolder });
    }
    Extraction extraction;
    for (const auto& planned : plan) {
        if (planned.isFolder)
            extraction.folderModes[Extraction::relativePathOf(planned.components)]
                = entryMode(m_directory.entries()[planned.index], true);
    }
    if (!extraction.begin(destination, needed, m_availableSpace, error)) {
        if (extraction.root < 0)
            core::log("Warning, unarchiver pass non-directory destination: {}", destination);
        return false;
    }
    for (const auto& planned : plan) {
        if (!extractEntry(planned.index, planned.name, planned.components, planned.isFolder, extraction)) {
            extraction.fail(error);
            return false;
        }
    }
    extraction.stampFolders();
    return true;
}

bool VKZipUnarchiver::unarchiveFile(const std::string& entryName, const std::string& givenDestination, core::Error* error)
{
    const std::string destination = core::fs::absolutePath(givenDestination);
    if (core::path::lastPathComponent(destination).empty() || core::fs::attributes(destination)) {
        core::log("Error, cannot unarchive to an existing file");
        return false;
    }
    // Located by the decoded name, so that code-page names are found too.
    std::optional<size_t> found;
    for (size_t i = 0; m_file.isValid() && i < m_directory.entries().size() && !found; ++i) {
        if (this->entryName(i) == entryName)
            found = i;
    }
    if (!found) {
        core::log("Error, failed to find file in archive: {}", m_archivePath);
        return false;
    }
    if (!isArchiveSafe())
        return false;
    const auto& entry = m_directory.entries()[*found];
    const bool isFolder = entryName.ends_with('/');
    if (!isFolder && !VKZipEntryReader::supportsMethod(entry.method)) {
        core::log("Warning, unsupported compression method {} for entry: {}", entry.method, entryName);
        return false;
    }
    const std::string folder = core::path::deletingLastPathComponent(destination);
    const std::string name = core::path::lastPathComponent(destination);
    Extraction extraction;
    extraction.folderModes[name] = entryMode(entry, true);
    if (!extraction.begin(folder, isFolder ? 0 : entry.uncompressedSize, m_availableSpace, error)) {
        if (extraction.root < 0)
            core::log("Warning, failed to create file at: {}", destination);
        return false;
    }
    if (extractEntry(*found, entryName, { name }, isFolder, extraction)) {
        extraction.stampFolders();
        return true;
    }
    extraction.fail(error);
    return false;
}

bool VKZipUnarchiver::extractEntry(size_t index, const std::string& name, const std::vector<std::string>& components,
    bool isFolder, Extraction& extraction)
{
    auto delegate = this->delegate();
    if (delegate && !delegate->zipUnarchiver(*this, name))
        return false;
    if (isFolder) {
        if (extraction.folderFor(components, components.size()) < 0)
            return false;
        // A folder that was there before keeps its time; one listed twice
        // takes the first entry's.
        auto& made = extraction.folders[Extraction::relativePathOf(components)];
        if (made) {
            if (auto stamps = entryStamps(folderTimes(index), m_directory.entries()[index]))
                extraction.madeFolders.push_back({ components, *stamps });
            made = false;
        }
        return true;
    }

    const int folder = extraction.folderFor(components, components.size() - 1);
    if (folder < 0)
        return false;
    const std::string& fileName = components.back();
    const std::string displayPath = core::path::appendingPathComponent(
        components.size() > 1 ? extraction.displayPath(extraction.chain.back().relativePath) : extraction.displayRoot,
        fileName);
    core::Descriptor file(openat(folder, fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
        entryMode(m_directory.entries()[index], false)));
    if (!file.isValid()) {
        extraction.note(core::Error::posix(errno));
        if (errno == EEXIST)
            core::log("Warning, unarchiver cannot extract to an existing path: {}", displayPath);
        else
            core::log("Warning, failed to create file at: {}", displayPath);
        return false;
    }
    bool succeeded = writeEntryData(index, name, displayPath, file.get(), extraction);
    if (::close(file.release()) != 0) {
        core::log("Warning, failed to close file at path: {}", displayPath);
        succeeded = false;
    }
    if (!succeeded) {
        core::log("Warning, unarchive read error for: {}", displayPath);
        unlinkat(folder, fileName.c_str(), 0);
        return false;
    }
    extraction.created.push_back(displayPath);
    return true;
}

bool VKZipUnarchiver::writeEntryData(
    size_t index, const std::string& name, const std::string& displayPath, int file, Extraction& extraction)
{
    const auto& entry = m_directory.entries()[index];
    auto reader = VKZipEntryReader::open(m_file.get(), entry, m_password);
    if (!reader) {
        core::log("Warning, failed to open current zip file for reading");
        return false;
    }
    auto delegate = this->delegate();
    uint64_t offset = 0;
    bool endsInHole = false;
    while (true) {
        long count = reader->read(extraction.buffer.data(), extraction.buffer.size());
        if (count < 0)
            return false;
        if (count == 0)
            break;
        const auto length = static_cast<size_t>(count);
        if (extraction.budget) {
            if (length > *extraction.budget) {
                core::log("Warning, not enough space to unarchive: {}", name);
                extraction.note(core::Error::posix(EDQUOT));
                return false;
            }
            *extraction.budget -= length;
        }
        // Zeros are skipped over; the file's end is set once all is read.
        endsInHole = std::memcmp(extraction.buffer.data(), Zeros.data(), length) == 0;
        if (!endsInHole && !core::writeAt(file, extraction.buffer.data(), length, offset)) {
            extraction.note(core::Error::posix(errno));
            return false;
        }
        offset += length;
        if (delegate && !delegate->zipUnarchiver(*this, length, name))
            return false;
    }
    // A wrong password or corrupt data shows up here, in the length or CRC.
    if (!reader->close()) {
        extraction.note(core::Error(VKZipErrorDomain, VKZipErrorDataMismatch, "The entry's data does not match it"));
        return false;
    }
    if (endsInHole && ftruncate(file, static_cast<off_t>(offset)) != 0) {
        extraction.note(core::Error::posix(errno));
        return false;
    }
    if (auto stamps = entryStamps(reader->localTimes(), entry); stamps && futimens(file, stamps->data()) != 0)
        core::log("Error setting modification date for: {}", displayPath);
    return true;
}

zipbytes::ExtraTimes VKZipUnarchiver::folderTimes(size_t index) const
{
    // The local header may hold the access time; a folder entry that cannot
    // be read has the central record's times.
    const auto& entry = m_directory.entries()[index];
    if (entry.isEncrypted() || !VKZipEntryReader::supportsMethod(entry.method))
        return {};
    auto reader = VKZipEntryReader::open(m_file.get(), entry, std::nullopt);
    return reader ? reader->localTimes() : zipbytes::ExtraTimes {};
}
