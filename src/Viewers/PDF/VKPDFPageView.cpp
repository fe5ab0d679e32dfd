#include "Viewers/PDF/VKPDFPageView.h"

#include "Kit/VKGeometry.h"
#include "Kit/VKLineRects.h"
#include "PDF/VKPDFPage.h"
#include "PDF/VKPDFPageAnnotationsParser.h"
#include "PDF/VKPDFPageTextScanner.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/PDF/PageDrawing.h"
#include "Viewers/PDF/VKTiledPageLayer.h"
#include "Viewers/PDF/VKTiledPageView.h"

#include <cstring>
#include <limits>

namespace {

std::mutex g_hookMutex;
std::function<void()> g_drawHook;

gfx::Rect packedRect(const core::Data& data, size_t index)
{
    float values[4];
    std::memcpy(values, data.bytes() + index * sizeof(values), sizeof(values));
    return gfx::Rect(values[0], values[1], values[2], values[3]);
}

} // namespace

std::shared_ptr<VKPDFPageView> VKPDFPageView::pageViewWithPage(std::shared_ptr<VKPDFPage> page,
    std::shared_ptr<VKPageIndexStore> indexStore)
{
    return std::make_shared<VKPDFPageView>(std::move(page), std::move(indexStore));
}

VKPDFPageView::VKPDFPageView(std::shared_ptr<VKPDFPage> page, std::shared_ptr<VKPageIndexStore> indexStore)
    : m_pageIndexStore(std::move(indexStore))
    , m_contentView(VKTiledPageView::create())
    , m_controlView(ui::View::create())
{
    setPage(std::move(page));
    for (auto* view : { static_cast<ui::View*>(m_contentView.get()), m_controlView.get() }) {
        view->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
        view->setUserInteractionEnabled(false);
    }
    m_controlView->setOpaque(false);
    m_contentView->tiledLayer().setRepresentative(this);
    addSubview(m_contentView);
    addSubview(m_controlView);
}

VKPDFPageView::~VKPDFPageView()
{
    // First of all: no drawing thread may ask this view for a tile again.
    m_contentView->tiledLayer().setRepresentative(nullptr);
}

gfx::Color VKPDFPageView::highlightColor()
{
    static const gfx::Color color(1.0f, 0.5f, 0.0f, 0.2f);
    return color;
}

void VKPDFPageView::setDrawHookForTesting(std::function<void()> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_drawHook = std::move(hook);
}

void VKPDFPageView::setPage(std::shared_ptr<VKPDFPage> page)
{
    m_page = std::move(page);
    m_geometry = m_page && m_page->document() ? m_page->document()->pageGeometry(m_page->pageIndex())
                                              : VKPDFPageGeometry {};
    m_pageAnnotationsParser.reset();
    m_pageText.reset();
    m_glyphRects = {};
    m_lineRects.reset();
    updateSnapshot();
    m_contentView->layer().setNeedsDisplay();
}

void VKPDFPageView::setFrame(const gfx::Rect& frame)
{
    gfx::Size oldSize = bounds().size;
    ui::View::setFrame(frame);
    gfx::Rect b = bounds();
    if (!(b.width() > 0) || !(b.height() > 0))
        return;
    m_drawingTransform = VKPDFPageGetDrawingTransform(m_geometry.cropBox, m_geometry.angle, b, true);
    m_glyphRectTransform = m_drawingTransform.concatenating({ 1, 0, 0, -1, 0, b.height() });
    m_glyphRectInverseTransform = m_glyphRectTransform.inverted();
    updateSnapshot();
    if (oldSize != b.size)
        m_contentView->layer().setNeedsDisplay();
    setHighlightedTextRange(m_highlightedTextRange);
}

void VKPDFPageView::updateSnapshot()
{
    gfx::Rect box = m_geometry.cropBox;
    std::lock_guard lock(m_snapshotLock);
    m_snapshot.page = m_page;
    m_snapshot.drawing = m_drawingTransform;
    m_snapshot.height = bounds().height();
    m_snapshot.drawsPage = m_page && m_page->pageRef() && box.width() > 0 && box.height() > 0;
}

std::function<void(gfx::Context&)> VKPDFPageView::drawingForLayer(const VKTiledPageLayer&)
{
    Snapshot snapshot;
    {
        std::lock_guard lock(m_snapshotLock);
        snapshot = m_snapshot;
    }
    return [snapshot = std::move(snapshot)](gfx::Context& context) {
        std::function<void()> hook;
        {
            std::lock_guard lock(g_hookMutex);
            hook = g_drawHook;
        }
        if (hook)
            hook();
        // The paper: the layer's tiles start white.
        if (!snapshot.drawsPage)
            return;
        context.translateCTM(0, snapshot.height);
        context.scaleCTM(1, -1);
        context.concatCTM(snapshot.drawing);
        pdf::drawPage(snapshot.page->pageRef(), context);
    };
}

void VKPDFPageView::readPageIndex()
{
    if (m_pageText)
        return;
    std::optional<std::u16string> text;
    core::Data rects;
    if (m_pageIndexStore && m_page) {
        text = m_pageIndexStore->textForPageNumber(m_page->pageIndex() + 1);
        rects = m_pageIndexStore->glyphRectsForPageNumber(m_page->pageIndex() + 1);
    }
    if ((!text || rects.empty()) && m_page && m_page->pageRef()) {
        auto scanner = VKPDFPageTextScanner::create(*m_page);
        text = scanner->text();
        rects = scanner->glyphRects();
    }
    m_pageText = text.value_or(std::u16string());
    m_glyphRects = std::move(rects);
}

const std::u16string& VKPDFPageView::pageText()
{
    readPageIndex();
    return *m_pageText;
}

const core::Data& VKPDFPageView::glyphRects()
{
    readPageIndex();
    return m_glyphRects;
}

const core::Data& VKPDFPageView::lineRects()
{
    if (!m_lineRects)
        m_lineRects = VKLineRectsFromGlyphRects(glyphRects());
    return *m_lineRects;
}

size_t VKPDFPageView::glyphCount()
{
    return glyphRects().size() / 16;
}

gfx::Rect VKPDFPageView::glyphRectAt(size_t index)
{
    return m_glyphRectTransform.apply(packedRect(glyphRects(), index));
}

gfx::Rect VKPDFPageView::rectForPoint(gfx::Point pagePoint)
{
    const core::Data& lines = lineRects();
    size_t count = lines.size() / 16;
    gfx::Rect best(0, 0, 0, 0);
    float bestDistance = std::numeric_limits<float>::infinity();
    for (size_t i = 0; i < count; ++i) {
        gfx::Rect line = packedRect(lines, i);
        float distance = VKPointManhattanDistanceToEdgeOfCGRect(pagePoint, line);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = line;
        }
    }
    return best;
}

gfx::Rect VKPDFPageView::textRectForPoint(gfx::Point point)
{
    gfx::Rect b = bounds();
    gfx::Rect r = rectForPoint(m_glyphRectInverseTransform.apply(point));
    if (r.isEmpty())
        return gfx::Rect(0.25f * b.width(), point.y, 0.5f * b.width(), 1.0f);
    r = m_glyphRectTransform.apply(r);
    return VKRectConstrainSize(r, b.width() / 16, b.width(), 0, b.height());
}

std::optional<VKPDFLinkTarget> VKPDFPageView::linkTargetForPoint(gfx::Point point)
{
    if (!m_page || !m_page->pageRef())
        return std::nullopt;
    if (!m_pageAnnotationsParser) {
        auto& document = m_page->document();
        m_pageAnnotationsParser = VKPDFPageAnnotationsParser::initWithPageRef(document->documentRef(),
            m_page->pageRef(), document->pageNumbers());
    }
    const gfx::AffineTransform& t = m_glyphRectInverseTransform;
    double x = double(t.a) * point.x + double(t.c) * point.y + double(t.tx);
    double y = double(t.b) * point.x + double(t.d) * point.y + double(t.ty);
    return m_pageAnnotationsParser->targetForPoint(gfx::Point(float(x), float(y)));
}

void VKPDFPageView::addHighlightWithRect(const gfx::Rect& rect)
{
    auto highlight = ui::View::create(rect);
    highlight->setBackgroundColor(highlightColor());
    highlight->setUserInteractionEnabled(false);
    m_controlView->addSubview(highlight);
}

void VKPDFPageView::setHighlightedTextRange(core::Range range)
{
    for (auto& view : std::vector<std::shared_ptr<ui::View>>(m_controlView->subviews()))
        view->removeFromSuperview();
    m_highlightedTextRange = range;
    if (range.length == 0 || range.location == core::kNotFound)
        return;
    // A record of glyph rectangles shorter than the text limits the
    // highlight to the rectangles there are.
    size_t count = glyphCount();
    if (range.location >= count)
        return;
    size_t end = std::min(count, range.location + std::min(range.length, count));
    // Separators the scanner put between lines have no rectangle of ink:
    // they start no highlight of their own.
    std::optional<gfx::Rect> line;
    for (size_t i = range.location; i < end; ++i) {
        if (packedRect(glyphRects(), i).isEmpty())
            continue;
        gfx::Rect glyph = glyphRectAt(i);
        if (line && glyph.minY() == line->minY() && glyph.height() == line->height()) {
            line->size.width += glyph.width();
        } else {
            if (line)
                addHighlightWithRect(*line);
            line = glyph;
        }
    }
    if (line)
        addHighlightWithRect(*line);
}

gfx::Rect VKPDFPageView::anchorRectForTextRange(core::Range range)
{
    size_t count = glyphCount();
    if (range.length == 0 || range.location >= count)
        return gfx::Rect(0, 0, 0, 0);
    size_t end = std::min(count, range.location + std::min(range.length, count));
    gfx::Rect box = gfx::Rect::null();
    for (size_t i = range.location; i < end; ++i)
        if (gfx::Rect glyph = packedRect(glyphRects(), i); !glyph.isEmpty())
            box = box.unionRect(glyph);
    if (box.isNull())
        return gfx::Rect(0, 0, 0, 0);
    return VKAnchorRectFromRectInRect(m_glyphRectTransform.apply(box), bounds());
}
