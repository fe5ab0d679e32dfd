#include "Platform/UI/PrintInteractionController.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/View.h"

#include <atomic>
#include <fmt/format.h>

namespace ui {

namespace {

std::atomic<bool> printingAvailable { false };

bool printable(const core::Value& item)
{
    if (item.isData())
        return item.data().size() > 0;
    if (item.isString())
        if (auto url = core::URL::parse(item.string()))
            return PrintInteractionController::canPrint(*url);
    return false;
}

} // namespace

PrintInteractionController& PrintInteractionController::shared()
{
    static auto controller = std::make_shared<PrintInteractionController>();
    return *controller;
}

namespace {

PrintInteractionController::Printer& installedPrinter()
{
    static PrintInteractionController::Printer printer;
    return printer;
}

} // namespace

void PrintInteractionController::setPrinter(Printer printer)
{
    installedPrinter() = std::move(printer);
}

bool PrintInteractionController::isPrintingAvailable()
{
    return printingAvailable;
}

void PrintInteractionController::setPrintingAvailable(bool available)
{
    printingAvailable = available;
}

bool PrintInteractionController::canPrint(const core::URL& url)
{
    if (!url.isFileURL())
        return false;
    std::string path = url.filePath();
    std::string extension = core::ascii::lowercased(core::path::pathExtension(path));
    static const char* const types[] = { "pdf", "png", "jpg", "jpeg", "gif", "tif", "tiff", "bmp" };
    bool known = false;
    for (const char* type : types)
        known = known || extension == type;
    bool isDirectory = false;
    return known && core::fs::exists(path, &isDirectory) && !isDirectory;
}

void PrintInteractionController::setPrintingItem(core::Value item)
{
    m_item = std::move(item);
}

bool PrintInteractionController::hasSomethingToPrint() const
{
    if (m_formatter && m_formatter->hasContent())
        return true;
    if (printable(m_item))
        return true;
    for (auto& item : m_items)
        if (printable(item))
            return true;
    return false;
}

bool PrintInteractionController::present(bool, Completion completion)
{
    return presentAt(AnchorKind::None, {}, std::move(completion));
}

bool PrintInteractionController::presentFromRect(const gfx::Rect& rect, const View& view, bool, Completion completion)
{
    requireFinite(rect, "PrintInteractionController::presentFromRect");
    return presentAt(AnchorKind::Rect, view.convertRect(rect, nullptr), std::move(completion));
}

bool PrintInteractionController::presentFromBarButtonItem(const BarButtonItem& item, bool, Completion completion)
{
    auto view = item.view();
    if (!view)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("PrintInteractionController::presentFromBarButtonItem: {} has no laid-out view", item.description()));
    return presentAt(AnchorKind::BarButtonItem, view->convertRect(view->bounds(), nullptr), std::move(completion));
}

bool PrintInteractionController::presentAt(AnchorKind kind, const gfx::Rect& rect, Completion completion)
{
    requireMainThread("PrintInteractionController::present");
    if (!isPrintingAvailable() || m_presented || !hasSomethingToPrint())
        return false;
    m_presented = true;
    m_anchorKind = kind;
    m_anchorRect = rect;
    m_completion = std::move(completion);
    if (auto& printer = installedPrinter()) {
        auto self = shared_from_this();
        printer(*this);
    }
    return true;
}

void PrintInteractionController::dismiss(bool)
{
    requireMainThread("PrintInteractionController::dismiss");
    if (!m_presented)
        return;
    auto stop = std::move(m_dismissHandler);
    finish(false, nullptr);
    if (stop)
        stop();
}

void PrintInteractionController::finish(bool completed, const core::Error* error)
{
    if (!m_presented)
        return;
    m_presented = false;
    m_anchorKind = AnchorKind::None;
    m_dismissHandler = nullptr;
    auto completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion)
        completion(*this, completed, error);
}

void PrintInteractionController::reset()
{
    m_item = {};
    m_items.clear();
    m_formatter.reset();
    m_info = {};
    m_showsPageRange = false;
    m_presented = false;
    m_anchorKind = AnchorKind::None;
    m_anchorRect = {};
    m_completion = nullptr;
    m_dismissHandler = nullptr;
    printingAvailable = false;
}

} // namespace ui
