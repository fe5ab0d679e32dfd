#pragma once

// Inside the PDF layer only: the state an open document shares with its
// handles, and the access the layer's classes have to handles' insides.

#include "Platform/Core/Data.h"
#include "Platform/PDF/Handle.h"
#include "Platform/PDF/Page.h"
#include "Platform/PDF/PageTree.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pdf::detail {

// The renderer's documents share one font library over the whole process,
// which must not load or drop fonts on two threads at once: its documents
// are opened, drawn with and released under this lock.
std::mutex& rendererFontsMutex();

struct DocumentState {
    ~DocumentState();

    core::Data bytes;
    uint64_t serial = 0;
    // qpdf resolves objects lazily, changing them in place: every access
    // holds this lock.
    mutable std::recursive_mutex objects;
    std::unique_ptr<QPDF> qpdf;
    bool encrypted = false;
    bool locked = false;
    // The password bytes that opened the document.
    std::string password;
    PageTree pages;

    // The renderer's own documents over the same bytes, opened as draws
    // need them: one draws one page at a time, so pages drawn side by side
    // (the tiles of a spread) take one each, at most `MaximumRenderers`;
    // a draw beyond waits for one to come back. A document opened with a
    // password reaches the renderer as a decrypted copy kept here, made
    // once.
    static constexpr size_t MaximumRenderers = 4;
    std::mutex renderersMutex;
    std::condition_variable rendererReturned;
    std::vector<void*> idleRenderers;
    size_t renderers = 0;
    bool rendererFailed = false;
    std::once_flag rendererBytesMade;
    bool rendererBytesReady = false;
    std::string rendererBytes;
};

// A qpdf reader that prints nothing.
std::unique_ptr<QPDF> quietQPDF();

using ObjectsLock = std::unique_lock<std::recursive_mutex>;

struct HandleAccess {
    static const QPDFObjectHandle& object(const Handle& handle);
    static const std::shared_ptr<DocumentState>& document(const Handle& handle) { return handle.m_document; }
    static const std::shared_ptr<DocumentState>& document(const Page& page) { return page.m_document; }
    static void set(Handle& handle, const std::shared_ptr<DocumentState>& document, const QPDFObjectHandle& object);

    template<typename T> static T wrap(const std::shared_ptr<DocumentState>& document, const QPDFObjectHandle& object)
    {
        T result;
        set(result, document, object);
        return result;
    }
    // The page's own dictionary (null for an empty page).
    static QPDFObjectHandle pageObject(const Page& page);
};

// Holds the document's object lock when there is a document.
ObjectsLock lock(const std::shared_ptr<DocumentState>& document);

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
