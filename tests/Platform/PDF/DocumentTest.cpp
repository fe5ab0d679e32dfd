#include "Platform/PDF/Document.h"

#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"

namespace {

class DocumentTest : public test::TestCase { };

TEST_F(DocumentTest, OpensBuiltDocument)
{
    test::PdfBuilder builder;
    builder.addPage("BT ET");
    pdf::Document::Status status;
    auto document = pdf::Document::open(builder.build(), &status);
    ASSERT_TRUE(document);
    EXPECT_EQ(status, pdf::Document::Status::Opened);
    EXPECT_EQ(document->pageCount(), 1);
}

} // namespace
