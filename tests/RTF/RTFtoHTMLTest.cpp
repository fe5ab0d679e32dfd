#include "HTMLConversion.h"

#include "Platform/Core/PercentEscape.h"
#include "Support/TestCase.h"
#include "RTF/RTFtoHTML.h"

#include <streambuf>
#include <thread>

using rtf_test::body;
using rtf_test::html;

namespace {

class RTFtoHTMLTest : public test::TestCase {
protected:
    static std::string documentHead()
    {
        return std::string("<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n")
            + rtf::Converter2HTML::CreateHTMLOutputTags()->style_begin + "</style>\n";
    }

    static void expectTheError(const std::optional<std::string>& result, const core::Error& error)
    {
        EXPECT_FALSE(result.has_value());
        EXPECT_EQ(error.domain(), "RTFtoHTMLDomain");
        EXPECT_EQ(error.code(), -1);
        EXPECT_TRUE(error.userInfo().empty());
    }
};

// Serves a document and then fails, as a disk would in the middle of a file.
class FailingHtmlBuffer : public std::streambuf {
public:
    explicit FailingHtmlBuffer(std::string data)
        : m_data(std::move(data))
    {
    }

protected:
    int_type underflow() override
    {
        if (m_served)
            throw std::ios_base::failure("read error");
        m_served = true;
        setg(m_data.data(), m_data.data(), m_data.data() + m_data.size());
        return traits_type::to_int_type(m_data[0]);
    }

private:
    std::string m_data;
    bool m_served = false;
};

// A converter whose character set no translation knows.
class BrokenConverter : public rtf::Converter2HTML {
public:
    BrokenConverter() { m_codePages.setCharset(3); }
};

std::string nested(int depth)
{
    return std::string(static_cast<size_t>(depth), '{') + "\\b x" + std::string(static_cast<size_t>(depth), '}');
}

} // namespace

TEST_F(RTFtoHTMLTest, PathsThatAreNoReadableFileGiveTheOneError)
{
    for (const std::string& path : { pathInHome("missing.rtf"), makeFolder("folder.rtf"), std::string("/proc/self/mem") }) {
        SCOPED_TRACE(path);
        core::Error error;
        expectTheError(convertRTFAtPathToHTML(path, &error), error);
    }
    EXPECT_FALSE(convertRTFAtPathToHTML(pathInHome("missing.rtf")));
}

TEST_F(RTFtoHTMLTest, DocumentsHaveAHeadAndABodyOpenedByTheirFirstText)
{
    const std::string head = documentHead();
    EXPECT_EQ(convertRTFAtPathToHTML(makeFile("empty.rtf")), head + "\n</body>\n</html>");
    EXPECT_EQ(convertRTFAtPathToHTML(makeFile("hello.rtf", "{\\rtf1 Hello}")),
        head + "<meta name=\"viewport\" content=\"width=632\">\n</head>\n<body width=\"632px\">\nHello\n</body>\n</html>");
    // An ignored destination writes nothing, not even the body opening.
    EXPECT_EQ(html("{\\rtf1{\\*\\foo x}}"), head + "\n</body>\n</html>");
}

TEST_F(RTFtoHTMLTest, AFailureAnywhereInTheConversionDiscardsEverything)
{
    std::string document = "{\\rtf1 " + std::string(120000, 'a') + "}";
    FailingHtmlBuffer failing(document.substr(0, 70000));
    std::istream in(&failing);
    rtf::Converter2HTML converter;
    rtf::Params params;
    EXPECT_EQ(&converter.Convert(in, params), &rtf::EMPTY_STRING);

    // A stream at its end already gives nothing to convert.
    std::istringstream ended("");
    ended.get();
    EXPECT_EQ(&converter.Convert(ended, params), &rtf::EMPTY_STRING);

    // An output operation that throws, after output was written.
    BrokenConverter broken;
    std::istringstream hex("{\\rtf1 text \\'e9}");
    EXPECT_EQ(&broken.Convert(hex, params), &rtf::EMPTY_STRING);
    EXPECT_EQ(broken.GetOutput(), "");

    // Too deep is the error too, through the entry.
    core::Error error;
    expectTheError(convertRTFAtPathToHTML(makeFile("deep.rtf", nested(1001)), &error), error);
}

TEST_F(RTFtoHTMLTest, DeepDocumentsConvertOnAWorkerThreadAndThreadsConvertAlike)
{
    std::string deep;
    std::thread worker([&] { deep = body(nested(1000)); });
    worker.join();
    EXPECT_EQ(deep, "<b>x</b>");

    std::string path = makeFile("styles.rtf", readFile(sourcePath("tests/fixtures/rtf/lo/styles.rtf")) + "{\\rtf1\\ansicpg1251 \\'c0}");
    std::optional<std::string> results[2];
    std::thread first([&] { results[0] = convertRTFAtPathToHTML(path); });
    std::thread second([&] { results[1] = convertRTFAtPathToHTML(path); });
    first.join();
    second.join();
    ASSERT_TRUE(results[0] && results[1]);
    EXPECT_EQ(*results[0], *results[1]);
    EXPECT_NE(results[0]->find("Eight points"), std::string::npos);
}

TEST_F(RTFtoHTMLTest, HostileDocumentsConvertHarmlesslyOrFail)
{
    const std::string documents[] = {
        "{\\rtf1\\fs99999999999 \\li-99999999999 \\u99999999 \\paperw-99999 x}",
        "{\\rtf1{\\colortbl;\\red-5\\green99999999\\blue3;}\\cf1 a\\cf2 b\\cf-1 c\\cb65535 d\\f77 e}",
        "}}}{{{\\b x",
        std::string("{\\rtf1 a\0b\\'00\\u0 c}", 21),
        "{\\rtf1\\intbl\\row\\row\\row{a}\\cell\\cell}",
        "{\\rtf1\\ansicpg932 \\'82\\'82\\'82\\'82\\'82\\'82\\'82\\'82\\'82\\'82\\'82\\'82\\'82 x}",
    };
    for (const std::string& document : documents) {
        SCOPED_TRACE(document);
        std::string converted = html(document);
        EXPECT_FALSE(converted.empty());
        EXPECT_TRUE(core::isValidUTF8(converted));
    }
    EXPECT_EQ(body("{\\rtf1\\cf-1 c\\cf2 d}"), "cd");

    // Many groups each reopening many tags would write far more than the
    // document holds: the output is bounded.
    std::string bomb = "{\\rtf1{\\fonttbl{\\f0 " + std::string(250, 'F') + ";}}";
    for (int i = 0; i < 60; ++i)
        bomb += "\\f0";
    for (int i = 0; i < 100000; ++i)
        bomb += "{\\v}";
    EXPECT_TRUE(html(bomb + "}").empty());
}
