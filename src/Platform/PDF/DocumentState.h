#pragma once

// Inside the PDF layer only: the state an open document shares with its
// handles, and the access the layer's classes have to handles' insides.

#include "Platform/Core/Data.h"
#include "Platform/PDF/Handle.h"
#include "Platform/PDF/Page.h"
#include "Platform/PDF/PageTree.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pdf::detail {

// The renderer's documents share one font library over the whole process,
// which must not load or drop fonts on two threads at once, and its first
// document makes the renderer's shared set-up: its documents are opened and
// released under this lock, and drawn with under it too unless the
// library's face entry points are guarded (RendererFonts.h).
std::mutex& rendererFontsMutex();

// What every reading of one file shares: its bytes, its lock, how it opened
// and the renderer's documents.
struct DocumentFile {
    ~DocumentFile();

    core::Data bytes;
    uint64_t serial = 0;
    // qpdf resolves objects lazily, changing them in place: every access to
    // any reading of the file holds this lock.
    mutable std::recursive_mutex objects;
    bool encrypted = false;
    bool locked = false;
    // The password bytes that opened the document.
    std::string password;
    // The readings of the file that are alive.
    std::atomic<int> readings { 0 };

    // The renderer's own documents over the same bytes, opened as draws
    // need them: one draws one page at a time, so pages drawn side by side
    // (the tiles of a spread) take one each, at most `MaximumRenderers`;
    // a draw beyond waits for one to come back. The renderer keeps what it
    // read of every page it drew for as long as its document lives: one
    // that has drawn `kPagesPerRenderer` different pages is let go when it
    // comes back. Each sees a window of that many pages when it can
    // (RendererWindow.h). A document opened with a password reaches the renderer
    // as a decrypted copy kept here, made once.
    static constexpr size_t MaximumRenderers = 4;
    static constexpr int kPagesPerRenderer = 32;
    struct Renderer {
        void* document = nullptr;
        // The page it drew last, kept.
        void* page = nullptr;
        int lastPage = 0;
        int pagesDrawn = 0;
        // The pages it sees: `count` from `first` (RendererWindow.h), or
        // all of them when `count` is 0.
        int first = 1;
        int count = 0;
        // The file's `rendererGeneration` when it was opened.
        uint64_t generation = 0;
        bool covers(int number) const { return count == 0 || (number >= first && number < first + count); }
        // Lets its page and document go, under `rendererFontsMutex()`.
        void close() const;
    };
    // Idle renderers let go of the pages they keep but page `number`: a
    // kept page holds the text the renderer gathered on its first draw
    // (some MiB for a page of many short words), which tiles of other
    // pages do not need.
    void letGoOfKeptPages(int number);
    // Moves on when a long read lets its reading go because the heap grew:
    // the renderer documents opened before go too (when next lent or as
    // they come back), for what they kept of the pages they drew is part
    // of that growth, which a new reading alone would not give back.
    std::atomic<uint64_t> rendererGeneration { 0 };
    std::mutex renderersMutex;
    std::condition_variable rendererReturned;
    std::vector<Renderer> idleRenderers;
    uint64_t renderersOpened = 0;
    size_t renderers = 0;
    bool rendererFailed = false;
    std::once_flag rendererBytesMade;
    bool rendererBytesReady = false;
    std::string rendererBytes;
};

// One reading of the file by qpdf, which keeps every object it has read
// (with the rest of each object stream) for as long as it lives. Handles
// hold the reading their object came from.
struct DocumentState {
    ~DocumentState();

    std::shared_ptr<DocumentFile> file;
    uint64_t serial = 0;
    // Unique in the process, never reused.
    uint64_t number = 0;
    std::unique_ptr<QPDF> qpdf;
    PageTree pages;
    // Whether a long read went on in a new reading.
    bool replaced = false;
};

// A page's object with the reading that keeps it valid.
struct PageObject {
    std::shared_ptr<DocumentState> reading;
    QPDFObjectHandle object;
};

// What a document and its pages hold: the file and the reading pages are
// found in. A reading is let go (when no handle holds it any longer) for a
// new one that goes on from its page tree once the heap has grown since its
// first page by more than the document's first page cost (at least
// `kLeastReadingBudget`), or after `kPagesPerReading` different pages, so
// reading a long document costs about what its first page does. qpdf tells
// nothing of what it holds (it reads whole object streams, out of sight):
// the heap in use is sampled once for each new page, on the thread asking.
struct DocumentSource {
    static constexpr int kPagesPerReading = 128;
    static constexpr size_t kLeastReadingBudget = size_t(3) << 20;

    std::shared_ptr<DocumentFile> file;
    // Null while the document is locked.
    std::shared_ptr<DocumentState> reading;
    // The pages asked for in this reading, and how many.
    std::vector<bool> pagesSeen;
    int pagesSeenCount = 0;
    int lastPage = 0;
    uint64_t readingsMade = 0;
    // The heap in use when this reading began, after its first page, and
    // when the last reading was judged (let go when `outgrown()`).
    size_t heapAtReadingStart = 0;
    size_t heapAfterFirstPage = 0;
    size_t heapAtRenewal = 0;
    bool renewedForGrowth = false;
    // What the document's first page cost, and what a reading may grow by.
    size_t firstPageCost = 0;
    size_t readingBudget = 0;

    // Page `number` (from 1), null when there is none; under the file's
    // lock.
    PageObject page(int number);
    // Called with each new page of the reading (`pagesSeenCount` counts
    // it): whether the reading is to be let go for a new one.
    bool outgrown();
};

// What the heap in use is taken from (mallinfo2 when null).
void setHeapMeasure(size_t (*measure)());

// A qpdf reader that prints nothing.
std::unique_ptr<QPDF> quietQPDF();

using ObjectsLock = std::unique_lock<std::recursive_mutex>;

struct HandleAccess {
    static const QPDFObjectHandle& object(const Handle& handle);
    static const std::shared_ptr<DocumentState>& document(const Handle& handle) { return handle.m_document; }
    static const std::shared_ptr<DocumentSource>& document(const Page& page) { return page.m_document; }
    static void set(Handle& handle, const std::shared_ptr<DocumentState>& document, const QPDFObjectHandle& object);

    template<typename T> static T wrap(const std::shared_ptr<DocumentState>& document, const QPDFObjectHandle& object)
    {
        T result;
        set(result, document, object);
        return result;
    }
    // The page's own dictionary (null for an empty page) and its reading.
    static PageObject pageObject(const Page& page);
};

// Holds the document's object lock when there is a document.
ObjectsLock lock(const std::shared_ptr<DocumentFile>& file);
ObjectsLock lock(const std::shared_ptr<DocumentState>& document);
ObjectsLock lock(const std::shared_ptr<DocumentSource>& document);

// A reading of the file by a quiet qpdf with `password`; the file's
// `encrypted` is set. Null when the file cannot be read (`*needsPassword`
// says whether the password was what failed).
std::shared_ptr<DocumentState> readDocument(const std::shared_ptr<DocumentFile>& file, std::string_view password,
    bool* needsPassword);

// "/Name" for "Name".
std::string slashed(std::string_view key);
// A PDF real written as the file writes it ("-.5", "+3", "4."); 0 when
// unreadable. Independent of the locale.
double parseReal(std::string_view text);

// The value of `object` as each handle type; false when it has another type.
bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Object& out);
bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, bool& out);
bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, int64_t& out);
bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, double& out);
bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, std::string& out);
bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, String& out);
bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Array& out);
bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Dictionary& out);
bool convert(const std::shared_ptr<DocumentState>& document, QPDFObjectHandle object, Stream& out);

// Calls `visit` with the page node and then each ancestor up the /Parent
// chain until it returns true; loops and absurd depths end the walk.
template<typename Visit> void walkUp(QPDFObjectHandle node, Visit visit)
{
    constexpr int kMaximumDepth = 256;
    std::vector<QPDFObjGen> seen;
    for (int depth = 0; depth < kMaximumDepth && node.isDictionary(); ++depth) {
        if (node.isIndirect()) {
            QPDFObjGen og = node.getObjGen();
            for (const QPDFObjGen& other : seen) {
                if (other == og)
                    return;
            }
            seen.push_back(og);
        }
        if (visit(node))
            return;
        node = node.getKey("/Parent");
    }
}

} // namespace pdf::detail
