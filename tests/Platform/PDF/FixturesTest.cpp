#include "Platform/Core/FileSystem.h"
#include "Platform/PDF/Document.h"
#include "Platform/PDF/PageDrawing.h"
#include "Platform/PDF/Scanner.h"
#include "Platform/PDF/Stream.h"
#include "Support/TestCase.h"
#include "Tools.h"

using namespace pdf;

namespace {

// Counts what the text operators show and whether their fonts are found.
struct TextCount {
    int strings = 0;
    int fonts = 0;
    int missingFonts = 0;
};

const OperatorTable& textTable()
{
    static const OperatorTable table = [] {
        OperatorTable t;
        auto show = [](Scanner& scanner, void* info) {
            String string;
            Array array;
            if (scanner.popString(string) || scanner.popArray(array))
                ++static_cast<TextCount*>(info)->strings;
        };
        for (const char* name : { "Tj", "TJ", "'", "\"" })
            t.setCallback(name, show);
        t.setCallback("Tf", [](Scanner& scanner, void* info) {
            double size;
            std::string name;
            Object font;
            auto* count = static_cast<TextCount*>(info);
            if (scanner.popNumber(size) && scanner.popName(name))
                ++(scanner.resource("Font", name, font) ? count->fonts : count->missingFonts);
        });
        return t;
    }();
    return table;
}

class FixturesTest : public test::TestCase {
protected:
    std::shared_ptr<Document> open(const std::string& name, const std::string& password = {})
    {
        m_path = sourcePath("tests/fixtures/pdf/" + name);
        core::Data bytes;
        EXPECT_TRUE(core::fs::readFile(m_path, bytes));
        auto document = Document::open(bytes);
        if (!document)
            return nullptr;
        if (!password.empty()) {
            EXPECT_TRUE(document->unlock(password));
        }
        std::string option = password.empty() ? "" : " --password=" + password;
        EXPECT_EQ(document->pageCount(), std::stoi(pdftest::run("qpdf --show-npages" + option + " " + m_path)));
        pdftest::expectBoxesAsPdfinfo(*document, m_path, password);
        for (int n = 1; n <= document->pageCount(); ++n) {
            TextCount count;
            EXPECT_TRUE(Scanner(document->page(n), textTable(), &count).scan());
            EXPECT_GT(count.strings, 0) << name << " page " << n;
            EXPECT_EQ(count.missingFonts, 0) << name << " page " << n;
        }
        pdf::Page first = document->page(1);
        gfx::Rect crop = first.boxRect(Box::Crop);
        auto bitmap = gfx::BitmapContext::create(int(crop.width()), int(crop.height()));
        bitmap->concatCTM(first.drawingTransform(Box::Crop, gfx::Rect(0, 0, crop.width(), crop.height()), 0, true));
        pdf::drawPage(first, *bitmap);
        EXPECT_GT(pdftest::nonWhitePixels(*bitmap), 500u) << name;
        return document;
    }

    // The page number a link annotation's destination names, 0 for none.
    static int linkTarget(const Document& document, const Dictionary& link)
    {
        Array destination;
        Dictionary action, page;
        if (!link.array("Dest", destination) && !(link.dictionary("A", action) && action.array("D", destination)))
            return 0;
        if (!destination.dictionary(0, page))
            return 0;
        for (int n = 1; n <= document.pageCount(); ++n) {
            if (page.identity() == document.page(n).dictionary().identity())
                return n;
        }
        return 0;
    }

    std::string m_path;
};

TEST_F(FixturesTest, Writer)
{
    auto document = open("writer.pdf");
    ASSERT_TRUE(document);
    Dictionary outlines, first;
    String title;
    ASSERT_TRUE(document->catalog().dictionary("Outlines", outlines));
    ASSERT_TRUE(outlines.dictionary("First", first));
    ASSERT_TRUE(first.string("Title", title));
    EXPECT_EQ(title.text(), "Headings and links");
    Array annotations;
    ASSERT_TRUE(document->page(1).dictionary().array("Annots", annotations));
    EXPECT_EQ(annotations.count(), 2u);
}

TEST_F(FixturesTest, WriterDrawnByCairo)
{
    auto document = open("writer-cairo.pdf");
    ASSERT_TRUE(document);
    // An Identity-H font whose ToUnicode map covers more than 100 glyphs.
    Dictionary fonts;
    ASSERT_TRUE(document->page(1).dictionary().dictionary("Resources", fonts));
    ASSERT_TRUE(fonts.dictionary("Font", fonts));
    int identityFonts = 0;
    for (const std::string& key : fonts.keys()) {
        Dictionary font;
        std::string encoding;
        Stream map;
        if (fonts.dictionary(key, font) && font.name("Encoding", encoding) && encoding == "Identity-H" && font.stream("ToUnicode", map)) {
            ++identityFonts;
            std::string cmap = map.decodedData(1 << 20)->toString();
            size_t mappings = 0;
            for (size_t at = cmap.find("\n<"); at != std::string::npos; at = cmap.find("\n<", at + 1))
                ++mappings;
            EXPECT_GT(mappings, 100u);
        }
    }
    EXPECT_EQ(identityFonts, 1);
}

TEST_F(FixturesTest, Reportlab)
{
    auto document = open("reportlab.pdf");
    ASSERT_TRUE(document);
    EXPECT_EQ(document->page(2).rotationAngle(), 90);
    EXPECT_EQ(document->page(3).boxRect(Box::Crop), gfx::Rect(100, 150, 300, 350));
    Dictionary fonts, font;
    ASSERT_TRUE(document->page(1).dictionary().dictionary("Resources", fonts));
    ASSERT_TRUE(fonts.dictionary("Font", fonts));
    for (const std::string& key : fonts.keys()) {
        Array widths;
        ASSERT_TRUE(fonts.dictionary(key, font));
        EXPECT_FALSE(font.array("Widths", widths)) << key;
    }
}

TEST_F(FixturesTest, ReportlabUnderRC4)
{
    core::Data bytes;
    ASSERT_TRUE(core::fs::readFile(sourcePath("tests/fixtures/pdf/reportlab-rc4-128.pdf"), bytes));
    Document::Status status;
    auto locked = Document::open(bytes, &status);
    EXPECT_EQ(status, Document::Status::Locked);
    EXPECT_TRUE(locked->unlock("owner"));
    auto document = open("reportlab-rc4-128.pdf", "user");
    ASSERT_TRUE(document);
    EXPECT_TRUE(document->isEncrypted());
    EXPECT_EQ(document->page(2).rotationAngle(), 90);
}

TEST_F(FixturesTest, Ghostscript)
{
    auto document = open("ghostscript.pdf");
    ASSERT_TRUE(document);
    Dictionary outlines, first;
    ASSERT_TRUE(document->catalog().dictionary("Outlines", outlines));
    ASSERT_TRUE(outlines.dictionary("First", first));
    Array annotations;
    ASSERT_TRUE(document->page(1).dictionary().array("Annots", annotations));
    int internal = 0;
    for (size_t i = 0; i < annotations.count(); ++i) {
        Dictionary link;
        if (annotations.dictionary(i, link) && linkTarget(*document, link) == 2)
            ++internal;
    }
    EXPECT_EQ(internal, 1);
    // The Type 3 font and the re-encoded font are both there.
    Dictionary fonts;
    ASSERT_TRUE(document->page(1).dictionary().dictionary("Resources", fonts));
    ASSERT_TRUE(fonts.dictionary("Font", fonts));
    bool type3 = false, differences = false;
    for (const std::string& key : fonts.keys()) {
        Dictionary font, encoding;
        std::string subtype;
        Array table;
        fonts.dictionary(key, font);
        type3 |= font.name("Subtype", subtype) && subtype == "Type3";
        differences |= font.dictionary("Encoding", encoding) && encoding.array("Differences", table);
    }
    EXPECT_TRUE(type3);
    EXPECT_TRUE(differences);
}

} // namespace
