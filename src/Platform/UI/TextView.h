#pragma once

// A scrolling view of wrapped text that can be edited: Helvetica 12 by
// default, the content size following the wrapped text within 8-point
// insets. While editing, typing scrolls the caret into view unless a
// subclass or owner turns that off (setScrollsSelectionToVisible); a text
// view that is not editable takes no typing. The font is observable; the
// data-detector bits are kept for those who read them.
//
// Large text that is not editable is measured on a worker: setting it, a
// new font or a new width costs the main thread only the paragraphs on
// screen, the content height is an estimate until the worker's count comes
// in, and then the first visible line stays where it was. Such text is best
// handed over as a TextStorage a worker fills: the view shows it as it
// grows and never copies it.

#include "Platform/Core/Observable.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TextInput.h"
#include "Platform/UI/TextLayout.h"
#include "Platform/UI/TextLineTable.h"
#include "Platform/UI/TextStorage.h"
#include "Platform/UI/TextViewLayoutWorker.h"
#include "Platform/UI/TextViewParagraphs.h"

#include <functional>
#include <optional>
#include <vector>

namespace ui {

class PrintFormatter;
class TextView;

class TextViewDelegate : public ScrollViewDelegate {
public:
    virtual bool shouldBeginEditing(TextView&) { return true; }
    virtual void didBeginEditing(TextView&) { }
    virtual bool shouldEndEditing(TextView&) { return true; }
    virtual void didEndEditing(TextView&) { }
    // `range` (UTF-8 bytes) is about to become `replacement`.
    virtual bool shouldChangeText(TextView&, core::Range range, std::string_view replacement)
    {
        (void)range, (void)replacement;
        return true;
    }
    virtual void didChange(TextView&) { }
    virtual void didChangeSelection(TextView&) { }
};

class TextView : public ScrollView, public TextInput {
public:
    enum DataDetectors : unsigned { PhoneNumber = 1, Link = 2, Address = 4, CalendarEvent = 8, All = ~0u };
    static constexpr float Inset = 8;
    static constexpr const char* textDidBeginEditingNotification = "ui.TextViewTextDidBeginEditing";
    static constexpr const char* textDidChangeNotification = "ui.TextViewTextDidChange";
    static constexpr const char* textDidEndEditingNotification = "ui.TextViewTextDidEndEditing";

    static std::shared_ptr<TextView> create(const gfx::Rect& frame = {});
    TextView();
    ~TextView() override;

    // Texts of this many bytes or more, when not editable, are measured on
    // a worker.
    static constexpr size_t BackgroundLayoutBytes = 256 * 1024;
    // Past this size the text is not handed out as one string (text()
    // answers "") and cannot be made editable.
    static constexpr size_t LargestStringBytes = 4 * 1024 * 1024;

    // TextInput
    std::string text() const override;
    // Asks nobody; invalid UTF-8 becomes U+FFFD.
    virtual void setText(std::string_view text);
    // O(1): the view shows the storage as it is and as it grows (it takes
    // over the storage's publish handler). The same storage again just
    // shows what was published since.
    void setTextStorage(std::shared_ptr<TextStorage> storage);
    const std::shared_ptr<TextStorage>& textStorage() const { return m_storage; }
    // The text's size in bytes, as shown.
    size_t textLength() const { return m_text.size(); }
    core::Range selectedRange() const override { return m_selection; }
    void setSelectedRange(core::Range range) override;
    void insertText(std::string_view text) override;
    void deleteBackward() override;
    // A new line.
    void returnKeyPressed() override;

    gfx::Font font() const { return m_font.get(); }
    // The paragraph at the top of the view stays there.
    void setFont(const gfx::Font& font);
    core::Observation observeFont(std::function<void(const gfx::Font&, const gfx::Font&)> observer)
    {
        return m_font.observe(std::move(observer));
    }
    const gfx::Color& textColor() const { return m_textColor; }
    void setTextColor(const gfx::Color& color);
    gfx::TextAlignment textAlignment() const { return m_alignment; }
    void setTextAlignment(gfx::TextAlignment alignment);
    bool isEditable() const { return m_editable; }
    // Refused (with a log line) for text over LargestStringBytes.
    void setEditable(bool editable);
    unsigned dataDetectorTypes() const { return m_dataDetectors; }
    void setDataDetectorTypes(unsigned types) { m_dataDetectors = types; }
    bool isEditing() const { return m_editing; }
    std::shared_ptr<TextViewDelegate> textDelegate() const { return m_textDelegate.lock(); }
    // Also the scroll view's delegate.
    void setDelegate(std::weak_ptr<TextViewDelegate> delegate);

    // Whether edits scroll the caret into view (on by default).
    bool scrollsSelectionToVisible() const { return m_scrollsSelectionToVisible; }
    void setScrollsSelectionToVisible(bool scrolls) { m_scrollsSelectionToVisible = scrolls; }
    void scrollRangeToVisible(core::Range range);
    // The view that shows the text: it covers the visible part of the
    // content and draws the paragraphs meeting it.
    View& documentView() const { return *m_documentView; }
    // Where the caret of `offset` sits, in content coordinates (the
    // paragraph holding it is wrapped as drawn; kept until the text, font
    // or width changes).
    gfx::Rect caretRect(size_t offset) const;
    std::optional<gfx::Rect> caretBounds() const override;
    // Whether the content height is the exact one of the whole text (false
    // while a worker measures it).
    bool isLayoutComplete() const { return m_layout.isComplete(); }
    // Runs `block` once the content height is exact: now, or when the
    // worker's count is in (not at all for a count made stale by a newer
    // text, font or width: the newer count runs it).
    void whenLayoutComplete(std::function<void()> block);

    bool canBecomeFirstResponder() const override { return m_editable; }
    bool becomeFirstResponder() override;
    bool canResignFirstResponder() const override;
    bool usesKeyboard() const override { return true; }
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void layoutSubviews() override;
    void setBounds(const gfx::Rect& bounds) override;
    void setContentOffset(gfx::Point offset) override;
    using ScrollView::setContentOffset;
    std::string debugText() const override { return text(); }
    // A formatter printing the whole text in pages (one made for any view
    // prints only what shows).
    std::shared_ptr<PrintFormatter> printFormatter();

protected:
    void didBecomeFirstResponder() override;
    void didResignFirstResponder() override;

private:
    class DocumentView;
    bool measuresInBackground() const
    {
        return !m_editable && (m_text.size() >= BackgroundLayoutBytes || !m_text.isComplete());
    }
    void showStorage(std::shared_ptr<TextStorage> storage);
    // The storage published more: the estimate grows, the place stays.
    void storageDidGrow();
    void estimateContentSize();
    // The whole text as one string, for editing (small texts only).
    const std::string& editingText() const;
    // Draws the paragraphs meeting `rect` (document coordinates).
    void drawText(gfx::Context& context, const gfx::Rect& rect) const;
    // The link under a point of the content, if a shown paragraph has one.
    std::optional<std::string> linkAtPoint(gfx::Point point) const;
    // The worker's count is in: the content takes its exact height.
    void installLayout(uint64_t generation, float width, std::shared_ptr<const TextLineTable> table);
    void placeDocumentView();
    bool replace(core::Range range, std::string_view replacement);
    void updateContentSize();
    void post(const char* name);

    // Shared with a worker measuring it; an edit makes a new storage.
    std::shared_ptr<TextStorage> m_storage;
    TextStorage::Snapshot m_text;
    mutable std::optional<std::string> m_editingText;
    core::Range m_selection { 0, 0 };
    core::Observable<gfx::Font> m_font;
    gfx::Color m_textColor;
    gfx::TextAlignment m_alignment = gfx::TextAlignment::Left;
    bool m_editable = true;
    bool m_editing = false;
    bool m_scrollsSelectionToVisible = true;
    unsigned m_dataDetectors = 0;
    std::weak_ptr<TextViewDelegate> m_textDelegate;
    std::shared_ptr<View> m_documentView;
    // The paragraphs laid out (all, or a window of a counted text), read
    // by drawing and caret queries.
    mutable TextViewParagraphs m_layout;
    TextViewLayoutWorker m_worker;
};

} // namespace ui
