// The program's window (a tablet's) shows the application's screen at every
// step a person takes through the web documents: each kind (HTML, RTF and, with
// LibreOffice, the office documents) opened from the list, its bars left
// to slide away, the window covered and uncovered, the bars brought back,
// Back, and last a PDF. At each step what the display shows is compared
// with the program's own picture of its screen.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/XvfbDisplay.h"

#include <filesystem>
#include <sstream>

namespace {

class WindowShowsScreenTest : public test::ProgramWindowTestCase {
protected:
    static bool barsShown(const std::string& dump)
    {
        std::istringstream lines(dump);
        for (std::string line; std::getline(lines, line);)
            if (line.find("VKNavigationBar (0, ") != std::string::npos)
                return line.find("hidden") == std::string::npos && line.find(", -") == std::string::npos;
        return false;
    }
    void showBars()
    {
        for (int attempt = 0; attempt < 3 && !barsShown(snapshot()); ++attempt) {
            click(384, 600);
            waitForDump([](const std::string& dump) { return barsShown(dump); }, 5);
        }
    }

    // What the display shows against the program's picture, kept as
    // build/screens/window_screen/<step>.png and <step>-renderer.png.
    void expectShown(const std::string& step)
    {
        std::string directory = sourcePath("build/screens/window_screen");
        std::filesystem::create_directories(directory);
        std::string shown = directory + "/" + step + ".png";
        std::string drawn = directory + "/" + step + "-renderer.png";
        EXPECT_TRUE(waitForDisplay(shown, MaximumShare))
            << step << ": the window does not show the screen (" << shown << ")";
        std::filesystem::copy_file(programPicture(), drawn, std::filesystem::copy_options::overwrite_existing);
    }

    // Opens the row, waits for the document and for its bars to slide
    // away, then checks the window, covered and uncovered, the bars back,
    // and Back to the list.
    void openAndReturn(const std::string& row, const std::string& step)
    {
        SCOPED_TRACE(step);
        ASSERT_TRUE(waitForView(row)) << lastDump();
        auto at = centreOf(lastDump(), row);
        ASSERT_TRUE(at) << lastDump();
        click(*at);
        // Office documents wait for their conversion first.
        ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("VKWebView") != std::string::npos; }, 60))
            << lastDump();
        ASSERT_TRUE(waitForDump([](const std::string& dump) { return !barsShown(dump); }, 60)) << lastDump();
        expectShown(step + "-bars-hidden");
        ASSERT_TRUE(test::XvfbDisplay::coverAndUncover(window));
        expectShown(step + "-uncovered");
        // A click on the page brings the bars back; Back returns (the bars
        // brought back again should they have slid away meanwhile).
        showBars();
        ASSERT_TRUE(barsShown(lastDump())) << lastDump();
        expectShown(step + "-bars-shown");
        auto gone = [](const std::string& dump) { return dump.find("VKWebView") == std::string::npos; };
        for (int attempt = 0; attempt < 3 && !gone(lastDump()); ++attempt) {
            showBars();
            if (auto back = centreOf(lastDump(), "\"Back\""))
                click(*back);
            waitForDump(gone, 5);
        }
        ASSERT_TRUE(gone(lastDump())) << lastDump();
        expectShown(step + "-back");
    }

    static constexpr double MaximumShare = 0.03;
};

TEST_F(WindowShowsScreenTest, WebDocumentsThroughBarsCoverBackAndAPDF)
{
    std::string documents = pathInHome("home/Library/Documents");
    makeFile("home/Library/Documents/Page.html",
        "<html><head><title>Page</title><meta name='viewport' content='width=device-width'></head>"
        "<body style='margin:0;font-size:22px;background:#fff8e0'><h1>A page</h1>"
        "<p style='height:900px'>Words of the page, long enough to scroll.</p></body></html>");
    makeFile("home/Library/Documents/Letter.rtf", readFile(sourcePath("tests/fixtures/rtf/lo/styles.rtf")));
    std::filesystem::copy_file(sourcePath("tests/fixtures/pdf/writer.pdf"), documents + "/Manual.pdf");
    std::vector<std::pair<std::string, std::string>> kinds { { "\"Page\"", "html" }, { "\"Letter\"", "rtf" } };
    if (test::hasProgram("soffice")) {
        std::string profile
            = "-env:UserInstallation=file://" + pathInHome("maker-profile");
        std::string html = makeFile("src/Minutes.html",
            "<html><body><h1>Minutes</h1><p>The budget was approved without changes.</p></body></html>");
        std::string csv = makeFile("src/Sales.csv", "Region,Sales\nNorth,1200\nSouth,950\n");
        std::string slides = makeFile("src/Talk.fodp", R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:automatic-styles><style:page-layout style:name="PM1"><style:page-layout-properties fo:page-width="28cm" fo:page-height="21cm" style:print-orientation="landscape"/></style:page-layout></office:automatic-styles>
 <office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM1"/></office:master-styles>
 <office:body><office:presentation>
  <draw:page draw:name="one" draw:master-page-name="Default"><draw:frame svg:x="2cm" svg:y="3cm" svg:width="24cm" svg:height="5cm"><draw:text-box><text:p>A talk</text:p></draw:text-box></draw:frame></draw:page>
 </office:presentation></office:body>
</office:document>
)");
        for (auto [source, type, filter] : { std::tuple { html, "docx", "--infilter=HTML (StarWriter)" },
                 std::tuple { csv, "xlsx", "" }, std::tuple { slides, "pptx", "" } }) {
            std::vector<std::string> command { "soffice", "--headless", "--norestore", profile };
            if (*filter)
                command.push_back(filter);
            for (const char* part : { "--convert-to", type, "--outdir" })
                command.push_back(part);
            command.push_back(documents);
            command.push_back(source);
            test::runCommand(command);
        }
        for (auto [name, step] : { std::pair { "Minutes.docx", "docx" }, std::pair { "Sales.xlsx", "xlsx" },
                 std::pair { "Talk.pptx", "pptx" } })
            if (std::filesystem::exists(documents + "/" + name))
                kinds.emplace_back("\"" + std::string(name).substr(0, std::string(name).find('.')) + "\"", step);
    }

    // A tablet's window shows every row of the folder.
    start({ "-DeviceIdiom", "tablet" });
    ASSERT_FALSE(HasFatalFailure());
    auto ok = waitForView("\"OK\"");
    ASSERT_TRUE(ok) << lastDump();
    click(*ok);
    auto folder = waitForView("TableViewCell (0, 22, 768, 44) \"Documents\"");
    ASSERT_TRUE(folder) << lastDump();
    click(*folder);
    ASSERT_TRUE(waitForView("\"Welcome\"")) << lastDump();
    expectShown("list");
    for (const auto& [row, step] : kinds) {
        openAndReturn(row, step);
        if (HasFatalFailure())
            return;
    }
    auto pdf = waitForView("\"Manual\"");
    ASSERT_TRUE(pdf) << lastDump();
    click(*pdf);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("VKPDFPageView") != std::string::npos; }))
        << lastDump();
    expectShown("pdf");
}

} // namespace
