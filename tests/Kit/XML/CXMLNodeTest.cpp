#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Kit/XML/CXMLNamespace.h"

#include "Support/TestCase.h"

namespace {

class CXMLNodeTest : public test::TestCase { };

std::shared_ptr<CXMLDocument> parseNodeDocument(std::string_view text)
{
    auto document = CXMLDocument::initWithData(core::Data(text), 0);
    EXPECT_TRUE(document) << text;
    return document;
}

constexpr std::string_view propfind = R"(<?xml version="1.0" encoding="utf-8"?>
<D:propfind xmlns:D="DAV:" xmlns:Z="urn:z">
  <D:prop>
    <D:getcontentlength/>
    <Z:color/>
    <D:resourcetype/>
  </D:prop>
</D:propfind>)";

TEST_F(CXMLNodeTest, HandlesAreMadeOnceAndQueriedByXPath)
{
    auto document = parseNodeDocument(propfind);
    auto root = document->rootElement();
    EXPECT_EQ(root->name(), "D:propfind");
    EXPECT_EQ(root->prefix(), "D");
    EXPECT_EQ(root->localName(), "propfind");

    auto first = root->children();
    size_t pooled = document->nodePoolCount();
    auto second = root->children();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], second[0]);
    EXPECT_EQ(document->nodePoolCount(), pooled);
    EXPECT_EQ(first[0]->parent(), root);
    EXPECT_EQ(root->parent(), document);
    EXPECT_EQ(first[0]->level(), 2u);

    core::Error error("stale", 1);
    auto props = root->nodesForXPath("D:prop/*", { { "D", "DAV:" } }, &error);
    EXPECT_TRUE(error.isEmpty());
    ASSERT_TRUE(props);
    ASSERT_EQ(props->size(), 3u);
    EXPECT_EQ((*props)[0]->name(), "D:getcontentlength");
    EXPECT_EQ((*props)[1]->name(), "Z:color");
    EXPECT_EQ((*props)[1]->URI(), "urn:z");
    EXPECT_EQ((*props)[2]->index(), 2u);

    error = core::Error("stale", 1);
    EXPECT_EQ(root->nodesForXPath("D:nothing", { { "D", "DAV:" } }, &error), std::nullopt);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(root->nodesForXPath("//[", &error), std::nullopt);
    EXPECT_EQ(root->nodesForXPath("//D:prop", &error), std::nullopt);
    EXPECT_TRUE(error.isEmpty());

    // A second full walk makes no new handles.
    auto walk = [](const std::shared_ptr<CXMLNode>& top) {
        std::vector<std::shared_ptr<CXMLNode>> pending { top };
        while (!pending.empty()) {
            auto node = pending.back();
            pending.pop_back();
            for (auto& child : node->children())
                pending.push_back(child);
        }
    };
    walk(document);
    pooled = document->nodePoolCount();
    walk(document);
    EXPECT_EQ(document->nodePoolCount(), pooled);
}

TEST_F(CXMLNodeTest, NamesNamespacesAndAttributes)
{
    EXPECT_EQ(CXMLNode::prefixForName("b"), "");
    EXPECT_EQ(CXMLNode::localNameForName("b"), "b");
    EXPECT_EQ(CXMLNode::prefixForName("a:b"), "a");
    EXPECT_EQ(CXMLNode::localNameForName("a:b"), "b");
    EXPECT_EQ(CXMLNode::prefixForName("a:b:c"), "");
    EXPECT_EQ(CXMLNode::localNameForName("a:b:c"), "a:b:c");

    auto document = parseNodeDocument(R"(<root xmlns="urn:default" xmlns:D="DAV:" D:flag="1" plain="2">)"
                          R"(<child/><D:prop/><child>x</child><other xmlns=""><child/></other></root>)");
    auto root = document->rootElement();
    EXPECT_EQ(root->name(), "root");
    EXPECT_EQ(root->URI(), "urn:default");

    auto namespaces = root->namespaces();
    ASSERT_TRUE(namespaces);
    ASSERT_EQ(namespaces->size(), 2u);
    EXPECT_EQ((*namespaces)[0]->description(), "xmlns=\"urn:default\"");
    EXPECT_EQ((*namespaces)[1]->description(), "xmlns:D=\"DAV:\"");
    EXPECT_EQ((*namespaces)[0]->next(), (*namespaces)[1]);
    EXPECT_EQ((*namespaces)[1]->prefix(), "D");
    EXPECT_EQ(root->resolveNamespaceForName("child"), (*namespaces)[0]);

    // The default namespace applies to plain element names.
    auto children = root->elementsForName("child");
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[1]->stringValue(), "x");
    EXPECT_EQ(root->elementsForLocalName("child", "urn:default").size(), 2u);
    EXPECT_EQ(root->elementsForName("D:prop").size(), 1u);
    EXPECT_EQ(root->elementsForLocalName("prop", (*namespaces)[1]).size(), 1u);
    EXPECT_TRUE(root->elementsForName("Q:prop").empty());
    // <other xmlns=""> is in no namespace.
    EXPECT_TRUE(root->elementsForName("other").empty());
    auto other = std::dynamic_pointer_cast<CXMLElement>(root->children().at(3));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->elementsForName("child").size(), 1u);

    auto leaf = std::dynamic_pointer_cast<CXMLElement>(children[0]);
    EXPECT_EQ(leaf->namespaces(), std::nullopt);
    EXPECT_TRUE(leaf->attributes().empty());
    auto attributes = root->attributes();
    ASSERT_EQ(attributes.size(), 2u);
    EXPECT_EQ(attributes[0]->name(), "D:flag");
    EXPECT_EQ(attributes[0]->stringValue(), "1");
    EXPECT_EQ(attributes[0]->kind(), CXMLNode::AttributeKind);
    EXPECT_EQ(attributes[1]->stringValue(), "2");

    // A kind without a handle is left out.
    auto withPI = parseNodeDocument("<a><?pi x?><b/></a>");
    ASSERT_EQ(withPI->rootElement()->children().size(), 1u);
    EXPECT_EQ(withPI->rootElement()->children()[0]->name(), "b");
}

TEST_F(CXMLNodeTest, ParsesFragmentsInContext)
{
    auto document = parseNodeDocument(propfind);
    auto root = document->rootElement();
    core::Error error("stale", 1);
    auto href = root->parseXMLStringInContext("<D:href>x</D:href><D:extra/>", &error);
    ASSERT_TRUE(href);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(href->name(), "D:href");
    EXPECT_EQ(href->URI(), "DAV:");
    EXPECT_EQ(href->stringValue(), "x");
    EXPECT_EQ(href->parent(), nullptr);
    EXPECT_EQ(root->addChild(href), href);
    EXPECT_EQ(href->parent(), root);

    EXPECT_FALSE(root->parseXMLStringInContext("<D:href>", &error));
    EXPECT_EQ(error.domain(), "CXMLErrorDomain");
    EXPECT_NE(error.code(), 0);
    EXPECT_FALSE(root->parseXMLStringInContext("", &error));
}

TEST_F(CXMLNodeTest, ChangingTheTreeKeepsHandlesUsable)
{
    auto document = parseNodeDocument("<r xmlns:D=\"DAV:\"><a>one</a><b>two</b><D:c><d/></D:c></r>");
    auto root = document->rootElement();
    auto a = root->children().at(0);
    auto b = root->children().at(1);
    auto one = a->children().at(0);

    // Text added after text merges; the added handle follows the merge.
    auto two = b->removeChildAtIndex(0);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->kind(), CXMLNode::TextKind);
    EXPECT_EQ(b->children().size(), 0u);
    EXPECT_EQ(a->addChild(two), two);
    EXPECT_EQ(a->children().size(), 1u);
    EXPECT_EQ(two->stringValue(), "onetwo");
    EXPECT_EQ(one->stringValue(), "onetwo");
    two->setStringValue("a < b");
    EXPECT_EQ(a->XMLString(), "<a>a &lt; b</a>");

    // A removed element keeps what it needs to stand alone.
    auto c = root->removeChildAtIndex(2);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->parent(), nullptr);
    EXPECT_EQ(c->XMLString(), "<D:c xmlns:D=\"DAV:\"><d/></D:c>");
    EXPECT_EQ(root->children().size(), 2u);
    EXPECT_EQ(root->addChild(c), c);
    EXPECT_EQ(root->children().size(), 3u);
    // Nothing becomes its own descendant.
    EXPECT_EQ(c->addChild(root), nullptr);

    // The old root comes back usable.
    auto newRoot = document->elementWithName("n");
    auto oldRoot = document->setRootElement(std::dynamic_pointer_cast<CXMLElement>(newRoot));
    EXPECT_EQ(oldRoot, root);
    EXPECT_EQ(document->rootElement(), newRoot);
    EXPECT_EQ(oldRoot->children().size(), 3u);
    EXPECT_NE(oldRoot->XMLString()->find("<r xmlns:D=\"DAV:\">"), std::string::npos);
    EXPECT_EQ(document->XMLString(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<n/>\n");
    auto x = document->elementWithName("x");
    x->setStringValue("1 & 2");
    auto added = document->addChild(x);
    EXPECT_EQ(added, document->rootElement()->children().at(0));
    EXPECT_EQ(document->rootElement()->XMLString(), "<n><x>1 &amp; 2</x></n>");
}

TEST_F(CXMLNodeTest, HandlesOutlivingTheirDocumentAnswerNothing)
{
    std::shared_ptr<CXMLNode> kept, removed, orphan, attribute;
    std::shared_ptr<CXMLNamespace> ns;
    {
        auto document = parseNodeDocument("<r xmlns:D=\"DAV:\" a=\"1\"><a>one</a><b/></r>");
        auto root = document->rootElement();
        kept = root->children().at(0);
        attribute = root->attributes().at(0);
        ns = root->namespaces()->at(0);
        removed = root->removeChildAtIndex(1);
        orphan = document->elementWithName("never-added");
        document->elementWithName("dropped", "urn:x");
        auto freed = document->elementWithName("freed");
        freed->addChild(document->elementWithName("child"));
        freed->freeXMLNode();
        EXPECT_EQ(freed->kind(), 0);
        root->children().at(0)->setStringValue("replaced");
        EXPECT_EQ(kept->XMLString(), "<a>replaced</a>");
    }
    for (const auto& node : { kept, removed, orphan, attribute }) {
        EXPECT_EQ(node->kind(), 0);
        EXPECT_EQ(node->stringValue(), std::nullopt);
        EXPECT_EQ(node->XMLString(), std::nullopt);
        EXPECT_TRUE(node->children().empty());
        EXPECT_EQ(node->parent(), nullptr);
        EXPECT_EQ(node->name(), "");
        EXPECT_EQ(node->addChild(orphan), nullptr);
        EXPECT_EQ(node->nodesForXPath("*"), std::nullopt);
    }
    EXPECT_EQ(ns->URI(), std::nullopt);
    EXPECT_EQ(ns->prefix(), "");
}

} // namespace
