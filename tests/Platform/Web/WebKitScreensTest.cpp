// A web view on the test page (coloured blocks, a heading, a link, a
// paragraph) rendered at phone and tablet size in both orientations into
// build/screens/web/, with two goldens guarding the layout.

#include "WebKitTestCase.h"

#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ViewController.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebSnapshot.h"

#include "Support/GoldenImage.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class TurningController : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

class WebKitScreensTest : public test::WebKitTestCase {
protected:
    // The picture of `shown` once its snapshot is of its current size.
    std::unique_ptr<gfx::BitmapContext> freshPicture(web::WebView& shown)
    {
        auto& document = static_cast<web::WebDocumentView&>(shown.documentView());
        gfx::Size size = shown.bounds().size;
        bool fresh = waitFor([&] {
            auto snapshot = document.snapshot();
            return snapshot && snapshot->pixelWidth() == int(size.width * 2) && snapshot->pixelHeight() == int(size.height * 2);
        });
        EXPECT_TRUE(fresh) << "the picture is of an earlier size";
        // And one taken now, of the page as it is laid out at that size.
        bool taken = false;
        shown.updateSnapshot([&] { taken = true; });
        EXPECT_TRUE(waitFor([&] { return taken; }));
        runLoop();
        return ui::Renderer::renderImage(shown, ui::RenderOptions { 2, std::nullopt, true, {} });
    }
    void save(const gfx::BitmapContext& picture, const std::string& name)
    {
        std::string folder = sourcePath("build/screens/web");
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(picture.writePNG(folder + "/" + name + ".png"));
    }
};

TEST_F(WebKitScreensTest, TheTestPageAtPhoneAndTabletSizesInBothOrientations)
{
    view->removeFromSuperview();
    std::ifstream file(sourcePath("tests/fixtures/web/blocks.html"));
    std::stringstream text;
    text << file.rdbuf();
    std::string page = makeFile("Documents/blocks.html", text.str());

    struct Device {
        const char* name;
        gfx::Size size;
        const char* portraitGolden;
        const char* landscapeGolden;
    };
    for (const Device& device : { Device { "phone", { 320, 480 }, "web/phone-portrait", nullptr },
             Device { "tablet", { 768, 1024 }, nullptr, "web/tablet-landscape" } }) {
        SCOPED_TRACE(device.name);
        ui::Screen::main()->setBounds({ 0, 0, device.size.width, device.size.height });
        window().setFrame({ 0, 0, device.size.width, device.size.height });
        auto controller = std::make_shared<TurningController>();
        auto shown = web::WebView::create(controller->view()->bounds());
        shown->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        auto seen = std::make_shared<test::WebTestDelegate>();
        shown->setDelegate(seen);
        controller->view()->addSubview(shown);
        window().setRootViewController(controller);
        runLoop();
        shown->loadRequest(core::URLRequest(core::URL::fileURL(page)));
        ASSERT_TRUE(waitFor([&] { return seen->saw("didFinishLoad"); }));

        auto portrait = freshPicture(*shown);
        ASSERT_TRUE(portrait);
        save(*portrait, std::string(device.name) + "-portrait");
        if (device.portraitGolden) {
            EXPECT_TRUE(test::matchesGolden(*portrait, sourcePath(""), device.portraitGolden));
        }

        ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
        advance(1);
        EXPECT_EQ(shown->bounds().size.width, device.size.height);
        auto landscape = freshPicture(*shown);
        ASSERT_TRUE(landscape);
        save(*landscape, std::string(device.name) + "-landscape");
        if (device.landscapeGolden) {
            EXPECT_TRUE(test::matchesGolden(*landscape, sourcePath(""), device.landscapeGolden));
        }

        ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
        advance(1);
        window().setRootViewController(nullptr);
        runLoop();
    }
}

} // namespace
