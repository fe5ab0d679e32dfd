#include "Platform/PDF/Scanner.h"

#include "Platform/Core/Log.h"
#include "Platform/PDF/Document.h"
#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"

#include <fmt/format.h>

using namespace pdf;

namespace {

// Records what the callbacks pop, one line per operator.
struct Recorder {
    std::vector<std::string> lines;
};

Recorder& recorder(void* info)
{
    return *static_cast<Recorder*>(info);
}

void numbers(Scanner& scanner, void* info)
{
    std::string line;
    double value;
    while (scanner.popNumber(value))
        line += fmt::format("{} ", value);
    recorder(info).lines.push_back(line);
}

void showText(Scanner& scanner, void* info)
{
    String text;
    std::string name;
    std::string line = "Tj";
    bool found = scanner.popString(text);
    if (!found && scanner.popName(name)) {
        line += " /" + name;
        found = scanner.popString(text);
    }
    if (found)
        line += " " + text.bytes();
    recorder(info).lines.push_back(line);
}

void showArray(Scanner& scanner, void* info)
{
    Array array;
    std::string line = "TJ";
    if (scanner.popArray(array)) {
        for (size_t i = 0; i < array.count(); ++i) {
            String text;
            double number;
            Array inner;
            if (array.string(i, text))
                line += " (" + text.bytes() + ")";
            else if (array.number(i, number))
                line += fmt::format(" {}", number);
            else if (array.array(i, inner))
                line += fmt::format(" [{}]", inner.count());
        }
    }
    recorder(info).lines.push_back(line);
}

void selectFont(Scanner& scanner, void* info)
{
    double size = 0;
    std::string name;
    scanner.popNumber(size);
    scanner.popName(name);
    Object font;
    Dictionary dictionary;
    std::string base = "none";
    if (scanner.resource("Font", name, font) && font.dictionary(dictionary))
        dictionary.name("BaseFont", base);
    recorder(info).lines.push_back(fmt::format("Tf {} {} {}", name, size, base));
}

void anything(Scanner& scanner, void* info)
{
    Object object;
    std::string line = "BDC";
    while (scanner.popObject(object))
        line += fmt::format(" {}", int(object.type()));
    recorder(info).lines.push_back(line);
}

const OperatorTable& table()
{
    static const OperatorTable shared = [] {
        OperatorTable table;
        table.setCallback("cm", numbers);
        table.setCallback("Tj", showText);
        table.setCallback("TJ", showArray);
        table.setCallback("Tf", selectFont);
        table.setCallback("BDC", anything);
        return table;
    }();
    return shared;
}

class ScannerTest : public test::TestCase {
protected:
    // Scans a one-page document made of the given content streams.
    std::vector<std::string> scan(std::vector<std::string> contents, bool* complete = nullptr, bool compress = true)
    {
        test::PdfBuilder builder;
        test::PdfBuilder::PageDescription page;
        page.contents = std::move(contents);
        builder.addPage(page);
        return scanPage(builder.build(std::nullopt, compress), 1, complete);
    }

    static std::vector<std::string> scanPage(const core::Data& bytes, int number, bool* complete = nullptr)
    {
        auto document = Document::open(bytes);
        Recorder recorder;
        Scanner scanner(document->page(number), table(), &recorder);
        bool finished = scanner.scan();
        if (complete)
            *complete = finished;
        return recorder.lines;
    }

    using Lines = std::vector<std::string>;
};

TEST_F(ScannerTest, OperandsPopLastFirstAndNeverOutliveTheirOperator)
{
    EXPECT_EQ(scan({ "1 2 3 4 5 6 cm" }), Lines({ "6 5 4 3 2 1 " }));
    // An unregistered operator drops its operands all the same.
    EXPECT_EQ(scan({ "1 2 xx 3 cm q Q cm" }), Lines({ "3 ", "" }));
    // A failed pop leaves the stack as it was.
    EXPECT_EQ(scan({ "(s) /N Tj" }), Lines({ "Tj /N s" }));
    EXPECT_EQ(scan({ "-.5 +3 4. 0.25 cm" }), Lines({ "0.25 4 3 -0.5 " }));
    // No exponents in PDF: "1e2" is an operator of its own.
    EXPECT_EQ(scan({ "1 1e2 2 cm" }), Lines({ "2 " }));
    EXPECT_EQ(scan({ "<48656C6C6F> Tj (a\\)b\\\\c\\101) Tj % (no) Tj\n(yes) Tj" }),
        Lines({ "Tj Hello", "Tj a)b\\cA", "Tj yes" }));
    EXPECT_EQ(scan({ "[(A) -120 (B) [1 2]] TJ" }), Lines({ "TJ (A) -120 (B) [2]" }));
    EXPECT_EQ(scan({ "/Span << /MCID 3 >> true null 1 /N (s) [ ] BDC" }), Lines({ "BDC 6 5 4 2 0 1 7 4" }));
}

TEST_F(ScannerTest, ContentStreamsJoin)
{
    EXPECT_EQ(scan({ "1 2 3", "4 5 6 cm" }), Lines({ "6 5 4 3 2 1 " }));
    EXPECT_EQ(scan({ "(one) Tj", "", "(two) Tj" }), Lines({ "Tj one", "Tj two" }));
    EXPECT_EQ(scan({ "(uncompressed) Tj" }, nullptr, false), Lines({ "Tj uncompressed" }));
}

TEST_F(ScannerTest, InlineImagesAreSkippedWhole)
{
    // Eight samples whose bytes read "(a)EI Tj": the length tells where the
    // image ends.
    EXPECT_EQ(scan({ "(before) Tj BI /W 8 /H 1 /BPC 8 /CS /G ID (a)EI Tj EI (after) Tj" }),
        Lines({ "Tj before", "Tj after" }));
    EXPECT_EQ(scan({ "BI /Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB ID EI Tj EI (after) Tj" }),
        Lines({ "Tj after" }));
    // Filtered data: the end is found by looking for EI.
    EXPECT_EQ(scan({ "BI /W 2 /H 2 /BPC 8 /CS /G /F /AHx ID 00ff00ff> EI (after) Tj" }), Lines({ "Tj after" }));
}

TEST_F(ScannerTest, DamageEndsTheScan)
{
    core::LogCapture log(true);
    bool complete = true;
    EXPECT_EQ(scan({ "(ok) Tj (never ends Tj" }, &complete), Lines({ "Tj ok" }));
    EXPECT_FALSE(complete);
    EXPECT_TRUE(log.contains("damaged"));

    EXPECT_EQ(scan({ "(ok) Tj [1 2 Tj (no) Tj" }, &complete), Lines({ "Tj ok" }));
    EXPECT_FALSE(complete);

    std::string deep = std::string(64, '[') + std::string(64, ']') + " TJ";
    EXPECT_EQ(scan({ deep }, &complete), Lines({ "TJ [1]" }));
    EXPECT_TRUE(complete);
    scan({ std::string(65, '[') + std::string(65, ']') + " TJ" }, &complete);
    EXPECT_FALSE(complete);

    std::string many;
    for (int i = 0; i < 10000; ++i)
        many += "1 ";
    EXPECT_EQ(scan({ many + "q (after) Tj" }, &complete), Lines({ "Tj after" }));
    EXPECT_TRUE(complete);
    EXPECT_TRUE(scan({ many + "1 q (after) Tj" }, &complete).empty());
    EXPECT_FALSE(complete);

    // Content that inflates past the limit ends the scan instead of memory.
    test::PdfBuilder builder;
    int bomb = builder.addStream("/Filter /FlateDecode", test::PdfBuilder::flateBomb(size_t(257) << 20));
    builder.addPage("", fmt::format("/MediaBox [0 0 612 792] /Contents {} 0 R", bomb));
    EXPECT_TRUE(scanPage(builder.build(), 1, &complete).empty());
    EXPECT_FALSE(complete);
}

TEST_F(ScannerTest, ResourcesAreInherited)
{
    test::PdfBuilder builder;
    int helvetica = builder.addStandardFont("Helvetica");
    int times = builder.addStandardFont("Times-Roman");
    int node = builder.addPages(0, fmt::format("/Resources << /Font << /F1 {} 0 R /F2 {} 0 R >> >>", helvetica, times));
    test::PdfBuilder::PageDescription inherits { "/MediaBox [0 0 612 792]", { "/F1 12 Tf /F3 9 Tf" }, node };
    test::PdfBuilder::PageDescription own { fmt::format("/MediaBox [0 0 612 792] /Resources << /Font << /F1 {} 0 R >> >>", times),
        { "/F1 12 Tf /F2 10 Tf" }, node };
    builder.addPage(inherits);
    builder.addPage(own);
    core::Data bytes = builder.build();
    EXPECT_EQ(scanPage(bytes, 1), Lines({ "Tf F1 12 Helvetica", "Tf F3 9 none" }));
    EXPECT_EQ(scanPage(bytes, 2), Lines({ "Tf F1 12 Times-Roman", "Tf F2 10 Times-Roman" }));
}

TEST_F(ScannerTest, PagesWithoutContent)
{
    test::PdfBuilder builder;
    builder.addPage("");
    builder.addPage("", "/MediaBox [0 0 612 792] /Contents [1 2 (x)]");
    core::Data bytes = builder.build();
    bool complete = false;
    EXPECT_TRUE(scanPage(bytes, 1, &complete).empty());
    EXPECT_TRUE(complete);
    EXPECT_TRUE(scanPage(bytes, 2).empty());

    Recorder none;
    Scanner empty(Page(), table(), &none);
    EXPECT_FALSE(empty.scan());
}

} // namespace
