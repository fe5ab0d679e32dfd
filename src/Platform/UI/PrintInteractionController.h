#pragma once

// The print panel: what to print (a file or data item, several items, or a
// formatter), the job's settings, and the panel's presentation, full screen
// or at a rectangle or bar item. Headless: presenting records the request
// and the panel stays until the driver completes the job or the caller
// dismisses it. The completion runs exactly once per presentation: with the
// driver's outcome, or unfinished on dismissal. Printing is off in the
// program (no printer model); tests switch it on.

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"
#include "Platform/Graphics/Geometry.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class BarButtonItem;
class PrintFormatter;
class View;

class PrintInteractionController : public core::Object {
public:
    using Completion = std::function<void(PrintInteractionController& controller, bool completed, const core::Error* error)>;
    enum class AnchorKind { None = 0, Rect = 1, BarButtonItem = 2 };

    struct PrintInfo {
        // The device's numbers: general 0, photo 1, grayscale 2.
        int outputType = 0;
        std::string jobName;
        // Portrait 0, landscape 1.
        int orientation = 0;
        // None 0, long edge 1, short edge 2.
        int duplex = 0;
    };

    static PrintInteractionController& shared();
    static bool isPrintingAvailable();
    static void setPrintingAvailable(bool available);
    // The program's printing backend (the desktop's print dialog): hears
    // each presentation once it is recorded and finishes it later; without
    // one the panel stays headless.
    using Printer = std::function<void(PrintInteractionController& controller)>;
    static void setPrinter(Printer printer);
    // Existing files ending pdf, png, jpg, jpeg, gif, tif, tiff or bmp.
    static bool canPrint(const core::URL& url);

    // A file URL or data (core::Value string holding a URL, or Data).
    const core::Value& printingItem() const { return m_item; }
    void setPrintingItem(core::Value item);
    const std::vector<core::Value>& printingItems() const { return m_items; }
    std::shared_ptr<PrintFormatter> printFormatter() const { return m_formatter; }
    void setPrintFormatter(std::shared_ptr<PrintFormatter> formatter) { m_formatter = std::move(formatter); }
    const PrintInfo& printInfo() const { return m_info; }
    void setPrintInfo(PrintInfo info) { m_info = std::move(info); }
    bool showsPageRange() const { return m_showsPageRange; }
    void setShowsPageRange(bool shows) { m_showsPageRange = shows; }

    // False, with nothing shown, when printing is off, the panel shows
    // already, or there is nothing to print.
    bool present(bool animated, Completion completion);
    bool presentFromRect(const gfx::Rect& rect, const View& view, bool animated, Completion completion);
    bool presentFromBarButtonItem(const BarButtonItem& item, bool animated, Completion completion);
    // Takes the panel away; a job not completed completes unfinished.
    void dismiss(bool animated);

    bool isPresented() const { return m_presented; }
    AnchorKind anchorKind() const { return m_anchorKind; }
    // The anchor on the screen.
    gfx::Rect anchorRect() const { return m_anchorRect; }

    // The panel's outcome (the driver): the completion once, the panel gone.
    void finish(bool completed, const core::Error* error);
    // What stops the driver's job of this presentation when the panel is
    // dismissed before the job ended (its dialog closed, nothing printed);
    // run after the completion, once.
    void setDismissHandler(std::function<void()> handler) { m_dismissHandler = std::move(handler); }

    // Forgets everything (test environment).
    void reset();

private:
    bool presentAt(AnchorKind kind, const gfx::Rect& rect, Completion completion);
    bool hasSomethingToPrint() const;

    core::Value m_item;
    std::vector<core::Value> m_items;
    std::shared_ptr<PrintFormatter> m_formatter;
    PrintInfo m_info;
    bool m_showsPageRange = false;
    bool m_presented = false;
    AnchorKind m_anchorKind = AnchorKind::None;
    gfx::Rect m_anchorRect;
    Completion m_completion;
    std::function<void()> m_dismissHandler;
};

} // namespace ui
