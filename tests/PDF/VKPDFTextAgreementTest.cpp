// The extracted text of the real-world fixtures against pdftotext: the words
// of each page and where each word begins and ends.

#include "PDF/PdfTextTools.h"

#include "Kit/StringRegexAdditions.h"
#include "Platform/Core/Data.h"
#include "Platform/Core/FileSystem.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <gtest/gtest.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

using namespace pdftext;

namespace {

class VKPDFTextAgreementTest : public test::TestCase { };

// Lower-cased and decomposed for compatibility, as the simple fonts give it.
std::u16string folded(std::u16string_view text)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString string(false, text.data(), int32_t(text.size()));
    string = icu::Normalizer2::getNFKDInstance(status)->normalize(string.toLower(), status);
    return std::u16string(string.getBuffer(), size_t(string.length()));
}

std::set<std::u16string> wordSet(std::u16string_view text)
{
    auto tokens = vkWordBoundaryTokens(folded(text));
    return { tokens.begin(), tokens.end() };
}

double jaccard(const std::set<std::u16string>& a, const std::set<std::u16string>& b)
{
    if (a.empty() && b.empty())
        return 1;
    size_t common = 0;
    for (const auto& word : a)
        common += b.count(word);
    return double(common) / double(a.size() + b.size() - common);
}

struct Word {
    std::u16string text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

std::string unescaped(std::string text)
{
    static const std::pair<const char*, const char*> entities[] = { { "&lt;", "<" }, { "&gt;", ">" }, { "&quot;", "\"" },
        { "&apos;", "'" }, { "&amp;", "&" } };
    for (const auto& [entity, replacement] : entities) {
        for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
            text.replace(at, strlen(entity), replacement);
    }
    return text;
}

std::vector<Word> pdftotextWords(const std::string& path, int page)
{
    std::string page_ = std::to_string(page);
    auto result = test::runCommand({ "pdftotext", "-bbox", "-f", page_, "-l", page_, path, "-" });
    std::vector<Word> words;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        Word word;
        int end = 0;
        if (std::sscanf(line.c_str(), " <word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\">%n", &word.xMin, &word.yMin,
                &word.xMax, &word.yMax, &end)
                != 4
            || end == 0)
            continue;
        size_t close = line.rfind("</word>");
        if (close == std::string::npos || close < size_t(end))
            continue;
        word.text = folded(core::toUTF16(unescaped(line.substr(size_t(end), close - size_t(end)))));
        words.push_back(std::move(word));
    }
    return words;
}

// The words of the extracted text (split at white space) in pdftotext's
// frame: the media box turned as shown, y down from its top.
std::vector<Word> ourWords(const pdf::Page& page)
{
    auto scanner = VKPDFPageTextScanner::create(page);
    const std::u16string& text = scanner->text();
    const core::Data& block = scanner->glyphRects();
    gfx::Rect media = page.boxRect(pdf::Box::Media);
    int angle = page.rotationAngle();
    auto toFrame = [&](double x, double y, double& fx, double& fy) {
        switch (angle) {
        case 90: fx = y - media.minY(); fy = x - media.minX(); break;
        case 180: fx = media.maxX() - x; fy = y - media.minY(); break;
        case 270: fx = media.maxY() - y; fy = media.maxX() - x; break;
        default: fx = x - media.minX(); fy = media.maxY() - y; break;
        }
    };
    std::vector<Word> words;
    Word current;
    bool open = false;
    auto finish = [&] {
        if (open) {
            current.text = folded(current.text);
            words.push_back(current);
        }
        open = false;
        current = Word();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (unit == u' ' || unit == u'\t' || unit == u'\u00A0') {
            finish();
            continue;
        }
        float r[4];
        std::memcpy(r, block.bytes() + 16 * i, sizeof r);
        double x1, y1, x2, y2;
        toFrame(r[0], r[1], x1, y1);
        toFrame(double(r[0]) + r[2], double(r[1]) + r[3], x2, y2);
        if (!open) {
            current.xMin = std::min(x1, x2), current.xMax = std::max(x1, x2);
            current.yMin = std::min(y1, y2), current.yMax = std::max(y1, y2);
            open = true;
        } else {
            current.xMin = std::min({ current.xMin, x1, x2 }), current.xMax = std::max({ current.xMax, x1, x2 });
            current.yMin = std::min({ current.yMin, y1, y2 }), current.yMax = std::max({ current.yMax, y1, y2 });
        }
        current.text.push_back(unit);
    }
    finish();
    return words;
}

struct Agreement {
    size_t pages = 0;
    double lowestJaccard = 1;
    size_t comparedWords = 0;
    size_t matchingEdges = 0;
};

Agreement compare(const std::string& path, bool report)
{
    Agreement agreement;
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto document = pdf::Document::open(core::Data(bytes));
    if (!document)
        return agreement;
    for (int number = 1; number <= document->pageCount(); ++number) {
        pdf::Page page = document->page(number);
        std::string page_ = std::to_string(number);
        auto peer = test::runCommand({ "pdftotext", "-raw", "-f", page_, "-l", page_, path, "-" });
        std::u16string ours = VKPDFPageTextScanner::create(page)->text();
        double similarity = jaccard(wordSet(ours), wordSet(core::toUTF16(peer.output)));
        ++agreement.pages;
        agreement.lowestJaccard = std::min(agreement.lowestJaccard, similarity);
        if (report || similarity < 0.98) {
            std::cout << path << " page " << number << ": Jaccard " << similarity << "\n  ours: " << core::toUTF8(ours)
                      << "\n  pdftotext: " << peer.output << "\n";
        }

        // Edges along the run of the text (x upright; y on turned pages).
        bool turned = page.rotationAngle() % 180 != 0;
        std::multimap<std::u16string, Word> mine;
        for (Word& word : ourWords(page))
            mine.emplace(word.text, word);
        for (const Word& theirs : pdftotextWords(path, number)) {
            auto [first, last] = mine.equal_range(theirs.text);
            if (first == last)
                continue;
            double best = INFINITY;
            for (auto it = first; it != last; ++it) {
                const Word& word = it->second;
                double distance = turned ? std::fabs(word.yMin - theirs.yMin) + std::fabs(word.yMax - theirs.yMax)
                                         : std::fabs(word.xMin - theirs.xMin) + std::fabs(word.xMax - theirs.xMax);
                double across = turned ? std::fabs(word.xMin - theirs.xMin) : std::fabs(word.yMax - theirs.yMax);
                best = std::min(best, distance + (across > 5 ? 1000 : 0));
            }
            ++agreement.comparedWords;
            if (best <= 1)
                ++agreement.matchingEdges;
            else if (report || true)
                std::cout << path << " page " << number << ": edges of \"" << core::toUTF8(theirs.text) << "\" off by " << best
                          << "\n";
        }
    }
    return agreement;
}

TEST_F(VKPDFTextAgreementTest, FixturesMatchPdftotext)
{
    if (!test::hasProgram("pdftotext"))
        GTEST_SKIP() << "pdftotext is not installed";
    for (const char* name : { "writer.pdf", "writer-cairo.pdf", "reportlab.pdf", "writer-scripts.pdf" }) {
        SCOPED_TRACE(name);
        Agreement agreement = compare(sourcePath("tests/fixtures/pdf/") + name, false);
        EXPECT_GT(agreement.pages, 0u);
        EXPECT_GE(agreement.lowestJaccard, 0.98);
        EXPECT_GT(agreement.comparedWords, 0u);
        EXPECT_EQ(agreement.matchingEdges, agreement.comparedWords);
    }
    // Devanagari without a font: stand-in glyphs read as their actual text.
    core::Data bytes;
    ASSERT_TRUE(core::fs::readFile(sourcePath("tests/fixtures/pdf/writer-scripts.pdf"), bytes));
    std::string scripts = core::toUTF8(VKPDFPageTextScanner::create(pdf::Document::open(bytes)->page(1))->text());
    for (const char* line : { "한국어 텍스트 추출 시험입니다.", "대한민국의 수도는 서울입니다. नमस्ते दुनिया क्षत्रिय The separation" })
        EXPECT_NE(scripts.find(line), std::string::npos) << scripts;
    // Type 3 glyphs have no standard metrics: reported, not judged.
    Agreement type3 = compare(sourcePath("tests/fixtures/pdf/ghostscript.pdf"), true);
    std::cout << "ghostscript.pdf: lowest Jaccard " << type3.lowestJaccard << ", " << type3.matchingEdges << " of "
              << type3.comparedWords << " word edges within 1 pt\n";
}

std::set<std::u16string> difference(const std::set<std::u16string>& a, const std::set<std::u16string>& b)
{
    std::set<std::u16string> result;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(result, result.end()));
    return result;
}

TEST_F(VKPDFTextAgreementTest, TeXAndGhostscriptDocumentsMatchPdftotext)
{
    if (!test::hasProgram("pdftotext"))
        GTEST_SKIP() << "pdftotext is not installed";
    // Type 1C fonts re-encoded by Ghostscript, from a manual page.
    Agreement groff = compare(sourcePath("tests/fixtures/pdf/groff.pdf"), false);
    EXPECT_EQ(groff.lowestJaccard, 1);
    EXPECT_EQ(groff.matchingEdges, groff.comparedWords);

    // Computer Modern through its programs' own encodings, accents set over
    // their letters, a page included as a form.
    const std::string path = sourcePath("tests/fixtures/pdf/tex-builtin.pdf");
    Agreement tex = compare(path, false);
    EXPECT_EQ(tex.pages, 6u);
    EXPECT_GT(tex.comparedWords, 200u);
    EXPECT_EQ(tex.matchingEdges, tex.comparedWords);
    // Where the two differ, ours reads the symbol font's angle brackets
    // (pdftotext gives the letters at their codes) and puts the diaeresis
    // on an i rather than on the dotless i TeX draws.
    core::Data bytes;
    ASSERT_TRUE(core::fs::readFile(path, bytes));
    auto document = pdf::Document::open(bytes);
    auto peer = test::runCommand({ "pdftotext", "-raw", "-f", "3", "-l", "3", path, "-" });
    std::u16string page3 = VKPDFPageTextScanner::create(document->page(3))->text();
    // The brackets come from the symbol font, deeper than the letters'.
    EXPECT_NE(core::toUTF8(page3).find("and \u27E8x, y\u27E9 in math"), std::string::npos) << core::toUTF8(page3);
    auto ours = wordSet(page3);
    auto theirs = wordSet(core::toUTF16(peer.output));
    EXPECT_EQ(difference(ours, theirs), (std::set<std::u16string> { u"nai\u0308ve", u"y" }));
    EXPECT_EQ(difference(theirs, ours), (std::set<std::u16string> { u"hx", u"na\u0131\u0308ve", u"yi" }));
    std::string included = core::toUTF8(VKPDFPageTextScanner::create(document->page(6))->text());
    EXPECT_NE(included.find("Frau J\u00FCrgens and Herr M\u00FCller met at the caf\u00E9."), std::string::npos) << included;
}

TEST_F(VKPDFTextAgreementTest, FixturesCarryEveryKindOfFont)
{
    if (!test::hasProgram("pdffonts"))
        GTEST_SKIP() << "pdffonts is not installed";
    std::set<std::string> kinds;
    bool withToUnicode = false, withoutToUnicode = false;
    for (const char* name : { "writer.pdf", "writer-cairo.pdf", "reportlab.pdf", "ghostscript.pdf" }) {
        auto fonts = test::runCommand({ "pdffonts", sourcePath("tests/fixtures/pdf/") + name });
        std::istringstream lines(fonts.output);
        for (std::string line; std::getline(lines, line);) {
            for (const char* kind : { "Type 1", "TrueType", "Type 3", "CID TrueType" }) {
                if (line.find(kind) != std::string::npos)
                    kinds.insert(kind);
            }
            // The columns end in emb, sub, uni and the object number.
            std::vector<std::string> columns;
            std::istringstream words(line);
            for (std::string word; words >> word;)
                columns.push_back(word);
            if (columns.size() >= 6 && (columns[columns.size() - 3] == "yes" || columns[columns.size() - 3] == "no")) {
                withToUnicode |= columns[columns.size() - 3] == "yes";
                withoutToUnicode |= columns[columns.size() - 3] == "no";
            }
        }
    }
    EXPECT_EQ(kinds.size(), 4u);
    EXPECT_TRUE(withToUnicode);
    EXPECT_TRUE(withoutToUnicode);
}

} // namespace
