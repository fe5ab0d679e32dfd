#include "Platform/UI/TextBackingFile.h"

#include "Platform/Core/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace ui {

namespace {

std::atomic<uint64_t> nextBackingId { 1 };

// The reading thread's windows: the last pieces it read, the least
// recently used one given up first.
struct BackingWindow {
    uint64_t id = 0;
    bool inSource = false;
    uint64_t chunk = 0;
    size_t piece = 0;
    uint64_t used = 0;
    std::string bytes;
};
constexpr size_t WindowCount = 8;
// A read of more pieces than this goes around the windows.
constexpr size_t WindowedPieces = 2;

uint64_t pieceHash(std::string_view bytes)
{
    return std::hash<std::string_view> {}(bytes);
}

int makeUnlinkedFile(const std::string& directory)
{
    int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    std::string name = directory;
    if (!name.empty() && name.back() != '/')
        name += '/';
    name += "text-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(name.c_str());
    return fd;
}

} // namespace

std::shared_ptr<TextBackingFile> TextBackingFile::create(int sourceFd, std::string directory)
{
    return std::make_shared<TextBackingFile>(sourceFd, std::move(directory));
}

TextBackingFile::TextBackingFile(int sourceFd, std::string directory)
    : m_id(nextBackingId++)
    , m_source(sourceFd >= 0 ? ::fcntl(sourceFd, F_DUPFD_CLOEXEC, 0) : -1)
    , m_directory(std::move(directory))
{
}

TextBackingFile::~TextBackingFile()
{
    if (m_source >= 0)
        ::close(m_source);
    if (int spill = m_spill.load(); spill >= 0)
        ::close(spill);
}

void TextBackingFile::setVerbatimThrough(size_t size)
{
    if (!m_verbatimEnded)
        m_verbatimThrough = std::max(m_verbatimThrough, size);
}

void TextBackingFile::endVerbatim()
{
    m_verbatimEnded = true;
}

std::optional<TextBackingFile::Location> TextBackingFile::store(size_t start, std::string_view bytes)
{
    if (m_source >= 0 && start + bytes.size() <= m_verbatimThrough) {
        auto hashes = std::make_shared<std::vector<uint64_t>>();
        hashes->reserve((bytes.size() + PieceBytes - 1) / PieceBytes);
        for (size_t at = 0; at < bytes.size(); at += PieceBytes)
            hashes->push_back(pieceHash(bytes.substr(at, PieceBytes)));
        return Location { true, start, bytes.size(), std::move(hashes) };
    }
    if (m_spillFailed)
        return std::nullopt;
    int spill = m_spill.load();
    if (spill < 0) {
        spill = makeUnlinkedFile(m_directory);
        if (spill < 0) {
            m_spillFailed = true;
            return std::nullopt;
        }
        m_spill = spill;
    }
    uint64_t at = m_spillSize;
    for (size_t done = 0; done < bytes.size();) {
        ssize_t wrote = ::pwrite(spill, bytes.data() + done, bytes.size() - done, off_t(at + done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            // A full disk: this chunk and those after it stay in memory.
            m_spillFailed = true;
            return std::nullopt;
        }
        done += size_t(wrote);
    }
    m_spillSize = at + bytes.size();
    return Location { false, at, bytes.size(), nullptr };
}

void TextBackingFile::readPieces(const Location& location, size_t first, size_t last, std::string& into) const
{
    int fd = location.inSource ? m_source : m_spill.load();
    size_t begin = into.size();
    size_t from = first * PieceBytes;
    size_t length = std::min((last + 1) * PieceBytes, location.length) - std::min(from, location.length);
    size_t got = fd >= 0 ? core::fs::readAt(fd, location.offset + from, length, into) : 0;
    // What is missing (a file cut short) reads as spaces; so does a piece of
    // the source that is no longer what was read when it was stored.
    into.resize(begin + length, ' ');
    if (!location.hashes)
        return;
    const auto& hashes = *location.hashes;
    for (size_t piece = first; piece <= last && piece < hashes.size(); ++piece) {
        size_t at = (piece - first) * PieceBytes;
        size_t size = std::min(PieceBytes, length - at);
        if (got < at + size || pieceHash(std::string_view(into).substr(begin + at, size)) != hashes[piece])
            std::fill(into.begin() + long(begin + at), into.begin() + long(begin + at + size), ' ');
    }
}

void TextBackingFile::read(const Location& location, size_t local, size_t length, std::string& into) const
{
    if (length == 0)
        return;
    size_t first = local / PieceBytes;
    size_t last = (local + length - 1) / PieceBytes;
    size_t wanted = length;
    auto take = [&](std::string_view bytes, size_t from) {
        size_t have = from < bytes.size() ? std::min(wanted, bytes.size() - from) : 0;
        into.append(bytes.substr(std::min(from, bytes.size()), have));
        wanted -= have;
    };
    if (last - first >= WindowedPieces) {
        std::string several;
        readPieces(location, first, last, several);
        take(several, local - first * PieceBytes);
    } else {
        thread_local BackingWindow windows[WindowCount];
        thread_local uint64_t clock = 0;
        for (size_t piece = first; piece <= last; ++piece) {
            BackingWindow* found = nullptr;
            BackingWindow* oldest = &windows[0];
            for (auto& window : windows) {
                if (window.id == m_id && window.inSource == location.inSource && window.chunk == location.offset
                    && window.piece == piece) {
                    found = &window;
                    break;
                }
                if (window.used < oldest->used)
                    oldest = &window;
            }
            if (!found) {
                found = oldest;
                found->id = m_id;
                found->inSource = location.inSource;
                found->chunk = location.offset;
                found->piece = piece;
                found->bytes.clear();
                readPieces(location, piece, piece, found->bytes);
            }
            found->used = ++clock;
            take(found->bytes, piece == first ? local - first * PieceBytes : 0);
        }
    }
    // What is missing (a file cut short) reads as spaces.
    into.append(wanted, ' ');
}

} // namespace ui
