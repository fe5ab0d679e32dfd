#pragma once

// The print formatter of a web view: what the print panel prints is the
// page, laid out by the engine's own print operation. Holds its view weakly
// (a formatter whose view went prints nothing).

#include "Platform/Core/Error.h"
#include "Platform/UI/PrintFormatter.h"

#include <functional>
#include <memory>
#include <string>

namespace web {

class WebView;

class WebPrintFormatter : public ui::PrintFormatter {
public:
    static std::shared_ptr<WebPrintFormatter> create(const std::shared_ptr<WebView>& view);

    std::shared_ptr<WebView> webView() const;
    // Prints the page into a PDF file; fails when the view is gone.
    void printToPDF(const std::string& path, std::function<void(const core::Error* error)> completion);
};

} // namespace web
