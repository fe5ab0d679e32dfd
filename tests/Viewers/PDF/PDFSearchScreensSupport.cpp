#include "PDFSearchScreensSupport.h"

#include "PDF/VKPDFSearchController.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Viewers/PDF/VKBookmarksNavigationController.h"

#include <fmt/format.h>

namespace test {

void PDFSearchScreensTestCase::SetUp()
{
    PDFViewerTestCase::SetUp();
    ui::Pasteboard::resetForTesting();
    VKBookmarksNavigationController::setChoice(0);
    showFileList(true);
}

void PDFSearchScreensTestCase::TearDown()
{
    navigation->dismissModalViewController(false);
    navigation->popToRootViewController(false);
    runLoop();
    for (int layout : { 2, 3 })
        VKPDFViewController::setLayoutViewFactory(layout, {});
    VKPDFSearchController::resetSharedSearchQueue();
    VKBookmarksNavigationController::setChoice(0);
    ui::Pasteboard::resetForTesting();
    PDFViewerTestCase::TearDown();
}

void PDFSearchScreensTestCase::use(const DeviceScreen& device)
{
    m_device = device;
    useDeviceScreen(window(), device);
    runLoop();
}

void PDFSearchScreensTestCase::shoot(const std::string& name)
{
    runLoop();
    std::shared_ptr<ui::View> standIn;
    if (driver.keyboardVisible()) {
        standIn = ui::View::create(ui::Keyboard::shared().frame());
        standIn->setBackgroundColor(gfx::Color::rgb255(172, 178, 190));
        window().addSubview(standIn);
    }
    std::string side = application().statusBarOrientation() == ui::Orientation::Portrait ? "portrait" : "landscape";
    saveScreen(driver, sourcePath("build/screens/pdf_search"), fmt::format("{}-{}-{}", name, m_device.name, side),
        m_device.scale);
    if (standIn)
        standIn->removeFromSuperview();
}

void PDFSearchScreensTestCase::expectGolden(const std::string& name)
{
    runLoop();
    auto picture = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(picture);
    EXPECT_TRUE(matchesGolden(*picture, sourcePath(""), name));
}

void PDFSearchScreensTestCase::writeReport()
{
    PdfBuilder builder;
    int font = builder.addStandardFont("Helvetica");
    int bold = builder.addStandardFont("Helvetica-Bold");
    std::vector<int> pages;
    for (int page = 1; page <= 40; ++page) {
        std::string content = fmt::format("BT /F2 20 Tf 60 720 Td (Chapter {} of the annual report) Tj ET ", (page + 3) / 4);
        content += "BT /F1 11 Tf 60 680 Td 15 TL ";
        for (int line = 0; line < 36; ++line) {
            std::string text = "Figures for the quarter rose and fell with the season, as the tables show.";
            if (line == 4 && (page == 7 || page == 19 || page == 33))
                text = "Like a needle in a haystack, one line on this page says what matters most.";
            content += fmt::format("({}) '", text);
        }
        content += fmt::format(" ET BT /F1 9 Tf 300 40 Td (- {} -) Tj ET", page);
        pages.push_back(builder.addPage(content,
            fmt::format("/MediaBox [0 0 612 792] /Resources << /Font << /F1 {} 0 R /F2 {} 0 R >> >>", font, bold)));
    }
    auto to = [&](int page) { return fmt::format("[{} 0 R /Fit]", pages[size_t(page - 1)]); };
    builder.setOutline({
        { "Introduction", to(1), "", {} },
        { "Part I: The year in figures, region by region, with the notes that explain the changes", to(3), "",
            { { "Chapter 1: Sales", to(4), "",
                  { { "Section 1.1: Online orders and the returns that followed them", to(5), "",
                      { { "Table 1.1.1", to(6), "", {} }, { "Table 1.1.2: Orders by month and by the way they were paid", to(7), "", {} } } },
                      { "Section 1.2: Shops", to(9), "", {} } } },
                { "Chapter 2: Costs", to(12), "", {} } } },
        { "Part II: Outlook", to(20), "", { { "Chapter 3: Plans for the next two years and what they will cost", to(21), "", {} } } },
        { "Appendix: Intro to the tables", to(38), "", {} },
        { "Index", to(40), "", {} },
    });
    writeDocument("report.pdf", builder);
}

} // namespace test
