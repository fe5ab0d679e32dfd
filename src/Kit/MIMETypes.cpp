#include "Kit/MIMETypes.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/UTF8.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace {

// How much of a file without a known extension is looked at.
constexpr size_t SniffLength = 200;

struct TypeTable {
    std::unordered_map<std::string, std::string> types;
    std::unordered_set<std::string> packages;
};

std::mutex tableMutex;
std::shared_ptr<const TypeTable> loadedTable;

std::shared_ptr<const TypeTable> readTable()
{
    auto table = std::make_shared<TypeTable>();
    std::string path = core::Bundle::main()->pathForResource("MIMETypes", "plist");
    core::Error error;
    core::Value contents = path.empty() ? core::Value() : core::PropertyList::readFile(path, &error);
    if (!contents.isDictionary() || !contents["Types"].isDictionary() || !contents["Packages"].isArray()) {
        // Logged once: the empty table stays until a reload.
        core::log("Warning, MIME type table unavailable: {}", path.empty() ? "no MIMETypes.plist" : error.description());
        return table;
    }
    for (const auto& [extension, type] : contents["Types"].dictionary())
        table->types.emplace(extension, type.toString());
    for (const auto& extension : contents["Packages"].array())
        table->packages.insert(extension.toString());
    return table;
}

std::shared_ptr<const TypeTable> table()
{
    std::lock_guard lock(tableMutex);
    if (!loadedTable)
        loadedTable = readTable();
    return loadedTable;
}

std::string lowercaseExtension(const std::string& path)
{
    std::string extension = core::path::pathExtension(path);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

// The length of the bytes without a UTF-8 sequence that the cut at the end
// left incomplete.
size_t withoutCutSequence(std::string_view bytes)
{
    size_t length = bytes.size();
    for (size_t back = 1; back <= 3 && back <= length; ++back) {
        auto c = static_cast<unsigned char>(bytes[length - back]);
        if ((c & 0xC0) == 0x80)
            continue;
        size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return needed > back ? length - back : length;
    }
    return length;
}

// Whether the start of an open regular file is UTF-8 text with a line
// break. Read from offset 0 whatever the descriptor's own offset, which
// stays as it was.
bool startsWithTextLines(int fd)
{
    struct stat info;
    char buffer[SniffLength];
    ssize_t count = -1;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        do
            count = pread(fd, buffer, sizeof buffer, 0);
        while (count < 0 && errno == EINTR);
    }
    if (count <= 0)
        return false;
    std::string_view text(buffer, static_cast<size_t>(count));
    if (text.size() == SniffLength)
        text = text.substr(0, withoutCutSequence(text));
    return !text.empty() && core::utf8::isValid(text) && text.find_first_of("\r\n") != std::string_view::npos;
}

// The same of a path. Only regular files are read, opened without blocking,
// so a FIFO or a device in the store can never hang a listing.
bool startsWithTextLines(const std::string& path)
{
    if (core::fs::hasNul(path))
        return false;
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool text = startsWithTextLines(fd);
    close(fd);
    return text;
}

// What a file without a known extension is, once its start was looked at.
std::string typeOfUnknownKind(const std::string& path, bool textLines)
{
    if (textLines)
        return "text/plain";
    if (!core::fs::isExecutable(path))
        return "unknown";
    return core::fs::isDirectory(path) ? "unknown" : "application/octet-stream";
}

} // namespace

std::string MIMEGetTypeForExtension(const std::string& name)
{
    std::string extension = lowercaseExtension(name);
    if (!extension.empty()) {
        auto types = table();
        if (auto found = types->types.find(extension); found != types->types.end())
            return found->second;
    }
    return "unknown";
}

std::string MIMEGetTypeForFile(const std::string& path)
{
    if (std::string type = MIMEGetTypeForExtension(path); type != "unknown")
        return type;
    return typeOfUnknownKind(path, startsWithTextLines(path));
}

std::string MIMEGetTypeForOpenFile(const std::string& path, int fd)
{
    if (std::string type = MIMEGetTypeForExtension(path); type != "unknown")
        return type;
    return typeOfUnknownKind(path, startsWithTextLines(fd));
}

bool MIMEIsPackageType(const std::string& path)
{
    std::string extension = lowercaseExtension(path);
    return !extension.empty() && table()->packages.count(extension) > 0;
}

void MIMEReloadTypesForTesting()
{
    std::lock_guard lock(tableMutex);
    loadedTable.reset();
}
