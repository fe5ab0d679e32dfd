#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/PropertyList.h"
#include "Support/TestCase.h"

namespace {

class VKBytesFormatterTest : public test::TestCase { };

} // namespace

TEST_F(VKBytesFormatterTest, RowsRoundingAndStrippedZeros)
{
    VKBytesFormatter formatter;
    EXPECT_TRUE(formatter.stripZeros());
    EXPECT_EQ(formatter.formatBytesAsString(0), "0 KB");
    EXPECT_EQ(formatter.formatBytesAsString(1), "1 B");
    EXPECT_EQ(formatter.formatBytesAsString(102), "102 B");
    EXPECT_EQ(formatter.formatBytesAsString(103), "0.1 KB");
    EXPECT_EQ(formatter.formatBytesAsString(1023), "1 KB");
    EXPECT_EQ(formatter.formatBytesAsString(1024), "1 KB");
    EXPECT_EQ(formatter.formatBytesAsString(1048575), "1023 KB");
    EXPECT_EQ(formatter.formatBytesAsString(1048576), "1 MB");
    EXPECT_EQ(formatter.formatBytesAsString(1572864), "1.5 MB");
    EXPECT_EQ(formatter.formatBytesAsString(1073741823), "1024 MB");
    EXPECT_EQ(formatter.formatBytesAsString(1073741824), "1 GB");
    EXPECT_EQ(formatter.formatBytesAsString(1610612736), "1.50 GB");
    EXPECT_EQ(formatter.formatBytesAsString(UINT64_MAX), "17179869184 GB");

    formatter.setStripZeros(false);
    EXPECT_EQ(formatter.formatBytesAsString(1023), "1.0 KB");
    EXPECT_EQ(formatter.formatBytesAsString(1048576), "1.0 MB");
    EXPECT_EQ(formatter.formatBytesAsString(1073741824), "1.00 GB");
    EXPECT_EQ(formatter.formatBytesAsString(1610612736), "1.50 GB");
    EXPECT_EQ(formatter.formatBytesAsString(0), "0 KB");

    EXPECT_EQ(&VKBytesFormatter::sharedFormatter(), &VKBytesFormatter::sharedFormatter());
}

TEST_F(VKBytesFormatterTest, TranslatedUnitsExceptTheZeroRow)
{
    core::Value units = core::Value::makeDictionary({ { "B", "o" }, { "KB", "Ko" }, { "MB", "Mo" }, { "GB", "Go" } });
    ASSERT_TRUE(core::PropertyList::writeFile(makeFolder("App/strings/fr") + "/Default.plist", units,
        core::PropertyList::Format::XML));
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("App")));
    core::setCurrentLanguage("fr");

    VKBytesFormatter formatter;
    EXPECT_EQ(formatter.formatBytesAsString(0), "0 KB");
    EXPECT_EQ(formatter.formatBytesAsString(5), "5 o");
    EXPECT_EQ(formatter.formatBytesAsString(2048), "2 Ko");
    EXPECT_EQ(formatter.formatBytesAsString(1048576), "1 Mo");
    EXPECT_EQ(formatter.formatBytesAsString(1610612736), "1.50 Go");
}
