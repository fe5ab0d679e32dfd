#include "FileModel/VKIconManager.h"

#include "FileModel/VKFileResource.h"
#include "Platform/Graphics/Image.h"
#include "Support/TestCase.h"

#include <sys/stat.h>

namespace {

class VKIconManagerTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        icons = VKIconManager::sharedManager();
    }

    std::shared_ptr<gfx::Image> iconFor(const std::string& path)
    {
        auto resource = VKFileResource::resourceWithPath(path);
        EXPECT_NE(resource, nullptr) << path;
        return resource ? icons->iconForResource(*resource) : nullptr;
    }

    std::shared_ptr<VKIconManager> icons;
};

TEST_F(VKIconManagerTest, FoldersPackagesAndKnownExtensions)
{
    ASSERT_NE(icons->collectionIcon(), nullptr);
    ASSERT_NE(icons->genericIcon(), nullptr);
    EXPECT_EQ(icons->collectionIcon()->size(), (gfx::Size { 64, 64 }));

    // A folder with an image's extension is still a folder.
    EXPECT_EQ(iconFor(makeFolder("Documents/photos.jpg")), icons->collectionIcon());
    EXPECT_FALSE(icons->isGenericIcon(icons->collectionIcon()));

    // A package is a document: it gets its extension's icon.
    auto package = iconFor(makeFolder("Documents/Essay.pages"));
    ASSERT_NE(package, nullptr);
    EXPECT_NE(package, icons->collectionIcon());
    EXPECT_FALSE(icons->isGenericIcon(package));

    auto pdf = iconFor(makeFile("Documents/a.pdf", "%PDF-1.4"));
    ASSERT_NE(pdf, nullptr);
    EXPECT_FALSE(icons->isGenericIcon(pdf));
    EXPECT_EQ(iconFor(makeFile("Documents/b.pdf", "%PDF-1.4")), pdf);
    // Each spelling of an extension is an entry of its own, loaded from the one file.
    auto upper = iconFor(makeFile("Documents/c.PDF", "%PDF-1.4"));
    ASSERT_NE(upper, nullptr);
    EXPECT_NE(upper, pdf);
    EXPECT_EQ(upper->size(), pdf->size());
    EXPECT_EQ(iconFor(makeFile("Documents/d.PDF", "%PDF-1.4")), upper);
}

TEST_F(VKIconManagerTest, FallbacksFollowTheMIMEType)
{
    EXPECT_EQ(iconFor(makeFile("Documents/README", "no extension\n")), icons->genericIcon());

    auto text = iconFor(makeFile("Documents/notes.qqtext", "plain words\nover lines\n"));
    EXPECT_TRUE(icons->isGenericIcon(text));
    EXPECT_NE(text, icons->genericIcon());

    auto binary = iconFor(makeFile("Documents/blob.qqbin", std::string("\x00\x01\x02\xff", 4)));
    EXPECT_TRUE(icons->isGenericIcon(binary));
    EXPECT_NE(binary, text);
    EXPECT_NE(binary, icons->genericIcon());
    std::string program = makeFile("Documents/tool.qqexe", std::string("\x7f" "ELF\x00", 5));
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    EXPECT_EQ(iconFor(program), binary);

    // A known type without an icon of its own gets the plain page.
    EXPECT_EQ(iconFor(makeFile("Documents/tune.mid", "MThd")), icons->genericIcon());
    EXPECT_FALSE(icons->isGenericIcon(nullptr));
}

} // namespace
