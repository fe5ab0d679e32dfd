#pragma once

// A scrolling view of wrapped text that can be edited: Helvetica 12 by
// default, the content size following the wrapped text within 8-point
// insets. While editing, typing scrolls the caret into view unless a
// subclass or owner turns that off (setScrollsSelectionToVisible); a text
// view that is not editable takes no typing. The font is observable; the
// data-detector bits are kept for those who read them.

#include "Platform/Core/Observable.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TextInput.h"

#include <vector>

namespace ui {

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

    // TextInput
    std::string text() const override { return m_text; }
    // Asks nobody; invalid UTF-8 becomes U+FFFD.
    virtual void setText(std::string_view text);
    core::Range selectedRange() const override { return m_selection; }
    void setSelectedRange(core::Range range) override;
    void insertText(std::string_view text) override;
    void deleteBackward() override;
    // A new line.
    void returnKeyPressed() override;

    gfx::Font font() const { return m_font.get(); }
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
    // Where the caret of `offset` sits, in content coordinates.
    gfx::Rect caretRect(size_t offset) const;

    bool canBecomeFirstResponder() const override { return m_editable; }
    bool becomeFirstResponder() override;
    bool canResignFirstResponder() const override;
    bool usesKeyboard() const override { return true; }
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void layoutSubviews() override;
    void setBounds(const gfx::Rect& bounds) override;
    void setContentOffset(gfx::Point offset) override;
    using ScrollView::setContentOffset;
    std::string debugText() const override { return m_text; }

protected:
    void didBecomeFirstResponder() override;
    void didResignFirstResponder() override;

private:
    class DocumentView;
    struct Paragraph {
        size_t start = 0;
        size_t length = 0; // without the line end
        double top = 0;
        size_t lines = 1;
    };
    // Draws the paragraphs meeting `rect` (document coordinates).
    void drawText(gfx::Context& context, const gfx::Rect& rect) const;
    void updateParagraphs(float width) const;
    void placeDocumentView();
    bool replace(core::Range range, std::string_view replacement);
    void updateContentSize();
    void post(const char* name);

    std::string m_text;
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
    mutable std::vector<Paragraph> m_paragraphs;
    mutable float m_paragraphWidth = 0;
    mutable bool m_paragraphsValid = false;
};

} // namespace ui
