#include "HTMLConversion.h"

#include "Support/TestCase.h"

#include <filesystem>

namespace {

class CorpusTest : public test::TestCase { };

// Words separated by white space (a non-breaking space included), with
// ASCII letters in lower case: capitals may be written as small capitals.
std::vector<std::string> words(std::string text)
{
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    for (size_t at = text.find("\xC2\xA0"); at != std::string::npos; at = text.find("\xC2\xA0", at))
        text.replace(at, 2, " ");
    std::vector<std::string> result;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            if (!word.empty())
                result.push_back(std::move(word));
            word.clear();
        } else {
            word += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        }
    }
    if (!word.empty())
        result.push_back(std::move(word));
    return result;
}

// The differences as lines "-word" (only in the expected text) and "+word"
// (only in ours), in reading order.
std::string difference(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    size_t n = expected.size();
    size_t m = actual.size();
    std::vector<std::vector<size_t>> common(n + 1, std::vector<size_t>(m + 1, 0));
    for (size_t i = n; i-- > 0;) {
        for (size_t j = m; j-- > 0;)
            common[i][j] = expected[i] == actual[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
    std::string lines;
    size_t i = 0;
    size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && expected[i] == actual[j]) {
            ++i;
            ++j;
        } else if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) {
            lines += "+" + actual[j++] + "\n";
        } else {
            lines += "-" + expected[i++] + "\n";
        }
    }
    return lines;
}

} // namespace

TEST_F(CorpusTest, WordProcessorDocumentsReadAsTheWordProcessorReadsThem)
{
    size_t documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sourcePath("tests/fixtures/rtf/lo"))) {
        if (entry.path().extension() != ".rtf")
            continue;
        ++documents;
        std::string name = entry.path().stem().string();
        SCOPED_TRACE(name);
        std::string converted = rtf_test::html(readFile(entry.path()));
        ASSERT_FALSE(converted.empty());
        rtf_test::Reading reading = rtf_test::read(converted);

        std::filesystem::path knownDiff = entry.path();
        knownDiff.replace_extension(".known-diff");
        std::string expectedDifference = std::filesystem::exists(knownDiff) ? readFile(knownDiff) : "";
        std::string text = readFile(sourcePath("tests/fixtures/rtf/lo/" + name + ".txt"));
        EXPECT_EQ(difference(words(text), words(reading.text)), expectedDifference) << reading.text;

        // Tables included, the HTML is well formed.
        for (const std::string& error : reading.errors)
            ADD_FAILURE() << error;
    }
    EXPECT_EQ(documents, 8u);
}

TEST_F(CorpusTest, ThreeWritersQuotesBulletsScriptsAndPicturesReadAsWritten)
{
    // What the source of the three documents shows, word by word.
    const std::string shown = "“Quoted” and ‘single’ – dash — em € euro … end\n"
                              "• First bullet\n• Second bullet\n"
                              "Русский ελληνικά Polski żółć 日本語のテキスト\n"
                              "Picture: after\n";
    // The picture, a PNG of 80 by 40 pixels, shows at twice the size; each
    // writer says so in its own way.
    const std::pair<const char*, const char*> writers[] = {
        { "libreoffice", "\" width=\"60\" height=\"30\">" },
        { "abiword", "\" width=\"79\" height=\"40\">" },
        { "pandoc", "\" width=\"60\" height=\"30\">" },
    };
    for (const auto& [writer, size] : writers) {
        SCOPED_TRACE(writer);
        std::string converted = rtf_test::html(readFile(sourcePath(std::string("tests/fixtures/rtf/writers/") + writer + ".rtf")));
        rtf_test::Reading reading = rtf_test::read(converted);
        EXPECT_EQ(difference(words(shown), words(reading.text)), "") << reading.text;
        // Even the writer that sets its font before its paragraph, whose
        // group closes the font inside the paragraph, reads well formed.
        for (const std::string& error : reading.errors)
            ADD_FAILURE() << error;

        const std::string image = "<img src=\"data:image/png;base64,iVBORw0KGgo";
        size_t at = converted.find(image);
        ASSERT_NE(at, std::string::npos);
        const size_t end = converted.find('>', at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_TRUE(converted.substr(at, end + 1 - at).ends_with(size)) << converted.substr(at, end + 1 - at);
        EXPECT_EQ(converted.find("<img", end), std::string::npos);
        EXPECT_EQ(converted.find("display:inline-block"), std::string::npos);
    }
}
