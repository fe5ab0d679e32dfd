// Office documents in the web viewer: a stand-in "soffice" on PATH records
// its arguments and writes, fails, writes nothing or hangs on cue; without
// one the viewer says what to install; real LibreOffice converts a text
// document, a spreadsheet and a presentation.

#include "WebViewerTestCase.h"

#include "Kit/VKFunctions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Support/Command.h"
#include "Support/PdfBuilder.h"

#include <fmt/format.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

const char* fakeOffice = R"(#!/bin/sh
home='@HOME@'
printf '%s\0' "$@" > "$home/soffice-args"
prev=
for a in "$@"; do
    case "$prev" in --convert-to) format=$a ;; --outdir) out=$a ;; esac
    prev=$a
    file=$a
done
mode=$(cat "$home/soffice-mode" 2>/dev/null)
case "$mode" in
    hang) sleep 1000 & echo $! > "$home/soffice-child"; wait; exit 0 ;;
    fail) echo broken; exit 3 ;;
    nothing) exit 0 ;;
esac
name=$(basename "$file")
stem=${name%.*}
if [ "$format" = pdf ]; then cp "$home/slides.pdf" "$out/$stem.pdf"; else printf '<p>converted %s</p>' "$name" > "$out/$stem.html"; fi
)";

class VKWebDocumentConverterTest : public test::WebViewerTestCase {
protected:
    void TearDown() override
    {
        WebViewerTestCase::TearDown();
        VKWebDocumentConverter::setTimeOutForTesting(0);
    }

    // The stand-in first on PATH, doing `mode` ("" writes the output).
    void installFakeOffice(std::string mode = {})
    {
        std::string script = fakeOffice;
        script.replace(script.find("@HOME@"), 6, home());
        std::string file = makeFile("bin/soffice", script);
        ::chmod(file.c_str(), 0755);
        makeFile("soffice-mode", mode);
        ::setenv("PATH", (pathInHome("bin") + ":" + originalPath).c_str(), 1);
    }

    // PATH without any soffice.
    void hideOffice() { ::setenv("PATH", pathInHome("empty-bin").c_str(), 1); }

    std::vector<std::string> recordedArguments()
    {
        std::string raw = readFile(pathInHome("soffice-args"));
        std::vector<std::string> words;
        size_t begin = 0;
        for (size_t end; (end = raw.find('\0', begin)) != std::string::npos; begin = end + 1)
            words.push_back(raw.substr(begin, end - begin));
        return words;
    }

    // What the temporary folder holds besides the office profile.
    std::vector<std::string> temporaryItems()
    {
        std::vector<std::string> items;
        if (!std::filesystem::exists(VKTemporaryDirectory()))
            return items;
        for (const auto& entry : std::filesystem::directory_iterator(VKTemporaryDirectory()))
            if (entry.path().filename() != "LibreOfficeProfile" && entry.path().filename() != "WebKit")
                items.push_back(entry.path().filename().string());
        return items;
    }
};

TEST_F(VKWebDocumentConverterTest, ATextDocumentIsConvertedAndItsOutputLoadsAndGoes)
{
    installFakeOffice();
    std::string name = "a'b $(x)\nq.docx";
    std::string output;
    {
        auto viewer = openFile(name, "PK fake");
        ASSERT_TRUE(viewer->activityIndicator());
        ASSERT_TRUE(waitUntil([&] { return !viewer->isConverting(); }));
        output = viewer->conversionOutputPath();
        ASSERT_FALSE(output.empty());
        std::string folder = core::path::deletingLastPathComponent(output);
        EXPECT_TRUE(core::path::lastPathComponent(folder).ends_with("-" + name));
        EXPECT_EQ(core::path::lastPathComponent(output), "a'b $(x)\nq.html");

        auto arguments = recordedArguments();
        std::vector<std::string> expected { "--headless", "--norestore", "--nologo", "--nolockcheck",
            "-env:UserInstallation=" + core::URL::fileURL(VKTemporaryDirectory() + "LibreOfficeProfile").absoluteString(),
            "--convert-to", "html", "--outdir", folder + "/", viewer->resource()->path() };
        EXPECT_EQ(arguments, expected);

        auto loads = page(*viewer->webView()).loads();
        ASSERT_EQ(loads.size(), 1u);
        EXPECT_EQ(loads[0].request.url(), core::URL::fileURL(output));
        // It is the document itself for the link policy, and e-mail keeps
        // the original.
        EXPECT_EQ(page(*viewer->webView()).navigationAnswer(page(*viewer->webView()).lastNavigation()), true);
        finishFirstLoad(*viewer);
        EXPECT_TRUE(viewer->contentDidLoad());
        EXPECT_FALSE(alertShown());
        navigation->popViewController(false);
        runLoop();
    }
    runLoop();
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_TRUE(temporaryItems().empty());
}

TEST_F(VKWebDocumentConverterTest, WithoutTheConverterTheViewerSaysWhatToInstall)
{
    hideOffice();
    auto viewer = openFile("Report.docx", "PK fake");
    ASSERT_TRUE(alertShown());
    EXPECT_EQ(driver.alert()->title(), "Unable to display \"Report.docx\"");
    EXPECT_EQ(driver.alert()->message(),
        "This kind of document is shown after conversion by LibreOffice, which is not installed.");
    EXPECT_FALSE(viewer->contentView());
    EXPECT_FALSE(viewer->contentIsLoading());
    for (const char* action : { VKViewController::ShowDocumentActionSheetAction, VKViewController::DeleteItemAction })
        if (auto item = viewer->findBarButtonItemWithAction(action)) {
            EXPECT_TRUE(item->isEnabled()) << action;
        }
    driver.pressAlertButton("OK");
}

TEST_F(VKWebDocumentConverterTest, FailuresTimeOutsAndEmptyOutputShowTheAlert)
{
    VKWebDocumentConverter::setTimeOutForTesting(0.3);
    for (std::string mode : { "fail", "nothing", "hang" }) {
        installFakeOffice(mode);
        auto viewer = openFile("Sheet-" + mode + ".xlsx", "PK fake");
        ASSERT_TRUE(waitUntil([&] { return alertShown(); })) << mode;
        EXPECT_EQ(driver.alert()->message(), "Unable to display \"Sheet-" + mode + ".xlsx\"") << mode;
        EXPECT_FALSE(viewer->contentView());
        driver.pressAlertButton(0);
        EXPECT_TRUE(logContains("Warning, document conversion failed:")) << mode;
        navigation->popViewController(false);
        runLoop();
        EXPECT_TRUE(temporaryItems().empty()) << mode;
    }
    // The hanging stand-in's own child went with it.
    pid_t child = std::stoi(readFile(pathInHome("soffice-child")));
    EXPECT_TRUE(waitUntil([&] { return !std::filesystem::exists("/proc/" + std::to_string(child) + "/cmdline")
                                     || readFile("/proc/" + std::to_string(child) + "/cmdline").empty(); }));
}

TEST_F(VKWebDocumentConverterTest, APoppedViewerKillsItsConversionAndLeavesNothing)
{
    installFakeOffice("hang");
    std::weak_ptr<VKWebViewController> weak;
    {
        auto viewer = openFile("Long.odt", "PK fake");
        weak = viewer;
        ASSERT_TRUE(waitUntil([&] { return !readFile(pathInHome("soffice-child")).empty(); }));
        navigation->popViewController(false);
        runLoop();
    }
    ASSERT_TRUE(waitForWorkers());
    runLoop();
    runLoop();
    EXPECT_FALSE(weak.lock());
    EXPECT_FALSE(alertShown());
    EXPECT_TRUE(temporaryItems().empty());
}

TEST_F(VKWebDocumentConverterTest, PresentationsBecomeAPageOfSlidePictures)
{
    installFakeOffice();
    test::PdfBuilder pdf;
    for (int i = 0; i < 3; ++i)
        pdf.addPage("0 0 1 rg 0 0 400 300 re f", "/MediaBox [0 0 800 600]");
    pdf.write(pathInHome("slides.pdf"));
    auto viewer = openFile("Talk.pptx", "PK fake");
    ASSERT_TRUE(waitUntil([&] { return !viewer->isConverting(); }));
    std::string output = viewer->conversionOutputPath();
    ASSERT_EQ(core::path::lastPathComponent(output), "slides.html");
    std::string html = readFile(output);
    std::string folder = core::path::deletingLastPathComponent(output);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_NE(html.find(fmt::format("<img src=\"slide-{:03}.png\" alt=\"Slide {}\">", i, i)), std::string::npos);
        EXPECT_TRUE(std::filesystem::exists(folder + fmt::format("/slide-{:03}.png", i)));
    }
    EXPECT_EQ(recordedArguments()[6], "pdf");
    EXPECT_EQ(html.find("more slides"), std::string::npos);
}

TEST_F(VKWebDocumentConverterTest, APackageIsZippedThenConvertedFromItsContents)
{
    installFakeOffice();
    makeFolder("Files/Essay.pages");
    makeFile("Files/Essay.pages/Index/Document.iwa", "data");
    driver.setCanSendMail(true);
    auto viewer = openPath(pathInHome("Files/Essay.pages"));
    ASSERT_TRUE(waitUntil([&] { return viewer->tempResource() && !viewer->isConverting(); }));
    auto arguments = recordedArguments();
    ASSERT_FALSE(arguments.empty());
    std::string input = arguments.back();
    EXPECT_EQ(core::path::lastPathComponent(input), "Essay.pages");
    EXPECT_FALSE(std::filesystem::is_directory(input));
    // The second zip holds the contents at its root.
    EXPECT_EQ(readFile(input).substr(0, 2), "PK");
    EXPECT_NE(readFile(input).find("Index/Document.iwa"), std::string::npos);
    EXPECT_NE(readFile(input).find("Essay.pages/Index"), 0u);
    EXPECT_EQ(readFile(input).find("Essay.pages/"), std::string::npos);
    EXPECT_EQ(core::path::lastPathComponent(viewer->conversionOutputPath()), "Essay.html");
    navigation->popViewController(false);
    runLoop();

    // A plain file of that kind converts as it is.
    viewer = openFile("Plain.pages", "IWA");
    ASSERT_TRUE(waitUntil([&] { return !viewer->isConverting(); }));
    EXPECT_FALSE(viewer->tempResource());
    EXPECT_EQ(recordedArguments().back(), viewer->resource()->path());
}

} // namespace

namespace {

class RealOfficeConversionTest : public test::WebViewerTestCase {
protected:
    // Makes `target` from `source` with the office suite itself, on a
    // profile of its own.
    void make(const std::string& source, const std::string& format, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments { "soffice", "--headless", "--norestore", "--nologo", "--nolockcheck",
            "-env:UserInstallation=" + core::URL::fileURL(pathInHome("maker-profile")).absoluteString() };
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        for (std::string word : { std::string("--convert-to"), format, std::string("--outdir"), pathInHome("Files") + "/", source })
            arguments.push_back(word);
        ASSERT_EQ(test::runCommand(arguments).status, 0);
    }

    std::string convertedText(const std::string& name)
    {
        auto viewer = openPath(pathInHome("Files/" + name));
        EXPECT_TRUE(waitUntil([&] { return !viewer->isConverting(); }));
        std::string output = viewer->conversionOutputPath();
        EXPECT_FALSE(output.empty()) << name;
        // The page's text: tags dropped, white space collapsed.
        std::string text;
        bool inTag = false;
        for (char c : readFile(output)) {
            if (c == '<')
                inTag = true;
            else if (c == '>')
                inTag = false, c = ' ';
            if (inTag)
                continue;
            if (std::isspace(static_cast<unsigned char>(c))) {
                if (!text.empty() && text.back() != ' ')
                    text += ' ';
            } else {
                text += c;
            }
        }
        m_folders.push_back(core::path::deletingLastPathComponent(output));
        m_viewers.push_back(viewer);
        return text;
    }

    void TearDown() override
    {
        m_viewers.clear();
        WebViewerTestCase::TearDown();
    }

    std::vector<std::string> m_folders;
    std::vector<std::shared_ptr<VKWebViewController>> m_viewers;
};

TEST_F(RealOfficeConversionTest, TextSpreadsheetAndPresentationConvert)
{
    if (!VKWebDocumentConverter::isAvailable())
        GTEST_SKIP() << "LibreOffice is not installed";
    std::string html = makeFile("src/report.html",
        "<html><body><h1>Quarterly Report</h1><p>Revenue grew by twelve percent.</p></body></html>");
    make(html, "docx", { "--infilter=HTML (StarWriter)" });
    make(makeFile("src/sales.csv", "Region,Sales\nNorth,1200\nSouth,950\n"), "xlsx");
    make(makeFile("src/talk.fodp", R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:automatic-styles><style:page-layout style:name="PM1"><style:page-layout-properties fo:page-width="28cm" fo:page-height="21cm" style:print-orientation="landscape"/></style:page-layout></office:automatic-styles>
 <office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM1"/></office:master-styles>
 <office:body><office:presentation>
  <draw:page draw:name="one" draw:master-page-name="Default"><draw:frame svg:x="2cm" svg:y="2cm" svg:width="24cm" svg:height="4cm"><draw:text-box><text:p>Opening slide of the talk</text:p></draw:text-box></draw:frame></draw:page>
  <draw:page draw:name="two" draw:master-page-name="Default"><draw:frame svg:x="2cm" svg:y="2cm" svg:width="24cm" svg:height="4cm"><draw:text-box><text:p>Closing slide of the talk</text:p></draw:text-box></draw:frame></draw:page>
 </office:presentation></office:body>
</office:document>
)"),
        "pptx");

    EXPECT_NE(convertedText("report.docx").find("Revenue grew by twelve percent."), std::string::npos);
    std::string sheet = convertedText("sales.xlsx");
    EXPECT_NE(sheet.find("North"), std::string::npos);
    EXPECT_NE(sheet.find("1200"), std::string::npos);
    convertedText("talk.pptx");
    auto info = test::runCommand({ "pdfinfo", m_folders.back() + "/talk.pdf" });
    ASSERT_EQ(info.status, 0);
    int pages = std::stoi(info.output.substr(info.output.find("Pages:") + 6));
    EXPECT_EQ(pages, 2);
    for (int i = 1; i <= pages; ++i)
        EXPECT_TRUE(std::filesystem::exists(m_folders.back() + fmt::format("/slide-{:03}.png", i)));
    EXPECT_FALSE(std::filesystem::exists(m_folders.back() + fmt::format("/slide-{:03}.png", pages + 1)));
    EXPECT_NE(readFile(m_folders.back() + "/slides.html").find("alt=\"Slide 2\""), std::string::npos);
}

TEST_F(RealOfficeConversionTest, AFileTheSuiteCannotLoadEndsInTheAlert)
{
    if (!VKWebDocumentConverter::isAvailable())
        GTEST_SKIP() << "LibreOffice is not installed";
    // A zip's signature and nothing of a workbook after it.
    auto viewer = openFile("Broken.xlsx", std::string("PK\x03\x04", 4) + "not a workbook at all");
    ASSERT_TRUE(waitFor([&] { return alertShown(); }, 120));
    EXPECT_EQ(driver.alert()->message(), "Unable to display \"Broken.xlsx\"");
    EXPECT_FALSE(viewer->isConverting());
    driver.pressAlertButton(0);
}

} // namespace
