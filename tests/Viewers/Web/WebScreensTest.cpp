// The web-document viewer's screens on WebKit under Xvfb, at phone and
// tablet size both ways up, for a person to look at
// (build/screens/web_viewer/): an HTML page with the bars and back and
// forward, the word processor's "styles" RTF document, a converted text
// document and presentation, "Unsupported URL", "Preparing document..." and
// the alert that asks for LibreOffice; goldens of the RTF page and of
// "Unsupported URL" on the phone.

#include "WebViewerTestCase.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebSnapshot.h"
#include "Support/Command.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Support/XvfbDisplay.h"

#include <fmt/format.h>

#include <cstdlib>

namespace {

const char* guidePage = R"(<html><head><meta name="viewport" content="width=device-width"><title>Field Guide</title>
<style>body{font:17px sans-serif;margin:16px;color:#222} h1{font-size:26px;color:#234} a{color:#0645ad}</style></head>
<body><h1>Field Guide</h1><p>Birds of the coast, with notes on where and when to look for them.</p>
<p><a href="Second.html">Waders and shorebirds</a></p>
<p>Gulls gather where the river meets the sea; terns arrive in late spring and leave before the first storms.</p>
<p>Bring a notebook: the tide tables on the last page tell when the mudflats are open.</p></body></html>)";

class RotatingList : public ui::TableViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

class WebScreensTest : public test::WebViewerTestCase {
protected:
    void SetUp() override
    {
        WebViewerTestCase::SetUp();
        useWebKit();
        if (IsSkipped())
            return;
        auto list = std::make_shared<RotatingList>();
        list->setTitle("Files");
        navigation = VKNavigationController::create(list);
        navigation->setToolbarHidden(false);
        window().setRootViewController(navigation);
        core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureInfoShownKey, core::Value(true));
        runLoop();
    }

    // Waits for a picture of the page at the view's present size.
    void settle(VKWebViewController& viewer)
    {
        runLoop();
        auto* webView = viewer.webView();
        if (!webView)
            return;
        auto& document = static_cast<web::WebDocumentView&>(webView->documentView());
        float scale = ui::Screen::main()->scale();
        gfx::Size size = webView->bounds().size;
        EXPECT_TRUE(waitFor([&] {
            auto snapshot = document.snapshot();
            return snapshot && snapshot->pixelWidth() == int(size.width * scale)
                && snapshot->pixelHeight() == int(size.height * scale);
        }));
        bool taken = false;
        webView->updateSnapshot([&] { taken = true; });
        EXPECT_TRUE(waitFor([&] { return taken; }));
        runLoop();
    }

    void shoot(const std::string& name)
    {
        runLoop();
        std::string side = application().statusBarOrientation() == ui::Orientation::Portrait ? "portrait" : "landscape";
        test::saveScreen(driver, sourcePath("build/screens/web_viewer"), fmt::format("{}-{}-{}", name, m_device.name, side),
            m_device.scale);
    }

    void pop()
    {
        navigation->popToRootViewController(false);
        runLoop();
    }

    void makeDocuments()
    {
        makeFile("Documents/Second.html", "<html><body><p>Waders.</p></body></html>");
        makeFile("Documents/Guide.html", guidePage);
        makeFile("Files/styles.rtf", readFile(sourcePath("tests/fixtures/rtf/lo/styles.rtf")));
        makeFile("Files/Report.docx", "not really");
        m_office = VKWebDocumentConverter::isAvailable();
        if (!m_office)
            return;
        std::string profile = "-env:UserInstallation=" + core::URL::fileURL(pathInHome("maker-profile")).absoluteString();
        std::string html = makeFile("src/Minutes.html",
            "<html><body><h1>Minutes of the March Meeting</h1><p>Present: the whole board.</p>"
            "<h2>Budget</h2><p>The budget for the new reading room was approved without changes.</p>"
            "<ul><li>Shelving ordered</li><li>Lighting to be tested in April</li></ul></body></html>");
        EXPECT_EQ(test::runCommand({ "soffice", "--headless", "--norestore", profile, "--infilter=HTML (StarWriter)",
                                     "--convert-to", "docx", "--outdir", pathInHome("Files"), html })
                      .status,
            0);
        std::string slides = makeFile("src/Talk.fodp", R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:automatic-styles><style:page-layout style:name="PM1"><style:page-layout-properties fo:page-width="28cm" fo:page-height="21cm" style:print-orientation="landscape"/></style:page-layout></office:automatic-styles>
 <office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM1"/></office:master-styles>
 <office:body><office:presentation>
  <draw:page draw:name="one" draw:master-page-name="Default"><draw:frame svg:x="2cm" svg:y="3cm" svg:width="24cm" svg:height="5cm"><draw:text-box><text:p><text:span>Spring Outreach Plan</text:span></text:p></draw:text-box></draw:frame></draw:page>
  <draw:page draw:name="two" draw:master-page-name="Default"><draw:frame svg:x="2cm" svg:y="3cm" svg:width="24cm" svg:height="5cm"><draw:text-box><text:p>Three schools, two libraries, one festival</text:p></draw:text-box></draw:frame></draw:page>
  <draw:page draw:name="three" draw:master-page-name="Default"><draw:frame svg:x="2cm" svg:y="3cm" svg:width="24cm" svg:height="5cm"><draw:text-box><text:p>Questions</text:p></draw:text-box></draw:frame></draw:page>
 </office:presentation></office:body>
</office:document>
)");
        EXPECT_EQ(test::runCommand({ "soffice", "--headless", "--norestore", profile, "--convert-to", "pptx", "--outdir",
                                     pathInHome("Files"), slides })
                      .status,
            0);
    }

    void shootAll(const test::DeviceScreen& device);

    test::DeviceScreen m_device = test::phoneScreen;
    bool m_office = false;
};

void WebScreensTest::shootAll(const test::DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    m_device = device;
    test::useDeviceScreen(window(), device);
    runLoop();
    makeDocuments();
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        auto viewer = openLoaded(pathInHome("Documents/Guide.html"));
        viewer->setUIHidden(false, false);
        settle(*viewer);
        shoot("html");
        // Ctrl+plus three times: the page's text grows as a pinch makes it.
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(driver.key(ui::KeyCommand::ZoomIn));
        settle(*viewer);
        shoot("html-zoomed");
        driver.key(ui::KeyCommand::ZoomReset);

        // A link to a file outside the allowed folders.
        viewer->shouldStartLoad(*viewer->webView(), core::URLRequest(core::URL::fileURL(pathInHome("Files/styles.rtf"))),
            web::NavigationType::LinkClicked);
        runLoop();
        shoot("unsupported-url");
        driver.pressAlertButton("Dismiss");
        runLoop();

        ui::PrintInteractionController::setPrintingAvailable(true);
        viewer->printFile(nullptr);
        runLoop();
        shoot("preparing");
        driver.pressAlertButton("Cancel");
        ui::PrintInteractionController::setPrintingAvailable(false);
        runLoop();
        pop();

        viewer = openLoaded(pathInHome("Files/styles.rtf"));
        viewer->setUIHidden(false, false);
        settle(*viewer);
        shoot("rtf");
        pop();

        if (m_office) {
            viewer = openLoaded(pathInHome("Files/Minutes.docx"));
            settle(*viewer);
            shoot("docx");
            pop();
            viewer = openLoaded(pathInHome("Files/Talk.pptx"));
            settle(*viewer);
            shoot("slides");
            pop();
        }

        ::setenv("PATH", pathInHome("no-bin").c_str(), 1);
        viewer = openPath(pathInHome("Files/Report.docx"));
        runLoop();
        shoot("no-office");
        driver.pressAlertButton("OK");
        ::setenv("PATH", originalPath.c_str(), 1);
        pop();
    }
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

TEST_F(WebScreensTest, Phone)
{
    shootAll(test::phoneScreen);
}

TEST_F(WebScreensTest, Tablet)
{
    shootAll(test::tabletScreen);
}

// In the deterministic text engine, against goldens.
TEST_F(WebScreensTest, Goldens)
{
    test::useDeviceScreen(window(), test::phoneScreen);
    runLoop();
    auto expectGolden = [&](const std::string& name) {
        runLoop();
        auto picture = ui::Renderer::renderScreenImage();
        ASSERT_TRUE(picture);
        EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), name));
    };
    makeFile("Files/styles.rtf", readFile(sourcePath("tests/fixtures/rtf/lo/styles.rtf")));
    auto viewer = openLoaded(pathInHome("Files/styles.rtf"));
    viewer->setUIHidden(false, false);
    settle(*viewer);
    expectGolden("web_viewer/rtf-phone-portrait");
    viewer->shouldStartLoad(*viewer->webView(), core::URLRequest(core::URL::fileURL(pathInHome("Elsewhere/notes.html"))),
        web::NavigationType::LinkClicked);
    runLoop();
    expectGolden("web_viewer/unsupported-url-phone-portrait");
    driver.pressAlertButton("Dismiss");
    pop();
}

} // namespace
