// The settings rows against the real settings store and the keychain in the
// test's home: what they show, what they store and when, and where their
// parts stand.

#include "Shell/Settings/VKButtonCell.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSubviewController.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTableFooterLabel.h"
#include "Shell/Settings/VKTextFieldCell.h"
#include "Shell/Settings/VKTextViewCell.h"
#include "Shell/VKKeychain.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/TextView.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

namespace {

using Log = std::vector<std::string>;

struct CellDelegate : VKTextFieldCellDelegate {
    Log log;
    void textFieldCellWillBeginEditing(VKTextFieldCell& cell) override { log.push_back("begin " + cell.label().text()); }
    void textFieldCellDidEndEditing(VKTextFieldCell& cell) override
    {
        // The store is written before the delegate hears of it.
        auto defaults = core::UserDefaults::standard();
        std::string stored = cell.defaultsKey().empty()
            ? VKKeychain::sharedKeychain()->passwordForUser(cell.keychainKey(), cell.keychainKey()).value_or("(none)")
            : defaults->object(cell.defaultsKey()).isNull() ? "(none)" : defaults->stringForKey(cell.defaultsKey());
        log.push_back("end " + stored);
    }
};

class Page : public VKSubviewController {
public:
    std::string statusText() override { return status; }
    std::string status = "Off";
};

class SettingsCellsTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        defaults = core::UserDefaults::standard();
    }
    void TearDown() override
    {
        for (auto& cell : shown)
            cell->removeFromSuperview();
        shown.clear();
        UITestCase::TearDown();
    }
    // The cell as a grouped table shows it on a 320-point screen: 300 wide.
    template<typename Cell> Cell& show(std::shared_ptr<Cell> cell)
    {
        cell->setFrame({ 10, 40 + 44 * float(shown.size()), 300, 44 });
        window().addSubview(cell);
        cell->layoutIfNeeded();
        shown.push_back(cell);
        return *cell;
    }
    std::vector<std::shared_ptr<ui::TableViewCell>> shown;
    std::shared_ptr<core::UserDefaults> defaults;
};

TEST_F(SettingsCellsTest, SwitchesShowAndStoreTheirBooleanAtOnce)
{
    defaults->set("VKDocumentDisableDataDetectors", core::Value(false));
    auto& links = show(VKSwitchCell::initWithLabel("Link Detection", "VKDocumentDisableDataDetectors"));
    EXPECT_FALSE(links.switchControl().isOn());
    links.setNegateValue(true);
    EXPECT_TRUE(links.switchControl().isOn());
    driver.toggle(links.switchControl());
    EXPECT_FALSE(links.switchControl().isOn());
    EXPECT_EQ(defaults->object("VKDocumentDisableDataDetectors"), core::Value(true));

    // A plain one over a missing key is off; a change behind its back
    // shows after a resync; a wrong kind reads as off and never throws.
    auto& hidden = show(VKSwitchCell::initWithLabel("Show Hidden Files", "VKShowHiddenFiles"));
    EXPECT_FALSE(hidden.switchControl().isOn());
    driver.toggle(hidden.switchControl());
    EXPECT_EQ(defaults->object("VKShowHiddenFiles"), core::Value(true));
    defaults->set("VKShowHiddenFiles", core::Value::makeArray({ core::Value(1) }));
    hidden.syncToDefaults();
    EXPECT_FALSE(hidden.switchControl().isOn());

    // Disabled: grey label, a switch that takes no touch.
    hidden.setEnabled(false);
    EXPECT_EQ(hidden.label().textColor(), ui::StandardColors::gray());
    EXPECT_FALSE(hidden.switchControl().isEnabled());
    hidden.setEnabled(true);
    EXPECT_EQ(hidden.label().textColor(), ui::StandardColors::black());
}

TEST_F(SettingsCellsTest, TextFieldsStoreDefaultsWhenEditingEnds)
{
    defaults->registerDefaults({ { "VKQuotaLimit", core::Value("1024") } });
    auto delegate = std::make_shared<CellDelegate>();
    auto& limit = show(VKTextFieldCell::initWithLabel("Quota Size (MB)", "VKQuotaLimit"));
    limit.setDelegate(delegate);
    auto& field = limit.textField();
    EXPECT_EQ(field.text(), "1024");
    EXPECT_EQ(field.textAlignment(), gfx::TextAlignment::Right);
    EXPECT_EQ(field.returnKeyType(), ui::TextInput::ReturnKeyType::Done);
    EXPECT_EQ(field.autocorrectionType(), ui::TextInput::AutocorrectionType::No);

    driver.tap(field);
    driver.deleteBackward();
    driver.type("8");
    EXPECT_TRUE(defaults->persistentDomainForTesting()["VKQuotaLimit"].isNull()); // nothing before the end
    driver.pressReturn();
    EXPECT_EQ(defaults->persistentDomainForTesting()["VKQuotaLimit"], core::Value("1028"));
    EXPECT_EQ(delegate->log, (Log { "begin Quota Size (MB)", "end 1028" }));

    // Cleared: the key goes and the registered value shows through.
    driver.tap(field);
    field.setSelectedRange({ 0, 4 });
    driver.deleteBackward();
    field.resignFirstResponder();
    EXPECT_TRUE(defaults->persistentDomainForTesting()["VKQuotaLimit"].isNull());
    limit.syncToDefaults();
    EXPECT_EQ(field.text(), "1024");

    // commitToDefaults stores and tells, as the end of editing does.
    field.setText("77");
    delegate->log.clear();
    limit.commitToDefaults();
    EXPECT_EQ(defaults->stringForKey("VKQuotaLimit"), "77");
    EXPECT_EQ(delegate->log, (Log { "end 77" }));

    // A wrong kind under the key shows an empty field.
    defaults->set("VKLoginUsername", core::Value::makeArray({ core::Value("alice") }));
    auto& user = show(VKTextFieldCell::initWithLabel("Username", "VKLoginUsername"));
    EXPECT_EQ(user.textField().text(), "");
}

TEST_F(SettingsCellsTest, TextFieldsOnTheKeychainSetAndRemoveThePassword)
{
    auto keychain = VKKeychain::sharedKeychain();
    ASSERT_TRUE(keychain->setPassword("old", VKLoginPasswordService, VKLoginPasswordService));
    auto delegate = std::make_shared<CellDelegate>();
    auto& password = show(VKTextFieldCell::initWithLabelKeychainKey("Password", VKLoginPasswordService));
    password.setDelegate(delegate);
    EXPECT_EQ(password.textField().text(), "old");
    password.textField().setText("s3cret");
    password.commitToDefaults();
    EXPECT_EQ(keychain->passwordForUser(VKLoginPasswordService, VKLoginPasswordService), "s3cret");
    password.textField().setText("");
    password.commitToDefaults();
    EXPECT_EQ(keychain->passwordForUser(VKLoginPasswordService, VKLoginPasswordService), std::nullopt);
    EXPECT_EQ(delegate->log, (Log { "end s3cret", "end (none)" }));

    // A row bound to nothing stores nothing and still tells.
    auto loose = VKTextFieldCell::initWithLabel("Loose", "");
    loose->setDelegate(delegate);
    loose->commitToDefaults();
    EXPECT_EQ(delegate->log.back(), "end (none)");
}

// A number pad takes digits only: a paste holding a letter anywhere is
// refused whole (a digit run somewhere in it is not enough).
TEST_F(SettingsCellsTest, NumberPadFieldsTakeDigitsOnly)
{
    auto& limit = show(VKTextFieldCell::initWithLabel("Quota Size (MB)", "VKQuotaLimit"));
    auto& field = limit.textField();
    field.setKeyboardType(ui::TextInput::KeyboardType::NumberPad);
    field.setText("");
    driver.tap(field);
    driver.type("5");
    driver.paste("12ab");
    driver.paste("abc");
    driver.type("x");
    EXPECT_EQ(field.text(), "5");
    driver.paste("120");
    EXPECT_EQ(field.text(), "5120");
    driver.deleteBackward();
    EXPECT_EQ(field.text(), "512");
    // Any text on an ordinary keyboard.
    field.setKeyboardType(ui::TextInput::KeyboardType::Default);
    driver.paste("ab");
    EXPECT_EQ(field.text(), "512ab");
    field.resignFirstResponder();
}

TEST_F(SettingsCellsTest, ButtonRowsActOnlyWhileEnabledAndTheirTargetLives)
{
    int pushed = 0;
    auto target = std::make_shared<core::Object>();
    auto& button = show(VKButtonCell::initWithLabel("Turn Passcode On", target, "turnOn", [&](VKButtonCell&) { ++pushed; }));
    button.buttonPushed();
    EXPECT_EQ(pushed, 1);
    button.setEnabled(false);
    EXPECT_EQ(button.label().textColor(), ui::StandardColors::gray());
    button.buttonPushed();
    EXPECT_EQ(pushed, 1);
    button.setEnabled(true);
    target.reset();
    button.buttonPushed();
    EXPECT_EQ(pushed, 1);
    EXPECT_EQ(button.targetSelector(), "turnOn");
    EXPECT_EQ(button.label().textAlignment(), gfx::TextAlignment::Center);
}

TEST_F(SettingsCellsTest, SubviewRowsShowTheirPagesSummaryAfresh)
{
    auto page = std::make_shared<Page>();
    auto& row = show(VKSubviewCell::initWithLabel("Server", page));
    EXPECT_EQ(row.status().text(), "Off");
    EXPECT_EQ(row.accessoryType(), ui::TableViewCell::Accessory::DisclosureIndicator);
    page->status = "On";
    row.setSelected(true);
    EXPECT_TRUE(row.status().isHighlighted());
    row.syncToDefaults();
    EXPECT_FALSE(row.isSelected());
    EXPECT_FALSE(row.status().isHighlighted());
    EXPECT_EQ(row.status().text(), "On");
    EXPECT_EQ(VKSubviewController().statusText(), "Please override");
}

// Content 300 points wide: the label at 10, centred; values, in one font,
// from 10 right of it to 290; a switch ending at 290 with the label up to 10 before it.
TEST_F(SettingsCellsTest, RowsPlaceTheirPartsInTheContentRectangle)
{
    auto& row = show(VKSubviewCell::initWithLabel("Server", std::make_shared<Page>()));
    row.setAccessoryType(ui::TableViewCell::Accessory::None);
    row.layoutIfNeeded();
    gfx::Rect label = row.label().frame();
    EXPECT_EQ(label.x(), 10);
    EXPECT_NEAR(label.midY(), 22, 0.5);
    EXPECT_EQ(row.status().frame(), (gfx::Rect { label.maxX() + 10, label.y() - 2, 290 - label.maxX() - 10, label.height() + 4 }));
    EXPECT_EQ(row.status().textAlignment(), gfx::TextAlignment::Right);

    auto& text = show(VKTextFieldCell::initWithLabel("Username", "VKLoginUsername"));
    label = text.label().frame();
    EXPECT_EQ(text.textField().frame(), (gfx::Rect { label.maxX() + 10, label.y() - 2, 280 - label.maxX() - 10, label.height() + 4 }));
    EXPECT_EQ(text.textField().font(), row.status().font()); // every value in one font
    text.setAccessoryType(ui::TableViewCell::Accessory::DisclosureIndicator);
    text.layoutIfNeeded();
    EXPECT_EQ(text.textField().frame().maxX(), text.contentView().bounds().width() - 10);

    auto& toggle = show(VKSwitchCell::initWithLabel("A rather long label that cannot fit beside it", "VKShowHiddenFiles"));
    gfx::Rect switchFrame = toggle.switchControl().frame();
    EXPECT_EQ(switchFrame.maxX(), 290);
    EXPECT_NEAR(switchFrame.midY(), 22, 0.5);
    EXPECT_EQ(toggle.label().frame().x(), 10);
    EXPECT_EQ(toggle.label().frame().maxX(), switchFrame.minX() - 10);
    EXPECT_EQ(toggle.label().displayedFont().pointSize(), 12);

    auto& view = show(VKTextViewCell::initWithDefaultsKey("VKNotes"));
    EXPECT_EQ(view.textView().frame(), (gfx::Rect { 10, 5, 280, 34 }));
}

TEST_F(SettingsCellsTest, TextViewRowsReadAndWriteTheirKey)
{
    defaults->set("VKNotes", core::Value("first"));
    auto& notes = show(VKTextViewCell::initWithDefaultsKey("VKNotes"));
    EXPECT_EQ(notes.textView().text(), "first");
    notes.textView().setText("second");
    notes.commitToDefaults();
    EXPECT_EQ(defaults->stringForKey("VKNotes"), "second");
    defaults->set("VKNotes", core::Value("third"));
    notes.syncToDefaults();
    EXPECT_EQ(notes.textView().text(), "third");
    auto& none = show(VKTextViewCell::initWithDefaultsKey(""));
    none.textView().setText("kept");
    none.commitToDefaults();
    none.syncToDefaults();
    EXPECT_EQ(none.textView().text(), "kept");
}

TEST_F(SettingsCellsTest, FooterLinesFollowTheTextsPieces)
{
    EXPECT_EQ(VKTableFooterLabel::linesForText("Line one\nLine two"), 3);
    EXPECT_EQ(VKTableFooterLabel::linesForText(std::string(45, 'x')), 2);
    EXPECT_EQ(VKTableFooterLabel::linesForText(std::string(60, 'x')), 3);
    EXPECT_EQ(VKTableFooterLabel::linesForText(std::string(30, 'x')), 2);
    EXPECT_EQ(VKTableFooterLabel::linesForText("a\n\nb"), 4);
    // Characters, not bytes.
    std::string accented;
    for (int i = 0; i < 30; ++i)
        accented += "\u00e9";
    EXPECT_EQ(VKTableFooterLabel::linesForText(accented), 2);

    auto wide = VKTableFooterLabel::initWithFrame(gfx::Rect::zero());
    EXPECT_EQ(wide->frame().width(), 320);
    EXPECT_EQ(wide->font().pointSize(), 14);
    EXPECT_EQ(wide->textAlignment(), gfx::TextAlignment::Center);
    auto narrow = VKTableFooterLabel::initWithFrame({ 0, 0, 100, 20 });
    EXPECT_EQ(narrow->frame().width(), 100);
}

} // namespace
