#include "Kit/FileManagerAdditions.h"
#include "Kit/MIMETypes.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/PropertyList.h"

#include "Support/TestCase.h"

#include <cstdio>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class MIMETypesTest : public test::TestCase {
protected:
    void TearDown() override
    {
        core::Bundle::setMainForTesting(nullptr);
        MIMEReloadTypesForTesting();
        TestCase::TearDown();
    }
};

TEST_F(MIMETypesTest, TableRowsByExtension)
{
    EXPECT_EQ(MIMEGetTypeForFile("/x/Report.PDF"), "application/pdf");
    EXPECT_EQ(MIMEGetTypeForFile("a.docx"), "application/msword-xml");
    EXPECT_EQ(MIMEGetTypeForFile("a.xlsx"), "application/vnd.ms-excel-xml");
    EXPECT_EQ(MIMEGetTypeForFile("a.txt"), "text/plain");
    EXPECT_EQ(MIMEGetTypeForFile("a.JPG"), "image/jpeg");
    EXPECT_EQ(MIMEGetTypeForFile("a.mp3"), "audio/mpeg");
    EXPECT_EQ(MIMEGetTypeForFile("a.mov"), "video/quicktime");
    EXPECT_EQ(MIMEGetTypeForFile("a.zip"), "application/zip");
    EXPECT_EQ(MIMEGetTypeForFile("a.json"), "application/json");
    EXPECT_EQ(MIMEGetTypeForFile("a.key"), "application/vnd.apple.keynote");
    EXPECT_EQ(MIMEGetTypeForFile("a.xsl"), "application/xml");
    EXPECT_EQ(MIMEGetTypeForFile("a.rtfd"), "application/rtf");

    // The resource itself: every extension once, the documented counts.
    auto table = core::PropertyList::readFile(core::Bundle::main()->pathForResource("MIMETypes", "plist"));
    const auto& types = table["Types"].dictionary();
    EXPECT_EQ(types.size(), 670u);
    std::set<std::string> distinct;
    size_t application = 0;
    for (const auto& [extension, type] : types) {
        distinct.insert(type.string());
        application += type.string().starts_with("application/");
        EXPECT_EQ(extension.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ."), std::string::npos) << extension;
    }
    EXPECT_EQ(application, 466u);
    EXPECT_EQ(distinct.size(), 510u);
}

TEST_F(MIMETypesTest, ContentDecidesWithoutAKnownExtension)
{
    EXPECT_EQ(MIMEGetTypeForFile(makeFile("notes", "line one\nline two\n")), "text/plain");
    EXPECT_EQ(MIMEGetTypeForFile(makeFile("flat", "no line break")), "unknown");
    EXPECT_EQ(MIMEGetTypeForFile(makeFile("binary", std::string("\xff\xfe\n", 3))), "unknown");
    EXPECT_EQ(MIMEGetTypeForFile(makeFile("empty.epub2", "")), "unknown");
    EXPECT_EQ(MIMEGetTypeForFile(pathInHome("missing")), "unknown");

    // Cyrillic cut in the middle of a character at the 200th byte is still text.
    std::string cyrillic = "\xd0\xbf\n";
    while (cyrillic.size() < 300)
        cyrillic += "\xd0\xbf";
    EXPECT_EQ(MIMEGetTypeForFile(makeFile("russian", std::string("x") + cyrillic)), "text/plain");

    std::string tool = makeFile("tool", std::string("\x7f" "ELF", 4));
    chmod(tool.c_str(), 0755);
    EXPECT_EQ(MIMEGetTypeForFile(tool), "application/octet-stream");
    EXPECT_EQ(MIMEGetTypeForFile(makeFolder("folder")), "unknown");

    // A FIFO is never opened for reading, so nothing blocks.
    std::string fifo = pathInHome("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(MIMEGetTypeForFile(fifo), "unknown");

    // An open file is read through its descriptor, whatever the path holds
    // by then, and its offset stays.
    int fd = open(makeFile("served", "a\nb").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(lseek(fd, 1, SEEK_SET), 1);
    ASSERT_EQ(rename(makeFile("flat2", "no line break").c_str(), pathInHome("served").c_str()), 0);
    EXPECT_EQ(MIMEGetTypeForOpenFile(pathInHome("served"), fd), "text/plain");
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 1);
    EXPECT_EQ(MIMEGetTypeForFile(pathInHome("served")), "unknown");
    close(fd);
}

TEST_F(MIMETypesTest, PackagesAndAMissingTable)
{
    EXPECT_TRUE(MIMEIsPackageType("Essay.rtfd"));
    EXPECT_TRUE(MIMEIsPackageType("/a/Talk.KEY"));
    EXPECT_FALSE(MIMEIsPackageType("book.epub"));
    EXPECT_FALSE(MIMEIsPackageType("notes"));
    EXPECT_EQ(MIMEGetTypeForFile("book.epub"), "unknown");

    std::string package = makeFolder("Essay.rtfd");
    makeFile("Plain.rtfd", "not a folder");
    makeFolder("real");
    ASSERT_EQ(symlink(pathInHome("real").c_str(), pathInHome("link").c_str()), 0);
    EXPECT_TRUE(isPackageAtPath(package));
    EXPECT_FALSE(isPackageAtPath(pathInHome("Plain.rtfd")));
    EXPECT_TRUE(isDirectoryAtPath(pathInHome("link")));
    EXPECT_FALSE(isDirectoryAtPath(pathInHome("Plain.rtfd")));
    EXPECT_EQ(mimeTypeOfItemAtPath(pathInHome("Plain.rtfd")), "application/rtf");

    // Without the table: one log line, and content decides.
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(makeFolder("EmptyBundle")));
    MIMEReloadTypesForTesting();
    std::string text = makeFile("report.pdf", "a\nb");
    EXPECT_EQ(MIMEGetTypeForFile(text), "text/plain");
    EXPECT_EQ(MIMEGetTypeForFile(pathInHome("other.pdf")), "unknown");
    EXPECT_FALSE(MIMEIsPackageType("Essay.rtfd"));
    size_t warnings = 0;
    for (const auto& line : logLines())
        warnings += line.find("MIME type table") != std::string::npos;
    EXPECT_EQ(warnings, 1u);
}

} // namespace
