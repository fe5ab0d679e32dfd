// A help page on the recording engine: what it loads, the two scripts with
// the server's addresses after each load, when the page shows, and where
// its links go.

#include "App/Help/VKHelpController.h"
#include "App/Help/VKHelpViewController.h"

#include "FileModel/VKFileResource.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/Web/RecordingWebEngine.h"
#include "Platform/Web/WebView.h"

#include "../FolderBrowser/FolderBrowserTestCase.h"

#include <fmt/format.h>

#include <filesystem>

namespace {

class VKHelpViewControllerTest : public test::FolderBrowserTestCase {
protected:
    void SetUp() override
    {
        FolderBrowserTestCase::SetUp();
        base = std::make_shared<ui::ViewController>();
        window().setRootViewController(base);
        root = VKHelpController::create();
        navigation = ui::NavigationController::create(root);
        base->presentModalViewController(navigation, false);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        root.reset();
        base.reset();
        FolderBrowserTestCase::TearDown();
    }

    // Opens the page as its row does.
    std::shared_ptr<VKHelpViewController> open(std::string_view name, const std::string& title)
    {
        auto page = VKHelpViewController::initWithHelpResource(VKHelpController::helpResourceNamed(name));
        page->setTitle(title);
        page->setServerState(delegate);
        navigation->pushViewController(page, false);
        runLoop();
        return page;
    }
    static web::RecordingWebPage& engine(VKHelpViewController& page) { return web::RecordingWebPage::of(*page.webView()); }
    std::string url(std::string_view page) const
    {
        return core::URL::fileURL(core::Bundle::main()->pathForResource(page, "html", "Help")).absoluteString();
    }

    std::shared_ptr<ui::ViewController> base;
    std::shared_ptr<VKHelpController> root;
    std::shared_ptr<ui::NavigationController> navigation;
};

TEST_F(VKHelpViewControllerTest, ThePageLoadsHiddenLearnsTheAddressesAndShowsAQuarterSecondLater)
{
    auto page = open("connecting_quickstart", "Quick Start");
    EXPECT_EQ(page->view()->backgroundColor(), gfx::Color::rgb255(0xd3, 0xdb, 0xe6));
    web::WebView* view = page->webView();
    ASSERT_TRUE(view);
    EXPECT_EQ(page->view()->subviews().front().get(), view);
    EXPECT_TRUE(view->isHidden());
    EXPECT_TRUE(view->scalesPageToFit());
    EXPECT_EQ(view->autoresizingMask(), ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    EXPECT_EQ(view->delegate().get(), static_cast<web::WebViewDelegate*>(page.get()));
    EXPECT_TRUE(application().isNetworkActivityIndicatorVisible());
    auto& recorder = engine(*page);
    ASSERT_EQ(recorder.loads().size(), 1u);
    EXPECT_EQ(recorder.loads()[0].request.url().absoluteString(), url("connecting_quickstart"));

    recorder.finishLoad("Quick Start");
    runLoop();
    EXPECT_FALSE(application().isNetworkActivityIndicatorVisible());
    EXPECT_EQ(recorder.scripts(),
        (std::vector<std::string> { "help.setTandryMetadata(\"com.kestrova.tandry\", true)",
            fmt::format("help.setTandryURL('http://{}', 'http://{}', '')", hostAddress(), announcedAddress()) }));
    // Nobody waits for the answers; the page shows 0.25 s later.
    EXPECT_EQ(recorder.unansweredScriptCount(), 2u);
    advance(0.24);
    EXPECT_TRUE(view->isHidden());
    advance(0.02);
    EXPECT_FALSE(view->isHidden());

    // Without an address: two empty ones and the note.
    server->setHostName("");
    view->reload();
    runLoop();
    recorder.finishLoad("Quick Start");
    runLoop();
    EXPECT_EQ(recorder.scripts().back(), "help.setTandryURL('', '', '(No WiFi Connection)')");
}

TEST_F(VKHelpViewControllerTest, TablesHandTheServerToTheTablesAndPagesTheyOpen)
{
    root->setServerState(delegate);
    driver.tapRow(root->tableView(), { 1, 0 });
    advance(1);
    auto* connecting = dynamic_cast<VKHelpController*>(navigation->topViewController());
    ASSERT_TRUE(connecting);
    driver.tapRow(connecting->tableView(), { 0, 0 });
    advance(1);
    auto* page = dynamic_cast<VKHelpViewController*>(navigation->topViewController());
    ASSERT_TRUE(page);
    engine(*page).finishLoad("General");
    runLoop();
    EXPECT_EQ(engine(*page).scripts().back(),
        fmt::format("help.setTandryURL('http://{}', 'http://{}', '')", hostAddress(), announcedAddress()));
}

TEST_F(VKHelpViewControllerTest, AFailedLoadLeavesTheBackgroundAndLeavingStopsTheLoad)
{
    auto page = open("general_quota", "Disk Quota");
    auto& recorder = engine(*page);
    recorder.failLoad(core::Error("NSURLErrorDomain", -1100, "The file does not exist"));
    runLoop();
    EXPECT_FALSE(application().isNetworkActivityIndicatorVisible());
    advance(1);
    EXPECT_TRUE(page->webView()->isHidden());
    EXPECT_TRUE(recorder.scripts().empty());
    EXPECT_TRUE(logContains("Warning, help page failed to load"));

    navigation->popViewController(false);
    runLoop();
    auto next = open("general_cloud", "Cloud Servers");
    EXPECT_TRUE(application().isNetworkActivityIndicatorVisible());
    auto& loading = engine(*next);
    navigation->popViewController(false);
    runLoop();
    EXPECT_EQ(loading.commands(), std::vector<std::string> { "stop" });
    EXPECT_FALSE(application().isNetworkActivityIndicatorVisible());
}

TEST_F(VKHelpViewControllerTest, LinksOpenPagesInPlaceMailAComposerAndSystemAddressesTheSystem)
{
    driver.setCanSendMail(true);
    auto page = open("connecting_quickstart", "Quick Start");
    auto& recorder = engine(*page);
    recorder.finishLoad("Quick Start");
    runLoop();

    // A page of the help: loads here and takes its title.
    auto decision = recorder.navigate(core::URLRequest(*core::URL::parse(url("connecting_browser"))),
        web::NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(recorder.navigationAnswer(decision), true);
    EXPECT_EQ(page->title(), "Web Interface");
    decision = recorder.navigate(core::URLRequest(*core::URL::parse(url("support_email"))), web::NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(page->title(), "Support");
    // An address the help does not know loads without a new title.
    decision = recorder.navigate(core::URLRequest(*core::URL::parse("https://tandry.example.org/faq/")),
        web::NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(recorder.navigationAnswer(decision), true);
    EXPECT_EQ(page->title(), "Support");

    // A system address: the system opens it (a bundle whose table names a
    // store host, with the help pages beside it).
    std::string bundle = makeFolder("App");
    std::filesystem::copy(core::Bundle::main()->bundlePath() + "/Help", bundle + "/Help",
        std::filesystem::copy_options::recursive);
    std::filesystem::copy(core::Bundle::main()->bundlePath() + "/Info.plist", bundle + "/Info.plist");
    ASSERT_TRUE(core::PropertyList::writeFile(bundle + "/VKRegisteredURLs.plist",
        core::Value::makeDictionary({ { "StoreHosts", core::Value::makeArray({ "apps.example.com" }) } }),
        core::PropertyList::Format::XML));
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(bundle));
    decision = recorder.navigate(core::URLRequest(*core::URL::parse("https://apps.example.com/tandry")),
        web::NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(recorder.navigationAnswer(decision), false);
    ASSERT_FALSE(driver.openedURLs().empty());
    EXPECT_EQ(driver.openedURLs().back().absoluteString(), "https://apps.example.com/tandry");
    decision = recorder.navigate(core::URLRequest(*core::URL::parse("tel:+15550100")), web::NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(recorder.navigationAnswer(decision), false);

    // Mail: a form sheet to the address, about the application.
    decision = recorder.navigate(core::URLRequest(*core::URL::parse("mailto:help@example.org?subject=Hi")),
        web::NavigationType::LinkClicked);
    advance(1);
    EXPECT_EQ(recorder.navigationAnswer(decision), false);
    auto composer = driver.mailComposer();
    EXPECT_EQ(composer->toRecipients(), std::vector<std::string> { "help@example.org" });
    EXPECT_EQ(composer->subject(), "Tandry Support");
    EXPECT_EQ(composer->modalPresentationStyle(), ui::ViewController::PresentationStyle::FormSheet);
    EXPECT_EQ(composer->mailComposeDelegate().get(), static_cast<ui::MailComposeControllerDelegate*>(page.get()));
    driver.finishMail(ui::MailComposeController::Failed);
    advance(1);
    EXPECT_EQ(driver.alert()->message(), "Send Failed");
    driver.pressAlertButton("OK");
    advance(1);
    EXPECT_FALSE(page->modalViewController());

    // A sent mail goes quietly.
    recorder.navigate(core::URLRequest(*core::URL::parse("mailto:help@example.org")), web::NavigationType::LinkClicked);
    advance(1);
    driver.finishMail(ui::MailComposeController::Sent);
    advance(1);
    EXPECT_TRUE(driver.shownChoices().empty());
    EXPECT_FALSE(page->modalViewController());
}

TEST_F(VKHelpViewControllerTest, ScriptValuesAreEscapedAsStringContents)
{
    EXPECT_EQ(VKHelpViewController::serverURLScript("http://a:1", ""), "help.setTandryURL('http://a:1', '', '')");
    EXPECT_EQ(VKHelpViewController::serverURLScript("", "http://b.local"),
        "help.setTandryURL('', '', '(No WiFi Connection)')");
    EXPECT_EQ(VKHelpViewController::serverURLScript("http://Bob's Tablet", "x</script>\\\n"),
        "help.setTandryURL('http://Bob\\'s Tablet', 'x<\\/script>\\\\\\n', '')");
    EXPECT_EQ(VKHelpViewController::metadataScript("a\"b"), "help.setTandryMetadata(\"a\\\"b\", true)");
}

} // namespace
