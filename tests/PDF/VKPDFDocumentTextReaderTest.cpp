#include "PDF/PdfTextTools.h"

#include "PDF/VKPDFDocumentTextReader.h"
#include "PDF/VKPDFFontInfo.h"
#include "Support/TestCase.h"

#include <gtest/gtest.h>

using namespace pdftext;

namespace {

class VKPDFDocumentTextReaderTest : public test::TestCase { };

TEST_F(VKPDFDocumentTextReaderTest, ReadsEveryPageAcrossFreshDocumentsOfALockedOne)
{
    test::PdfBuilder builder;
    int font = addMonoFont(builder);
    const int pages = 2 * VKPDFDocumentTextReader::kPagesPerDocument + 3;
    for (int n = 1; n <= pages; ++n)
        builder.addPage(fmt::format("BT /F1 10 Tf 100 700 Td (page {}) Tj ET", n), pageEntries({ font }));
    auto document = pdf::Document::open(builder.build(test::PdfBuilder::Encryption { .userPassword = "user" }));
    ASSERT_TRUE(document && document->unlock("user"));
    const size_t decodersBefore = VKPDFFontInfo::cachedFontInfoCountForTesting();
    {
        VKPDFDocumentTextReader reader(document);
        for (int n : { 1, 2, VKPDFDocumentTextReader::kPagesPerDocument + 1, pages - 1, pages, 1, pages + 1 }) {
            const std::string expected = n <= pages ? fmt::format("page {}", n) : "";
            EXPECT_EQ(core::toUTF8(reader.scannerForPage(n)->text()), expected);
        }
        // The first read document's decoder went with it.
        EXPECT_EQ(VKPDFFontInfo::cachedFontInfoCountForTesting(), decodersBefore + 1);
    }
    EXPECT_EQ(VKPDFFontInfo::cachedFontInfoCountForTesting(), decodersBefore);
    // A locked document gives nothing to read afresh: its own empty pages.
    auto locked = pdf::Document::open(builder.build(test::PdfBuilder::Encryption { .userPassword = "user" }));
    ASSERT_TRUE(locked && locked->isLocked());
    EXPECT_EQ(locked->reopened(), nullptr);
    EXPECT_EQ(VKPDFDocumentTextReader(locked).scannerForPage(1)->text(), u"");
}

} // namespace
