#pragma once

// Walks one page's content stream and keeps just enough graphics and text
// state to know where each shown character lands: every shown string goes
// to the current font's decoder, which calls back once per character with
// its glyph box in text space; the scanner maps it into page space and
// hands characters on the page to processCharacterString(text, renderRect),
// which subclasses override. No rendering.
//
// The text state (Tc, Tw, Th, TL, Tfs, Trise, font) is saved and restored
// with the transform by q and Q, and Th starts at 1 for each scan and
// persists across BT, as PDF defines text state.
//
// Do draws form XObjects (included pages, slides made of forms): the form's
// content is scanned with its own resources under its /Matrix, the text
// state carrying in and everything restored after, as a q ... Q would.
// Forms nest 12 deep at most, a form already being drawn is skipped, and a
// page's forms together are scanned at most 4,096 times and decode at most
// 256 MiB, so hostile documents cost bounded time.
//
// Marked content is followed only for /ActualText (in BDC's property list
// or in the Properties resource it names): the outermost such span replaces
// its glyphs, which subclasses learn of through beginActualText and
// endActualText. Nesting is counted, not stored, so any depth costs the
// same; a span still open at the end of its form or of the page ends there,
// and an EMC without its BDC ends nothing.

#include "PDF/VKPDFFontInfo.h"
#include "PDF/VKPDFMatrix.h"
#include "Platform/Core/Object.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/PDF/OperatorTable.h"
#include "Platform/PDF/Page.h"
#include "Platform/PDF/Scanner.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class VKPDFPage;
class VKPDFPageScanner;

class VKPDFPageScannerDelegate {
public:
    virtual ~VKPDFPageScannerDelegate() = default;
    // No scan consults it yet.
    virtual bool pageScannerShouldCancel(VKPDFPageScanner&) { return false; }
};

class VKPDFPageScanner : public core::Object {
public:
    // Saved q levels beyond this are counted, not kept.
    static constexpr size_t kMaximumSavedStates = 1024;
    static constexpr size_t kMaximumFormDepth = 12;
    static constexpr size_t kMaximumFormScans = 4096;

    static std::shared_ptr<VKPDFPageScanner> create(const pdf::Page& page);
    static std::shared_ptr<VKPDFPageScanner> create(const VKPDFPage& page);

    // Runs the page's content stream once.
    virtual void scan();

    // A shown string, through the current font (nothing without one).
    void processTextString(const pdf::String& string);
    // One number of a TJ array: moves the text matrix by −n/1000 · Tfs · Th.
    void processTextKerning(double amount);
    // Called by the font decoder once per character with its glyph box in
    // unscaled text space; places it and advances the text matrix.
    // Rectangles pass by value, in registers: a rectangle just written
    // field by field and read back whole through memory stalls, once per
    // glyph.
    virtual void processCharacterString(const std::u16string& text, gfx::Rect glyphRect, bool addWordSpacing);
    // A character that lies on the page, with its rectangle in page space.
    // Inside a span with actual text, characters without text of their own
    // are reported too: their glyphs are what the span covers.
    virtual void processCharacterString(const std::u16string& text, gfx::Rect renderRect);

    // A span's actual text begins (answer false to read its glyphs instead)
    // and ends.
    virtual bool beginActualText(std::u16string text);
    virtual void endActualText();
    bool isInActualText() const { return m_marked.actualTextDepth != 0; }

    static const pdf::OperatorTable& sharedOperatorTable();

    std::weak_ptr<VKPDFPageScannerDelegate> delegate() const { return m_delegate; }
    void setDelegate(std::weak_ptr<VKPDFPageScannerDelegate> delegate) { m_delegate = std::move(delegate); }

    const pdf::Page& pageRef() const { return m_pageRef; }
    // Page space to the page's upright (displayed) orientation.
    const gfx::AffineTransform& rotationTransform() const { return m_rotationTransform; }
    // The crop box.
    const gfx::Rect& pageFrame() const { return m_pageFrame; }

    gfx::AffineTransform currentTransform() const { return m_state.transform.narrowed(); }
    // Text space to page space for the character being placed, and its
    // glyph box in unscaled text space.
    const VKPDFMatrix& currentTextRenderingMatrix() const { return m_renderingMatrix; }
    const gfx::Rect& currentGlyphRect() const { return m_glyphRect; }
    gfx::AffineTransform currentTextMatrix() const { return m_textMatrix.narrowed(); }
    gfx::AffineTransform currentTextLineMatrix() const { return m_textLineMatrix.narrowed(); }
    const std::shared_ptr<VKPDFFontInfo>& currentTextFont() const { return m_state.font; }
    double currentTextCharacterSpacing() const { return m_state.characterSpacing; }
    double currentTextWordSpacing() const { return m_state.wordSpacing; }
    double currentTextHorizontalScaling() const { return m_state.horizontalScaling; }
    double currentTextLeading() const { return m_state.leading; }
    double currentTextFontSize() const { return m_state.fontSize; }
    double currentTextRise() const { return m_state.rise; }
    // The codes of the string being shown.
    size_t currentStringCodes() const { return m_stringCodes; }
    // Kept for its users to come; nothing sets it.
    const gfx::Rect& currentTextBoundingBox() const { return m_currentTextBoundingBox; }
    void setCurrentTextBoundingBox(const gfx::Rect& box) { m_currentTextBoundingBox = box; }

protected:
    explicit VKPDFPageScanner(const pdf::Page& page);

private:
    struct State {
        VKPDFMatrix transform;
        std::shared_ptr<VKPDFFontInfo> font;
        double characterSpacing = 0;
        double wordSpacing = 0;
        double horizontalScaling = 1;
        double leading = 0;
        double fontSize = 0;
        double rise = 0;
    };

    // Marked-content nesting: the levels open, those opened outside the
    // form being scanned (which its EMCs cannot close), and the level whose
    // span has actual text (0: none).
    struct MarkedContent {
        size_t depth = 0;
        size_t floor = 0;
        size_t actualTextDepth = 0;
    };

    struct Operators;
    friend struct Operators;

    void beginMarkedContent(const pdf::Object& properties, const pdf::Scanner& scanner);
    void endMarkedContent();
    // Ends a span with actual text opened above the floor.
    void endOpenActualText();

    // The rendering matrix for the text matrix as it stands. Its linear
    // part is worked out again only after the text state, the transform
    // or the text matrix's linear part changed (every operator that may
    // change them says so): along a line only the text origin moves.
    void updateRenderingMatrix();
    // Moves the text matrix along its line.
    void advanceTextMatrix(double amount);
    void textStateChanged()
    {
        m_renderingBasis.valid = false;
        m_renderingBasis.movesKeepLinear = false;
    }

    void nextLine();
    void moveLine(double tx, double ty);
    void drawForm(const pdf::Object& form, const pdf::Scanner& scanner);
    // The decoder of the font resource `name` where `scanner` stands.
    std::shared_ptr<VKPDFFontInfo> fontNamed(const std::string& name, const pdf::Scanner& scanner);

    pdf::Page m_pageRef;
    gfx::AffineTransform m_rotationTransform;
    gfx::Rect m_pageFrame;
    // The crop box's edges, read once: every glyph is checked against them.
    bool m_hasPageFrame = false;
    float m_pageLeft = 0, m_pageBottom = 0, m_pageRight = 0, m_pageTop = 0;
    std::weak_ptr<VKPDFPageScannerDelegate> m_delegate;

    State m_state;
    std::vector<State> m_savedStates;
    size_t m_unsavedLevels = 0;
    VKPDFMatrix m_textMatrix;
    VKPDFMatrix m_textLineMatrix;
    VKPDFMatrix m_renderingMatrix;
    // The rendering matrix's linear part, and the rise's share of the text
    // origin (0 · a + rise · c, 0 · b + rise · d), as the full product
    // (font size and rise × text matrix × transform) works them out.
    // `movesKeepLinear` once a move along the line left the text matrix's
    // linear part as it was to the bit, so later moves (the same sums on
    // the same values) leave it too; `zeroC` and `zeroD` are 0 · c and
    // 0 · d of that linear part, as a move works them out.
    struct RenderingBasis {
        bool valid = false;
        double a = 1, b = 0, c = 0, d = 1;
        double riseX = 0, riseY = 0;
        bool movesKeepLinear = false;
        double zeroC = 0, zeroD = 0;
    } m_renderingBasis;
    gfx::Rect m_glyphRect;
    size_t m_stringCodes = 0;
    MarkedContent m_marked;
    gfx::Rect m_currentTextBoundingBox;
    // The page's own fonts by resource name as this scan selected them
    // (a page selects its few fonts again for every line); forms look
    // theirs up.
    static constexpr size_t kMaximumPageFonts = 64;
    std::vector<std::pair<std::string, std::shared_ptr<VKPDFFontInfo>>> m_pageFonts;
    // The forms being drawn, outermost first, and what the page's forms
    // have cost so far.
    std::vector<pdf::Identity> m_formStack;
    size_t m_formScans = 0;
    size_t m_contentBudget = 0;
};
