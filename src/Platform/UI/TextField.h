#pragma once

// A one-line text field. Tapping it makes it first responder (the delegate
// may refuse), which raises the keyboard; typing, pasting and deleting ask
// the delegate about each change and send editing-changed; return asks
// should-return and sends ended-on-exit without resigning; the clear button
// asks should-clear. Its rectangles (border, text, editing, placeholder,
// clear button, left and right views) are overridable. A secure field shows
// one bullet per code point (the last one typed shows itself for a second
// while editing), in drawings and dumps alike, and keeps its text off the
// pasteboard.

#include "Platform/Core/Observable.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Control.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/TextInput.h"

#include <optional>

namespace ui {

class TextField;

class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    virtual bool shouldBeginEditing(TextField&) { return true; }
    virtual void didBeginEditing(TextField&) { }
    virtual bool shouldEndEditing(TextField&) { return true; }
    virtual void didEndEditing(TextField&) { }
    // `range` (UTF-8 bytes) is about to become `replacement`.
    virtual bool shouldChangeCharacters(TextField&, core::Range range, std::string_view replacement)
    {
        (void)range, (void)replacement;
        return true;
    }
    virtual bool shouldClear(TextField&) { return true; }
    virtual bool shouldReturn(TextField&) { return true; }
};

class TextField : public Control, public TextInput {
public:
    enum class BorderStyle { None = 0, Line = 1, Bezel = 2, RoundedRect = 3 };
    enum class ViewMode { Never = 0, WhileEditing = 1, UnlessEditing = 2, Always = 3 };

    static constexpr const char* textDidBeginEditingNotification = "ui.TextFieldTextDidBeginEditing";
    static constexpr const char* textDidChangeNotification = "ui.TextFieldTextDidChange";
    static constexpr const char* textDidEndEditingNotification = "ui.TextFieldTextDidEndEditing";
    static constexpr float ClearButtonSize = 19;

    static std::shared_ptr<TextField> create(const gfx::Rect& frame = {});
    TextField();

    // TextInput
    std::string text() const override { return m_text.get(); }
    // Sends nothing and asks nobody; invalid UTF-8 becomes U+FFFD.
    virtual void setText(std::string_view text);
    core::Observation observeText(std::function<void(const std::string&, const std::string&)> observer)
    {
        return m_text.observe(std::move(observer));
    }
    core::Range selectedRange() const override { return m_selection; }
    void setSelectedRange(core::Range range) override;
    void insertText(std::string_view text) override;
    void paste(std::string_view text) override;
    void deleteBackward() override;
    void returnKeyPressed() override;
    bool copy() override;
    bool cut() override;
    // What the clear button does.
    void clearButtonTapped();

    const std::string& placeholder() const { return m_placeholder; }
    void setPlaceholder(std::string_view placeholder);
    const gfx::Font& font() const { return m_font; }
    void setFont(const gfx::Font& font);
    const gfx::Color& textColor() const { return m_textColor; }
    void setTextColor(const gfx::Color& color);
    gfx::TextAlignment textAlignment() const { return m_alignment; }
    void setTextAlignment(gfx::TextAlignment alignment);
    BorderStyle borderStyle() const { return m_borderStyle; }
    void setBorderStyle(BorderStyle style);
    ViewMode clearButtonMode() const { return m_clearButtonMode; }
    void setClearButtonMode(ViewMode mode);
    bool clearsOnBeginEditing() const { return m_clearsOnBeginEditing; }
    void setClearsOnBeginEditing(bool clears) { m_clearsOnBeginEditing = clears; }
    bool adjustsFontSizeToFitWidth() const { return m_adjustsFontSize; }
    void setAdjustsFontSizeToFitWidth(bool adjusts) { m_adjustsFontSize = adjusts; }
    float minimumFontSize() const { return m_minimumFontSize; }
    void setMinimumFontSize(float size) { m_minimumFontSize = size; }
    const std::shared_ptr<View>& leftView() const { return m_leftView; }
    void setLeftView(std::shared_ptr<View> view);
    ViewMode leftViewMode() const { return m_leftViewMode; }
    const std::shared_ptr<View>& rightView() const { return m_rightView; }
    void setRightView(std::shared_ptr<View> view);
    ViewMode rightViewMode() const { return m_rightViewMode; }
    void setRightViewMode(ViewMode mode);
    const StretchableImage& background() const { return m_background; }
    void setBackground(StretchableImage image);
    const StretchableImage& disabledBackground() const { return m_disabledBackground; }

    std::shared_ptr<TextFieldDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<TextFieldDelegate> delegate) { m_delegate = std::move(delegate); }

    bool isEditing() const { return m_editing; }
    // The text as it is drawn: a secure field's bullets, with the code
    // point typed last shown as itself for RevealDuration seconds.
    std::string displayedText() const;
    static constexpr double RevealDuration = 1;
    // Whether the clear button shows now, by its mode and the text.
    bool isClearButtonVisible() const;

    virtual gfx::Rect borderRectForBounds(const gfx::Rect& bounds) const;
    virtual gfx::Rect textRectForBounds(const gfx::Rect& bounds) const;
    virtual gfx::Rect placeholderRectForBounds(const gfx::Rect& bounds) const;
    virtual gfx::Rect editingRectForBounds(const gfx::Rect& bounds) const;
    virtual gfx::Rect clearButtonRectForBounds(const gfx::Rect& bounds) const;
    virtual gfx::Rect leftViewRectForBounds(const gfx::Rect& bounds) const;
    virtual gfx::Rect rightViewRectForBounds(const gfx::Rect& bounds) const;

    bool canBecomeFirstResponder() const override { return isEnabled(); }
    bool becomeFirstResponder() override;
    bool canResignFirstResponder() const override;
    bool usesKeyboard() const override { return true; }
    void endTracking(const Touch* touch, const Event* event) override;
    void layoutSubviews() override;
    std::string debugText() const override;
    // On the text's line, after what is drawn before the caret.
    std::optional<gfx::Rect> caretBounds() const override;

protected:
    void didBecomeFirstResponder() override;
    void didResignFirstResponder() override;

private:
    // Replaces `range` after asking the delegate; answers whether it did.
    bool replace(core::Range range, std::string_view replacement);
    void changed();
    bool showsView(ViewMode mode) const;
    void post(const char* name);
    void hideRevealed();
    // One bullet per code point, but the revealed one as itself.
    std::string maskedText(std::optional<core::Range> revealed) const;

    core::Observable<std::string> m_text;
    core::Range m_selection { 0, 0 };
    std::string m_placeholder;
    gfx::Font m_font;
    gfx::Color m_textColor;
    gfx::TextAlignment m_alignment = gfx::TextAlignment::Left;
    BorderStyle m_borderStyle = BorderStyle::None;
    ViewMode m_clearButtonMode = ViewMode::Never;
    ViewMode m_leftViewMode = ViewMode::Never;
    ViewMode m_rightViewMode = ViewMode::Never;
    bool m_clearsOnBeginEditing = false;
    bool m_adjustsFontSize = false;
    float m_minimumFontSize = 0;
    std::shared_ptr<View> m_leftView;
    std::shared_ptr<View> m_rightView;
    StretchableImage m_background;
    StretchableImage m_disabledBackground;
    std::weak_ptr<TextFieldDelegate> m_delegate;
    // The byte range of a secure field's code point shown as typed, and
    // the count that tells a pending hide whether it is still the latest.
    std::optional<core::Range> m_revealed;
    unsigned m_revealCount = 0;
    bool m_editing = false;
};

} // namespace ui
