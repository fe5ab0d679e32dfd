#include "Kit/FileManagerEtag.h"
#include "Kit/FileManagerExtendedAttributes.h"

#include "Platform/Core/FileSystem.h"

#include "Support/Command.h"
#include "Support/TestCase.h"
#include "Support/UserAttributes.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

using Strings = std::vector<std::string>;

namespace {

class FileManagerExtendedAttributesTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        ASSERT_TRUE(test::takesUserAttributes(home()));
    }
};

TEST_F(FileManagerExtendedAttributesTest, ValuesKeysAndTables)
{
    std::string file = makeFile("doc.txt", "x");
    EXPECT_EQ(xattrKeysForItemAtPath(file), Strings {});
    EXPECT_EQ(xattrAttributesForItemAtPath(file)->size(), 0u);
    EXPECT_FALSE(xattrKeysForItemAtPath(pathInHome("missing")));

    ASSERT_TRUE(xattrSetString("ABC-123", file, "com.kestrova.tandry.UUID"));
    ASSERT_TRUE(xattrSetData(core::Data(std::string("\xff\x00\x01", 3)), file, "binary"));
    EXPECT_EQ(*xattrStringForItemAtPath(file, "com.kestrova.tandry.UUID"), "ABC-123");
    EXPECT_EQ(xattrDataForItemAtPath(file, "binary")->size(), 3u);
    EXPECT_FALSE(xattrStringForItemAtPath(file, "binary")); // not UTF-8
    auto table = *xattrAttributesForItemAtPath(file);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at("com.kestrova.tandry.UUID").toString(), "ABC-123");

    auto dump = test::runCommand({ "getfattr", "--absolute-names", "-d", file });
    EXPECT_NE(dump.output.find("user.com.kestrova.tandry.UUID=\"ABC-123\""), std::string::npos) << dump.output;

    core::Error error;
    EXPECT_FALSE(xattrSetString("again", file, "binary", 2, &error)); // create only
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, EEXIST));
    EXPECT_TRUE(xattrRemoveDataForItemAtPath(file, "binary"));
    EXPECT_FALSE(xattrRemoveDataForItemAtPath(file, "binary", 0, &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENODATA));
    EXPECT_EQ(*xattrKeysForItemAtPath(file), Strings { "com.kestrova.tandry.UUID" });

    // Option 1 means the link itself, which Linux lets carry none.
    std::string link = pathInHome("link");
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    EXPECT_FALSE(xattrStringForItemAtPath(link, "com.kestrova.tandry.UUID", 1));
    EXPECT_FALSE(xattrSetString("link", link, "com.kestrova.markdeleted", 1));
    EXPECT_FALSE(xattrStringForItemAtPath(file, "com.kestrova.markdeleted"));
    EXPECT_EQ(*xattrStringForItemAtPath(link, "com.kestrova.tandry.UUID"), "ABC-123");
}

TEST_F(FileManagerExtendedAttributesTest, EntityTags)
{
    EXPECT_EQ(etagWithFileNumber(0x1a, 255, 1000), "1a-ff-3e8");
    EXPECT_EQ(etagWithFileNumber(0x1a, 0, 1000), "1a-00-3e8");
    EXPECT_EQ(etagWithFileNumber(0, 0x123456789abcdef0, -1), "00-123456789abcdef0-ffffffffffffffff");

    std::string file = makeFile("page.html", std::string(255, 'x'));
    struct stat info;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(*etagForItemAtPath(file), fmt::format("{:02x}-ff-{:02x}", info.st_ino & 0xffffffff, info.st_mtim.tv_sec));

    ASSERT_TRUE(core::fs::setModificationTime(file, 1000'500'000'000));
    EXPECT_TRUE(etagForItemAtPath(file)->ends_with("-ff-3e8")) << *etagForItemAtPath(file);
    std::string empty = makeFile("empty", "");
    EXPECT_NE(etagForItemAtPath(empty)->find("-00-"), std::string::npos);

    core::Error error;
    EXPECT_FALSE(etagForItemAtPath(pathInHome("missing"), &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOENT));
}

} // namespace
