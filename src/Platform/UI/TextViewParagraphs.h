#pragma once

// Where a text view's paragraphs lie. Paragraphs end at "\n" and each is
// wrapped on its own, so a frame lays out only the paragraphs it meets. A
// text measured here has every paragraph laid out; once a worker has counted
// a large text (a TextLineTable) only a window of paragraphs around what
// shows is; while the worker counts, paragraphs are laid out from an anchor
// paragraph that keeps its place on screen and the rest is estimated. It
// also keeps the last caret asked for until the paragraphs change. Owned by
// the text view, whose text, font, width and scroll place it reads.

#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/TextLayout.h"
#include "Platform/UI/TextLineTable.h"
#include "Platform/UI/TextStorage.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ui {

class TextView;

class TextViewParagraphs {
public:
    struct Paragraph {
        size_t start = 0;
        size_t length = 0; // without the line end
        double top = 0;
        size_t lines = 1;
        size_t index = 0; // in the text (when counted)
    };

    // `text` is the view's, read as it is at each call.
    TextViewParagraphs(const TextView& view, const TextStorage::Snapshot& text);

    // Whether the paragraphs are of a text measured here or counted by the
    // worker (false while the worker counts).
    bool isComplete() const { return m_complete; }
    bool isValid() const { return m_valid; }
    float lineHeight() const { return m_lineHeight; }
    const std::shared_ptr<const TextLineTable>& lineTable() const { return m_lineTable; }
    const std::vector<Paragraph>& paragraphs() const { return m_paragraphs; }
    // The first paragraph ending below `y` in lines of `lineHeight`
    // (paragraphs().size() when none does).
    size_t firstEndingBelow(double y, double lineHeight) const;

    // Laid out again at the next update.
    void invalidate() { m_valid = false; }
    void forgetCaret() { m_caret.reset(); }
    // A new text: laid out from its top at the next update.
    void reset();
    // The text is measured here from now on.
    void measureHere();
    // The worker starts counting: the paragraph shown at `y` (with a view
    // `height` high) becomes the anchor, as much of it above `y` as before
    // in lines of `newLineHeight`.
    void anchorAt(double y, double height, float newLineHeight);
    // Where the paragraph shown at `y` goes in `table` (content
    // coordinates), if the paragraphs laid out for `width` show one.
    std::optional<double> countedPlaceOf(double y, float width, const TextLineTable& table) const;
    // The worker's count is in: only a window of paragraphs is laid out
    // from now on.
    void install(std::shared_ptr<const TextLineTable> table, float width, float lineHeight);

    // The paragraphs laid out for `width` (the whole text, the anchor's
    // down to a screen below what shows, or none for a counted text).
    void update(float width);
    // While the worker counts: the paragraphs down to `bottom` (content
    // coordinates) laid out here.
    void extend(double bottom);
    // With a counted table: the paragraphs become those around [top, bottom]
    // (content coordinates).
    void ensureWindow(double top, double bottom);
    // Calls `visit(segment, segmentStart, line, index)` for the lines of
    // `paragraph` from line `first` on until it answers false: `line` in the
    // segment of the paragraph starting at byte `segmentStart` (from a
    // checkpoint when the paragraph has them).
    void forEachLineOf(const Paragraph& paragraph, size_t first,
        const std::function<bool(std::string_view, size_t, TextLayout::Span, size_t)>& visit) const;
    // Where the caret of `offset` sits, in content coordinates.
    gfx::Rect caretRect(size_t offset);
    // While the worker counts: where the text ends, by the paragraphs laid
    // out from the anchor and the bytes after them.
    double estimatedBottom() const;

private:
    // Paragraphs of `text` from byte `start`, their tops from `top`, until
    // one starts below `bottom`. An `estimate` wraps only the start of a
    // paragraph over the background size and scales its count.
    static void layOut(const TextStorage::Snapshot& text, size_t start, double top, double bottom,
        const gfx::Font& font, float width, std::vector<Paragraph>& out, bool estimate = false);

    const TextView& m_view;
    const TextStorage::Snapshot& m_text;
    std::vector<Paragraph> m_paragraphs;
    std::shared_ptr<const TextLineTable> m_lineTable;
    // The index of the window's first paragraph in a counted text.
    size_t m_windowFirst = 0;
    float m_width = 0;
    bool m_valid = false;
    // The last caret asked for: its offset and rectangle.
    std::optional<std::pair<size_t, gfx::Rect>> m_caret;
    float m_lineHeight = 0; // the paragraphs' line height
    bool m_complete = true;
    // While the worker counts, paragraphs are laid out from this one (its
    // index, first byte and top), which stays where it was on screen.
    size_t m_anchorIndex = 0;
    size_t m_anchorStart = 0;
    double m_anchorTop;
};

} // namespace ui
