#include "RTF/Parser.h"
#include "RTF/Exception.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

using rtf::Parser;
using rtf::Word;
using Words = std::vector<std::string>;

namespace {

// Frees a parsed tree.
struct Tree {
    Word* root = nullptr;
    ~Tree() { Word::Clean(root); }
};

void flatten(const Word* word, Words& out)
{
    for (; word; word = word->GetNext()) {
        if (word->GetCommand().empty()) {
            out.push_back("{");
            flatten(word->GetChild(), out);
            out.push_back("}");
        } else {
            out.push_back(word->GetCommand());
        }
    }
}

// The words of a parse, with each group's words between "{" and "}".
Words parsedWords(std::string_view input)
{
    Parser parser;
    std::istringstream in { std::string(input) };
    Tree tree { parser.ParseStream(in) };
    Words out;
    flatten(tree.root, out);
    return out;
}

// Delivers its bytes in small pieces, then fails.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(std::string bytes)
        : m_bytes(std::move(bytes))
    {
    }

protected:
    int_type underflow() override
    {
        if (m_position >= m_bytes.size())
            throw std::runtime_error("device gone");
        char* start = m_bytes.data() + m_position;
        size_t length = std::min<size_t>(7, m_bytes.size() - m_position);
        m_position += length;
        setg(start, start, start + length);
        return traits_type::to_int_type(*start);
    }

private:
    std::string m_bytes;
    size_t m_position = 0;
};

} // namespace

TEST(ParserTest, CutsWordsAsRTFDelimitsThem)
{
    EXPECT_EQ(parsedWords("a\r\rb\tc"), (Words { "ab", " ", "c" }));
    EXPECT_EQ(parsedWords("x\\\ny"), (Words { "x", "\\par", "y" }));
    EXPECT_EQ(parsedWords("\\b0 bold"), (Words { "\\b0", "bold" }));
    EXPECT_EQ(parsedWords("\\fs24x"), (Words { "\\fs24", "x" }));
    EXPECT_EQ(parsedWords("\\li-360 \\fi-18x"), (Words { "\\li-360", "\\fi-18", "x" }));
    EXPECT_EQ(parsedWords("\\par;"), (Words { "\\par", ";" }));
    EXPECT_EQ(parsedWords("a b"), (Words { "a", " ", "b" }));
    EXPECT_EQ(parsedWords("a  b"), (Words { "a", " ", " ", "b" }));
    EXPECT_EQ(parsedWords("lo\nng"), (Words { "long" }));
    EXPECT_EQ(parsedWords("\\par\nx"), (Words { "\\par", "x" }));
    EXPECT_EQ(parsedWords("\\'e9\\'4"), (Words { "\\'e9", "\\'4" }));
    // Only hexadecimal digits belong to a hexadecimal character.
    EXPECT_EQ(parsedWords("\\'zzz"), (Words { "\\'", "zzz" }));
    EXPECT_EQ(parsedWords("{\\'4}x"), (Words { "{", "\\'4", "}", "x" }));
    EXPECT_EQ(parsedWords("\\{\\}\\\\\\~\\_\\-"), (Words { "\\{", "\\}", "\\\\", "\\~", "\\_", "\\-" }));
    EXPECT_EQ(parsedWords("\\*\\fldinst"), (Words { "\\*", "\\fldinst" }));
    EXPECT_EQ(parsedWords("a;b"), (Words { "a;b" }));
    EXPECT_EQ(parsedWords("\\"), (Words { "\\" }));
    EXPECT_EQ(parsedWords(""), Words {});
    EXPECT_EQ(parsedWords("\n\n\n"), Words {});
    EXPECT_EQ(parsedWords("{}"), (Words { "{", "}" }));
}

TEST(ParserTest, UnbalancedBracesEndAtTheInputOrTheTopLevelChain)
{
    EXPECT_EQ(parsedWords("{\\rtf1 {\\b x"), (Words { "{", "\\rtf1", "{", "\\b", "x", "}", "}" }));
    EXPECT_EQ(parsedWords("{\\rtf1 a}}b{c}"), (Words { "{", "\\rtf1", "a", "}" }));
    EXPECT_EQ(parsedWords("a}b"), (Words { "a" }));
}

TEST(ParserTest, EveryByteIsTextAndRunsHaveNoLength)
{
    // NUL and the bytes 0x80 to 0xFF are ordinary characters; 0xFF no longer
    // reads as the end of input.
    std::string bytes { "{a\0b \x80\xFE\xFF"
                        "c}\xFF{d}",
        13 };
    EXPECT_EQ(parsedWords(bytes), (Words { "{", std::string("a\0b", 3), " ", "\x80\xFE\xFF"
                                                                       "c",
                                "}", "\xFF", "{", "d", "}" }));
    EXPECT_EQ(parsedWords("{\xFF}after"), (Words { "{", "\xFF", "}", "after" }));

    std::string run(10000, 'x');
    EXPECT_EQ(parsedWords("{" + run + " y}"), (Words { "{", run, " ", "y", "}" }));
    std::string control = "\\" + std::string(5000, 'k') + "12345";
    EXPECT_EQ(parsedWords(control + " z"), (Words { control, "z" }));
}

TEST(ParserTest, BlocksJoinSeamlesslyAndReadErrorsThrow)
{
    for (size_t offset : { Parser::kBlockSize - 3, Parser::kBlockSize - 1, Parser::kBlockSize }) {
        std::string input = std::string(offset, ' ').replace(0, 1, "{") + "\\fonttbl123 word}";
        Words got = parsedWords(input);
        ASSERT_GE(got.size(), 4u);
        EXPECT_EQ(got[got.size() - 3], "\\fonttbl123") << offset;
        EXPECT_EQ(got[got.size() - 2], "word") << offset;
    }

    FailingBuffer buffer("{\\rtf1 {\\b some text} more");
    std::istream in(&buffer);
    Parser parser;
    EXPECT_THROW(parser.ParseStream(in), rtf::Exception);
}

TEST(ParserTest, NestingIsBoundedAtOneThousandGroups)
{
    auto nested = [](size_t depth) { return std::string(depth, '{') + "x" + std::string(depth, '}'); };
    // The deepest nesting allowed, on a thread with an ordinary stack.
    size_t depthSeen = 0;
    std::thread worker([&] {
        Words got = parsedWords(nested(Parser::kMaxDepth));
        for (const auto& word : got) {
            if (word != "{")
                break;
            ++depthSeen;
        }
    });
    worker.join();
    EXPECT_EQ(depthSeen, Parser::kMaxDepth);

    Parser parser;
    std::istringstream deeper(nested(Parser::kMaxDepth + 1));
    try {
        parser.ParseStream(deeper);
        FAIL() << "no exception";
    } catch (const rtf::Exception& exception) {
        EXPECT_EQ(exception.code, rtf::Exception::kInputError);
    }
    // Deep but unclosed: the partial tree is freed (the leak check watches).
    std::istringstream open(std::string(5000, '{'));
    EXPECT_THROW(parser.ParseStream(open), rtf::Exception);
}

TEST(ParserTest, LongChainsAndDeepTreesAreBuiltAndFreedWithoutRecursion)
{
    std::string input;
    input.reserve(6000000);
    for (int i = 0; i < 1500000; ++i)
        input += "w ";
    Parser parser;
    std::istringstream in(input);
    Word* chain = parser.ParseStream(in);
    size_t count = 0;
    for (const Word* word = chain; word; word = word->GetNext())
        ++count;
    EXPECT_EQ(count, 3000000u);
    Word::Clean(chain);
}

TEST(ParserTest, BinaryDataIsSkippedByteForByte)
{
    // Braces and backslashes in the data are no RTF; the blank ending the
    // keyword is not data.
    EXPECT_EQ(parsedWords("{a\\bin5 {}}\\x b}"), (Words { "{", "a", "\\bin5", " ", "b", "}" }));
    // Carriage returns, line feeds and tabs in it are bytes like any other.
    EXPECT_EQ(parsedWords("\\bin3 \r\n\tx"), (Words { "\\bin3", "x" }));
    // Without the blank the data begins right after the number.
    EXPECT_EQ(parsedWords("\\bin2}}x"), (Words { "\\bin2", "x" }));
    // A negative or missing count reads nothing; a count beyond the end of
    // the input reads to it.
    EXPECT_EQ(parsedWords("\\bin-3 {x}"), (Words { "\\bin-3", "{", "x", "}" }));
    EXPECT_EQ(parsedWords("\\bin {x}"), (Words { "\\bin", "{", "x", "}" }));
    EXPECT_EQ(parsedWords("{\\bin99999999999999999999 {{{"), (Words { "{", "\\bin99999999999999999999", "}" }));
    // Data across the input's blocks.
    std::string data(Parser::kBlockSize + 10, '{');
    EXPECT_EQ(parsedWords("{\\bin" + std::to_string(data.size()) + " " + data + "x}"),
        (Words { "{", "\\bin" + std::to_string(data.size()), "x", "}" }));
}

TEST(ParserTest, LongRunsAreCutIntoWords)
{
    std::string run(Parser::kMaxWordLength + 5, 'x');
    EXPECT_EQ(parsedWords(run + " y"), (Words { run.substr(0, Parser::kMaxWordLength), "xxxxx", " ", "y" }));
    // A control word's name keeps its first characters; its end is read.
    std::string name(Parser::kMaxWordLength + 100, 'k');
    Words control = parsedWords("\\" + name + " z");
    ASSERT_EQ(control.size(), 2u);
    EXPECT_EQ(control[0].size(), Parser::kMaxWordLength);
    EXPECT_EQ(control[1], "z");
}

TEST(ParserTest, DocumentsAreReadItemByItem)
{
    using Item = Parser::Item;
    Parser parser;
    std::istringstream in("{\\rtf1 a{\\b x}\\pard\\plain {\\*\\skip {deep} text}b}}after");
    auto next = [&] {
        Item item = parser.NextItem(in);
        switch (item) {
        case Item::End:
            return std::string("END");
        case Item::GroupStart:
            return std::string("{");
        case Item::GroupEnd:
            return std::string("}");
        case Item::Word:
            break;
        }
        return parser.word();
    };
    EXPECT_EQ(next(), "{");
    EXPECT_EQ(parser.depth(), 1u);
    EXPECT_EQ(next(), "\\rtf1");
    EXPECT_EQ(next(), "a");
    EXPECT_EQ(parser.PeekItem(in), Item::GroupStart);
    EXPECT_EQ(next(), "{");
    EXPECT_EQ(parser.depth(), 2u);
    // A look at the next word leaves the current one and consumes nothing.
    EXPECT_EQ(next(), "\\b");
    EXPECT_FALSE(parser.PeekWord(in, "y"));
    EXPECT_TRUE(parser.PeekWord(in, "x"));
    EXPECT_EQ(parser.word(), "\\b");
    EXPECT_EQ(next(), "x");
    EXPECT_EQ(next(), "}");
    EXPECT_EQ(next(), "\\pard");
    EXPECT_TRUE(parser.PeekWord(in, "\\plain"));
    EXPECT_EQ(next(), "\\plain");
    EXPECT_EQ(next(), "{");
    EXPECT_EQ(next(), "\\*");
    // The rest of a group, nested groups and all, is skipped.
    parser.SkipGroup(in);
    EXPECT_EQ(parser.depth(), 1u);
    EXPECT_EQ(next(), "b");
    EXPECT_EQ(next(), "}");
    EXPECT_EQ(parser.depth(), 0u);
    // A surplus closing brace ends the document.
    EXPECT_EQ(next(), "END");
    EXPECT_EQ(next(), "END");
}

TEST(ParserTest, GroupsAreBuiltForTheirReadersWithinLimits)
{
    using Item = Parser::Item;
    Parser parser;
    auto group = [&](std::string_view input, Parser::Limits limits) {
        std::istringstream in { std::string(input) };
        parser.Cleanup();
        EXPECT_EQ(parser.NextItem(in), Item::GroupStart);
        EXPECT_EQ(parser.NextItem(in), Item::Word);
        Tree tree { parser.ReadGroup(in, limits) };
        Words out;
        flatten(tree.root, out);
        // The group's end is consumed; the reader goes on after it.
        EXPECT_EQ(parser.NextItem(in), Item::Word);
        EXPECT_EQ(parser.word(), "after");
        return out;
    };
    EXPECT_EQ(group("{\\fonttbl{\\f0 Arial;}{\\f1 Times;}}after", {}),
        (Words { "{", "\\f0", "Arial;", "}", "{", "\\f1", "Times;", "}" }));
    // Beyond its limits a group is read and dropped.
    EXPECT_EQ(group("{\\fonttbl{\\f0 Arial;}{\\f1 Times;}}after", { 4, 100, true }),
        (Words { "{", "\\f0", "Arial;", "}", "{", "}" }));
    EXPECT_EQ(group("{\\fonttbl{\\f0 Arial;}{\\f1 Times;}}after", { 100, 5, true }), (Words { "{", "\\f0", "}" }));
    // Without text, a picture keeps its keywords but not its data.
    EXPECT_EQ(group("{\\pict\\picw10 0123abcd {\\*\\x y}\\bin4 }}}}\\pich5 ef}after", { 100, 100, false }),
        (Words { "\\picw10", "{", "\\*", "\\x", "}", "\\bin4", "\\pich5" }));

    // Reading stops at the nesting limit.
    std::istringstream deep("{" + std::string(Parser::kMaxDepth + 1, '{'));
    parser.Cleanup();
    EXPECT_EQ(parser.NextItem(deep), Item::GroupStart);
    EXPECT_THROW(parser.ReadGroup(deep, {}), rtf::Exception);
}
