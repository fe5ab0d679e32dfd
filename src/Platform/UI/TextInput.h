#pragma once

// What typing reaches: the text inputs (text fields here; the text view and
// the search bar build on it too). The keyboard's traits keep the device's
// numbers. Selections and ranges are UTF-8 byte ranges on code-point
// boundaries.

#include "Platform/Core/Range.h"
#include "Platform/Graphics/Geometry.h"

#include <optional>
#include <string>
#include <string_view>

namespace ui {

class TextInput {
public:
    enum class KeyboardType {
        Default = 0,
        ASCIICapable = 1,
        NumbersAndPunctuation = 2,
        URL = 3,
        NumberPad = 4,
        PhonePad = 5,
        NamePhonePad = 6,
        EmailAddress = 7,
        DecimalPad = 8,
    };
    enum class ReturnKeyType {
        Default = 0,
        Go = 1,
        Google = 2,
        Join = 3,
        Next = 4,
        Route = 5,
        Search = 6,
        Send = 7,
        Yahoo = 8,
        Done = 9,
        EmergencyCall = 10,
    };
    enum class AutocapitalizationType { None = 0, Words = 1, Sentences = 2, AllCharacters = 3 };
    enum class AutocorrectionType { Default = 0, No = 1, Yes = 2 };
    enum class KeyboardAppearance { Default = 0, Alert = 1 };

    virtual ~TextInput() = default;

    virtual std::string text() const = 0;
    virtual core::Range selectedRange() const = 0;
    // Moved to code-point boundaries within the text.
    virtual void setSelectedRange(core::Range range) = 0;
    bool hasText() const { return !text().empty(); }

    // One key typed (or several code points at once), replacing the
    // selection.
    virtual void insertText(std::string_view text) = 0;
    // A paste: the whole text as one change.
    virtual void paste(std::string_view text) { insertText(text); }
    // The selection, or the code point before the caret.
    virtual void deleteBackward() = 0;
    virtual void returnKeyPressed() = 0;
    // Text an input method is composing: it replaces the marked text (or the
    // selection when nothing is marked) and stays marked, drawn underlined,
    // with the caret or selection at `selectedRange` inside it. Empty text
    // removes what was marked. unmarkText keeps the text as typed.
    virtual void setMarkedText(std::string_view text, core::Range selectedRange);
    virtual void unmarkText();
    // Where the marked text sits in text(); location kNotFound when nothing
    // is marked.
    core::Range markedRange() const { return m_marked; }
    bool hasMarkedText() const { return m_marked.location != core::kNotFound; }

    // Where the caret (the selection's end, inside the marked text while
    // something is composed) stands, in the input's own view's coordinates:
    // an input method shows its candidates beside it. None when the input
    // cannot tell. Cheap enough to ask once a pass.
    virtual std::optional<gfx::Rect> caretBounds() const { return std::nullopt; }

    // The selection onto the general pasteboard; false (the pasteboard
    // untouched) when nothing is selected or the input keeps its text to
    // itself.
    virtual bool copy();
    // The selection copied, then removed.
    virtual bool cut();

    KeyboardType keyboardType() const { return m_keyboardType; }
    void setKeyboardType(KeyboardType type) { m_keyboardType = type; }
    ReturnKeyType returnKeyType() const { return m_returnKeyType; }
    void setReturnKeyType(ReturnKeyType type) { m_returnKeyType = type; }
    AutocapitalizationType autocapitalizationType() const { return m_autocapitalization; }
    void setAutocapitalizationType(AutocapitalizationType type) { m_autocapitalization = type; }
    AutocorrectionType autocorrectionType() const { return m_autocorrection; }
    void setAutocorrectionType(AutocorrectionType type) { m_autocorrection = type; }
    KeyboardAppearance keyboardAppearance() const { return m_appearance; }
    void setKeyboardAppearance(KeyboardAppearance appearance) { m_appearance = appearance; }
    bool isSecureTextEntry() const { return m_secure; }
    void setSecureTextEntry(bool secure) { m_secure = secure; }
    bool enablesReturnKeyAutomatically() const { return m_enablesReturnKey; }
    void setEnablesReturnKeyAutomatically(bool enables) { m_enablesReturnKey = enables; }

    // The code-point boundary at or before `offset` in well-formed `text`.
    static size_t boundaryBefore(std::string_view text, size_t offset);
    // The start of the code point that ends at `offset`.
    static size_t previousCodePoint(std::string_view text, size_t offset);

private:
    core::Range m_marked;
    KeyboardType m_keyboardType = KeyboardType::Default;
    ReturnKeyType m_returnKeyType = ReturnKeyType::Default;
    AutocapitalizationType m_autocapitalization = AutocapitalizationType::Sentences;
    AutocorrectionType m_autocorrection = AutocorrectionType::Default;
    KeyboardAppearance m_appearance = KeyboardAppearance::Default;
    bool m_secure = false;
    bool m_enablesReturnKey = false;
};

} // namespace ui
