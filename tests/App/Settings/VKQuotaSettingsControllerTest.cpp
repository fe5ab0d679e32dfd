// "Disk Quota": what the page shows, and the limit a person types reaching
// the running server's uploads as soon as the page is left.

#include "SettingsTestCase.h"

#include "App/Settings/VKQuotaSettingsController.h"
#include "App/Settings/VKSettingsController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTextFieldCell.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TextField.h"

#include <limits>

namespace {

class VKQuotaSettingsControllerTest : public test::SettingsTestCase {
protected:
    void SetUp() override
    {
        SettingsTestCase::SetUp();
        launch();
    }
    void openQuota()
    {
        openSettings();
        tapRow("Disk Quota");
        ASSERT_TRUE(dynamic_cast<VKQuotaSettingsController*>(&topPage()));
    }
    VKQuotaSettingsController& page() { return dynamic_cast<VKQuotaSettingsController&>(topPage()); }
    std::string put(const std::string& name, size_t bytes)
    {
        const std::string upload = makeFile("upload-" + name, std::string(bytes, 'q'));
        return curlStatus({ "-T", upload, url("/Documents/" + name) });
    }
    std::string stored(const std::string& name) const
    {
        return VKApplication::sharedApplication()->documentsDirectory() + "/" + name;
    }
};

TEST_F(VKQuotaSettingsControllerTest, ThePageAndItsSummary)
{
    auto defaults = core::UserDefaults::standard();
    openQuota();
    EXPECT_EQ(page().title(), "Disk Quota");
    EXPECT_EQ(driver.cellTexts(topTable()), (std::vector<std::string> { "Enable Quota", "Quota Size (MB)" }));
    EXPECT_EQ(page().footerText(),
        "Enable the Disk Quota to set a limit on how much space Tandry will use for storage. The storage limit can "
        "be changed by editing the Quota Size value");
    EXPECT_EQ(field("Quota Size (MB)").textField().keyboardType(), ui::TextInput::KeyboardType::NumberPad);
    EXPECT_EQ(field("Quota Size (MB)").textField().text(), "1024"); // the registered default
    EXPECT_FALSE(toggle("Enable Quota").switchControl().isOn());
    EXPECT_EQ(page().statusText(), "Off");

    tapDone();

    defaults->set("VKQuotaEnabled", core::Value(true));
    defaults->set("VKQuotaLimit", core::Value(int64_t(500)));
    openSettings();
    EXPECT_EQ(dynamic_cast<VKSubviewCell&>(cell("Disk Quota")).status().text(), "500 MB");
    tapDone();
}

TEST_F(VKQuotaSettingsControllerTest, ATypedLimitHoldsAtTheServerOnceThePageIsLeft)
{
    auto quota = VKQuotaManager::defaultManager();
    openQuota();
    driver.toggle(toggle("Enable Quota").switchControl());
    EXPECT_TRUE(core::UserDefaults::standard()->boolForKey("VKQuotaEnabled"));
    // Typed without "Done": leaving the page stores it.
    auto& size = field("Quota Size (MB)").textField();
    driver.tap(size);
    size.setSelectedRange({ 0, size.text().size() });
    driver.deleteBackward();
    driver.type("5");
    tapBack();
    EXPECT_EQ(core::UserDefaults::standard()->stringForKey("VKQuotaLimit"), "5");
    EXPECT_EQ(quota->quotaTotalBytes(), uint64_t(5) << 20);
    EXPECT_EQ(dynamic_cast<VKSubviewCell&>(cell("Disk Quota")).status().text(), "5 MB");

    EXPECT_EQ(put("big.bin", 6 << 20), "507");
    EXPECT_FALSE(core::fs::exists(stored("big.bin")));
    EXPECT_EQ(put("small.bin", 100 << 10), "201");
    auto small = core::fs::attributes(stored("small.bin"));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size, uint64_t(100 << 10));
    tapDone();
}

// A limit too long for any integer is kept as typed and means no limit,
// never a small wrapped one.
TEST_F(VKQuotaSettingsControllerTest, AnEnormousLimitIsNoLimit)
{
    auto quota = VKQuotaManager::defaultManager();
    openQuota();
    driver.toggle(toggle("Enable Quota").switchControl());
    const std::string digits(30, '9');
    typeInto("Quota Size (MB)", digits);
    EXPECT_EQ(core::UserDefaults::standard()->stringForKey("VKQuotaLimit"), digits);
    EXPECT_EQ(quota->quotaTotalBytes(), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(put("fits.bin", 1 << 20), "201");

    // Cleared, the registered limit shows through again.
    typeInto("Quota Size (MB)", "");
    EXPECT_EQ(core::UserDefaults::standard()->stringForKey("VKQuotaLimit"), "1024");
    EXPECT_EQ(quota->quotaTotalBytes(), uint64_t(1024) << 20);
    tapDone();
}

} // namespace
