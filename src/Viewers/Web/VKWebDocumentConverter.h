#pragma once

// Office documents for the web view: the web engine renders none of the
// word-processing, spreadsheet, presentation, OpenDocument or office-suite
// package kinds, so LibreOffice ("soffice", when it is on PATH at run time)
// converts them first. Text and spreadsheets become "<stem>.html" with its
// pictures; presentations become a PDF whose pages are drawn to PNGs at
// the screen's pixel width and listed in a generated "slides.html" (the
// office suite's HTML export of slides keeps only their text). A package
// is zipped with its contents at the root first, as the importer expects.
//
// Conversions run one at a time on one worker: a second office instance on
// the same profile hands its work to the first and may exit without
// writing anything. Each goes into "<home>/tmp/<UUID>-<name>/", which the
// caller removes when done with it; a cancelled conversion kills its
// process group and removes its folder itself, and its completion never
// runs.

#include "Platform/Core/Error.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class VKWebDocumentConverter {
public:
    static constexpr const char* ThreadName = "VKDocumentConversion";
    static constexpr const char* Program = "soffice";
    static constexpr double DefaultTimeOut = 120;
    static constexpr int MaximumSlides = 300;
    static constexpr int MaximumSlideWidth = 2048;

    struct Request {
        // The document (a file, or a package folder).
        std::string path;
        // Its name, for the output folder.
        std::string name;
        bool slides = false;
        // Pixel width of the slide pictures (clamped to 1 … MaximumSlideWidth).
        int slideWidth = 1024;
    };
    struct Outcome {
        // The page to show; nothing on failure, with the error.
        std::optional<std::string> outputPath;
        // Where the output lies (remove it when done), empty on failure.
        std::string folder;
        core::Error error;
    };
    using Completion = std::function<void(Outcome outcome)>;

    class Conversion;

    // The office kinds converted, by MIME type, and those shown as slides.
    static bool isOfficeType(const std::string& mimeType);
    static bool isPresentationType(const std::string& mimeType);
    // Whether the converter is on PATH now.
    static bool isAvailable();

    // Queues a conversion; `completion` runs on the main thread.
    static std::shared_ptr<Conversion> convert(Request request, Completion completion);

    // Seconds a conversion may take before its process group is killed.
    static double timeOut();
    static void setTimeOutForTesting(double seconds);
};

// A queued or running conversion.
class VKWebDocumentConverter::Conversion {
public:
    // Kills the process if it runs and removes the output; the completion
    // does not run. Main thread.
    void cancel();

    struct State;
    explicit Conversion(std::shared_ptr<State> state) : m_state(std::move(state)) { }

private:
    std::shared_ptr<State> m_state;
};
