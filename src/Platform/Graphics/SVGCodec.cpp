// SVG pictures through librsvg, drawn with cairo at their own size or a part
// of them at a smaller one: the size comes from the document (its width and
// height, else its viewBox), so reading the header parses the document, which
// is bounded (librsvg's own limits refuse documents of too many elements or
// references; nested references are counted before, SVGReferences.h).

#include "Platform/Graphics/ImageCodecs.h"
#include "Platform/Graphics/SVGReferences.h"

#include <cairo.h>
#include <cmath>
#include <librsvg/rsvg.h>

namespace gfx::codecs {

namespace {

// Larger documents are no pictures we show.
constexpr size_t MaximumSVGBytes = 32u << 20;
// Elements reached through references, at most: librsvg's own limit, which
// it finds only while drawing, seconds after it began.
constexpr uint64_t MaximumReferencedElements = 500000;
// The size of a document that gives none.
constexpr double FallbackSide = 256;

struct Handle {
    RsvgHandle* handle = nullptr;
    double width = 0;
    double height = 0;

    explicit Handle(std::string_view bytes, std::string* failure = nullptr)
    {
        if (bytes.size() > MaximumSVGBytes) {
            if (failure)
                *failure = "SVG document too large";
            return;
        }
        if (svgReferencedElements(bytes, MaximumReferencedElements) > MaximumReferencedElements) {
            if (failure)
                *failure = "SVG document references too many elements";
            return;
        }
        GError* error = nullptr;
        handle = rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(bytes.data()), bytes.size(), &error);
        if (!handle) {
            if (failure)
                *failure = error ? error->message : "unreadable SVG";
            if (error)
                g_error_free(error);
            return;
        }
        rsvg_handle_set_dpi(handle, 96);
        if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height)) {
            gboolean hasViewBox = FALSE;
            RsvgRectangle viewBox {};
            rsvg_handle_get_intrinsic_dimensions(handle, nullptr, nullptr, nullptr, nullptr, &hasViewBox, &viewBox);
            width = hasViewBox ? viewBox.width : FallbackSide;
            height = hasViewBox ? viewBox.height : FallbackSide;
        }
    }
    ~Handle()
    {
        if (handle)
            g_object_unref(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    int pixelWidth() const { return int(std::ceil(width)); }
    int pixelHeight() const { return int(std::ceil(height)); }
    bool usable() const
    {
        return handle && std::isfinite(width) && std::isfinite(height) && width >= 1 && height >= 1
            && width < 1e6 && height < 1e6;
    }
};

// Only the part's pixels are made, at the size asked for: a drawing that
// claims many pixels costs what it is shown at.
Surface drawSVGRegion(const Handle& svg, const RegionRequest& request, int64_t pixelLimit, std::string* failure)
{
    if (!svg.usable()) {
        if (failure->empty())
            *failure = "SVG document without a usable size";
        return {};
    }
    if (request.width <= 0 || request.height <= 0 || request.outputWidth <= 0 || request.outputHeight <= 0) {
        *failure = "empty region";
        return {};
    }
    if (int64_t(request.outputWidth) * request.outputHeight > pixelLimit) {
        *failure = "too many pixels";
        return {};
    }
    Surface surface = Surface::create(request.outputWidth, request.outputHeight);
    if (!surface) {
        *failure = "no memory for the pixels";
        return {};
    }
    // The document at its own size in a viewport of that size, the part
    // moved to the origin and scaled on each axis by the context: a
    // viewport of another shape would keep the document's.
    cairo_t* cr = cairo_create(surface.get());
    cairo_scale(cr, double(request.outputWidth) / request.width, double(request.outputHeight) / request.height);
    cairo_translate(cr, -request.x, -request.y);
    RsvgRectangle viewport { 0, 0, double(svg.pixelWidth()), double(svg.pixelHeight()) };
    GError* error = nullptr;
    bool drawn = rsvg_handle_render_document(svg.handle, cr, &viewport, &error);
    cairo_destroy(cr);
    if (!drawn) {
        *failure = error ? error->message : "SVG document could not be drawn";
        if (error)
            g_error_free(error);
        return {};
    }
    surface.flush();
    return surface;
}

} // namespace

bool looksLikeSVG(std::string_view bytes)
{
    std::string_view start = bytes.substr(0, 4096);
    size_t first = start.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first == std::string_view::npos || start[first] != '<')
        return false;
    return start.find("<svg") != std::string_view::npos;
}

std::optional<Header> readSVGHeader(std::string_view bytes)
{
    Handle svg(bytes);
    if (!svg.usable())
        return std::nullopt;
    return Header { ImageFormat::SVG, svg.pixelWidth(), svg.pixelHeight(), ImageOrientation::Up };
}

Surface decodeSVG(std::string_view bytes, int64_t pixelLimit, std::string* failure)
{
    Handle svg(bytes, failure);
    RegionRequest whole;
    if (svg.usable())
        whole = { .width = svg.pixelWidth(), .height = svg.pixelHeight(), .outputWidth = svg.pixelWidth(),
            .outputHeight = svg.pixelHeight() };
    return drawSVGRegion(svg, whole, pixelLimit, failure);
}

Surface decodeSVGRegion(std::string_view bytes, const RegionRequest& request, int64_t pixelLimit, std::string* failure)
{
    Handle svg(bytes, failure);
    return drawSVGRegion(svg, request, pixelLimit, failure);
}

} // namespace gfx::codecs
