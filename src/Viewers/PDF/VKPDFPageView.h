#pragma once

// One PDF page in a layout view, at any zoom: the page is drawn in tiles on
// worker threads through a VKTiledPageView under a transparent control view
// that carries the highlights of found text. The page view also answers
// the viewer's questions about its page: the link under a tap, the text
// column near a point, and where a text range lies.
//
// Tile drawing never waits on the main thread: the page view is the tiled
// layer's representative and hands each tile a copy of the page handle,
// the drawing transform and its height, taken under a lock that setFrame
// and teardown take only to swap that copy. Page geometry comes from the
// document's one reading of it, so framing a page takes no object lock.

#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFLinkAnnotation.h"
#include "Platform/Core/Data.h"
#include "Platform/Core/Range.h"
#include "Platform/UI/View.h"
#include "Viewers/PDF/VKLayerRepresentative.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class VKPDFPage;
class VKPDFPageAnnotationsParser;
class VKPageIndexStore;
class VKTiledPageView;

class VKPDFPageView : public ui::View, public VKLayerRepresentative {
public:
    static std::shared_ptr<VKPDFPageView> pageViewWithPage(std::shared_ptr<VKPDFPage> page,
        std::shared_ptr<VKPageIndexStore> indexStore = nullptr);
    VKPDFPageView(std::shared_ptr<VKPDFPage> page, std::shared_ptr<VKPageIndexStore> indexStore);
    ~VKPDFPageView() override;

    static gfx::Color highlightColor();

    const std::shared_ptr<VKPDFPage>& page() const { return m_page; }
    void setPage(std::shared_ptr<VKPDFPage> page);
    // Built on first use: from the index store (page index + 1), else by a
    // scan of the page, which is not written back.
    const std::u16string& pageText();
    const core::Data& glyphRects();
    const core::Data& lineRects();

    void setFrame(const gfx::Rect& frame) override;

    // A destination or a web address under a point of the view, if any.
    std::optional<VKPDFLinkTarget> linkTargetForPoint(gfx::Point point);
    // The text column near a point of the view, in view coordinates.
    gfx::Rect textRectForPoint(gfx::Point point);
    // The line rectangle nearest to a point in page space (first on ties);
    // zero without lines.
    gfx::Rect rectForPoint(gfx::Point pagePoint);
    // The range's bounding box as fractions of the bounds; zero when empty.
    gfx::Rect anchorRectForTextRange(core::Range range);

    core::Range highlightedTextRange() const { return m_highlightedTextRange; }
    void setHighlightedTextRange(core::Range range);
    void addHighlightWithRect(const gfx::Rect& rect);

    const gfx::AffineTransform& drawingTransform() const { return m_drawingTransform; }
    const gfx::AffineTransform& glyphRectTransform() const { return m_glyphRectTransform; }
    const gfx::AffineTransform& glyphRectInverseTransform() const { return m_glyphRectInverseTransform; }
    VKTiledPageView& contentView() const { return *m_contentView; }
    ui::View& controlView() const { return *m_controlView; }

    std::function<void(gfx::Context&)> drawingForLayer(const VKTiledPageLayer& layer) override;

    // Runs at the start of every tile drawing, on its drawing thread (tests
    // hold a draw there).
    static void setDrawHookForTesting(std::function<void()> hook);

private:
    struct Snapshot {
        std::shared_ptr<VKPDFPage> page;
        gfx::AffineTransform drawing;
        float height = 0;
        bool drawsPage = false;
    };
    void readPageIndex();
    void updateSnapshot();
    size_t glyphCount();
    gfx::Rect glyphRectAt(size_t index);

    std::shared_ptr<VKPDFPage> m_page;
    VKPDFPageGeometry m_geometry;
    std::unique_ptr<VKPDFPageAnnotationsParser> m_pageAnnotationsParser;
    std::shared_ptr<VKPageIndexStore> m_pageIndexStore;
    std::shared_ptr<VKTiledPageView> m_contentView;
    std::shared_ptr<ui::View> m_controlView;
    std::optional<std::u16string> m_pageText;
    core::Data m_glyphRects;
    std::optional<core::Data> m_lineRects;
    gfx::AffineTransform m_drawingTransform;
    gfx::AffineTransform m_glyphRectTransform;
    gfx::AffineTransform m_glyphRectInverseTransform;
    core::Range m_highlightedTextRange { 0, 0 };
    std::mutex m_snapshotLock;
    Snapshot m_snapshot;
};
