// "PDF Settings": the two list pages of the PDF viewer's defaults, what a
// fresh home checks, what a choice stores, and "Done" on the pushed lists.

#include "SettingsTestCase.h"

#include "App/Settings/VKPDFSettingsController.h"
#include "App/Settings/VKSettingsController.h"
#include "Shell/Settings/VKSettingsListController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"

namespace {

class VKPDFSettingsControllerTest : public test::SettingsTestCase {
protected:
    void SetUp() override
    {
        SettingsTestCase::SetUp();
        launch();
    }
};

TEST_F(VKPDFSettingsControllerTest, TwoListsOverTheLayoutDefaultsWithDoneOnEach)
{
    auto defaults = core::UserDefaults::standard();
    openSettings();
    EXPECT_EQ(dynamic_cast<VKSubviewCell&>(cell("PDF")).status().text(), "");
    tapRow("PDF");
    auto* page = dynamic_cast<VKPDFSettingsController*>(&topPage());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->title(), "PDF Settings");
    EXPECT_EQ(page->statusText(), "");
    EXPECT_EQ(driver.cellTexts(topTable()), (std::vector<std::string> { "Page Layout", "Double Page Layout" }));
    EXPECT_EQ(page->footerText(), "These settings apply unless overridden by a document's own settings.");
    auto done = page->navigationItem().rightBarButtonItem();
    ASSERT_TRUE(done);

    // A fresh home: vertical pages, the first page alone.
    tapRow("Page Layout");
    EXPECT_EQ(topPage().title(), "Page Layout");
    EXPECT_EQ(driver.cellTexts(topTable()), (std::vector<std::string> { "Vertical", "Single Pages", "Double Pages" }));
    EXPECT_EQ(topPage().navigationItem().rightBarButtonItem(), done);
    EXPECT_EQ(page->layoutController()->indexPathOfCheckedCell()->row, 0);
    tapRow("Double Pages");
    EXPECT_EQ(defaults->integerForKey("VKDocumentViewLayout"), 3);
    EXPECT_EQ(page->layoutController()->statusText(), "Double Pages");
    tapBack();

    tapRow("Double Page Layout");
    EXPECT_EQ(driver.cellTexts(topTable()), (std::vector<std::string> { "Single Page First", "Double Page First" }));
    EXPECT_EQ(topPage().navigationItem().rightBarButtonItem(), done);
    EXPECT_EQ(page->doublePageController()->indexPathOfCheckedCell()->row, 0);
    tapRow("Double Page First");
    EXPECT_FALSE(defaults->boolForKey("VKDocumentViewDoublePageSingleFirst"));
    tapRow("Single Page First");
    EXPECT_TRUE(defaults->boolForKey("VKDocumentViewDoublePageSingleFirst"));
}

} // namespace
