#include "PDF/VKPDFDocument.h"

#include "Kit/JSON/JSONAdditions.h"
#include "PDF/VKPDFDestination.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/PDF/Tools.h"
#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"

#include <fmt/format.h>
#include <random>

using Encryption = test::PdfBuilder::Encryption;

namespace {

class VKPDFDocumentTest : public test::TestCase {
protected:
    static core::Data onePage(const std::optional<Encryption>& encryption = std::nullopt)
    {
        test::PdfBuilder builder;
        builder.addPage("0 0 1 rg 100 100 200 200 re f");
        return builder.build(encryption);
    }

    static void expectError(const core::Error& error, const char* domain, int64_t code, const char* description,
        const char* reason, std::optional<std::string> recovery = std::nullopt)
    {
        EXPECT_EQ(error.domain(), domain);
        EXPECT_EQ(error.code(), code);
        EXPECT_EQ(error.localizedDescription(), description);
        EXPECT_EQ(error.localizedFailureReason(), reason);
        const core::Value& options = error.userInfo().count(VKLocalizedRecoveryOptionsErrorKey)
            ? error.userInfo().at(VKLocalizedRecoveryOptionsErrorKey)
            : core::Value();
        if (recovery)
            EXPECT_EQ(options, core::Value::makeArray({ *recovery }));
        else
            EXPECT_TRUE(options.isNull());
    }

    std::shared_ptr<VKPDFDocument> openFile(const std::string& name, const core::Data& bytes,
        const std::optional<std::string>& password, core::Error* error)
    {
        std::string path = makeFile(name, bytes.view());
        return VKPDFDocument::initWithPath(path, password, error);
    }
};

TEST_F(VKPDFDocumentTest, FilesThatDoNotOpen)
{
    core::LogCapture log(true);
    core::Error error;
    EXPECT_FALSE(VKPDFDocument::initWithPath(pathInHome("missing.pdf"), std::nullopt, &error));
    expectError(error, core::Error::CocoaDomain, 256, "Cannot open", "Unable to open file.");
    error = {};
    EXPECT_FALSE(VKPDFDocument::initWithPath(makeFolder("folder.pdf"), std::nullopt, &error));
    expectError(error, core::Error::CocoaDomain, 256, "Cannot open", "Unable to open file.");

    std::mt19937 random(11);
    std::string noise(2048, '\0');
    for (char& c : noise)
        c = char(random());
    for (const std::string& contents : { std::string(), std::string("Plain text, not a document.\n"), noise }) {
        error = {};
        EXPECT_FALSE(openFile("bad.pdf", core::Data(contents), std::string("pw"), &error));
        expectError(error, core::Error::CocoaDomain, 259, "Unknown format", "Unable to interpret file as PDF.");
    }

    // A page tree that loops back on itself holds no page to show.
    test::PdfBuilder loop;
    const int node = loop.addObject("<< >>");
    loop.setObject(node, fmt::format("<< /Type /Pages /Kids [{0} 0 R] /Count 1 >>", node));
    loop.setCatalogEntry("Pages", fmt::format("{} 0 R", node));
    error = {};
    EXPECT_FALSE(openFile("loop.pdf", loop.build(), std::nullopt, &error));
    expectError(error, core::Error::CocoaDomain, 259, "Unknown format", "Unable to interpret file as PDF.");

    VKPDFDocument::setDataProviderFailsForTesting(true);
    error = {};
    auto failed = openFile("good.pdf", onePage(), std::nullopt, &error);
    VKPDFDocument::setDataProviderFailsForTesting(false);
    EXPECT_FALSE(failed);
    expectError(error, core::Error::CocoaDomain, 256, "Cannot read", "Unable to read data from file.");

    // No error pointer: still nothing, and no harm.
    EXPECT_FALSE(VKPDFDocument::initWithPath(pathInHome("missing.pdf")));
    EXPECT_TRUE(openFile("good.pdf", onePage(), std::nullopt, nullptr));
}

TEST_F(VKPDFDocumentTest, Passwords)
{
    core::Error error;
    auto locked = onePage(Encryption { Encryption::RC4_128, "user", "owner" });
    EXPECT_FALSE(openFile("locked.pdf", locked, std::nullopt, &error));
    expectError(error, "VKPDFErrorDomain", 1, "Password required", "This PDF is password-protected.", "OK");
    error = {};
    EXPECT_FALSE(openFile("locked.pdf", locked, std::string("wrong"), &error));
    expectError(error, "VKPDFErrorDomain", 2, "Password incorrect", "Please enter the correct password.", "Retry");
    error = {};
    EXPECT_FALSE(openFile("locked.pdf", locked, std::string(), &error));
    EXPECT_EQ(error.code(), 2);

    for (const char* password : { "user", "owner" }) {
        error = {};
        auto document = openFile("locked.pdf", locked, std::string(password), &error);
        ASSERT_TRUE(document) << password;
        EXPECT_TRUE(error.isEmpty());
        EXPECT_EQ(document->numPages(), 1u);
    }

    std::string fixture = sourcePath("tests/fixtures/pdf/reportlab-rc4-128.pdf");
    auto real = VKPDFDocument::initWithPath(fixture, std::string("user"));
    ASSERT_TRUE(real);
    EXPECT_EQ(real->numPages(), uint32_t(std::stoi(pdftest::run("qpdf --password=user --show-npages " + fixture))));

    // An empty user password needs none; a plain file ignores one.
    error = {};
    EXPECT_TRUE(openFile("open.pdf", onePage(Encryption { Encryption::AES_256, "", "owner" }), std::nullopt, &error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(openFile("plain.pdf", onePage(), std::string("anything"), &error));
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(VKPDFDocumentTest, ErrorTextsAreTranslated)
{
    makeFile("Bundle/strings/de/Default.plist",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>Password required</key><string>Kennwort erforderlich</string>"
        "<key>OK</key><string>Gut</string></dict></plist>\n");
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("Bundle")));
    core::setCurrentLanguage("de");
    core::Error error;
    EXPECT_FALSE(openFile("locked.pdf", onePage(Encryption { Encryption::RC4_128, "user", "owner" }), std::nullopt, &error));
    expectError(error, "VKPDFErrorDomain", 1, "Kennwort erforderlich", "This PDF is password-protected.", "Gut");
}

TEST_F(VKPDFDocumentTest, PasswordsInTheirEncodings)
{
    // The older scheme takes the password in Windows-1252: "Grüße" opens on
    // the second attempt, the euro sign being 0x80 there (not Latin-1).
    const std::string greeting = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac", greetingBytes = "Gr\xfc\xdf" "e \x80";
    std::string old = makeFile("old.pdf", onePage(Encryption { Encryption::RC4_128, greetingBytes, "o" }).view());
    EXPECT_EQ(pdftest::run("qpdf --show-encryption --password-mode=bytes --password=" + std::string("'") + greetingBytes
                  + "' " + old + " | head -1"),
        "R = 3\n");
    core::Error error;
    EXPECT_TRUE(VKPDFDocument::initWithPath(old, greeting, &error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(VKPDFDocument::initWithPath(old, std::string("Grusse"), &error));
    EXPECT_EQ(error.code(), 2);

    // The newer takes UTF-8; "пароль" has no Windows-1252 form, and that
    // attempt fails quietly.
    core::LogCapture log(true);
    const std::string russian = "\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c";
    std::string modern = makeFile("modern.pdf", onePage(Encryption { Encryption::AES_256, russian, "o" }).view());
    EXPECT_EQ(pdftest::run("qpdf --show-encryption --password-mode=bytes --password=" + russian + " " + modern + " | head -1"),
        "R = 6\n");
    EXPECT_TRUE(VKPDFDocument::initWithPath(modern, russian, &error));
    EXPECT_FALSE(VKPDFDocument::initWithPath(modern, std::string("\xd0\xbf"), &error));
    EXPECT_EQ(error.code(), 2);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(VKPDFDocumentTest, Pages)
{
    test::PdfBuilder builder;
    for (int i = 0; i < 3; ++i)
        builder.addPage("");
    auto document = VKPDFDocument::initWithData(builder.build());
    ASSERT_TRUE(document);
    auto third = VKPDFPage::pageWithDocument(document, 3);
    EXPECT_EQ(third->pageIndex(), 2u);
    EXPECT_EQ(third->document(), document);
    EXPECT_EQ(third->pageRef().pageNumber(), 3);
    EXPECT_EQ(third->description(), fmt::format("<VKPDFPage: {}; page number 3>", static_cast<const void*>(third.get())));
    for (int outside : { 0, 4, -1 })
        EXPECT_FALSE(VKPDFPage::pageWithDocument(document, outside)->pageRef()) << outside;
    EXPECT_FALSE(VKPDFPage::pageWithDocument(nullptr, 1)->pageRef());
}

// An entry's value for the key; null when it has none.
const core::Value& at(const VKPDFOutlineEntry& entry, const std::string& key)
{
    static const core::Value none;
    auto found = entry->find(key);
    return found == entry->end() ? none : found->second;
}

// Outline entries as qpdf lists them: title, depth and 1-based page, depth
// first.
struct Listed {
    std::string title;
    int64_t depth;
    int64_t page;
    bool operator==(const Listed&) const = default;
};

void listQpdfOutlines(const core::Value& items, int64_t depth, std::vector<Listed>& out)
{
    for (size_t i = 0; i < items.count(); ++i) {
        const core::Value& item = items[i];
        out.push_back({ item["title"].toString(), depth, item["destpageposfrom1"].toInteger() });
        listQpdfOutlines(item["kids"], depth + 1, out);
    }
}

TEST_F(VKPDFDocumentTest, OutlineListOfRealFilesAsQpdfReadsIt)
{
    for (const char* name : { "writer.pdf", "ghostscript.pdf", "reportlab.pdf" }) {
        std::string path = sourcePath(std::string("tests/fixtures/pdf/") + name);
        auto json = JSONValue(pdftest::run("qpdf --json --json-key=outlines " + path));
        ASSERT_TRUE(json) << name;
        std::vector<Listed> expected;
        listQpdfOutlines((*json)["outlines"], 0, expected);

        auto document = VKPDFDocument::initWithPath(path);
        ASSERT_TRUE(document);
        EXPECT_EQ(document->numPages(), uint32_t(std::stoi(pdftest::run("qpdf --show-npages " + path))));
        auto list = document->outlineList();
        ASSERT_EQ(bool(list), !expected.empty()) << name;
        if (!list)
            continue;
        std::vector<Listed> listed;
        for (const VKPDFOutlineEntry& entry : *list) {
            auto target = at(entry, "Target").objectAs<VKPDFDestination>();
            listed.push_back({ at(entry, "Title").toString(), at(entry, "Depth").integer(), target ? target->pageNumber() : 0 });
        }
        EXPECT_EQ(listed, expected) << name;
    }
}

TEST_F(VKPDFDocumentTest, OutlineEntries)
{
    test::PdfBuilder builder;
    int page1 = builder.addPage(""), page2 = builder.addPage("");
    builder.setOutline({
        { "Colour", fmt::format("[{} 0 R /Fit]", page2), "/C [1 0.5 0] /F 3", {} },
        { "Two numbers", "", "/C [1 0] /F 1", {} },
        { "Four numbers", "", "/C [1 0 0 1] /F 2", {} },
        { "Not numbers", "", "/C [1 0 /x] /F 4", {} },
        { "Dest wins", fmt::format("[{} 0 R /Fit]", page1), fmt::format("/A << /S /GoTo /D [{} 0 R /Fit] >>", page2),
            { { "Action only", "", fmt::format("/A << /S /GoTo /D [{} 0 R /Fit] >>", page2), {} },
                { "Other action", "", fmt::format("/A << /S /Launch /D [{} 0 R /Fit] >>", page2), {} } } },
    });
    auto document = VKPDFDocument::initWithData(builder.build());
    auto list = document->outlineList();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 7u);
    auto entry = [&](size_t i) -> const core::Value::Dictionary& { return *(*list)[i]; };
    auto page = [&](size_t i) {
        auto target = entry(i).count("Target") ? entry(i).at("Target").objectAs<VKPDFDestination>() : nullptr;
        return target ? target->pageNumber() : -1;
    };

    EXPECT_EQ(entry(0).at("Color"), core::Value::makeArray({ 1.0, 0.5, 0.0, 1.0 }));
    EXPECT_EQ(entry(0).at("Italic"), core::Value(true));
    EXPECT_EQ(entry(0).at("Bold"), core::Value(true));
    EXPECT_EQ(page(0), 2);
    EXPECT_EQ(entry(1).count("Color") + entry(2).count("Color") + entry(3).count("Color"), 0u);
    EXPECT_TRUE(entry(1).count("Italic") && !entry(1).count("Bold"));
    EXPECT_TRUE(!entry(2).count("Italic") && entry(2).count("Bold"));
    EXPECT_TRUE(!entry(3).count("Italic") && !entry(3).count("Bold"));
    EXPECT_EQ(page(1), -1);
    EXPECT_EQ(page(4), 1);
    EXPECT_EQ(entry(5).at("Depth"), core::Value(1));
    EXPECT_EQ(page(5), 2);
    EXPECT_EQ(page(6), -1);

    // The entries are kept and shared: what the table adds stays.
    (*list)[0]->emplace("Height", 44);
    EXPECT_EQ(document->outlineList(), list);
    EXPECT_EQ(entry(0).at("Height"), core::Value(44));
}

TEST_F(VKPDFDocumentTest, NoOutline)
{
    test::PdfBuilder none;
    none.addPage("");
    auto document = VKPDFDocument::initWithData(none.build());
    EXPECT_FALSE(document->outlineList());
    EXPECT_FALSE(document->outlineList());

    test::PdfBuilder empty;
    empty.addPage("");
    empty.setOutline({});
    document = VKPDFDocument::initWithData(empty.build());
    EXPECT_FALSE(document->outlineList());
    EXPECT_FALSE(document->outlineList());
}

TEST_F(VKPDFDocumentTest, HostileOutlines)
{
    test::PdfBuilder builder;
    builder.addPage("");
    // A Next chain looping back to its start, and an item whose First is
    // its own parent; an item without a string Title.
    int outlines = builder.addObject("<< /Type /Outlines >>");
    int a = builder.addObject("<< /Title (A) >>"), b = builder.addObject("<< /Title (B) >>");
    int c = builder.addObject("<< /Title (C) >>"), d = builder.addObject("<< /Title 7 >>");
    builder.setObject(outlines, fmt::format("<< /Type /Outlines /First {} 0 R >>", a));
    builder.setObject(a, fmt::format("<< /Title (A) /Next {} 0 R /First {} 0 R >>", b, c));
    builder.setObject(b, fmt::format("<< /Title (B) /Next {} 0 R >>", a));
    builder.setObject(c, fmt::format("<< /Title (C) /First {} 0 R /Next {} 0 R >>", a, d));
    builder.setObject(d, fmt::format("<< /Title 7 /First {} 0 R >>", outlines));
    builder.setCatalogEntry("Outlines", fmt::format("{} 0 R", outlines));
    auto document = VKPDFDocument::initWithData(builder.build());
    auto list = document->outlineList();
    ASSERT_TRUE(list);
    std::vector<std::string> titles;
    for (const auto& entry : *list)
        titles.push_back(fmt::format("{}{}", at(entry, "Depth").integer(), at(entry, "Title").toString()));
    EXPECT_EQ(titles, (std::vector<std::string> { "0A", "1C", "1(null)", "0B" }));
}

TEST_F(VKPDFDocumentTest, DeepOutlineIsListedWhole)
{
    constexpr int kLevels = 10000;
    test::PdfBuilder builder;
    int page = builder.addPage("");
    std::vector<int> items;
    for (int i = 0; i < kLevels; ++i)
        items.push_back(builder.addObject("<< >>"));
    for (int i = 0; i < kLevels; ++i) {
        std::string first = i + 1 < kLevels ? fmt::format("/First {} 0 R", items[i + 1]) : "";
        builder.setObject(items[i], fmt::format("<< /Title (L{}) /Dest [{} 0 R /Fit] {} >>", i, page, first));
    }
    builder.setCatalogEntry("Outlines", fmt::format("<< /First {} 0 R >>", items[0]));
    auto document = VKPDFDocument::initWithData(builder.build());
    auto list = document->outlineList();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), size_t(kLevels));
    EXPECT_EQ(at(list->back(), "Depth"), core::Value(kLevels - 1));
    EXPECT_EQ(at(list->back(), "Title"), core::Value("L9999"));
}

} // namespace
