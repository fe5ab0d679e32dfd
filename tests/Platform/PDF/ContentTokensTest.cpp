#include "Platform/PDF/ContentTokens.h"

#include "Support/TestCase.h"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>

#include <fmt/format.h>
#include <random>

using pdf::detail::ContentTokens;

namespace {

class ContentTokensTest : public test::TestCase { };

// Each token as "type:value", up to the end or the first bad one.
std::vector<std::string> byQpdf(const std::string& content)
{
    auto input = std::make_shared<BufferInputSource>("content",
        new Buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(content.data())), content.size()), true);
    QPDFTokenizer tokenizer;
    tokenizer.allowEOF();
    std::vector<std::string> tokens;
    for (;;) {
        QPDFTokenizer::Token token = tokenizer.readToken(input, "content", true, 0);
        if (token.getType() == QPDFTokenizer::tt_space || token.getType() == QPDFTokenizer::tt_comment)
            continue;
        tokens.push_back(fmt::format("{}:{}", int(token.getType()), token.getValue()));
        if (token.getType() == QPDFTokenizer::tt_eof || token.getType() == QPDFTokenizer::tt_bad)
            return tokens;
    }
}

std::vector<std::string> byContentTokens(const std::string& content)
{
    ContentTokens reader(content);
    std::vector<std::string> tokens;
    for (;;) {
        ContentTokens::Type type = reader.next();
        tokens.push_back(fmt::format("{}:{}", int(type), reader.value()));
        if (type == QPDFTokenizer::tt_eof || type == QPDFTokenizer::tt_bad)
            return tokens;
    }
}

TEST_F(ContentTokensTest, ReadsWhatQpdfReads)
{
    for (const char* content : { "BT /F1 12 Tf 72 712 Td (Hello) Tj ET", "[(A) -120.5 (B) .5 +3 -.25 4.] TJ",
             "<< /MCID 0 >> BDC true false null EMC", "(a\\)b) Tj (x(y)z) Tj (r\r\n) Tj <414243> Tj",
             "/A#20B 1 d0 T* ' \" 5Tj 1.2.3 + - . +. --5 /", "% comment\n1 0 0 1 0 0 cm\f{ }\v q", "(never ends",
             "<41 42> <4g> <414> <> <",
             ">> ]", "/\xE9t\xE9 \x80 1" }) {
        SCOPED_TRACE(content);
        EXPECT_EQ(byContentTokens(content), byQpdf(content));
    }
    // Random content from the bytes that matter to a tokenizer.
    static const char bytes[] = "0123456789ABcF+-.eTjJdnulfrsa*'\"/#()\\<>[]{}% \n\r\t\f\v\0\x80\xFF";
    const std::string alphabet(bytes, sizeof bytes - 1);
    std::mt19937 random(79);
    for (int round = 0; round < 20000; ++round) {
        std::string content;
        for (size_t length = random() % 24; content.size() < length;)
            content += alphabet[random() % alphabet.size()];
        ASSERT_EQ(byContentTokens(content), byQpdf(content)) << fmt::format("{:?}", content);
    }
}

} // namespace
