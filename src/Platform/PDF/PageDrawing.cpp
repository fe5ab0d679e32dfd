#include "Platform/PDF/PageDrawing.h"

#include "Platform/Core/Log.h"
#include "Platform/Graphics/ContextInternal.h"
#include "Platform/PDF/DocumentState.h"
#include "Platform/PDF/RendererFonts.h"
#include "Platform/PDF/RendererWindow.h"

#include <algorithm>
#include <cairo.h>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <qpdf/QPDFWriter.hh>
#include <poppler.h>

namespace pdf {

using detail::DocumentFile;
using detail::HandleAccess;

// A renderer opened for a page sees this many pages before it, for a
// reader going back.
constexpr int kPagesBehindWindow = 8;

namespace {

// The renderer is never given a password: when its first attempt with one
// fails (a damaged encryption dictionary qpdf still reads), its second
// attempt dereferences a null stream. A document opened with a password is
// handed over decrypted instead, written anew by qpdf from the same bytes.
bool decryptedCopy(DocumentFile& state, const std::string& password)
{
    try {
        auto qpdf = detail::quietQPDF();
        qpdf->processMemoryFile("document", state.bytes.chars(), state.bytes.size(), password.c_str());
        QPDFWriter writer(*qpdf);
        writer.setOutputMemory();
        writer.setPreserveEncryption(false);
        writer.write();
        std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
        state.rendererBytes.assign(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
        return true;
    } catch (const std::exception& error) {
        core::log("Warning, cannot decrypt the PDF for drawing: {}", error.what());
        return false;
    }
}

// A renderer document over `data`, `length` bytes read from `stream` when
// there is one; null when it cannot be opened.
PopplerDocument* openRendererDocument(GBytes* data, GInputStream* stream, goffset length, bool quiet)
{
    GError* error = nullptr;
    PopplerDocument* document;
    {
        // Documents are opened one at a time over the whole process: the
        // renderer's shared set-up is made by the first.
        std::lock_guard lock(detail::rendererFontsMutex());
        document = stream ? poppler_document_new_from_stream(stream, length, nullptr, nullptr, &error)
                          : poppler_document_new_from_bytes(data, nullptr, &error);
    }
    if (!document && !quiet)
        core::log("Warning, the PDF renderer cannot open the document: {}", error ? error->message : "unknown error");
    if (error)
        g_error_free(error);
    return document;
}

void closeRenderers(const std::vector<DocumentFile::Renderer>& renderers)
{
    if (renderers.empty())
        return;
    std::lock_guard fonts(detail::rendererFontsMutex());
    for (const DocumentFile::Renderer& renderer : renderers)
        renderer.close();
    detail::releaseHeldFonts();
}

void closeRenderer(const DocumentFile::Renderer& renderer)
{
    closeRenderers({ renderer });
}

// One more renderer document over the document's bytes (a decrypted copy
// for a document opened with a password), seeing the window of pages
// around `page` when it can (RendererWindow.h), else all of them; without
// a document when it cannot be opened.
DocumentFile::Renderer openRenderer(DocumentFile& state, detail::DocumentSource& source, int page)
{
    std::call_once(state.rendererBytesMade, [&] {
        std::string password;
        {
            std::lock_guard lock(state.objects);
            password = state.password;
        }
        state.rendererBytesReady = password.empty() || decryptedCopy(state, password);
    });
    DocumentFile::Renderer renderer;
    if (!state.rendererBytesReady)
        return renderer;
    // The bytes outlive the renderer's documents: the state owns both and
    // releases the documents first.
    std::string_view bytes = state.rendererBytes.empty() ? state.bytes.view() : std::string_view(state.rendererBytes);
    GBytes* data = g_bytes_new_static(bytes.data(), bytes.size());
    std::string update;
    int first = std::max(1, page - kPagesBehindWindow), count = DocumentFile::kPagesPerRenderer;
    if (state.rendererBytes.empty() && !state.encrypted) {
        // Read in a reading of its own, let go at once, that goes on from
        // the document's page tree: the pages read ahead are not kept.
        auto lock = detail::lock(source.file);
        if (source.reading) {
            if (auto reading = detail::readDocument(source.file, {}, nullptr)) {
                reading->pages.resume(source.reading->pages.progress(), *reading->qpdf);
                update = detail::rendererWindow(*reading->qpdf, reading->pages, bytes, first, count);
            }
        }
    }
    if (!update.empty() && page < first + count) {
        GInputStream* stream = g_memory_input_stream_new_from_bytes(data);
        GBytes* appended = g_bytes_new(update.data(), update.size());
        g_memory_input_stream_add_bytes(G_MEMORY_INPUT_STREAM(stream), appended);
        g_bytes_unref(appended);
        renderer.document = openRendererDocument(nullptr, stream, goffset(bytes.size() + update.size()), true);
        g_object_unref(stream);
        // A renderer that read the document otherwise (repaired it, say)
        // sees other pages: it is not used.
        if (renderer.document && poppler_document_get_n_pages(static_cast<PopplerDocument*>(renderer.document)) == count) {
            renderer.first = first;
            renderer.count = count;
        } else if (renderer.document) {
            closeRenderer(renderer);
            renderer.document = nullptr;
        }
    }
    if (!renderer.document)
        renderer.document = openRendererDocument(data, nullptr, 0, false);
    g_bytes_unref(data);
    return renderer;
}

// A renderer document lent to one draw of a page: an idle one that sees
// the page (the one that drew it last, if any), else a new one in place of
// an idle one, else a new one while there are fewer than the most, else
// the next to come back. None when the document cannot be opened for
// drawing (tried once). One that has drawn enough different pages, or was
// opened before the document let a reading go for growth, is let go.
class RendererLease {
public:
    RendererLease(DocumentFile& state, detail::DocumentSource& source, int page)
        : m_state(state)
        , m_page(page)
    {
        std::unique_lock lock(state.renderersMutex);
        state.rendererReturned.wait(lock, [&] {
            return state.rendererFailed || !state.idleRenderers.empty()
                || state.renderers < DocumentFile::MaximumRenderers;
        });
        if (state.rendererFailed)
            return;
        auto& idle = state.idleRenderers;
        std::vector<DocumentFile::Renderer> stale;
        uint64_t generation = state.rendererGeneration;
        for (auto renderer = idle.begin(); renderer != idle.end();) {
            if (renderer->generation == generation) {
                ++renderer;
                continue;
            }
            stale.push_back(*renderer);
            renderer = idle.erase(renderer);
            --state.renderers;
        }
        auto found = std::find_if(idle.begin(), idle.end(), [&](const DocumentFile::Renderer& renderer) { return renderer.lastPage == page; });
        if (found == idle.end())
            found = std::find_if(idle.begin(), idle.end(), [&](const DocumentFile::Renderer& renderer) { return renderer.covers(page); });
        if (found != idle.end()) {
            m_renderer = *found;
            idle.erase(found);
            lock.unlock();
            closeRenderers(stale);
            return;
        }
        // None sees the page: a new one in place of the idle one that came
        // back first, or one more when all are drawing.
        std::optional<DocumentFile::Renderer> replaced;
        if (!idle.empty()) {
            replaced = idle.front();
            idle.erase(idle.begin());
        } else {
            ++state.renderers;
        }
        ++state.renderersOpened;
        lock.unlock();
        if (replaced)
            stale.push_back(*replaced);
        closeRenderers(stale);
        m_renderer = openRenderer(state, source, page);
        m_renderer.generation = generation;
        if (m_renderer.document)
            return;
        lock.lock();
        --state.renderers;
        state.rendererFailed = true;
        state.rendererReturned.notify_all();
    }
    ~RendererLease()
    {
        if (!m_renderer.document)
            return;
        bool spent = m_renderer.pagesDrawn >= DocumentFile::kPagesPerRenderer
            || m_renderer.generation != m_state.rendererGeneration;
        if (spent)
            closeRenderer(m_renderer);
        std::lock_guard lock(m_state.renderersMutex);
        if (spent)
            --m_state.renderers;
        else
            m_state.idleRenderers.push_back(m_renderer);
        m_state.rendererReturned.notify_one();
    }
    RendererLease(const RendererLease&) = delete;
    RendererLease& operator=(const RendererLease&) = delete;

    PopplerDocument* document() const { return static_cast<PopplerDocument*>(m_renderer.document); }
    bool sees(int number) const { return m_renderer.covers(number); }
    int first() const { return m_renderer.first; }

    // The renderer's page, kept while the renderer draws it: the tiles of
    // a page drawn one after another read the page once (the renderer
    // gathers a page's text on its first draw).
    PopplerPage* page()
    {
        if (m_renderer.lastPage != m_page || !m_renderer.page) {
            if (m_renderer.page)
                g_object_unref(m_renderer.page);
            m_renderer.page = poppler_document_get_page(document(), m_page - m_renderer.first);
            m_renderer.lastPage = m_page;
            ++m_renderer.pagesDrawn;
        }
        return static_cast<PopplerPage*>(m_renderer.page);
    }

private:
    DocumentFile& m_state;
    const int m_page;
    DocumentFile::Renderer m_renderer;
};

} // namespace

void drawPage(const Page& page, gfx::Context& context)
{
    const auto& source = HandleAccess::document(page);
    if (!page || !source)
        return;
    const auto& state = source->file;
    // The renderer's space is the turned crop box with y down: B maps user
    // space into it, so drawing under CTM × B⁻¹ puts the page in user space.
    gfx::Rect crop = page.boxRect(Box::Crop);
    int angle = page.rotationAngle();
    bool sideways = angle == 90 || angle == 270;
    float width = sideways ? crop.height() : crop.width();
    float height = sideways ? crop.width() : crop.height();
    if (!(width > 0 && height > 0))
        return;
    gfx::AffineTransform toRenderer = Page::drawingTransform(crop, angle, gfx::Rect(0, 0, width, height), true)
                                          .concatenating(gfx::AffineTransform { 1, 0, 0, -1, 0, height });
    gfx::AffineTransform fromRenderer = toRenderer.inverted();

    RendererLease renderer(*state, *source, page.pageNumber());
    PopplerDocument* document = renderer.document();
    if (!document || !renderer.sees(page.pageNumber()) || page.pageNumber() - renderer.first() >= poppler_document_get_n_pages(document))
        return;
    PopplerPage* rendererPage = renderer.page();
    if (!rendererPage)
        return;
    cairo_t* cairo = gfx::ContextAccess::cairo(context);
    cairo_save(cairo);
    cairo_new_path(cairo);
    cairo_rectangle(cairo, crop.x(), crop.y(), crop.width(), crop.height());
    cairo_clip(cairo);
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, fromRenderer.a, fromRenderer.b, fromRenderer.c, fromRenderer.d, fromRenderer.tx, fromRenderer.ty);
    cairo_transform(cairo, &matrix);
    if (detail::rendererFacesGuarded()) {
        poppler_page_render(rendererPage, cairo);
    } else {
        // Drawing loads the page's fonts into the shared font library.
        std::lock_guard lock(detail::rendererFontsMutex());
        poppler_page_render(rendererPage, cairo);
    }
    cairo_restore(cairo);
}

} // namespace pdf
