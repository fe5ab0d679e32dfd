#include "Platform/PDF/Array.h"
#include "Platform/PDF/Document.h"
#include "Platform/PDF/Stream.h"

#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"

#include <fmt/format.h>
#include <unordered_set>

using namespace pdf;

namespace {

class ObjectTest : public test::TestCase { };

TEST_F(ObjectTest, DictionaryAndArrayGettersResolveAndCheckTypes)
{
    test::PdfBuilder builder;
    int target = builder.addObject("42");
    int stream = builder.addStream("/Kind /Test", "stream data");
    builder.setCatalogEntry("Test", fmt::format("<< /I 5 /R 2.5 /Neg -.5 /B true /N /Font /S (abc) /A [1 (x) /n null {0} 0 R] "
                                                "/D << /k 1 >> /Ref {0} 0 R /Dangling 999 0 R /Null null /St {1} 0 R /Esc /A#20B >>",
                                        target, stream));
    auto document = Document::open(builder.build());
    Dictionary test;
    ASSERT_TRUE(document->catalog().dictionary("Test", test));

    int64_t integer = -1;
    double number = -1;
    bool boolean = false;
    std::string name = "untouched";
    String string;
    EXPECT_TRUE(test.integer("I", integer));
    EXPECT_EQ(integer, 5);
    EXPECT_FALSE(test.integer("R", integer)); // a real is no integer
    EXPECT_EQ(integer, 5);
    EXPECT_TRUE(test.number("R", number));
    EXPECT_EQ(number, 2.5);
    EXPECT_TRUE(test.number("I", number));
    EXPECT_EQ(number, 5.0);
    EXPECT_TRUE(test.number("Neg", number));
    EXPECT_EQ(number, -0.5);
    EXPECT_TRUE(test.boolean("B", boolean));
    EXPECT_TRUE(boolean);
    EXPECT_FALSE(test.name("S", name));
    EXPECT_EQ(name, "untouched");
    EXPECT_TRUE(test.name("N", name));
    EXPECT_EQ(name, "Font");
    EXPECT_TRUE(test.name("Esc", name));
    EXPECT_EQ(name, "A B");
    EXPECT_TRUE(test.string("S", string));
    EXPECT_EQ(string.bytes(), "abc");
    EXPECT_TRUE(test.integer("Ref", integer));
    EXPECT_EQ(integer, 42);

    Object object;
    EXPECT_FALSE(test.object("Missing", object));
    EXPECT_FALSE(test.object("Dangling", object));
    EXPECT_FALSE(test.object("Null", object));
    EXPECT_TRUE(test.object("D", object));
    EXPECT_EQ(object.type(), ObjectType::Dictionary);
    Dictionary inner;
    EXPECT_TRUE(object.dictionary(inner));
    EXPECT_TRUE(inner.integer("k", integer));
    EXPECT_EQ(integer, 1);
    EXPECT_FALSE(test.dictionary("A", inner));

    Stream data;
    EXPECT_TRUE(test.stream("St", data));
    EXPECT_TRUE(data.dictionary().name("Kind", name));
    EXPECT_EQ(name, "Test");
    EXPECT_FALSE(test.dictionary("St", inner));
    EXPECT_EQ(data.decodedData(100)->toString(), "stream data");

    Array array;
    ASSERT_TRUE(test.array("A", array));
    EXPECT_EQ(array.count(), 5u);
    EXPECT_TRUE(array.integer(0, integer));
    EXPECT_EQ(integer, 1);
    EXPECT_TRUE(array.string(1, string));
    EXPECT_EQ(string.bytes(), "x");
    EXPECT_TRUE(array.name(2, name));
    EXPECT_EQ(name, "n");
    EXPECT_TRUE(array.object(3, object)); // a null element is there
    EXPECT_EQ(object.type(), ObjectType::Null);
    EXPECT_TRUE(array.integer(4, integer));
    EXPECT_EQ(integer, 42);
    EXPECT_FALSE(array.object(5, object));
    EXPECT_FALSE(array.string(0, string));

    std::vector<std::string> keys = test.keys();
    EXPECT_EQ(keys.size(), 11u); // entries with a null value are not there
    EXPECT_NE(std::find(keys.begin(), keys.end(), "Ref"), keys.end());

    // Empty handles answer nothing.
    EXPECT_FALSE(Dictionary().integer("I", integer));
    EXPECT_EQ(Array().count(), 0u);
    EXPECT_EQ(Object().type(), ObjectType::Null);
    EXPECT_FALSE(Stream().decodedData(10));
}

TEST_F(ObjectTest, TextStrings)
{
    // PDFDocEncoding: 0x80 bullet, 0xA0 euro, 0xE9 é.
    EXPECT_EQ(String("a\x80\xa0\xe9").text(), "a\xe2\x80\xa2\xe2\x82\xac\xc3\xa9");
    // UTF-16BE with a surrogate pair (U+1F600) after its mark.
    EXPECT_EQ(String(std::string("\xfe\xff\x00\x41\xd8\x3d\xde\x00", 8)).text(), "A\xf0\x9f\x98\x80");
    // UTF-8 after its mark.
    EXPECT_EQ(String("\xef\xbb\xbf\xc3\xa9t\xc3\xa9").text(), "\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(String().text(), "");
}

TEST_F(ObjectTest, DecodedDataStaysWithinItsLimit)
{
    test::PdfBuilder builder;
    int plain = builder.addStream("", std::string(10000, 'x'));
    int bomb = builder.addStream("/Filter /FlateDecode", test::PdfBuilder::flateBomb(size_t(64) << 20));
    int broken = builder.addStream("/Filter /FlateDecode", "not flate at all");
    int unknown = builder.addStream("/Filter /NoSuchDecode", "data");
    builder.setCatalogEntry("Streams", fmt::format("[{} 0 R {} 0 R {} 0 R {} 0 R]", plain, bomb, broken, unknown));
    auto document = Document::open(builder.build());
    Array streams;
    ASSERT_TRUE(document->catalog().array("Streams", streams));
    Stream stream;
    ASSERT_TRUE(streams.stream(0, stream));
    EXPECT_FALSE(stream.decodedData(9999));
    EXPECT_EQ(stream.decodedData(10000)->size(), 10000u);
    ASSERT_TRUE(streams.stream(1, stream));
    EXPECT_FALSE(stream.decodedData(size_t(1) << 20));
    ASSERT_TRUE(streams.stream(2, stream));
    EXPECT_FALSE(stream.decodedData(size_t(1) << 20));
    ASSERT_TRUE(streams.stream(3, stream));
    EXPECT_FALSE(stream.decodedData(size_t(1) << 20));
}

TEST_F(ObjectTest, IdentityAndSameness)
{
    test::PdfBuilder builder;
    builder.addPage("");
    int second = builder.addPage("");
    int first = 0;
    builder.addAnnotation(second, fmt::format("<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Dest [{} 0 R /Fit] >>", second));
    (void)first;
    core::Data bytes = builder.build();
    auto document = Document::open(bytes);
    auto other = Document::open(bytes);

    Array annotations, destination;
    Dictionary link;
    ASSERT_TRUE(document->page(2).dictionary().array("Annots", annotations));
    ASSERT_TRUE(annotations.dictionary(0, link));
    ASSERT_TRUE(link.array("Dest", destination));
    Dictionary target;
    ASSERT_TRUE(destination.dictionary(0, target));
    EXPECT_EQ(target.identity(), document->page(2).dictionary().identity());
    EXPECT_NE(target.identity(), document->page(1).dictionary().identity());
    EXPECT_NE(target.identity(), other->page(2).dictionary().identity());

    // Identities of every object of both documents are distinct, and the
    // same direct object keeps its identity.
    std::unordered_set<pdf::Identity> identities;
    for (const auto& doc : { document, other }) {
        for (int n = 1; n <= 2; ++n)
            EXPECT_TRUE(identities.insert(doc->page(n).dictionary().identity()).second);
        EXPECT_TRUE(identities.insert(doc->catalog().identity()).second);
    }
    Object type1, type2;
    ASSERT_TRUE(link.object("Rect", type1));
    ASSERT_TRUE(link.object("Rect", type2));
    EXPECT_EQ(type1.identity(), type2.identity());
    EXPECT_TRUE(identities.insert(type1.identity()).second);
}

TEST_F(ObjectTest, ReferenceCyclesEnd)
{
    // Objects that refer to each other, and a page whose parent chain loops.
    std::string body = "%PDF-1.4\n"
                       "1 0 obj << /Type /Catalog /Pages 2 0 R /Loop 5 0 R >> endobj\n"
                       "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 /Parent 4 0 R >> endobj\n"
                       "3 0 obj << /Type /Page /Parent 4 0 R >> endobj\n"
                       "4 0 obj << /Type /Pages /Kids [3 0 R] /Parent 3 0 R >> endobj\n"
                       "5 0 obj 6 0 R endobj\n"
                       "6 0 obj 5 0 R endobj\n"
                       "trailer << /Root 1 0 R /Size 7 >>\n%%EOF\n";
    auto document = Document::open(core::Data(body));
    ASSERT_TRUE(document);
    Object loop;
    document->catalog().object("Loop", loop);
    loop.type();
    ASSERT_EQ(document->pageCount(), 1);
    EXPECT_EQ(document->page(1).boxRect(pdf::Box::Media), gfx::Rect(0, 0, 612, 792));
    EXPECT_EQ(document->page(1).rotationAngle(), 0);
}

} // namespace
