#pragma once

// One page of an open document, and the functions that place a page in a
// rectangle and draw its thumbnail (for the page view, the text scanner and
// the thumbnail cache).

#include "Platform/Core/Object.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/PDF/Page.h"

#include <cstdint>
#include <memory>
#include <string>

class VKPDFDocument;

class VKPDFPage : public core::Object {
public:
    // `pageNumber` counts from 1; a number outside the document gives a
    // page whose pageRef() is empty.
    static std::shared_ptr<VKPDFPage> pageWithDocument(std::shared_ptr<VKPDFDocument> document, int pageNumber);

    const std::shared_ptr<VKPDFDocument>& document() const { return m_document; }
    const pdf::Page& pageRef() const { return m_pageRef; }
    // The page number minus 1.
    uint32_t pageIndex() const { return m_pageIndex; }

    // "<VKPDFPage: 0x…; page number 3>"
    std::string description() const override;

private:
    VKPDFPage(std::shared_ptr<VKPDFDocument> document, int pageNumber);

    const std::shared_ptr<VKPDFDocument> m_document;
    const pdf::Page m_pageRef;
    const uint32_t m_pageIndex;
};

// The crop box, with x and y and width and height exchanged for a page
// turned by 90 or 270 degrees: the page's extent as it is shown. Zero for
// an empty page.
gfx::Rect VKPDFPageGetRotatedBoxRect(const pdf::Page& page);

// The same from a box and the page's angle plus any extra turn, read
// beforehand (VKPDFDocument::pageGeometry), without touching the page.
gfx::AffineTransform VKPDFPageGetDrawingTransform(const gfx::Rect& box, int angle, const gfx::Rect& rect,
    bool preserveAspectRatio);

// Like the page's own drawing transform, but fills `rect` also when the box
// is smaller than it (the page's own only shrinks): the box is mapped, then
// moved to rect's origin, then scaled about (0, 0) to rect's size. With rect
// at the origin the box lands exactly on rect. A box that maps to no area
// gives the page's own transform.
gfx::AffineTransform VKPDFPageGetDrawingTransform(const pdf::Page& page, pdf::Box box, const gfx::Rect& rect, int rotate,
    bool preserveAspectRatio);

// The page drawn upright into a bitmap whose longer side is `length` pixels
// (or, with `fill`, a length × length square the page covers, centred and
// cropped), on white with a faint frame. Nothing for an empty page, a box
// or size without area, or a bitmap over 64 MiB.
std::unique_ptr<gfx::BitmapContext> VKPDFPageCreateThumbnail(const pdf::Page& page, float length, bool fill);
