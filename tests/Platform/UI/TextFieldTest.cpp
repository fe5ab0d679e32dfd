#include "Support/UITestCase.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/RecordingTextEngine.h"

#include <filesystem>

namespace {

using test::UITestCase;

struct FieldDelegate : ui::TextFieldDelegate {
    std::vector<std::string>* log = nullptr;
    bool digitsOnly = false;
    bool allowClear = true;
    int changes = 0;
    bool shouldBeginEditing(ui::TextField&) override
    {
        log->push_back("should-begin");
        return true;
    }
    void didBeginEditing(ui::TextField& field) override
    {
        log->push_back(field.isFirstResponder() ? "did-begin (first responder)" : "did-begin");
    }
    bool shouldChangeCharacters(ui::TextField&, core::Range, std::string_view replacement) override
    {
        ++changes;
        if (!digitsOnly)
            return true;
        return std::all_of(replacement.begin(), replacement.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    bool shouldReturn(ui::TextField&) override
    {
        log->push_back("should-return");
        return true;
    }
    bool shouldClear(ui::TextField&) override
    {
        log->push_back("should-clear");
        return allowClear;
    }
};

class TextFieldTest : public UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        field = ui::TextField::create({ 10, 100, 300, 31 });
        other = ui::TextField::create({ 10, 150, 300, 31 });
        window().addSubview(field);
        window().addSubview(other);
        delegate->log = &log;
        field->setDelegate(delegate);
        field->addTarget(nullptr, "changed", [this](ui::Control&, const ui::Event*) { log.push_back("editing changed"); },
            ui::Control::EditingChanged);
        field->addTarget(nullptr, "exit", [this](ui::Control&, const ui::Event*) { log.push_back("ended on exit"); },
            ui::Control::EditingDidEndOnExit);
        for (auto name : { ui::Keyboard::willShowNotification, ui::Keyboard::didShowNotification,
                 ui::Keyboard::willHideNotification, ui::Keyboard::didHideNotification })
            observations.push_back(core::NotificationCenter::defaultCenter().observe(name, nullptr,
                [this](const ui::Keyboard::Change& change, const core::Notification& n) {
                    log.push_back(n.name());
                    last = change;
                }));
    }
    void TearDown() override
    {
        observations.clear();
        field->removeFromSuperview();
        other->removeFromSuperview();
        field.reset();
        other.reset();
        UITestCase::TearDown();
    }
    std::shared_ptr<ui::TextField> field, other;
    std::shared_ptr<FieldDelegate> delegate = std::make_shared<FieldDelegate>();
    std::vector<std::string> log;
    ui::Keyboard::Change last;
    std::vector<core::Observation> observations;
};

TEST_F(TextFieldTest, FocusRaisesTheKeyboard)
{
    driver.tap(*field);
    EXPECT_EQ(log, (std::vector<std::string> { "should-begin", "did-begin (first responder)", ui::Keyboard::willShowNotification.name }));
    EXPECT_EQ(driver.firstResponder(), field.get());
    EXPECT_TRUE(driver.keyboardVisible());
    EXPECT_EQ(last.frameEnd, (gfx::Rect { 0, 264, 320, 216 }));
    EXPECT_EQ(last.animationDuration, 0.3);
    EXPECT_EQ(last.animationCurve, 0);
    advance(0.29);
    EXPECT_EQ(log.back(), ui::Keyboard::willShowNotification.name);
    advance(0.01);
    EXPECT_EQ(log.back(), ui::Keyboard::didShowNotification.name);

    log.clear();
    driver.tap(*other); // focus moves: no hide
    EXPECT_EQ(log, (std::vector<std::string> { ui::Keyboard::willShowNotification.name, ui::Keyboard::didShowNotification.name }));
    EXPECT_EQ(last.animationDuration, 0);

    log.clear();
    other->resignFirstResponder();
    EXPECT_EQ(log, (std::vector<std::string> { ui::Keyboard::willHideNotification.name }));
    advance(0.3);
    EXPECT_EQ(log.back(), ui::Keyboard::didHideNotification.name);
    EXPECT_FALSE(driver.keyboardVisible());
}

TEST_F(TextFieldTest, TypingPastingDeletingAskTheDelegate)
{
    driver.tap(*field);
    log.clear();
    delegate->digitsOnly = true;
    driver.type("12ab");
    EXPECT_EQ(field->text(), "12");
    EXPECT_EQ(log, (std::vector<std::string> { "editing changed", "editing changed" }));

    delegate->digitsOnly = false;
    delegate->changes = 0;
    driver.paste("3é");
    EXPECT_EQ(delegate->changes, 1);
    EXPECT_EQ(field->text(), "123é");
    driver.deleteBackward();
    EXPECT_EQ(field->text(), "123");
    field->setSelectedRange({ 1, 1 });
    driver.deleteBackward();
    EXPECT_EQ(field->text(), "13");

    log.clear();
    driver.pressReturn();
    EXPECT_EQ(log, (std::vector<std::string> { "should-return", "ended on exit" }));
    EXPECT_EQ(driver.firstResponder(), field.get());
}

TEST_F(TextFieldTest, ClearButtonAsksThenEmpties)
{
    field->setClearButtonMode(ui::TextField::ViewMode::WhileEditing);
    driver.tap(*field);
    driver.type("abc");
    log.clear();
    delegate->allowClear = false;
    driver.clear(*field);
    EXPECT_EQ(field->text(), "abc");
    delegate->allowClear = true;
    driver.clear(*field);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(log, (std::vector<std::string> { "should-clear", "should-clear", "editing changed" }));
    EXPECT_THROW(driver.clear(*field), core::Exception); // nothing to clear: no button

    // Leaving the field takes the drawn button away at once.
    driver.type("d");
    ASSERT_TRUE(ui::Renderer::renderImage(*field));
    ASSERT_TRUE(field->isClearButtonVisible());
    field->resignFirstResponder();
    EXPECT_FALSE(field->isClearButtonVisible());
    EXPECT_TRUE(field->needsDisplay());
}

// A password is drawn and dumped as bullets; the key typed last shows for
// a second while editing; it never reaches the pasteboard.
TEST_F(TextFieldTest, SecureTextShowsBulletsAndStaysOffThePasteboard)
{
    auto engine = std::make_shared<test::RecordingTextEngine>();
    gfx::setTextEngine(engine);
    auto render = [&] {
        engine->lines.clear();
        std::string path = pathInHome("screen.png");
        EXPECT_TRUE(driver.screenshot(path));
        EXPECT_TRUE(std::filesystem::file_size(path) > 0);
        return engine->texts();
    };
    using Lines = std::vector<std::string>;
    field->setSecureTextEntry(true);
    driver.tap(*field);
    driver.type("s3cr\u00e9t");
    EXPECT_EQ(field->text(), "s3cr\u00e9t");
    EXPECT_EQ(render(), (Lines { "\u2022\u2022\u2022\u2022\u2022t" }));
    EXPECT_NE(driver.dump().find("\u2022\u2022\u2022\u2022\u2022\u2022"), std::string::npos);
    EXPECT_EQ(driver.dump().find("s3cr"), std::string::npos);
    advance(0.9);
    EXPECT_EQ(field->displayedText(), "\u2022\u2022\u2022\u2022\u2022t");
    advance(0.1);
    EXPECT_EQ(render(), (Lines { "\u2022\u2022\u2022\u2022\u2022\u2022" }));

    // A later key takes the moment over; deleting and pasting show nothing.
    driver.type("x");
    advance(0.5);
    driver.type("y");
    advance(0.6);
    EXPECT_EQ(field->displayedText(), "\u2022\u2022\u2022\u2022\u2022\u2022\u2022y");
    driver.deleteBackward();
    EXPECT_EQ(field->displayedText(), "\u2022\u2022\u2022\u2022\u2022\u2022\u2022");
    driver.paste("z");
    EXPECT_EQ(field->displayedText(), "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022");
    driver.type("q");
    field->resignFirstResponder();
    EXPECT_EQ(field->displayedText(), "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022");

    auto pasteboard = ui::Pasteboard::general();
    pasteboard->setString("before");
    driver.tap(*field);
    field->setSelectedRange({ 0, field->text().size() });
    EXPECT_FALSE(driver.copy());
    EXPECT_FALSE(driver.cut());
    EXPECT_EQ(pasteboard->string(), "before");
    EXPECT_EQ(field->text(), "s3cr\u00e9txzq");

    // An ordinary field copies and cuts its selection.
    field->setSecureTextEntry(false);
    field->setText("open text");
    field->setSelectedRange({ 5, 4 });
    EXPECT_TRUE(driver.copy());
    EXPECT_EQ(pasteboard->string(), "text");
    field->setSelectedRange({ 0, 5 });
    EXPECT_TRUE(driver.cut());
    EXPECT_EQ(pasteboard->string(), "open ");
    EXPECT_EQ(field->text(), "text");
    field->setSelectedRange({ 0, 0 });
    EXPECT_FALSE(driver.copy());
    gfx::setTextEngine(nullptr);
}

TEST_F(TextFieldTest, TextIsSanitisedAndTypingNeedsAnInput)
{
    field->setText(std::string("a\xC3"));
    EXPECT_EQ(field->text(), "a\xEF\xBF\xBD");
    EXPECT_THROW(driver.type("x"), core::Exception);
}

} // namespace
