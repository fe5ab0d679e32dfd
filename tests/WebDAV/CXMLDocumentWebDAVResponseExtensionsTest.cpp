#include "WebDAVTestCase.h"

#include "Kit/FileManagerExtendedAttributes.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Kit/XML/CXMLNamespace.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVDeadPropertyFixup.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVProperty.h"

namespace {

using test::WebDAVTestCase;

std::string serialized(const CXMLDocument& document)
{
    auto data = document.XMLData();
    return data ? std::string(data->view()) : std::string();
}

size_t count(const std::string& text, std::string_view needle)
{
    size_t found = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++found;
    return found;
}

class WebDAVMultistatusTest : public WebDAVTestCase { };

TEST_F(WebDAVMultistatusTest, ForeignNamespacesAreDeclaredOnceOnTheRoot)
{
    auto document = createDAVMultistatusDocument();
    auto response = addDAVResponseElementForResource(*document, *resource("/"));
    WebDAVPropertyNameList names;
    for (const char* name : { "com.kestrova.DAV.{urn:one}a", "com.kestrova.DAV.{urn:one}b", "com.kestrova.DAV.{urn:two}c",
             "com.kestrova.DAV.{}bare", "getetag" })
        names.push_back(WebDAVPropertyName::propertyNameWithName(name));
    addDAVPropstatForPropertyNames(*document, names, *response, DAVStatusLine(404, "Not Found"));
    std::string xml = serialized(*document);
    EXPECT_EQ(count(xml, "xmlns:D=\"DAV:\""), 1u) << xml;
    EXPECT_EQ(count(xml, "xmlns:A=\"urn:one\""), 1u) << xml;
    EXPECT_EQ(count(xml, "xmlns:B=\"urn:two\""), 1u) << xml;
    EXPECT_NE(xml.find("<A:a/><A:b/><B:c/><bare/><D:getetag/>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<D:href>/</D:href>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<D:status>HTTP/1.1 404 Not Found</D:status>"), std::string::npos) << xml;

    // Past "Z" comes "AA"; "D" is never handed out.
    auto full = createDAVMultistatusDocument();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (letter != 'D')
            full->rootElement()->addNamespaceURI(std::string("urn:") + letter, std::string(1, letter));
    }
    EXPECT_EQ(nextFreeRootElementPrefix(*full), "AA");
}

TEST_F(WebDAVMultistatusTest, PropertyTablesBecomePropstats)
{
    std::string path = makeFile("root/f", "x");
    ASSERT_TRUE(xattrSetString("<A:good xmlns:A=\"urn:a\">yes</A:good>", path, "com.kestrova.DAV.{urn:a}good"));
    ASSERT_TRUE(xattrSetString("<A:bad xmlns:A=\"urn:a\">", path, "com.kestrova.DAV.{urn:a}bad"));
    auto locked = WebDAVLockManager::sharedManager()->acquireWriteLockForURI(URLWithPath("/f"), path, "exclusive",
        "owner <me>", "0", "Infinite");
    auto document = createDAVMultistatusDocument();
    auto file = resource("/f");
    auto response = addDAVResponseElementForResource(*document, *file);
    addDAVPropstatForProperties(*document, file->properties(), *response, DAVStatusLine(200, "OK"));
    std::string xml = serialized(*document);

    auto parsed = CXMLDocument::initWithXMLString(xml, 0);
    ASSERT_TRUE(parsed) << xml;
    auto statuses = parsed->nodesForXPath("//D:propstat/D:status", DAVNamespaceMapping());
    ASSERT_TRUE(statuses);
    ASSERT_EQ(statuses->size(), 2u) << xml;
    EXPECT_EQ((*statuses)[1]->stringValue(), "HTTP/1.1 500 Internal Server Error");
    EXPECT_TRUE(parsed->nodesForXPath("//D:propstat[2]//*[local-name()='bad']", DAVNamespaceMapping())) << xml;
    EXPECT_TRUE(parsed->nodesForXPath("//D:propstat[2]/D:responsedescription[.='Error retrieving named properties']",
        DAVNamespaceMapping()));
    EXPECT_TRUE(parsed->nodesForXPath("//D:propstat[1]//*[local-name()='good' and .='yes']", DAVNamespaceMapping())) << xml;
    EXPECT_TRUE(parsed->nodesForXPath("//D:resourcetype[not(*)]", DAVNamespaceMapping()));
    EXPECT_EQ(parsed->nodesForXPath("//D:supportedlock/D:lockentry", DAVNamespaceMapping())->size(), 2u);
    auto token = parsed->nodesForXPath("//D:lockdiscovery/D:activelock/D:locktoken/D:href", DAVNamespaceMapping());
    ASSERT_TRUE(token);
    EXPECT_EQ(token->front()->stringValue(), "opaquelocktoken:" + locked->lockToken());
    EXPECT_TRUE(parsed->nodesForXPath("//D:activelock/D:owner[.='owner <me>']", DAVNamespaceMapping()));
    EXPECT_TRUE(parsed->nodesForXPath("//D:activelock/D:timeout[.='Infinite']", DAVNamespaceMapping()));

    // A folder is a collection; no locks give an empty lockdiscovery.
    makeFolder("root/d");
    auto folderDocument = createDAVMultistatusDocument();
    auto folderResponse = addDAVResponseElementForResource(*folderDocument, *resource("/d"));
    addDAVPropstatForProperties(*folderDocument, resource("/d")->properties(), *folderResponse, DAVStatusLine(200, "OK"));
    std::string folderXML = serialized(*folderDocument);
    EXPECT_NE(folderXML.find("<D:resourcetype><D:collection/></D:resourcetype>"), std::string::npos) << folderXML;
    EXPECT_NE(folderXML.find("<D:lockdiscovery/>"), std::string::npos) << folderXML;
    EXPECT_NE(folderXML.find("<D:href>/d/</D:href>"), std::string::npos) << folderXML;
}

TEST_F(WebDAVMultistatusTest, NamedPropertiesOfAResource)
{
    makeFile("root/f", "x");
    auto names = [](std::initializer_list<const char*> list) {
        WebDAVPropertyNameList out;
        for (auto name : list)
            out.push_back(WebDAVPropertyName::propertyNameWithName(name));
        return out;
    };
    auto document = createDAVMultistatusDocument();
    auto response = addDAVResponseElementForResource(*document, *resource("/f"));
    addDAVPropstatForResource(*document, *resource("/f"), names({ "com.kestrova.DAV.{urn:x}a", "com.kestrova.DAV.{urn:x}b" }), *response);
    std::string xml = serialized(*document);
    EXPECT_EQ(count(xml, "<D:propstat>"), 1u) << xml;
    EXPECT_NE(xml.find("HTTP/1.1 404 Not Found"), std::string::npos) << xml;

    auto mixed = createDAVMultistatusDocument();
    auto mixedResponse = addDAVResponseElementForResource(*mixed, *resource("/f"));
    addDAVPropstatForResource(*mixed, *resource("/f"), names({ "getcontentlength", "com.kestrova.DAV.{urn:x}a" }), *mixedResponse);
    std::string mixedXML = serialized(*mixed);
    EXPECT_NE(mixedXML.find("<D:getcontentlength>1</D:getcontentlength>"), std::string::npos) << mixedXML;
    EXPECT_NE(mixedXML.find("<D:status>HTTP/1.1 404 Not Found</D:status>"), std::string::npos) << mixedXML;
}

TEST(WebDAVDeadPropertyFixupTest, StoredTextStandsAlone)
{
    auto body = CXMLDocument::initWithXMLString(
        "<D:propertyupdate xmlns:D=\"DAV:\" xmlns:x=\"DAV:\" xmlns:z=\"http://ex/ns\"><D:set><D:prop>"
        "<x:custom><x:inner>v</x:inner></x:custom><z:color><z:shade>dark</z:shade></z:color>"
        "</D:prop></D:set></D:propertyupdate>",
        0);
    ASSERT_TRUE(body);
    auto props = body->nodesForXPath("//D:prop/*", DAVNamespaceMapping());
    ASSERT_TRUE(props && props->size() == 2);
    auto custom = WebDAVProperty::propertyWithElement(static_cast<CXMLElement&>(*(*props)[0]));
    EXPECT_EQ(custom->name(), "com.kestrova.DAV.{DAV:}custom");
    EXPECT_EQ(custom->value().string(), "<D:custom xmlns:D=\"DAV:\"><D:inner>v</D:inner></D:custom>");
    auto color = WebDAVProperty::propertyWithElement(static_cast<CXMLElement&>(*(*props)[1]));
    EXPECT_EQ(color->name(), "com.kestrova.DAV.{http://ex/ns}color");
    EXPECT_EQ(color->value().string(), "<z:color xmlns:z=\"http://ex/ns\"><z:shade>dark</z:shade></z:color>");
}

} // namespace
