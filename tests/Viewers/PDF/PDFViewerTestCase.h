#pragma once

// The PDF viewer's tests: the document frame's fixture with the layout
// defaults registered, documents built into the home's "Files" folder, and
// opening one in the viewer, waiting for its loading thread.

#include "../Document/DocumentTestCase.h"

#include "Support/PdfBuilder.h"
#include "Viewers/PDF/VKPDFViewController.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <functional>
#include <vector>

namespace test {

// A document of `count` pages of grey bars in two columns (vector only),
// with extra page entries; answers the pages' object numbers.
std::vector<int> addBarPages(PdfBuilder& builder, int count, const std::string& entries = "/MediaBox [0 0 612 792]");

class PDFViewerTestCase : public DocumentTestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the document to "Files/<name>" and answers its path.
    std::string writeDocument(std::string_view name, PdfBuilder& builder,
        const std::optional<PdfBuilder::Encryption>& encryption = std::nullopt);
    std::string writeBars(std::string_view name, int count);
    // Opens "Files/<name>", pushed unanimated, waiting for the load unless
    // told not to.
    std::shared_ptr<VKPDFViewController> openPDF(std::string_view name, bool wait = true);
    void waitForLoad(VKPDFViewController& viewer);
    // Waits until no loading thread runs; false after 20 seconds.
    bool waitForLoadThreads();
    // Runs the loop until the image queue rendered what was asked.
    bool waitFor(const std::function<bool()>& condition, double seconds = 20);
    // The password popup shown now, if any.
    VKPopupAlert* popup();
};

} // namespace test
