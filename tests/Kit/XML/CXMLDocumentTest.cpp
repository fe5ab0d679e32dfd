#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Kit/XML/CXMLNamespace.h"
#include "Platform/Core/URL.h"

#include "Support/Command.h"
#include "Support/TestCase.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

class CXMLDocumentTest : public test::TestCase { };

std::shared_ptr<CXMLDocument> parse(std::string_view text, unsigned options = 0, core::Error* error = nullptr)
{
    return CXMLDocument::initWithData(core::Data(text), options, error);
}

// Everything written to stderr while `work` runs.
template<typename Work> std::string stderrOf(Work work)
{
    std::fflush(stderr);
    int saved = dup(2);
    FILE* file = std::tmpfile();
    dup2(fileno(file), 2);
    work();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(file);
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, file))
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

TEST_F(CXMLDocumentTest, ParsesXmlDroppingBlankTextAndChoosesHtml)
{
    core::Error error("x", 1);
    auto document = parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\n  <b/>\n  <c> x </c>\n</a>", 0, &error);
    ASSERT_TRUE(document);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(document->rootElement()->children().size(), 2u);
    EXPECT_EQ(document->rootElement()->children().at(1)->stringValue(), " x ");
    EXPECT_EQ(document->version(), "1.0");
    EXPECT_EQ(document->kind(), CXMLNode::DocumentKind);
    EXPECT_EQ(document->name(), "");

    // The HTML parser recovers from a broken page and logs what it found.
    auto page = parse("<html><body><p>one<div>two</span></body>", CXMLDocument::HTMLOption, &error);
    ASSERT_TRUE(page);
    EXPECT_TRUE(logContains("CXMLDocument parse error, level: 2, message: "));
    EXPECT_TRUE(error.isEmpty());
    auto divs = page->nodesForXPath("//div");
    ASSERT_TRUE(divs);
    EXPECT_EQ((*divs)[0]->stringValue(), "two");

    // An HTML5 doctype picks the HTML parser by itself, also in short data;
    // a multi-byte character cut at byte 20 means the bytes are not looked at.
    EXPECT_TRUE(parse("<!DOCTYPE html><p>x"));
    EXPECT_TRUE(parse("<!DOCTYPE html><br/>\xc3\xa9<p>x</p>"));
    EXPECT_FALSE(parse("<!DOCTYPE html>abcd\xc3\xa9<p>x</p>"));
    EXPECT_TRUE(parse("<!DOCTYPE html>abcd\xc3\xa9<p>x</p>", CXMLDocument::HTMLOption));
}

TEST_F(CXMLDocumentTest, UnparseableInputFailsWithCodeThree)
{
    for (std::string_view text : { std::string_view(), std::string_view("<<<"), std::string_view("<a></b>") }) {
        core::Error error;
        EXPECT_FALSE(parse(text, 0, &error)) << text;
        EXPECT_EQ(error.domain(), "CXMLErrorDomain");
        EXPECT_EQ(error.code(), 3);
        EXPECT_TRUE(error.userInfo().empty());
    }
    core::Error error;
    EXPECT_FALSE(CXMLDocument::initWithXMLString("", 0, &error));
    EXPECT_EQ(error.code(), 3);
}

TEST_F(CXMLDocumentTest, HostileInputIsRefusedQuietly)
{
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    std::string previous = "lol";
    for (int level = 1; level <= 9; ++level) {
        std::string name = "lol" + std::to_string(level);
        laughs += "<!ENTITY " + name + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += "&" + previous + ";";
        laughs += "\">\n";
        previous = name;
    }
    laughs += "]>\n<lolz>&" + previous + ";</lolz>";
    std::string external = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>";

    std::string printed = stderrOf([&] {
        auto start = std::chrono::steady_clock::now();
        core::Error error;
        EXPECT_FALSE(parse(laughs, 0, &error));
        EXPECT_EQ(error.code(), 3);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

        auto document = parse(external);
        if (document) {
            auto text = document->rootElement()->stringValue().value_or("");
            EXPECT_EQ(text.find("root:"), std::string::npos);
        }
        EXPECT_FALSE(parse("<a><b></a>"));
        auto ok = parse("<a/>");
        EXPECT_FALSE(ok->nodesForXPath("//[", &error));
        EXPECT_FALSE(ok->rootElement()->parseXMLStringInContext("<x>", &error));
    });
    EXPECT_EQ(printed.find("parser error"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("XPath error"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("namespace error"), std::string::npos) << printed;

    auto unbound = parse("<bar:foo xmlns:bar=\"\"/>");
    ASSERT_TRUE(unbound);
    EXPECT_FALSE(unbound->isNamespaceWellFormed());
    EXPECT_TRUE(parse("<bar:foo xmlns:bar=\"urn:x\"/>")->isNamespaceWellFormed());
}

TEST_F(CXMLDocumentTest, BuiltMultistatusIsWellFormedForThePeer)
{
    auto document = CXMLDocument::createDocument();
    auto multistatus = document->elementWithName("D:multistatus", "DAV:");
    document->setRootElement(multistatus);
    auto response = document->elementWithName("D:response", "DAV:");
    multistatus->addChild(response);
    auto href = document->elementWithName("D:href", "DAV:");
    href->setStringValue("a & <b>");
    response->addChild(href);
    auto custom = document->elementWithName("Z:size", "urn:z");
    custom->addAttributeWithName("unit", "bytes \"raw\"");
    custom->addAttributeWithName("unit", "bytes");
    custom->setStringValue("12");
    response->addChild(custom);
    EXPECT_EQ(response->name(), "D:response");
    EXPECT_EQ(response->URI(), "DAV:");
    EXPECT_FALSE(response->namespaces());

    auto data = document->XMLData();
    ASSERT_TRUE(data);
    std::string xml = data->toString();
    EXPECT_NE(xml.find("a &amp; &lt;b&gt;"), std::string::npos) << xml;
    auto pretty = document->XMLStringWithOptions(CXMLNode::PrettyPrintOption);
    ASSERT_TRUE(pretty);
    EXPECT_NE(pretty->find("\n  <D:response>"), std::string::npos) << *pretty;

    if (!test::hasProgram("xmllint"))
        GTEST_SKIP() << "xmllint is not installed";
    std::string path = makeFile("multistatus.xml", xml);
    EXPECT_EQ(test::runCommand({ "xmllint", "--noout", path }).status, 0);
    auto canonical = test::runCommand({ "xmllint", "--c14n", path });
    EXPECT_EQ(canonical.output,
        "<D:multistatus xmlns:D=\"DAV:\"><D:response><D:href>a &amp; &lt;b&gt;</D:href>"
        "<Z:size xmlns:Z=\"urn:z\" unit=\"bytes\">12</Z:size></D:response></D:multistatus>");
}

} // namespace
