#include "Platform/PDF/PageDrawing.h"

#include "Platform/Core/Log.h"
#include "Platform/Graphics/ContextInternal.h"
#include "Platform/PDF/DocumentState.h"

#include <cairo.h>
#include <poppler.h>

namespace pdf {

using detail::DocumentState;
using detail::HandleAccess;

namespace {

// The renderer converts a password from UTF-8 to Latin-1 before use: giving
// it each byte as the code point of that value hands it the raw bytes.
std::string latin1AsUTF8(const std::string& bytes)
{
    std::string result;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            result += char(c);
        } else {
            result += char(0xC0 | (c >> 6));
            result += char(0x80 | (c & 0x3F));
        }
    }
    return result;
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
    // The bytes outlive the renderer's document: the state owns both and
    // unreferences the document first.
    GBytes* bytes = g_bytes_new_static(state.bytes.bytes(), state.bytes.size());
    GError* error = nullptr;
    std::string utf8 = latin1AsUTF8(password);
    PopplerDocument* document = poppler_document_new_from_bytes(bytes, password.empty() ? nullptr : utf8.c_str(), &error);
    g_bytes_unref(bytes);
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
