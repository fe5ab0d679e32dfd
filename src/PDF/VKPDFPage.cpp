#include "PDF/VKPDFPage.h"

#include "Kit/ObjectAdditions.h"
#include "PDF/VKPDFDocument.h"
#include "Platform/PDF/PageDrawing.h"

#include <cmath>
#include <fmt/format.h>

namespace {

constexpr double kMaximumThumbnailBytes = 64.0 * 1024 * 1024;

pdf::Page pageOf(const VKPDFDocument* document, int pageNumber)
{
    if (!document || !document->documentRef())
        return pdf::Page();
    // Once the document's geometry is read, making a page takes no lock.
    if (auto known = document->knownPage(pageNumber))
        return *known;
    return document->documentRef()->page(pageNumber);
}

} // namespace

VKPDFPage::VKPDFPage(std::shared_ptr<VKPDFDocument> document, int pageNumber)
    : m_document(std::move(document))
    , m_pageRef(pageOf(m_document.get(), pageNumber))
    , m_pageIndex(uint32_t(pageNumber) - 1)
{
}

std::shared_ptr<VKPDFPage> VKPDFPage::pageWithDocument(std::shared_ptr<VKPDFDocument> document, int pageNumber)
{
    return std::shared_ptr<VKPDFPage>(new VKPDFPage(std::move(document), pageNumber));
}

std::string VKPDFPage::description() const
{
    return vkDescriptionWithDetail(*this, fmt::format("page number {}", int(m_pageIndex + 1)));
}

gfx::Rect VKPDFPageGetRotatedBoxRect(const pdf::Page& page)
{
    gfx::Rect box = page.boxRect(pdf::Box::Crop);
    if (page.rotationAngle() % 180 != 0)
        return gfx::Rect(box.y(), box.x(), box.height(), box.width());
    return box;
}

gfx::AffineTransform VKPDFPageGetDrawingTransform(const pdf::Page& page, pdf::Box box, const gfx::Rect& rect, int rotate,
    bool preserveAspectRatio)
{
    if (!page)
        return page.drawingTransform(box, rect, rotate, preserveAspectRatio);
    int extra = rotate % 90 == 0 ? rotate : 0;
    return VKPDFPageGetDrawingTransform(page.boxRect(box), page.rotationAngle() + extra, rect, preserveAspectRatio);
}

gfx::AffineTransform VKPDFPageGetDrawingTransform(const gfx::Rect& box, int angle, const gfx::Rect& rect,
    bool preserveAspectRatio)
{
    gfx::AffineTransform t = pdf::Page::drawingTransform(box, angle, rect, preserveAspectRatio);
    gfx::Rect r = t.apply(box);
    if (!(r.width() > 0) || !(r.height() > 0))
        return t;
    gfx::AffineTransform move = gfx::AffineTransform::translation(rect.x() - r.x(), rect.y() - r.y());
    gfx::AffineTransform scale = gfx::AffineTransform::scale(rect.width() / r.width(), rect.height() / r.height());
    return t.concatenating(move).concatenating(scale);
}

std::unique_ptr<gfx::BitmapContext> VKPDFPageCreateThumbnail(const pdf::Page& page, float length, bool fill)
{
    gfx::Rect box = VKPDFPageGetRotatedBoxRect(page);
    if (!page || !(box.width() > 0) || !(box.height() > 0) || !(length > 0) || !std::isfinite(length))
        return nullptr;
    double fitWidth = double(length) / box.width(), fitHeight = double(length) / box.height();
    float scale = float(fill ? std::max(fitWidth, fitHeight) : std::min(fitWidth, fitHeight));
    float pageWidth = std::roundf(box.width() * scale), pageHeight = std::roundf(box.height() * scale);
    double width = fill ? std::floor(length) : pageWidth, height = fill ? std::floor(length) : pageHeight;
    // Rows as wide as the page rectangle, 16-byte aligned, also in fill mode.
    double bytesPerRow = 16 * std::ceil(double(pageWidth) * 4 / 16);
    if (!(width >= 1) || !(height >= 1) || !(pageWidth >= 1) || !(pageHeight >= 1)
        || !(bytesPerRow * height <= kMaximumThumbnailBytes))
        return nullptr;
    auto context = gfx::BitmapContext::create(int(width), int(height), size_t(bytesPerRow));
    if (!context)
        return nullptr;

    gfx::Rect pageRect(0, 0, pageWidth, pageHeight);
    if (fill)
        pageRect.origin = { std::round((length - pageWidth) * 0.5f), std::round((length - pageHeight) * 0.5f) };
    context->saveGState();
    context->setInterpolationQuality(gfx::InterpolationQuality::Low);
    context->setFillColor(1, 1, 1, 1);
    context->fillRect(context->clipBoundingBox());
    context->concatCTM(VKPDFPageGetDrawingTransform(page, pdf::Box::Crop, pageRect, 0, true));
    pdf::drawPage(page, *context);
    context->restoreGState();

    context->setStrokeColor(0, 0, 0, 0.15f);
    context->setLineWidth(1);
    context->strokeRect(gfx::Rect(0.5f, 0.5f, float(width) - 1, float(height) - 1));
    return context;
}
