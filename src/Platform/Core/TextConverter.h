#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// Converts text from one named character set to another: glibc's iconv for
// every name it knows, ICU's converters for the names only ICU knows
// ("MacRoman", "x-mac-greek"). It is the one converter the system shares: the
// text viewer, the RTF converter's code pages, PDF passwords in Windows-1252,
// zip entry names in DOS code pages.
//
// Conversion is plain: an invalid input sequence (or a character the target
// cannot hold) stops a step and is reported, never skipped behind the
// caller's back; bytes that begin a sequence the input does not finish stay
// unconsumed, so a caller that reads piecewise hands them in again with the
// next bytes. Names carrying iconv suffixes ("//IGNORE", "//TRANSLIT") are
// refused, since they would change what a step reports.
//
// ICU serves stateless character sets (all that glibc lacks are such); its
// steps start from the initial state. One object holds one conversion state:
// use it from one thread at a time.
class TextConverter {
public:
    enum class Status {
        Ok, // all input converted
        OutputFull, // the output area is full; the rest of the input waits
        Invalid, // the input at `consumed` is not valid, or has no form in the target
        Incomplete, // the input ends inside a sequence, left unconsumed
    };
    enum class Backend { None,
        Iconv,
        ICU };

    // One step: how much input was used and output made, and why it stopped.
    struct Step {
        size_t consumed = 0;
        size_t produced = 0;
        Status status = Status::Ok;
    };

    // A whole conversion. `status` is Ok or why it stopped at input `offset`;
    // `text` holds what was converted before that point.
    struct Conversion {
        std::string text;
        Status status = Status::Ok;
        size_t offset = 0;
        size_t dropped = 0; // input bytes skipped by a lossy conversion
    };

    static constexpr size_t kNoLimit = static_cast<size_t>(-1);

    TextConverter();
    // Opens a converter; isOpen() tells whether either library knows both names.
    TextConverter(std::string_view from, std::string_view to);
    static TextConverter toUTF8(std::string_view from) { return TextConverter(from, "UTF-8"); }
    static TextConverter fromUTF8(std::string_view to) { return TextConverter("UTF-8", to); }
    ~TextConverter();
    TextConverter(TextConverter&& other) noexcept;
    TextConverter& operator=(TextConverter&& other) noexcept;
    TextConverter(const TextConverter&) = delete;
    TextConverter& operator=(const TextConverter&) = delete;

    bool isOpen() const { return m_state != nullptr; }
    explicit operator bool() const { return isOpen(); }
    Backend backend() const;
    // The names as given when opened; empty when closed.
    std::string sourceNameForTesting() const;

    // Converts as much of `input` as fits into `output`.
    Step convert(std::string_view input, char* output, size_t capacity);
    // Ends the input: writes what a stateful target needs to return to its
    // initial state.
    Step finish(char* output, size_t capacity);
    // Forgets any shift state, as after opening.
    void reset();
    void close();

    // Converts all of `input`. Lossy skips each invalid byte (counted in
    // `dropped`) and goes on; an incomplete sequence at the end stops both
    // ways. Output beyond `limit` bytes stops with OutputFull. The output
    // grows geometrically, so the cost stays linear in the input.
    Conversion convertAll(std::string_view input, bool lossy = false, size_t limit = kNoLimit);

    // The whole text converted strictly; nothing when a name is unknown or
    // the text does not convert.
    static std::optional<std::string> convertText(std::string_view input, std::string_view from,
        std::string_view to = "UTF-8");
    // Whether a converter between the name and UTF-8 can be opened.
    static bool isKnown(std::string_view name);

    struct State;

private:
    std::unique_ptr<State> m_state;
};

} // namespace core
