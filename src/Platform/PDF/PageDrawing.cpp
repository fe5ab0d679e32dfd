#include "Platform/PDF/PageDrawing.h"

#include "Platform/Core/Log.h"
#include "Platform/Graphics/ContextInternal.h"
#include "Platform/PDF/DocumentState.h"
#include "Platform/PDF/RendererFonts.h"

#include <algorithm>
#include <cairo.h>
#include <condition_variable>
#include <mutex>
#include <qpdf/QPDFWriter.hh>
#include <poppler.h>

namespace pdf {

using detail::DocumentFile;
using detail::HandleAccess;

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

// One more renderer document over the document's bytes (a decrypted copy
// for a document opened with a password); null when it cannot be opened.
PopplerDocument* openRenderer(DocumentFile& state)
{
    std::call_once(state.rendererBytesMade, [&] {
        std::string password;
        {
            std::lock_guard lock(state.objects);
            password = state.password;
        }
        state.rendererBytesReady = password.empty() || decryptedCopy(state, password);
    });
    if (!state.rendererBytesReady)
        return nullptr;
    // The bytes outlive the renderer's documents: the state owns both and
    // releases the documents first.
    std::string_view bytes = state.rendererBytes.empty() ? state.bytes.view() : std::string_view(state.rendererBytes);
    GBytes* data = g_bytes_new_static(bytes.data(), bytes.size());
    GError* error = nullptr;
    PopplerDocument* document;
    {
        // Documents are opened one at a time over the whole process: the
        // renderer's shared set-up is made by the first.
        std::lock_guard lock(detail::rendererFontsMutex());
        document = poppler_document_new_from_bytes(data, nullptr, &error);
    }
    g_bytes_unref(data);
    if (!document) {
        core::log("Warning, the PDF renderer cannot open the document: {}", error ? error->message : "unknown error");
        if (error)
            g_error_free(error);
    }
    return document;
}

// A renderer document lent to one draw of a page: an idle one (one that
// drew the page last, if any), else a new one while there are fewer than
// the most, else the next to come back. None when the document cannot be
// opened for drawing (tried once). One that has drawn enough different
// pages is let go as it comes back.
class RendererLease {
public:
    RendererLease(DocumentFile& state, int page)
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
        if (!state.idleRenderers.empty()) {
            auto idle = std::find_if(state.idleRenderers.begin(), state.idleRenderers.end(),
                [&](const DocumentFile::Renderer& renderer) { return renderer.lastPage == page; });
            if (idle == state.idleRenderers.end())
                idle = state.idleRenderers.end() - 1;
            m_renderer = *idle;
            state.idleRenderers.erase(idle);
            return;
        }
        ++state.renderers;
        ++state.renderersOpened;
        lock.unlock();
        m_renderer.document = openRenderer(state);
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
        bool spent = m_renderer.pagesDrawn >= DocumentFile::kPagesPerRenderer;
        if (spent) {
            std::lock_guard fonts(detail::rendererFontsMutex());
            if (m_renderer.page)
                g_object_unref(m_renderer.page);
            g_object_unref(document());
        }
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

    // The renderer's page, kept while the renderer draws it: the tiles of
    // a page drawn one after another read the page once (the renderer
    // gathers a page's text on its first draw).
    PopplerPage* page()
    {
        if (m_renderer.lastPage != m_page || !m_renderer.page) {
            if (m_renderer.page)
                g_object_unref(m_renderer.page);
            m_renderer.page = poppler_document_get_page(document(), m_page - 1);
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

    RendererLease renderer(*state, page.pageNumber());
    PopplerDocument* document = renderer.document();
    if (!document || page.pageNumber() > poppler_document_get_n_pages(document))
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
