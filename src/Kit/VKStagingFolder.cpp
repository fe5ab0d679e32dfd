#include "Kit/VKStagingFolder.h"

#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Data.h"
#include "Platform/Core/Descriptor.h"
#include "Platform/Core/DesktopTrash.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/UUID.h"

#include <fmt/format.h>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder every run's staging folder sits in; `stagingRoot()` makes it.
std::string stagingRootPath()
{
    return core::paths::temporaryDirectory() + "Staging";
}

std::string stagingRoot()
{
    std::string folder = stagingRootPath();
    mkdir(folder.c_str(), 0700);
    return folder;
}

// The name of this run's folder: fixed for the process (a forked child is
// a run of its own), never an earlier run's.
std::string runName()
{
    static std::mutex mutex;
    static pid_t owner = 0;
    static std::string name;
    std::lock_guard lock(mutex);
    if (owner != getpid()) {
        owner = getpid();
        name = fmt::format("{}-{}", owner, core::uuidString());
    }
    return name;
}

// The journal of a run's folder: records of five NUL-ended fields (kind,
// device, inode, path, original path), appended whole before the step they
// announce (a finished item right after it stands, a whole work's end once
// it stands: "made" and "stands", the work's name in place of the original
// path). Its name has no leading dot, so no staged item takes it.
constexpr const char* StagingJournalName = "journal";
constexpr size_t StagingJournalLimit = 64 << 20;

std::mutex& stagingJournalMutex()
{
    static std::mutex mutex;
    return mutex;
}

bool appendStagingRecord(std::string_view kind, dev_t device, ino_t inode, const std::string& item,
    const std::string& original, core::Error* error = nullptr)
{
    std::string record;
    for (const std::string& field : { std::string(kind), std::to_string(device), std::to_string(inode), item, original })
        record.append(field).push_back('\0');
    std::lock_guard lock(stagingJournalMutex());
    const std::string journal = core::path::appendingPathComponent(VKStagingFolder::path(), StagingJournalName);
    core::Descriptor fd(::open(journal.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600));
    int code = fd.isValid() ? 0 : errno;
    size_t done = 0;
    while (code == 0 && done < record.size()) {
        const ssize_t count = ::write(fd.get(), record.data() + done, record.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            code = count < 0 ? errno : EIO;
        else
            done += static_cast<size_t>(count);
    }
    if (code == 0)
        return true;
    core::log("Warning, could not note {} in the staging journal: {}", item, core::Error::posix(code));
    core::setError(error, core::Error::posix(code));
    return false;
}

// Whether a journal's path names an item this program makes beside another:
// absolute, hidden, ending in "-" and six letters or digits.
bool isStagedSiblingName(const std::string& item)
{
    const std::string name = core::path::lastPathComponent(item);
    if (!item.starts_with('/') || name.size() < 9 || name[0] != '.' || name[name.size() - 7] != '-')
        return false;
    return std::all_of(name.end() - 6, name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

struct StagingRecord {
    std::string kind;
    dev_t device = 0;
    ino_t inode = 0;
    std::string item;
    std::string original;
};

// The records of a journal, none when a run noted nothing; nothing at all
// when it is damaged (too large, unreadable, or a record not whole or not
// sound): what it set aside can then not be told from what it made.
std::optional<std::vector<StagingRecord>> readStagingJournal(const std::string& journal)
{
    std::vector<StagingRecord> records;
    struct stat item {};
    if (lstat(journal.c_str(), &item) != 0)
        return errno == ENOENT ? std::optional(records) : std::nullopt;
    core::Data data;
    if (!S_ISREG(item.st_mode) || size_t(item.st_size) > StagingJournalLimit || !core::fs::readFile(journal, data))
        return std::nullopt;
    std::string_view rest = data.view();
    auto field = [&rest](std::string_view& value) {
        const auto end = rest.find('\0');
        if (end == std::string_view::npos)
            return false;
        value = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        return true;
    };
    auto number = [](std::string_view text, auto& value) {
        auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
        return code == std::errc() && end == text.data() + text.size();
    };
    while (!rest.empty()) {
        std::string_view kind, device, inode, item, original;
        StagingRecord record;
        if (!field(kind) || !field(device) || !field(inode) || !field(item) || !field(original)
            || !number(device, record.device) || !number(inode, record.inode))
            return std::nullopt;
        const bool sound = kind == "part" ? isStagedSiblingName(std::string(item))
            : kind == "aside"             ? item.starts_with('/') && original.starts_with('/')
            : kind == "made"              ? item.starts_with('/') && !original.empty()
                                          : kind == "stands" && !original.empty();
        if (!sound)
            return std::nullopt;
        record.kind = kind;
        record.item = item;
        record.original = original;
        records.push_back(std::move(record));
    }
    return records;
}

bool isStagingRecordItem(const StagingRecord& record, const struct stat& item)
{
    return item.st_dev == record.device && item.st_ino == record.inode;
}

// An item a killed run set aside: back in its place when nothing took it,
// else to the trash as the item it was, else under a free name beside it.
// Answers whether it was there, and in `stays` whether it could go nowhere.
bool settleAsideItem(const StagingRecord& record, bool& stays)
{
    struct stat item {};
    if (lstat(record.item.c_str(), &item) != 0 || !isStagingRecordItem(record, item))
        return false;
    core::Error error;
    if (core::fs::renameItem(record.item, record.original, &error)
        || core::desktopTrash::moveItem(record.item, record.original, &error)
        || core::fs::moveItem(record.item, uniquePathForItemAtPath(record.original), &error))
        return true;
    core::log("Warning, the replaced {} stays at {}: {}", record.original, record.item, error);
    stays = true;
    return true;
}

// What a work that never stood whole finished goes to the desktop's trash,
// as itself, when it is still the item made; it stays where the trash cannot
// take it, never removed.
void trashUnfinishedWork(const std::vector<StagingRecord>& records, std::vector<std::string>& settled)
{
    for (const auto& record : records) {
        struct stat item {};
        if (record.kind != "made" || lstat(record.item.c_str(), &item) != 0 || !isStagingRecordItem(record, item))
            continue;
        const bool stood = std::any_of(records.begin(), records.end(),
            [&](const StagingRecord& other) { return other.kind == "stands" && other.original == record.original; });
        if (stood)
            continue;
        core::Error error;
        if (core::desktopTrash::moveItem(record.item, record.item, &error))
            settled.push_back(record.item);
        else
            core::log("Warning, an item of unfinished work stays at {}: {}", record.item, error);
    }
}

// Settles what a killed run noted: what its unfinished work made, so that
// the items it replaced find their places free, then items set aside (one
// may stand where a part was noted, and is never taken for one), then the
// parts still there outside the run's folder. False when an item set aside
// could not leave the run's folder, or the journal is damaged: the folder
// must then stay, with whatever of the user's it may hold.
bool settleStagingJournal(const std::string& folder, std::vector<std::string>& settled)
{
    const auto read = readStagingJournal(core::path::appendingPathComponent(folder, StagingJournalName));
    if (!read) {
        core::log("Warning, the staging journal of {} cannot be read: the folder is kept", folder);
        return false;
    }
    const auto& records = *read;
    trashUnfinishedWork(records, settled);
    bool folderMayGo = true;
    for (const auto& record : records) {
        bool stays = false;
        if (record.kind == "aside" && settleAsideItem(record, stays))
            settled.push_back(record.original);
        folderMayGo = folderMayGo && !(stays && core::path::isWithin(record.item, folder));
    }
    for (const auto& record : records) {
        struct stat item {};
        if (record.kind != "part" || lstat(record.item.c_str(), &item) != 0)
            continue;
        const bool setAside = std::any_of(records.begin(), records.end(),
            [&](const StagingRecord& other) { return other.kind == "aside" && isStagingRecordItem(other, item); });
        if (setAside)
            continue;
        core::Error error;
        if (core::fs::removeItem(record.item, &error))
            settled.push_back(record.item);
        else
            core::log("Warning, failed to remove an abandoned item: {}", error.description());
    }
    return folderMayGo;
}

} // namespace

std::string VKStagingFolder::path()
{
    std::string folder = core::path::appendingPathComponent(stagingRoot(), runName());
    mkdir(folder.c_str(), 0700);
    return folder;
}

std::string VKStagingFolder::pathForItem(const std::string& target, std::string_view tag)
{
    return pathForItemIn(path(), target, tag);
}

std::vector<std::string> VKStagingFolder::removeAbandonedItems()
{
    // Only looked into: the sweep runs beside the start and may end after
    // the run's end has emptied the temporary folder.
    const std::string root = stagingRootPath();
    const std::string kept = runName();
    std::vector<std::string> settled;
    for (const auto& name : core::fs::contentsOfDirectory(root).value_or(std::vector<std::string> {})) {
        const std::string folder = core::path::appendingPathComponent(root, name);
        if (name == kept || !settleStagingJournal(folder, settled))
            continue;
        core::Error error;
        if (!core::fs::removeItem(folder, &error))
            core::log("Warning, failed to remove an abandoned item: {}", error.description());
    }
    return settled;
}

bool VKStagingFolder::recordAside(const std::string& aside, const std::string& original, core::Error* error)
{
    struct stat item {};
    if (lstat(original.c_str(), &item) != 0) {
        core::setError(error, core::Error::posix(errno));
        return false;
    }
    return appendStagingRecord("aside", item.st_dev, item.st_ino, aside, original, error);
}

std::string VKStagingFolder::beginWork()
{
    return core::uuidString();
}

void VKStagingFolder::recordMade(const std::string& work, const std::string& item)
{
    struct stat made {};
    if (lstat(item.c_str(), &made) == 0)
        appendStagingRecord("made", made.st_dev, made.st_ino, item, work);
}

void VKStagingFolder::recordStands(const std::string& work)
{
    appendStagingRecord("stands", 0, 0, {}, work);
}

std::string VKStagingFolder::pathForItemIn(const std::string& folder, const std::string& target, std::string_view tag)
{
    struct stat staging {};
    struct stat destination {};
    if (stat(folder.c_str(), &staging) != 0
        || stat(core::path::deletingLastPathComponent(target).c_str(), &destination) != 0
        || staging.st_dev != destination.st_dev) {
        // Out of every staging folder: noted for the sweep after a killed run.
        std::string sibling = core::fs::hiddenSiblingPath(target, tag);
        appendStagingRecord("part", 0, 0, sibling, {});
        return sibling;
    }
    return core::fs::hiddenSiblingPath(
        core::path::appendingPathComponent(folder, core::path::lastPathComponent(target)), tag);
}

void VKStagingFolder::removeItemsIn(const std::string& folder, std::string_view kept)
{
    for (const auto& name : core::fs::contentsOfDirectory(folder).value_or(std::vector<std::string> {})) {
        if (name == kept)
            continue;
        core::Error error;
        if (!core::fs::removeItem(core::path::appendingPathComponent(folder, name), &error))
            core::log("Warning, failed to remove an abandoned item: {}", error.description());
    }
}
