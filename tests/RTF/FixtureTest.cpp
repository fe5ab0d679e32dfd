#include "TestConverter.h"

#include "Support/TestCase.h"

#include <filesystem>
#include <set>

using rtf_test::TestConverter;

namespace {

class FixtureTest : public test::TestCase { };

size_t countGroups(const rtf::Word* word)
{
    size_t count = 0;
    std::vector<const rtf::Word*> pending { word };
    while (!pending.empty()) {
        const rtf::Word* chain = pending.back();
        pending.pop_back();
        for (; chain; chain = chain->GetNext()) {
            if (chain->GetCommand().empty()) {
                ++count;
                pending.push_back(chain->GetChild());
            }
        }
    }
    return count;
}

// Opening braces that are not escaped by a backslash.
size_t countOpeningBraces(const std::string& text)
{
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '{')
            ++count;
    }
    return count;
}

std::set<std::string> sourceFonts(const std::string& html)
{
    const std::string key = "font-family:'";
    std::set<std::string> fonts;
    for (size_t at = html.find(key); at != std::string::npos; at = html.find(key, at)) {
        at += key.size();
        size_t end = html.find('\'', at);
        fonts.insert(html.substr(at, end - at));
    }
    return fonts;
}

} // namespace

TEST_F(FixtureTest, DocumentsWrittenByAWordProcessorParseWhole)
{
    size_t documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sourcePath("tests/fixtures/rtf/lo"))) {
        if (entry.path().extension() != ".rtf")
            continue;
        ++documents;
        SCOPED_TRACE(entry.path().filename().string());
        std::string text = readFile(entry.path());
        TestConverter converter;
        rtf::Word* root = converter.parse(text);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->GetNext(), nullptr);
        ASSERT_NE(root->GetChild(), nullptr);
        EXPECT_EQ(root->GetChild()->GetCommand(), "\\rtf1");
        EXPECT_EQ(countGroups(root), countOpeningBraces(text));

        // The font table holds every font the source named, numbered from 0.
        const rtf::Word* table = nullptr;
        for (const rtf::Word* word = root->GetChild(); word && !table; word = word->GetNext()) {
            if (word->GetChild() && word->GetChild()->GetCommand() == "\\fonttbl")
                table = word->GetChild();
        }
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(converter.HandleRTFCommand("fonttbl", table, false, 0), 0);
        std::set<std::string> names;
        int expectedNumber = 0;
        for (const auto& [number, name] : converter.fonts()) {
            EXPECT_EQ(number, expectedNumber++);
            EXPECT_FALSE(name.empty());
            EXPECT_EQ(name.find_first_of(";{}\\"), std::string::npos) << name;
            names.insert(name);
        }
        std::string source = readFile(sourcePath("tests/fixtures/rtf/lo-src/" + entry.path().stem().string() + ".html"));
        for (const auto& font : sourceFonts(source))
            EXPECT_TRUE(names.count(font)) << font;
    }
    EXPECT_EQ(documents, 8u);
}
