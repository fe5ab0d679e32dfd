// The list of text encodings: where it comes from, which row is checked,
// what the settings form stores on leaving, and the viewer form reporting
// a choice or Cancel after it is dismissed.

#include "App/Settings/VKTextEncodingsController.h"
#include "Platform/Core/Localized.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

namespace {

using Names = std::vector<std::string>;

// A viewer that presents the chooser and records what it hears.
class RecordingViewer : public ui::ViewController, public VKTextEncodingsControllerDelegate {
public:
    void textEncodingsControllerDidEnd(VKTextEncodingsController&, const std::string& encoding) override
    {
        heard.push_back((modalViewController() ? "shown " : "") + encoding);
    }
    void textEncodingsControllerCancelled(VKTextEncodingsController&) override
    {
        heard.push_back(modalViewController() ? "shown cancelled" : "cancelled");
    }
    Names heard;
};

class VKTextEncodingsControllerTest : public test::UITestCase {
protected:
    std::shared_ptr<core::UserDefaults> defaults() { return core::UserDefaults::standard(); }
    void setList(const Names& names)
    {
        core::Value::Array array;
        for (const auto& name : names)
            array.emplace_back(name);
        defaults()->set(VKTextEncodingsController::TextEncodingsKey, core::Value(std::move(array)));
    }
    std::optional<int> checkedRow(VKTextEncodingsController& chooser)
    {
        auto path = chooser.indexPathOfCheckedCell();
        return path ? std::optional<int>(path->row) : std::nullopt;
    }
};

TEST_F(VKTextEncodingsControllerTest, TheBundledListIsKnownAndOrdered)
{
    std::string everyByte;
    for (int byte = 1; byte < 256; ++byte)
        everyByte += char(byte);
    for (const char* language : { "ja", "zh", "ko", "ru", "uk", "pl", "cs", "en" }) {
        core::setCurrentLanguage(language);
        Names names = VKTextEncodingsController::defaultTextEncodings();
        ASSERT_FALSE(names.empty()) << language;
        EXPECT_EQ(names.front(), "UTF-8") << language;
        // Once an encoding takes every byte, nothing after it is ever tried, so
        // only such encodings may follow it.
        bool takerSeen = false;
        for (const auto& name : names) {
            EXPECT_TRUE(core::TextConverter::isKnown(name)) << language << " " << name;
            bool takesAll = core::TextConverter::convertText(everyByte, name).has_value();
            EXPECT_TRUE(takesAll || !takerSeen) << language << " " << name << " follows an encoding that takes every byte";
            takerSeen = takerSeen || takesAll;
        }
        EXPECT_TRUE(takerSeen) << language;
    }
    Names names = VKTextEncodingsController::defaultTextEncodings();

    // Without a default the first entry is checked.
    auto chooser = VKTextEncodingsController::defaultTextEncodingsController();
    EXPECT_EQ(*chooser->data(), names);
    EXPECT_EQ(chooser->defaultTextEncoding(), "UTF-8");
    EXPECT_EQ(chooser->statusText(), "UTF-8");
    EXPECT_EQ(chooser->prompt(), "Add new text encoding");
}

TEST_F(VKTextEncodingsControllerTest, TheUsersListAndTheCheckMark)
{
    defaults()->set(VKTextEncodingsController::TextEncodingsKey,
        core::Value(core::Value::Array { core::Value("UTF-8"), core::Value(7), core::Value("KOI8-R"), core::Value("CP1251") }));
    defaults()->set(VKTextEncodingsController::DefaultTextEncodingKey, core::Value("KOI8-R"));
    auto chooser = VKTextEncodingsController::defaultTextEncodingsController();
    EXPECT_EQ(*chooser->data(), (Names { "UTF-8", "KOI8-R", "CP1251" }));
    EXPECT_EQ(checkedRow(*chooser), 1);
    EXPECT_TRUE(chooser->isCellCheckedAtIndexPath({ 0, 1 }));
    EXPECT_FALSE(chooser->isCellCheckedAtIndexPath({ 0, 0 }));
    EXPECT_FALSE(chooser->isCellCheckedAtIndexPath({ 0, 3 }));

    auto navigation = ui::NavigationController::create(chooser);
    window().setRootViewController(navigation);
    runLoop();
    EXPECT_EQ(chooser->title(), "Text Encoding");
    EXPECT_EQ(driver.cellTexts(chooser->tableView()), (Names { "UTF-8", "KOI8-R", "CP1251" }));
    // Editing: no row is checked.
    chooser->setEditing(true, false);
    runLoop();
    EXPECT_FALSE(chooser->isCellCheckedAtIndexPath({ 0, 1 }));
    chooser->setEditing(false, false);

    // A name outside the list: nothing is checked, editing or not.
    chooser->setDefaultTextEncoding("EUC-JP");
    EXPECT_FALSE(checkedRow(*chooser));
    chooser->setEditing(true, false);
    EXPECT_FALSE(checkedRow(*chooser));
    chooser->setEditing(false, false);
    window().setRootViewController(nullptr);
    runLoop();
}

TEST_F(VKTextEncodingsControllerTest, TheSettingsFormStoresTheListOnlyAfterAnEdit)
{
    setList({ "UTF-8", "KOI8-R" });
    auto root = std::make_shared<ui::ViewController>();
    auto navigation = ui::NavigationController::create(root);
    window().setRootViewController(navigation);
    runLoop();

    auto chooser = VKTextEncodingsController::defaultTextEncodingsController();
    navigation->pushViewController(chooser, false);
    runLoop();
    ASSERT_EQ(chooser->navigationItem().rightBarButtonItem(), chooser->editButtonItem());
    driver.tapRow(chooser->tableView(), { 0, 1 });
    runLoop();
    EXPECT_EQ(chooser->defaultTextEncoding(), "KOI8-R");
    EXPECT_EQ(navigation->topViewController(), chooser.get());
    navigation->popViewController(false);
    runLoop();
    EXPECT_EQ(defaults()->stringForKey(VKTextEncodingsController::DefaultTextEncodingKey), "KOI8-R");

    // Without a user list, leaving unedited stores the default alone.
    defaults()->remove(VKTextEncodingsController::TextEncodingsKey);
    chooser = VKTextEncodingsController::defaultTextEncodingsController();
    navigation->pushViewController(chooser, false);
    runLoop();
    navigation->popViewController(false);
    runLoop();
    EXPECT_TRUE(defaults()->object(VKTextEncodingsController::TextEncodingsKey).isNull());

    // After an edit the whole list.
    chooser = VKTextEncodingsController::defaultTextEncodingsController();
    navigation->pushViewController(chooser, false);
    runLoop();
    chooser->data()->erase(chooser->data()->begin() + 1);
    navigation->popViewController(false);
    runLoop();
    auto stored = defaults()->arrayForKey(VKTextEncodingsController::TextEncodingsKey);
    ASSERT_TRUE(stored.isArray());
    EXPECT_EQ(stored.array().size(), VKTextEncodingsController::defaultTextEncodings().size());
    EXPECT_EQ(stored.array()[0].toString(), "UTF-8");
    window().setRootViewController(nullptr);
    runLoop();
}

TEST_F(VKTextEncodingsControllerTest, OnlyEncodingsTheSystemConvertsAreAccepted)
{
    EXPECT_FALSE(VKTextEncodingsController::refusalForEncodingName("KOI8-R"));
    EXPECT_FALSE(VKTextEncodingsController::refusalForEncodingName("MacRoman")) << "a name only ICU knows";
    EXPECT_EQ(VKTextEncodingsController::refusalForEncodingName(""), "");
    for (const char* bad : { "UTF-9", "klingon", "UTF-8//IGNORE", "ISO 8859-99" }) {
        auto refusal = VKTextEncodingsController::refusalForEncodingName(bad);
        ASSERT_TRUE(refusal) << bad;
        EXPECT_NE(refusal->find("is not an encoding this system knows"), std::string::npos) << *refusal;
    }
    // The settings form's editor asks it; the viewer's chooser deletes nothing.
    auto settings = VKTextEncodingsController::defaultTextEncodingsController();
    EXPECT_TRUE(settings->allowsSwipeToDelete());
    auto viewer = VKTextEncodingsController::currentTextEncodingsControllerForViewController(nullptr, "UTF-8");
    EXPECT_FALSE(viewer->allowsSwipeToDelete());
}

TEST_F(VKTextEncodingsControllerTest, TheViewerFormReportsAfterItIsDismissedAndStoresNothing)
{
    setList({ "UTF-8", "KOI8-R", "WINDOWS-1251" });
    auto viewer = std::make_shared<RecordingViewer>();
    window().setRootViewController(viewer);
    runLoop();
    auto present = [&](const std::string& current) {
        auto chooser = VKTextEncodingsController::currentTextEncodingsControllerForViewController(viewer, current);
        viewer->presentModalViewController(ui::NavigationController::create(chooser), false);
        chooser->setShowsCancelButton(true);
        runLoop();
        return chooser;
    };

    auto chooser = present("KOI8-R");
    EXPECT_EQ(chooser->navigationItem().title(), "Change Text Encoding");
    EXPECT_EQ(checkedRow(*chooser), 1);
    // The checked row too is reported.
    driver.tapRow(chooser->tableView(), { 0, 1 });
    runLoop();
    EXPECT_EQ(viewer->heard, (Names { "KOI8-R" }));
    EXPECT_FALSE(viewer->modalViewController());

    chooser = present("KOI8-R");
    driver.tapRow(chooser->tableView(), { 0, 2 });
    runLoop();
    chooser = present("UTF-8");
    driver.tapBarItem(*chooser->navigationItem().rightBarButtonItem());
    runLoop();
    EXPECT_EQ(viewer->heard, (Names { "KOI8-R", "WINDOWS-1251", "cancelled" }));
    EXPECT_TRUE(defaults()->object(VKTextEncodingsController::DefaultTextEncodingKey).isNull());
    chooser->setShowsCancelButton(false);
    EXPECT_FALSE(chooser->showsCancelButton());
    window().setRootViewController(nullptr);
    runLoop();
}

} // namespace
