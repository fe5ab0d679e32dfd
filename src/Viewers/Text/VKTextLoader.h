#pragma once

// The text viewer's load, run on its worker: the file decoded with the
// current encoding, and when that fails on content that never loaded, the
// encoding guessed by the sniffer or found in the user's list; then the
// font size that fits the lines of the text.
//
// Each attempt decodes the file chunk by chunk through one converter into
// its own text storage, so a large file shows its first screen as soon as
// the first mebibyte is decoded (the caller's firstScreen, handed the
// storage that goes on growing) while the rest is read; an attempt that
// fails later is dropped, and the next one shows its own first screen.
// Outcomes are those of decoding the whole file at once.

#include "Platform/Core/Error.h"
#include "Platform/UI/TextStorage.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKTextFile;

class VKTextLoader {
public:
    // Text decoded before the first screen shows; the automatic size reads
    // the lines of as much.
    static constexpr size_t FirstScreenBytes = size_t(1) << 20;
    // A file larger than this is told ASCII or UTF-8 by its first part and
    // then decoded as it is read, so its first screen does not wait for the
    // whole file.
    static constexpr size_t WholeFileMagicBytes = size_t(4) << 20;
    // What the statistical detection weighs before the encoding list.
    static constexpr size_t DetectionSampleBytes = size_t(64) << 10;
    // What is read of a file to tell UTF-16 without a byte-order mark.
    static constexpr size_t HeadBytes = size_t(64) << 10;
    static constexpr float MinimumFontSize = 9;
    static constexpr float MaximumFontSize = 40;

    struct Request {
        std::string path;
        std::string home; // the file must lie inside it; empty: anywhere
        std::string currentEncoding; // empty: none
        bool lossy = false;
        bool contentDidLoad = false; // no detection once content has loaded
        std::vector<std::string> candidates;
        // The automatic size, when the document has no stored size: the
        // default size, the width of "e" per point of the viewer's font, and
        // the width the lines should fit.
        bool automaticFontSize = false;
        float defaultFontSize = 13;
        float widthPerPoint = 0;
        float usableWidth = 0;
    };
    struct Result {
        std::string encoding; // the one used; empty when none was found
        std::shared_ptr<ui::TextStorage> text; // complete; none on failure
        std::optional<float> fontSize; // only when it differs from the default
        bool cancelled = false;
        core::Error openError; // why the file did not open, when it did not
    };
    // Polled between chunks.
    using Cancelled = std::function<bool()>;
    // The first screen of an attempt: its encoding, its growing text and the
    // size it will have.
    using FirstScreen = std::function<void(const std::string& encoding, std::shared_ptr<ui::TextStorage> text,
        std::optional<float> fontSize)>;

    static Result load(const Request& request, const Cancelled& cancelled = {}, const FirstScreen& firstScreen = {});

    // How an attempt takes bytes its encoding refuses: as the conversion
    // does (failing, or dropped when lossy), or, for UTF-8 text with only a
    // few of them (a log with some lines in another encoding), as U+FFFD.
    enum class Repair { None, FewInvalidUTF8 };
    // One attempt: the whole file in `encoding`, or nothing (the log lines
    // of the string conversion on failure and on lossy drops).
    static std::shared_ptr<ui::TextStorage> decode(const VKTextFile& file, const std::string& encoding, bool lossy,
        const Cancelled& cancelled = {},
        const std::function<void(const std::shared_ptr<ui::TextStorage>& text)>& firstScreen = {},
        Repair repair = Repair::None);
    // UTF-16 without a byte-order mark, told by where the zero bytes of the
    // `head` of a file lie (Latin text); "UTF-16LE", "UTF-16BE" or nothing.
    static std::optional<std::string> utf16WithoutMark(std::string_view head);
    static bool isUTF16(std::string_view encoding);

    // The automatic size: lines averaging `average` UTF-16 units (0: none)
    // at `defaultSize` lowered one point at a time, never under 9, while
    // they are wider than `usableWidth`.
    static float fittingFontSize(float average, float defaultSize, float widthPerPoint, float usableWidth);
    // The mean length of the non-empty lines of the text's first 1 MiB, in
    // UTF-16 units, rounded up. When the text goes on past that (or `more`
    // says it will), the line cut there is left out, so a first screen
    // decoded just past 1 MiB and the whole text give the same mean.
    static float averageLineLength(std::string_view text, bool more = false);
    static float averageLineLength(const ui::TextStorage& text);
};
