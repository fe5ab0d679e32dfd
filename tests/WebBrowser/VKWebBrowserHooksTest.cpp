// The browser's answers to the page's questions, on the recording engine:
// sign-ins and the authentication sheet, responses offered instead of shown
// (sheet 1002), the sheets of held links (1001) and images, and saving an
// image under its "alt" text's name.

#include "BrowserTestCase.h"

#include "Shell/Interface/VKActionSheet.h"
#include "Platform/Core/UTF8.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TextField.h"
#include "Platform/Web/WebError.h"
#include "WebBrowser/VKWebAuthenticationController.h"
#include "WebBrowser/VKBarButton.h"
#include "WebBrowser/VKWebBookmarksViewController.h"

namespace {

using Answer = web::AuthenticationChallenge::Answer;
using Disposition = web::AuthenticationChallenge::Disposition;
using AuthenticationCredential = web::AuthenticationChallenge::Credential;

class VKWebBrowserHooksTest : public test::BrowserTestCase {
protected:
    static web::AuthenticationChallenge::ProtectionSpace space(std::string host = "127.0.0.1")
    {
        return { std::move(host), 8080, "Tandry Test", "Basic", "http", false };
    }
    // The sheet on the screen: the top of the navigation controller the
    // deepest presented screen is.
    VKWebAuthenticationController* sheet()
    {
        ui::ViewController* deepest = navigation.get();
        while (deepest->modalViewController())
            deepest = deepest->modalViewController();
        auto* stack = dynamic_cast<ui::NavigationController*>(deepest);
        return stack ? dynamic_cast<VKWebAuthenticationController*>(stack->topViewController()) : nullptr;
    }
    std::vector<std::string> sheetButtons(const ui::ActionSheet& sheet)
    {
        std::vector<std::string> titles;
        for (int i = 0; i < sheet.numberOfButtons(); ++i)
            titles.push_back(sheet.buttonTitle(i));
        return titles;
    }
    // The sheet a long press on the page shows for `info`.
    std::shared_ptr<ui::ActionSheet> holdElement(web::ElementInfo info)
    {
        page().setElementInfo(std::move(info));
        driver.longPress(webView());
        runLoop();
        auto choices = driver.shownChoices();
        return choices.empty() ? nullptr : std::dynamic_pointer_cast<ui::ActionSheet>(choices.back());
    }
    // A response for `address` arriving while it loads.
    uint64_t respond(const std::string& address, const std::string& type, core::URLRequest request = {})
    {
        if (request.url().absoluteString().empty())
            request = core::URLRequest(url(address));
        browser->loadRequest(request);
        runLoop();
        core::HTTPURLResponse response(url(address), 200, { { "Content-Type", type } });
        uint64_t decision = page().receiveResponse(response, request, false);
        runLoop();
        return decision;
    }
};

TEST_F(VKWebBrowserHooksTest, TheSheetShowsTheHostEmptyFieldsAndTheWarningAndLogsInWithReturn)
{
    loadPage("http://127.0.0.1:8080/site/index.html", "Home");
    size_t index = page().challenge(space());
    runLoop();
    advance(1);
    auto* form = sheet();
    ASSERT_TRUE(form);
    EXPECT_FALSE(form->isLandscapeLayout());
    EXPECT_EQ(form->title(), "Secure Website");
    EXPECT_EQ(form->navigationItem().prompt(), "Log into 127.0.0.1");
    EXPECT_EQ(form->usernameField()->text(), "");
    EXPECT_EQ(form->passwordField()->text(), "");
    EXPECT_EQ(form->usernameField()->placeholder(), "Name");
    EXPECT_EQ(form->passwordField()->placeholder(), "Password");
    EXPECT_TRUE(form->passwordField()->isSecureTextEntry());
    EXPECT_FALSE(form->usernameField()->isSecureTextEntry());
    EXPECT_EQ(form->securityWarningLabel()->text(), "Password will be sent in the clear");
    EXPECT_EQ(form->view()->backgroundColor(), ui::StandardColors::groupTableViewBackground());
    // Upright: the fields one above the other, the warning under them.
    EXPECT_LT(form->usernameField()->frame().maxY(), form->passwordField()->frame().y());
    EXPECT_LE(form->passwordField()->frame().maxY(), form->securityWarningLabel()->frame().y());
    auto cancel = form->navigationItem().leftBarButtonItem();
    auto logIn = form->navigationItem().rightBarButtonItem();
    ASSERT_TRUE(cancel && logIn);
    EXPECT_EQ(cancel->systemItem(), ui::BarButtonItem::SystemItem::Cancel);
    EXPECT_EQ(logIn->title(), "Log In");
    EXPECT_EQ(logIn->style(), ui::BarButtonItem::Style::Done);
    EXPECT_TRUE(form->usernameField()->isFirstResponder());
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeLeft)) << "the sheet keeps the orientation it was made in";
    EXPECT_FALSE(page().challengeAnswer(index));

    driver.type("anna");
    driver.pressReturn();
    EXPECT_TRUE(form->passwordField()->isFirstResponder());
    driver.type("s3cret pass");
    driver.pressReturn();
    runLoop();
    advance(1);
    auto answer = page().challengeAnswer(index);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->disposition, Disposition::UseCredential);
    EXPECT_EQ(answer->credential.user, "anna");
    EXPECT_EQ(answer->credential.password, "s3cret pass");
    EXPECT_EQ(answer->persistence, web::AuthenticationChallenge::Persistence::ForSession);
    EXPECT_FALSE(navigation->modalViewController());
    EXPECT_FALSE(browser->authenticationControllerForTesting());
    for (const auto& line : logLines())
        EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
}

TEST_F(VKWebBrowserHooksTest, ASheetMadeOnItsSideShowsTheHostInItsTitleAndEmptyFieldsLogInAsTheyAre)
{
    window().setRootViewController(nullptr);
    navigation->setViewControllers({}, false);
    auto turning = std::make_shared<test::RotatingNavigation>();
    turning->setViewControllers({ browser }, false);
    turning->setNavigationBarHidden(true, false);
    window().setRootViewController(turning);
    navigation = turning;
    runLoop();
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    advance(1);
    // A host of markup, a line break and 500 characters shows as one line.
    std::string host = "<b>evil</b>\nhost" + std::string(500, 'h');
    size_t index = page().challenge(space(host), 1, AuthenticationCredential { "kept", "" });
    runLoop();
    advance(1);
    auto* form = sheet();
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->isLandscapeLayout());
    EXPECT_EQ(form->navigationItem().prompt(), "");
    EXPECT_EQ(form->title(), "Secure Website - <b>evil</b> host" + std::string(500, 'h'));
    EXPECT_EQ(form->usernameField()->text(), "kept");
    EXPECT_EQ(form->usernameField()->frame().y(), form->passwordField()->frame().y());
    EXPECT_TRUE(form->shouldAutorotate(ui::Orientation::LandscapeRight));
    EXPECT_FALSE(form->shouldAutorotate(ui::Orientation::LandscapeLeft));
    EXPECT_FALSE(form->shouldAutorotate(ui::Orientation::Portrait));
    driver.tap(*form->usernameField());
    driver.clear(*form->usernameField());
    driver.tap(*form->passwordField());
    driver.pressReturn();
    runLoop();
    advance(1);
    auto answer = page().challengeAnswer(index);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->disposition, Disposition::UseCredential);
    EXPECT_EQ(answer->credential, (AuthenticationCredential { "", "" }));
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
}

TEST_F(VKWebBrowserHooksTest, StoredCredentialsAnswerOnceAndTheSixthFailureGoesOnWithoutOne)
{
    loadPage("http://127.0.0.1:8080/site/index.html", "Home");
    size_t silent = page().challenge(space(), 0, AuthenticationCredential { "anna", "pw" });
    size_t failedOnce = page().challenge(space(), 1, AuthenticationCredential { "anna", "pw" });
    runLoop();
    auto answer = page().challengeAnswer(silent);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->disposition, Disposition::UseCredential);
    EXPECT_EQ(answer->credential, (AuthenticationCredential { "anna", "pw" }));
    EXPECT_FALSE(page().challengeAnswer(failedOnce));
    // After a refusal the sheet says so and asks for the password again.
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->usernameField()->text(), "anna");
    EXPECT_EQ(sheet()->passwordField()->text(), "");
    EXPECT_NE(sheet()->securityWarningLabel()->text().find("not accepted"), std::string::npos);
    EXPECT_EQ(driver.firstResponder(), sheet()->passwordField());
    driver.tapBarItem(*sheet()->navigationItem().leftBarButtonItem());
    runLoop();
    EXPECT_TRUE(browser->didCancelLoad());
    advance(1);
    ASSERT_TRUE(page().challengeAnswer(failedOnce));
    EXPECT_EQ(page().challengeAnswer(failedOnce)->disposition, Disposition::Cancel);
    EXPECT_FALSE(navigation->modalViewController());

    // A name without a password is no answer; the sixth failure ends it.
    size_t noPassword = page().challenge(space(), 0, AuthenticationCredential { "anna", "" });
    runLoop();
    EXPECT_TRUE(sheet());
    EXPECT_FALSE(page().challengeAnswer(noPassword));
    driver.tapBarItem(*sheet()->navigationItem().leftBarButtonItem());
    runLoop();
    advance(1);
    for (int count : { 6, 7 }) {
        size_t index = page().challenge(space(), count);
        runLoop();
        ASSERT_TRUE(page().challengeAnswer(index));
        EXPECT_EQ(page().challengeAnswer(index)->disposition, Disposition::ContinueWithoutCredential);
        EXPECT_FALSE(navigation->modalViewController());
    }
}

TEST_F(VKWebBrowserHooksTest, ADroppedChallengeEndsTheLoadQuietlyAndLaterAnswersGoNowhere)
{
    browser->loadRequest(core::URLRequest(url("http://127.0.0.1:8080/site/private/index.html")));
    runLoop();
    size_t index = page().challenge(space());
    runLoop();
    ASSERT_TRUE(sheet());
    page().cancelChallenge(index);
    runLoop();
    EXPECT_TRUE(browser->isLoadingEndPending());
    EXPECT_TRUE(driver.shownChoices().empty());
    driver.tapBarItem(*sheet()->navigationItem().rightBarButtonItem());
    runLoop();
    advance(1);
    EXPECT_FALSE(page().challengeAnswer(index));
    EXPECT_FALSE(navigation->modalViewController());

    // A hundred sheets shown and answered leave nothing alive.
    std::vector<std::weak_ptr<core::Object>> made;
    for (int i = 0; i < 100; ++i) {
        page().challenge(space(), 1);
        runLoop();
        ASSERT_TRUE(sheet());
        made.push_back(sheet()->shared_from_this());
        made.push_back(navigation->modalViewController()->shared_from_this());
        if (i % 2)
            sheet()->doLogIn();
        else
            sheet()->doCancel();
        runLoop();
        advance(0.5);
    }
    advance(2);
    for (const auto& controller : made)
        EXPECT_TRUE(controller.expired());
}

// Presenting from the browser while it presents the bookmarks would throw
// and leave the challenge unanswered: the sheet goes above the list, and
// only the sheet goes again.
TEST_F(VKWebBrowserHooksTest, ASignInWhileTheBookmarksShowPresentsAboveThemHalfASecondLater)
{
    loadPage("http://127.0.0.1:8080/site/index.html", "Home");
    browser->showBookmarksViewController();
    advance(1);
    auto* list = navigation->modalViewController();
    ASSERT_TRUE(list);
    size_t index = page().challenge(space());
    runLoop();
    EXPECT_FALSE(list->modalViewController());
    advance(0.4);
    EXPECT_FALSE(list->modalViewController());
    advance(0.2);
    ASSERT_TRUE(list->modalViewController());
    ASSERT_TRUE(sheet());
    driver.type("anna");
    driver.tapBarItem(*sheet()->navigationItem().rightBarButtonItem());
    runLoop();
    advance(1);
    ASSERT_TRUE(page().challengeAnswer(index));
    EXPECT_EQ(page().challengeAnswer(index)->credential.user, "anna");
    EXPECT_EQ(navigation->modalViewController(), list);
    EXPECT_FALSE(list->modalViewController());
}

// Challenges that come while a sheet is on its way or shown wait their
// turn: each gets its own sheet, in order, unless the sheet before stored
// the answer for its place.
TEST_F(VKWebBrowserHooksTest, ChallengesWhileASheetIsPendingWaitTheirTurnInOrder)
{
    loadPage("http://127.0.0.1:8080/site/index.html", "Home");
    browser->showBookmarksViewController();
    advance(1);
    auto* list = navigation->modalViewController();
    ASSERT_TRUE(list);
    auto other = space();
    other.realm = "Other Realm";
    size_t first = page().challenge(space());
    runLoop();
    advance(0.2);
    size_t second = page().challenge(other);
    size_t sameSpace = page().challenge(space());
    size_t dropped = page().challenge(other, 2);
    runLoop();
    page().cancelChallenge(dropped);
    runLoop();
    advance(0.35);
    // The first sheet comes when it was due, for the first challenge.
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->challenge()->protectionSpace(), space());
    advance(2);
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->challenge()->protectionSpace(), space());
    EXPECT_FALSE(page().challengeAnswer(first));
    EXPECT_FALSE(page().challengeAnswer(second));
    driver.type("anna");
    driver.pressReturn();
    driver.type("pw");
    driver.pressReturn();
    runLoop();
    ASSERT_TRUE(page().challengeAnswer(first));
    EXPECT_EQ(page().challengeAnswer(first)->credential, (AuthenticationCredential { "anna", "pw" }));
    // The same place is answered with what was just given, without a sheet.
    ASSERT_TRUE(page().challengeAnswer(sameSpace));
    EXPECT_EQ(page().challengeAnswer(sameSpace)->disposition, Disposition::UseCredential);
    EXPECT_EQ(page().challengeAnswer(sameSpace)->credential, (AuthenticationCredential { "anna", "pw" }));
    // The other place gets its sheet once the first has gone.
    EXPECT_FALSE(page().challengeAnswer(second));
    advance(0.6);
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->challenge()->protectionSpace(), other);
    EXPECT_EQ(sheet()->usernameField()->text(), "");
    EXPECT_EQ(navigation->modalViewController(), list);
    driver.tapBarItem(*sheet()->navigationItem().leftBarButtonItem());
    runLoop();
    advance(1);
    ASSERT_TRUE(page().challengeAnswer(second));
    EXPECT_EQ(page().challengeAnswer(second)->disposition, Disposition::Cancel);
    // The one the engine dropped while waiting never showed.
    EXPECT_FALSE(page().challengeAnswer(dropped));
    EXPECT_FALSE(sheet());
    EXPECT_EQ(navigation->modalViewController(), list);
    EXPECT_FALSE(list->modalViewController());
    EXPECT_FALSE(browser->authenticationControllerForTesting());
}

TEST_F(VKWebBrowserHooksTest, TheTypeOfAResponseAndWhatIsShown)
{
    auto type = [](const char* given, const char* address) {
        return VKWebBrowserController::effectiveMIMEType(given, url(address));
    };
    EXPECT_EQ(type("text/html", "http://h/site/report.pdf"), "application/pdf");
    EXPECT_EQ(type("text/html", "http://h/site/REPORT.PDF?x=1"), "application/pdf");
    EXPECT_EQ(type("text/html", "http://h/site/page.html"), "text/html");
    EXPECT_EQ(type("text/html", "http://h/site/a.unknownext"), "text/html");
    EXPECT_EQ(type("text/html", "http://h/site/dir.pdf/"), "application/pdf");
    EXPECT_EQ(type("text/html", "http://h/site/"), "text/html");
    EXPECT_EQ(type("text/plain", "http://h/site/a.html"), "text/plain");

    loadPage("http://127.0.0.1:8080/site/index.html", "Home");
    for (const char* shown : { "image/png", "image/jpg", "image/jpeg", "image/gif", "image/tiff", "application/xhtml+xml" }) {
        uint64_t decision = respond("http://127.0.0.1:8080/site/picture", shown);
        EXPECT_EQ(page().responseAnswer(decision), std::optional(true)) << shown;
        EXPECT_TRUE(driver.shownChoices().empty()) << shown;
        page().finishLoad("Picture");
        runLoop();
    }
    uint64_t page_ = respond("http://127.0.0.1:8080/site/page.html", "text/html");
    EXPECT_EQ(page().responseAnswer(page_), std::optional(true));
    page().finishLoad("Page");
    runLoop();

    // What the user chose to open is shown, whatever its type.
    core::URLRequest open(url("http://127.0.0.1:8080/site/notes.txt"));
    VKWebBrowserController::setMutableRequestIsOpen(open);
    uint64_t opened = respond("http://127.0.0.1:8080/site/notes.txt", "text/plain", open);
    EXPECT_EQ(page().responseAnswer(opened), std::optional(true));
    EXPECT_TRUE(driver.shownChoices().empty());
}

TEST_F(VKWebBrowserHooksTest, AnOfferedResponseIsIgnoredQuietlyAndOpensDownloadsOrCancels)
{
    loadPage("http://127.0.0.1:8080/site/index.html", "Home");
    core::URLRequest request(url("http://127.0.0.1:8080/site/report.pdf"));
    request.setHeader("Referer", "http://127.0.0.1:8080/site/index.html");
    request.setHeader("X-Kept", "yes");
    request.setProperty("kept", core::Value(7));
    uint64_t decision = respond("http://127.0.0.1:8080/site/report.pdf", "text/html; charset=utf-8", request);
    EXPECT_EQ(page().responseAnswer(decision), std::optional(false));
    auto offer = std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet());
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->tag(), VKWebBrowserController::MIMETypeSheetTag);
    EXPECT_EQ(offer->title(), "http://127.0.0.1:8080/site/report.pdf");
    EXPECT_EQ(sheetButtons(*offer), (std::vector<std::string> { "Open", "Download", "Cancel" }));
    EXPECT_EQ(offer->cancelButtonIndex(), 2);
    // The engine's failure of the ignored response (a later pass) tells nothing.
    runLoop();
    EXPECT_EQ(driver.shownChoices().size(), 1u) << "no \"Page load failed\" after an offer";
    EXPECT_FALSE(browser->didCancelLoad());
    EXPECT_EQ(bar().titleLabel().text(), "Home");

    // Cancel: a load end, the page keeps its title and its address.
    driver.pressSheetButton("Cancel");
    runLoop();
    EXPECT_TRUE(browser->isLoadingEndPending());
    EXPECT_EQ(bar().titleLabel().text(), "Home");
    ASSERT_TRUE(field().URL());
    EXPECT_EQ(field().URL()->absoluteString(), "http://127.0.0.1:8080/site/index.html");
    driver.tap(field());
    runLoop();
    EXPECT_EQ(field().text(), "http://127.0.0.1:8080/site/index.html");
    driver.tap(*bar().cancelButton());
    runLoop();
    EXPECT_EQ(field().URL()->absoluteString(), "http://127.0.0.1:8080/site/index.html");
    EXPECT_TRUE(downloads->requests.empty());
    advance(1.5);

    // Open: a copy marked open without its "Referer", loaded.
    respond("http://127.0.0.1:8080/site/report.pdf", "application/pdf", request);
    size_t loads = page().loads().size();
    driver.pressSheetButton("Open");
    runLoop();
    ASSERT_EQ(page().loads().size(), loads + 1);
    const auto& reloaded = page().loads().back().request;
    EXPECT_TRUE(VKWebBrowserController::isOpenRequest(reloaded));
    EXPECT_EQ(reloaded.header("Referer"), std::optional<std::string>(""));
    EXPECT_EQ(reloaded.header("X-Kept"), std::optional<std::string>("yes"));
    EXPECT_EQ(reloaded.property("kept"), core::Value(7));
    EXPECT_FALSE(VKWebBrowserController::isOpenRequest(request));
    page().finishLoad("report.pdf");
    advance(1.5);

    // Without a "Referer" none is added; Download hands the request over as it came.
    core::URLRequest plain(url("http://127.0.0.1:8080/site/archive.zip"));
    plain.setProperty("kept", core::Value(8));
    respond("http://127.0.0.1:8080/site/archive.zip", "application/zip", plain);
    driver.pressSheetButton("Download");
    runLoop();
    ASSERT_EQ(downloads->requests.size(), 1u);
    EXPECT_TRUE(downloads->requests[0] == plain);
    EXPECT_EQ(downloads->requests[0].property("kept"), core::Value(8));
    runLoop();
    EXPECT_EQ(field().URL()->absoluteString(), "http://127.0.0.1:8080/site/report.pdf") << "the page shown before";
    advance(1.5);
    respond("http://127.0.0.1:8080/site/archive.zip", "application/zip", plain);
    loads = page().loads().size();
    driver.pressSheetButton("Open");
    runLoop();
    ASSERT_EQ(page().loads().size(), loads + 1);
    EXPECT_FALSE(page().loads().back().request.header("Referer"));

    // An offer outside a load (a page's download link) leaves no cancelled
    // state behind for the next load's failure.
    page().finishLoad("archive.zip");
    advance(1.5);
    core::HTTPURLResponse zip(url("http://127.0.0.1:8080/site/archive.zip"), 200, { { "Content-Type", "application/zip" } });
    page().receiveResponse(zip, plain, false);
    runLoop();
    driver.pressSheetButton("Cancel");
    advance(1.5);
    browser->loadRequest(core::URLRequest(url("http://127.0.0.1:8080/site/next.html")));
    runLoop();
    page().failLoad(web::WebError::make(web::WebError::FrameLoadInterruptedByPolicyChange,
        url("http://127.0.0.1:8080/site/next.html")));
    runLoop();
    ASSERT_FALSE(driver.shownChoices().empty());
    EXPECT_EQ(driver.alert()->message(), "Page load failed");
}

// A hundred offers and a hundred link sheets, answered every way, leave no
// sheet, request or pending work alive.
TEST_F(VKWebBrowserHooksTest, AHundredOffersAndLinkSheetsLeaveNothingAlive)
{
    loadPage("http://127.0.0.1:8080/site/index.html", "Home");
    std::vector<std::weak_ptr<core::Object>> made;
    for (int i = 0; i < 100; ++i) {
        respond("http://127.0.0.1:8080/site/report.pdf", "application/pdf");
        auto offer = std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet());
        ASSERT_TRUE(offer);
        ASSERT_EQ(offer->tag(), VKWebBrowserController::MIMETypeSheetTag);
        made.push_back(offer);
        made.push_back(offer->userInfo().object());
        offer.reset();
        driver.pressSheetButton(i % 3 == 0 ? "Cancel" : i % 3 == 1 ? "Download" : "Open");
        runLoop();
        if (i % 3 == 2)
            page().finishLoad("Report");
        advance(1.5);
    }
    loadPage("http://127.0.0.1:8080/site/links.html", "Links");
    for (int i = 0; i < 100; ++i) {
        auto sheet = holdElement({ "http://127.0.0.1:8080/site/a" + std::to_string(i) + ".zip", "", "", {} });
        ASSERT_TRUE(sheet);
        ASSERT_EQ(sheet->tag(), VKWebBrowserController::LinkSheetTag);
        made.push_back(sheet);
        sheet.reset();
        driver.pressSheetButton(i % 3 == 0 ? "Cancel" : i % 3 == 1 ? "Download" : "Copy");
        runLoop();
        advance(0.5);
    }
    advance(2);
    EXPECT_TRUE(driver.shownChoices().empty());
    EXPECT_EQ(downloads->requests.size(), 33u + 33u);
    for (const auto& object : made)
        EXPECT_TRUE(object.expired());
}

TEST_F(VKWebBrowserHooksTest, AHeldLinkGetsDownloadWhenTheBrowserCanDownload)
{
    loadPage("http://127.0.0.1:8080/site/links.html", "Links");
    const std::string link = "http://127.0.0.1:8080/site/report.pdf";
    auto sheet = holdElement({ link, "", "", {} });
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), VKWebBrowserController::LinkSheetTag);
    EXPECT_EQ(sheet->title(), link);
    EXPECT_EQ(sheetButtons(*sheet), (std::vector<std::string> { "Open", "Copy", "Download", "Cancel" }));
    EXPECT_EQ(sheet->cancelButtonIndex(), 3);
    driver.pressSheetButton("Download");
    runLoop();
    ASSERT_EQ(downloads->requests.size(), 1u);
    EXPECT_EQ(downloads->requests[0].url().absoluteString(), link);
    EXPECT_FALSE(VKWebBrowserController::isOpenRequest(downloads->requests[0]));
    EXPECT_TRUE(driver.shownChoices().empty());

    size_t loads = page().loads().size();
    holdElement({ link, "", "", {} });
    driver.pressSheetButton("Open");
    runLoop();
    ASSERT_EQ(page().loads().size(), loads + 1);
    EXPECT_EQ(page().loads().back().request.url().absoluteString(), link);
    EXPECT_TRUE(VKWebBrowserController::isOpenRequest(page().loads().back().request));
    page().finishLoad("Report");
    advance(1.5);

    // Copy is the device's own: the link on the pasteboard, nothing downloads.
    holdElement({ "HTTP://127.0.0.1:8080/site/a.html", "", "", {} });
    EXPECT_EQ(driver.actionSheet()->tag(), VKWebBrowserController::LinkSheetTag) << "the scheme's case does not matter";
    driver.pressSheetButton("Copy");
    runLoop();
    EXPECT_EQ(ui::Pasteboard::general()->url()->absoluteString(), "HTTP://127.0.0.1:8080/site/a.html");
    EXPECT_EQ(downloads->requests.size(), 1u);

    // Right clicks in the window reach the same sheet.
    page().rightClick({ link, "", "", { 10, 100 } });
    runLoop();
    EXPECT_EQ(sheetButtons(*driver.actionSheet()), (std::vector<std::string> { "Open", "Copy", "Download", "Cancel" }));
    driver.pressSheetButton("Cancel");
    runLoop();
    EXPECT_EQ(downloads->requests.size(), 1u);
    EXPECT_EQ(page().loads().size(), loads + 1);
}

TEST_F(VKWebBrowserHooksTest, SheetsThatStayAsTheDeviceMadeThem)
{
    loadPage("http://127.0.0.1:8080/site/links.html", "Links");
    // A script link has no scheme of the form "name://".
    auto script = holdElement({ "javascript:void(0)", "", "", {} });
    ASSERT_TRUE(script);
    EXPECT_NE(script->tag(), VKWebBrowserController::LinkSheetTag);
    EXPECT_EQ(sheetButtons(*script), (std::vector<std::string> { "Open", "Copy", "Cancel" }));
    driver.pressSheetButton("Cancel");
    runLoop();

    // An image in a link: four buttons, no Download.
    auto linked = holdElement({ "http://127.0.0.1:8080/site/a.html", "http://127.0.0.1:8080/site/photo.jpg", "Linked.jpg", {} });
    ASSERT_TRUE(linked);
    EXPECT_EQ(sheetButtons(*linked), (std::vector<std::string> { "Open", "Copy", "Save Image", "Cancel" }));
    EXPECT_NE(linked->tag(), VKWebBrowserController::LinkSheetTag);
    driver.pressSheetButton("Save Image");
    runLoop();
    ASSERT_EQ(downloads->images.size(), 1u);
    EXPECT_EQ(downloads->images[0].first, "http://127.0.0.1:8080/site/photo.jpg");
    EXPECT_EQ(downloads->images[0].second, std::optional<std::string>("Linked.jpg"));

    // Without a download delegate, a link's sheet stays the device's.
    browser->setDownloadDelegate({});
    auto plain = holdElement({ "http://127.0.0.1:8080/site/a.html", "", "", {} });
    ASSERT_TRUE(plain);
    EXPECT_EQ(sheetButtons(*plain), (std::vector<std::string> { "Open", "Copy", "Cancel" }));
    size_t loads = page().loads().size();
    driver.pressSheetButton("Open");
    runLoop();
    ASSERT_EQ(page().loads().size(), loads + 1);
    EXPECT_FALSE(VKWebBrowserController::isOpenRequest(page().loads().back().request));
}

TEST_F(VKWebBrowserHooksTest, AHeldImageIsSavedUnderTheLastPartOfItsAltText)
{
    loadPage("http://127.0.0.1:8080/site/links.html", "Links");
    auto image = holdElement({ "", "http://127.0.0.1:8080/site/photo.jpg", "holiday/Sunset.jpg", {} });
    ASSERT_TRUE(image);
    EXPECT_EQ(image->title(), "");
    EXPECT_EQ(sheetButtons(*image), (std::vector<std::string> { "Save Image", "Copy", "Cancel" }));
    driver.pressSheetButton("Save Image");
    runLoop();
    ASSERT_EQ(downloads->images.size(), 1u);
    EXPECT_EQ(downloads->images[0].first, "http://127.0.0.1:8080/site/photo.jpg");
    EXPECT_EQ(downloads->images[0].second, std::optional<std::string>("Sunset.jpg"));

    // No alt text: no name; a data source passes as its text.
    holdElement({ "", "data:image/png;base64,iVBORw0KGgo=", "", {} });
    driver.pressSheetButton("Save Image");
    runLoop();
    ASSERT_EQ(downloads->images.size(), 2u);
    EXPECT_EQ(downloads->images[1].first, "data:image/png;base64,iVBORw0KGgo=");
    EXPECT_FALSE(downloads->images[1].second);

    // Only the first image counts.
    webView().saveImages({ { "", "http://h/one.png", "one.png", {} }, { "", "http://h/two.png", "two.png", {} } });
    ASSERT_EQ(downloads->images.size(), 3u);
    EXPECT_EQ(downloads->images[2].second, std::optional<std::string>("one.png"));

    EXPECT_EQ(VKWebBrowserView::suggestedImageName("../../x"), std::optional<std::string>("x"));
    EXPECT_EQ(VKWebBrowserView::suggestedImageName("a/b/"), std::optional<std::string>("b"));
    EXPECT_FALSE(VKWebBrowserView::suggestedImageName(""));
    EXPECT_FALSE(VKWebBrowserView::suggestedImageName("/"));
    std::string accents;
    for (int i = 0; i < 200; ++i)
        accents += "é";
    auto cut = VKWebBrowserView::suggestedImageName("dir/" + accents);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size(), 254u) << "cut at a character boundary at most 255 bytes long";
    EXPECT_TRUE(core::utf8::isValid(*cut));

    // A view whose image sheet is off offers none; a view without a
    // browser saves nothing.
    webView().setAllowsImageSheet(false);
    EXPECT_FALSE(holdElement({ "", "http://127.0.0.1:8080/site/photo.jpg", "x.jpg", {} }));
    auto other = VKWebBrowserView::create({ 0, 0, 100, 100 });
    other->saveImages({ { "", "http://h/one.png", "one.png", {} } });
    EXPECT_EQ(downloads->images.size(), 3u);
}

TEST_F(VKWebBrowserHooksTest, ALinkWithControlCharactersBecomesAURLOrIsRefused)
{
    loadPage("http://127.0.0.1:8080/site/links.html", "Links");
    const std::string link = "http://127.0.0.1:8080/site/a\n<b>.html\x01";
    auto sheet = holdElement({ link, "", "", {} });
    ASSERT_TRUE(sheet);
    driver.pressSheetButton("Download");
    runLoop();
    if (downloads->requests.empty()) {
        bool warned = false;
        for (const auto& line : logLines())
            warned = warned || line.starts_with("Warning, nil URL for download: ");
        EXPECT_TRUE(warned);
    } else {
        std::string address = downloads->requests[0].url().absoluteString();
        for (char c : address)
            EXPECT_GE(static_cast<unsigned char>(c), 0x20) << address;
    }
    EXPECT_TRUE(driver.shownChoices().empty());
}

} // namespace
