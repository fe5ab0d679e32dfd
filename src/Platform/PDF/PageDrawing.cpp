#include "Platform/PDF/PageDrawing.h"

#include "Platform/Core/Log.h"
#include "Platform/Graphics/ContextInternal.h"
#include "Platform/PDF/DocumentState.h"

#include <cairo.h>
#include <qpdf/QPDFWriter.hh>
#include <poppler.h>

namespace pdf {

using detail::DocumentState;
using detail::HandleAccess;

namespace {

// The renderer is never given a password: when its first attempt with one
// fails (a damaged encryption dictionary qpdf still reads), its second
// attempt dereferences a null stream. A document opened with a password is
// handed over decrypted instead, written anew by qpdf from the same bytes.
bool decryptedCopy(DocumentState& state, const std::string& password)
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

// Opens the renderer's document on the first draw. Called with `drawing`
// held.
PopplerDocument* renderer(DocumentState& state)
{
    if (state.rendererTried)
        return static_cast<PopplerDocument*>(state.renderer);
    state.rendererTried = true;
    std::string password;
    {
        std::lock_guard lock(state.objects);
        password = state.password;
    }
    if (!password.empty() && !decryptedCopy(state, password))
        return nullptr;
    // The bytes outlive the renderer's document: the state owns both and
    // releases the document first.
    std::string_view bytes = password.empty() ? state.bytes.view() : std::string_view(state.rendererBytes);
    GBytes* data = g_bytes_new_static(bytes.data(), bytes.size());
    GError* error = nullptr;
    PopplerDocument* document = poppler_document_new_from_bytes(data, nullptr, &error);
    g_bytes_unref(data);
    if (!document) {
        core::log("Warning, the PDF renderer cannot open the document: {}", error ? error->message : "unknown error");
        if (error)
            g_error_free(error);
        return nullptr;
    }
    state.renderer = document;
    return document;
}

} // namespace

void drawPage(const Page& page, gfx::Context& context)
{
    const auto& state = HandleAccess::document(page);
    if (!page || !state)
        return;
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

    std::lock_guard drawing(state->drawing);
    PopplerDocument* document = renderer(*state);
    if (!document || page.pageNumber() > poppler_document_get_n_pages(document))
        return;
    PopplerPage* rendererPage = poppler_document_get_page(document, page.pageNumber() - 1);
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
    poppler_page_render(rendererPage, cairo);
    cairo_restore(cairo);
    g_object_unref(rendererPage);
}

} // namespace pdf
