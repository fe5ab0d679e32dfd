#include "Platform/UI/TextStorage.h"

#include "Platform/Core/MainThread.h"
#include "Platform/Core/UTF8.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ui {

namespace {

// Calls `found(offset)` for each line end of `text` in turn, sixteen bytes
// at a time.
template<typename Found> void forEachLineEnd(std::string_view text, Found&& found)
{
    const char* begin = text.data();
    const size_t length = text.size();
    size_t at = 0;
#if defined(__SSE2__)
    const __m128i newline = _mm_set1_epi8('\n');
    for (; at + 16 <= length; at += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + at));
        for (unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline))); mask; mask &= mask - 1)
            found(at + size_t(std::countr_zero(mask)));
    }
#endif
    for (; at < length; ++at)
        if (begin[at] == '\n')
            found(at);
}

// How many line ends `text` has, and where its first and every `stride`-th
// one after it are: counted first, so the stride keeps at most MaxLineMarks
// and the list takes just its size.
size_t markLineEnds(std::string_view text, size_t& stride, std::vector<uint32_t>& marks)
{
    size_t count = 0;
    forEachLineEnd(text, [&](size_t) { ++count; });
    stride = TextStorage::LineMarkStride;
    while ((count + stride - 1) / stride > TextStorage::MaxLineMarks)
        stride *= 2;
    marks.reserve((count + stride - 1) / stride);
    size_t seen = 0;
    forEachLineEnd(text, [&](size_t at) {
        if (seen++ % stride == 0)
            marks.push_back(uint32_t(at));
    });
    return count;
}

} // namespace

TextStorage::Snapshot::Snapshot() : m_chunks(std::make_shared<const Chunks>()) { }

size_t TextStorage::Snapshot::chunkAt(size_t offset) const
{
    const Chunks& chunks = *m_chunks;
    auto after = std::upper_bound(chunks.begin(), chunks.end(), offset,
        [](size_t value, const std::shared_ptr<const Chunk>& chunk) { return value < chunk->start; });
    return after == chunks.begin() ? 0 : size_t(after - chunks.begin()) - 1;
}

std::string_view TextStorage::Snapshot::bytes(const Chunk& chunk, size_t local, size_t length, std::string& scratch) const
{
    if (!chunk.backed)
        return std::string_view(chunk.text).substr(local, length);
    scratch.clear();
    m_backing->read(*chunk.backed, local, length, scratch);
    return scratch;
}

std::string_view TextStorage::Snapshot::chunkText(size_t index, std::string& scratch) const
{
    const Chunk& chunk = *(*m_chunks)[index];
    return bytes(chunk, 0, chunk.length, scratch);
}

size_t TextStorage::Snapshot::lineEndIn(const Chunk& chunk, size_t index) const
{
    size_t mark = index / chunk.markStride;
    size_t at = chunk.lineMarks[mark];
    size_t more = index - mark * chunk.markStride;
    if (more == 0)
        return at;
    size_t limit = mark + 1 < chunk.lineMarks.size() ? chunk.lineMarks[mark + 1] : chunk.length;
    std::string scratch;
    std::string_view part = bytes(chunk, at + 1, limit - at - 1, scratch);
    for (size_t found = 0; found < part.size(); ++found)
        if (part[found] == '\n' && --more == 0)
            return at + 1 + found;
    return limit;
}

size_t TextStorage::Snapshot::findLineEnd(size_t from) const
{
    if (from >= m_size)
        return std::string::npos;
    const Chunks& chunks = *m_chunks;
    std::string scratch;
    for (size_t index = chunkAt(from); index < chunks.size(); ++index) {
        const Chunk& chunk = *chunks[index];
        size_t local = from > chunk.start ? from - chunk.start : 0;
        if (chunk.lineEndCount == 0 || local >= chunk.length)
            continue;
        // The first mark at or after `local` bounds the search; past the
        // last mark, only when a line end follows it.
        auto mark = std::lower_bound(chunk.lineMarks.begin(), chunk.lineMarks.end(), uint32_t(local));
        if (mark != chunk.lineMarks.end() && *mark == local)
            return chunk.start + local;
        if (mark == chunk.lineMarks.end() && (chunk.lineMarks.size() - 1) * chunk.markStride + 1 == chunk.lineEndCount)
            continue;
        size_t limit = mark != chunk.lineMarks.end() ? size_t(*mark) + 1 : chunk.length;
        std::string_view part = bytes(chunk, local, limit - local, scratch);
        if (size_t found = part.find('\n'); found != std::string_view::npos)
            return chunk.start + local + found;
    }
    return std::string::npos;
}

TextStorage::Snapshot::Paragraph TextStorage::Snapshot::paragraphAt(size_t start) const
{
    size_t end = findLineEnd(start);
    size_t next = end == std::string::npos ? std::string::npos : end + 1;
    if (end == std::string::npos)
        end = m_size;
    start = std::min(start, end);
    size_t length = end - start;
    if (length > 0 && at(end - 1) == '\r')
        --length;
    return { length, next };
}

std::string_view TextStorage::Snapshot::view(size_t start, size_t length, std::string& scratch) const
{
    start = std::min(start, m_size);
    length = std::min(length, m_size - start);
    if (length == 0)
        return {};
    const Chunks& chunks = *m_chunks;
    size_t index = chunkAt(start);
    const Chunk& first = *chunks[index];
    if (start + length <= first.start + first.length)
        return bytes(first, start - first.start, length, scratch);
    scratch.clear();
    scratch.reserve(length);
    for (size_t at = start; scratch.size() < length; ++index) {
        const Chunk& chunk = *chunks[index];
        size_t local = at - chunk.start;
        size_t take = std::min(chunk.length - local, length - scratch.size());
        if (chunk.backed)
            m_backing->read(*chunk.backed, local, take, scratch);
        else
            scratch.append(chunk.text, local, take);
        at += take;
    }
    return scratch;
}

char TextStorage::Snapshot::at(size_t offset) const
{
    if (offset >= m_size)
        return 0;
    const Chunk& chunk = *(*m_chunks)[chunkAt(offset)];
    if (!chunk.backed)
        return chunk.text[offset - chunk.start];
    std::string scratch;
    m_backing->read(*chunk.backed, offset - chunk.start, 1, scratch);
    return scratch[0];
}

size_t TextStorage::Snapshot::lineEndCount() const
{
    if (!m_chunks || m_chunks->empty())
        return 0;
    const Chunk& last = *m_chunks->back();
    return last.firstLine + last.lineEndCount;
}

size_t TextStorage::Snapshot::paragraphStart(size_t index) const
{
    if (index == 0)
        return 0;
    if (index > lineEndCount())
        return std::string::npos;
    // The chunk holding line end index - 1.
    const Chunks& chunks = *m_chunks;
    size_t wanted = index - 1;
    auto after = std::upper_bound(chunks.begin(), chunks.end(), wanted,
        [](size_t value, const std::shared_ptr<const Chunk>& chunk) { return value < chunk->firstLine; });
    const Chunk& chunk = **(after - 1);
    return chunk.start + lineEndIn(chunk, wanted - chunk.firstLine) + 1;
}

std::string TextStorage::Snapshot::string() const
{
    std::string text;
    text.reserve(m_size);
    std::string scratch;
    for (size_t index = 0; index < chunkCount(); ++index)
        text += chunkText(index, scratch);
    return text;
}

std::shared_ptr<TextStorage> TextStorage::create()
{
    return std::make_shared<TextStorage>();
}

std::shared_ptr<TextStorage> TextStorage::createBacked(std::shared_ptr<TextBackingFile> backing)
{
    auto storage = create();
    storage->m_backing = std::move(backing);
    return storage;
}

std::shared_ptr<TextStorage> TextStorage::withText(std::string_view text)
{
    auto storage = create();
    if (core::utf8::isValid(text)) {
        storage->append(text);
    } else {
        storage->append(core::utf8::sanitized(text));
    }
    storage->finish();
    return storage;
}

void TextStorage::append(std::string_view text)
{
    m_pending.append(text);
    m_appended += text.size();
    sealFull();
}

void TextStorage::append(std::string&& text)
{
    m_appended += text.size();
    if (m_pending.empty())
        m_pending = std::move(text);
    else
        m_pending.append(text);
    sealFull();
}

std::string TextStorage::takePending(size_t more)
{
    std::string pending = std::move(m_pending);
    m_pending = {};
    m_appended -= pending.size();
    pending.reserve(pending.size() + more);
    return pending;
}

void TextStorage::sealFull()
{
    while (m_pending.size() >= ChunkBytes) {
        size_t cut = m_pending.rfind('\n');
        if (cut != std::string::npos && cut + 1 >= ChunkBytes / 2) {
            cut += 1;
        } else {
            // A line longer than half a chunk: cut before a character.
            cut = ChunkBytes;
            while (cut > 0 && (static_cast<unsigned char>(m_pending[cut]) & 0xC0) == 0x80)
                --cut;
        }
        seal(cut);
        publish(false);
    }
}

void TextStorage::finish()
{
    if (!m_pending.empty())
        seal(m_pending.size());
    // Its room (a chunk and a read) would stay with the text for good.
    std::string().swap(m_pending);
    publish(true);
}

void TextStorage::seal(size_t length)
{
    auto chunk = std::make_shared<Chunk>();
    chunk->start = m_pendingStart;
    chunk->firstLine = m_lineEnds;
    if (length + length / 8 >= m_pending.size()) {
        // Nearly all of it: the chunk takes the buffer, and what follows
        // the cut (a part of a line) is copied out instead.
        std::string rest(m_pending, length);
        chunk->text = std::move(m_pending);
        chunk->text.resize(length);
        if (chunk->text.capacity() > length + length / 8)
            chunk->text.shrink_to_fit();
        m_pending = std::move(rest);
    } else {
        chunk->text.assign(m_pending, 0, length);
        m_pending.erase(0, length);
    }
    chunk->length = chunk->text.size();
    chunk->lineEndCount = markLineEnds(chunk->text, chunk->markStride, chunk->lineMarks);
    m_lineEnds += chunk->lineEndCount;
    if (m_backing) {
        chunk->backed = m_backing->store(chunk->start, chunk->text);
        if (chunk->backed)
            std::string().swap(chunk->text);
    }
    m_pendingStart += length;
    // Readers hold the old list; the writer makes a new one.
    auto chunks = std::make_shared<Snapshot::Chunks>();
    if (m_chunks) {
        chunks->reserve(m_chunks->size() + 1);
        *chunks = *m_chunks;
    }
    chunks->push_back(std::move(chunk));
    m_chunks = std::move(chunks);
}

void TextStorage::publish(bool complete)
{
    std::function<void()> handler;
    {
        std::lock_guard lock(m_mutex);
        if (m_chunks)
            m_published.m_chunks = m_chunks;
        m_published.m_backing = m_backing;
        m_published.m_size = m_pendingStart;
        m_published.m_complete = complete;
        handler = m_publishHandler;
    }
    m_grown.notify_all();
    // At most one call waits for the main thread: it reads the text as
    // published when it runs, so a writer faster than the main loop costs
    // the loop one call, not one per chunk.
    if (handler && !m_publishPosted.exchange(true))
        core::performOnMainThread([weak = weak_from_this(), handler = std::move(handler)] {
            if (auto self = weak.lock())
                self->m_publishPosted = false;
            handler();
        });
}

TextStorage::Snapshot TextStorage::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_published;
}

bool TextStorage::waitForGrowth(size_t size, double seconds) const
{
    std::unique_lock lock(m_mutex);
    return m_grown.wait_for(lock, std::chrono::duration<double>(seconds),
        [&] { return m_published.m_size > size || m_published.m_complete; });
}

void TextStorage::setPublishHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_publishHandler = std::move(handler);
    // A call still waiting carries the old handler: the new one hears the
    // next publication whatever it is.
    m_publishPosted = false;
}

} // namespace ui
