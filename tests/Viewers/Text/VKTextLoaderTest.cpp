// The text viewer's load: chunked decoding agrees with whole-file
// conversion, the encoding is found as the viewer expects, a file cut short
// while it is read is not fatal, and the automatic font size.

#include "Viewers/Text/VKTextFile.h"
#include "Viewers/Text/VKTextLoader.h"

#include "Kit/StringIconvEncoding.h"
#include "Platform/Core/Data.h"
#include "Platform/Core/TextConverter.h"
#include "Support/TestCase.h"

#include <filesystem>
#include <random>

namespace {

class VKTextLoaderTest : public test::TestCase {
protected:
    void TearDown() override
    {
        VKTextFile::setChunkHookForTesting({});
        TestCase::TearDown();
    }
    std::string encoded(std::string_view utf8, const char* encoding)
    {
        return core::TextConverter::convertText(utf8, "UTF-8", encoding).value();
    }
    VKTextLoader::Result load(const std::string& path, std::string current, bool lossy = false,
        std::vector<std::string> candidates = { "UTF-8", "KOI8-R", "WINDOWS-1251" }, bool contentDidLoad = false)
    {
        VKTextLoader::Request request;
        request.path = path;
        request.currentEncoding = std::move(current);
        request.lossy = lossy;
        request.candidates = std::move(candidates);
        request.contentDidLoad = contentDidLoad;
        return VKTextLoader::load(request);
    }
    static std::string textOf(const VKTextLoader::Result& result)
    {
        return result.text ? result.text->snapshot().string() : std::string();
    }
};

// Mixed lines of several MiB, so that a bad byte falls chunks after the
// first screen.
std::string mixedText(size_t bytes, unsigned seed)
{
    std::mt19937 random(seed);
    const char* words[] = { "log", "Привет", "naïve", "東京", "😀", "\t", "over-long-word-without-breaks", "\r\n", "\n" };
    std::string text;
    while (text.size() < bytes) {
        text += words[random() % std::size(words)];
        text += ' ';
    }
    return text;
}

TEST_F(VKTextLoaderTest, ChunkedDecodingAgreesWithWholeFileConversion)
{
    std::string text = mixedText(6 << 20, 7);
    struct Case {
        std::string bytes;
        const char* encoding;
        bool lossy;
    };
    // A byte no UTF-8 has, 5 MiB in; a sequence cut off at the end.
    std::string bad = text;
    bad.insert(text.find(' ', 5 << 20) + 1, "\xff");
    std::string late = text + "\xc3";
    std::vector<Case> cases = {
        { text, "UTF-8", false },
        { bad, "UTF-8", false },
        { bad, "UTF-8", true },
        { late, "UTF-8", true }, // cut off at the end: nothing either way
        { encoded("Ελληνικά κείμενα\n", "UTF-16") + std::string(9, 'x'), "UTF-16LE", false },
        { std::string(3 << 20, 'a') + "\x98", "WINDOWS-1251", true },
        { std::string(3 << 20, 'a') + "\x98", "WINDOWS-1251", false },
        { std::string("abc"), "NO-SUCH-ENCODING", true },
        { std::string("abc"), "UTF-8//IGNORE", true },
        { std::string(), "UTF-8", false },
    };
    // UTF-8 and ASCII are stored as read when well-formed: sequences the
    // converter or the UTF-8 check refuses, or that a chunk cuts in two,
    // must come out as through the converter, strict and lossy.
    const char* edges[] = { "\xef\xbb\xbf", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80", "\xef\xbf\xbe",
        "\xf4\x8f\xbf\xbf", "\xf0\x9f\x98\x80", "\xe2\x82", "\x80", "\xc3\xa9",
        // A bad byte a few ASCII bytes after a good sequence, in the same
        // eight-byte word or the next.
        "\xc3\xa9" "ab\xff", "\xc3\xa9" "abcdefghij\xff" };
    for (const char* edge : edges)
        for (size_t before : { size_t(0), (size_t(1) << 20) - 2, (size_t(1) << 20) - 1 })
            for (bool lossy : { false, true }) {
                std::string bytes = std::string(before, 'a') + edge + "b\n";
                cases.push_back({ bytes, "UTF-8", lossy });
                cases.push_back({ bytes, before ? "utf8" : "ASCII", lossy });
            }
    for (const Case& c : cases) {
        std::string path = makeFile("case.txt", c.bytes);
        VKTextFile file(path);
        auto chunked = VKTextLoader::decode(file, c.encoding, c.lossy);
        auto whole = stringWithData(core::Data(c.bytes), c.encoding, c.lossy);
        ASSERT_EQ(chunked != nullptr, whole.has_value()) << c.encoding << " lossy " << c.lossy << " size " << c.bytes.size();
        if (whole) {
            EXPECT_TRUE(chunked->snapshot().string() == *whole) << c.encoding;
            // A large text keeps none of its bytes in memory: well-formed
            // UTF-8 is read back from the file itself.
            auto shown = chunked->snapshot();
            for (size_t index = 0; c.bytes.size() > VKTextLoader::FirstScreenBytes && index < shown.chunkCount(); ++index) {
                ASSERT_TRUE(shown.chunk(index).backed) << c.encoding << " chunk " << index;
                EXPECT_TRUE(shown.chunk(index).backed->inSource || &c != &cases[0]) << index;
            }
        }
    }
}

TEST_F(VKTextLoaderTest, AFailingCurrentEncodingFallsBackThroughTheSnifferAndTheList)
{
    std::string russian = "Съешь же ещё этих мягких французских булок, да выпей чаю.\n";
    // UTF-8 fails on CP1251 bytes; KOI8-R, moved last, is not reached.
    std::string cp1251 = makeFile("cp1251.txt", encoded(russian, "WINDOWS-1251"));
    auto result = load(cp1251, "UTF-8");
    EXPECT_EQ(result.encoding, "WINDOWS-1251");
    EXPECT_EQ(textOf(result), russian);

    // Byte 0x98 has no character in CP1251: KOI8-R, which takes every byte.
    std::string koi = makeFile("koi.txt", encoded(russian, "KOI8-R") + "\x98");
    result = load(koi, "UTF-8");
    EXPECT_EQ(result.encoding, "KOI8-R");
    ASSERT_TRUE(result.text);

    // UTF-16 with a byte-order mark: the sniffer's name.
    std::string utf16 = makeFile("utf16.txt", "\xff\xfe" + encoded(russian, "UTF-16LE"));
    result = load(utf16, "UTF-8");
    EXPECT_EQ(result.encoding, "UTF-16LE");
    ASSERT_TRUE(result.text);
    EXPECT_NE(textOf(result).find("булок"), std::string::npos);

    // No current encoding: every candidate is tried.
    result = load(cp1251, "", false, { "UTF-8", "WINDOWS-1251" });
    EXPECT_EQ(result.encoding, "WINDOWS-1251");

    // Nothing decodes it: the sniffer's proposal (none) and no text.
    result = load(koi, "UTF-8", false, { "UTF-8", "ISO-2022-JP" });
    EXPECT_EQ(result.encoding, "");
    EXPECT_FALSE(result.text);
}

TEST_F(VKTextLoaderTest, AfterTheFirstLoadNoDetectionRuns)
{
    std::string path = makeFile("latin.txt", "caf\xe9\n");
    // A name the converter does not know, picked by the reader: no text and
    // no guessing; the name stays.
    auto result = load(path, "NO-SUCH-ENCODING", true, { "UTF-8", "ISO-8859-1" }, true);
    EXPECT_FALSE(result.text);
    EXPECT_EQ(result.encoding, "NO-SUCH-ENCODING");
    // A picked encoding decodes lossily.
    result = load(path, "UTF-8", true, {}, true);
    EXPECT_EQ(textOf(result), "caf\n");
}

TEST_F(VKTextLoaderTest, MissingOrUnreadableFilesGiveNoText)
{
    EXPECT_FALSE(load(pathInHome("absent.txt"), "UTF-8").text);
    EXPECT_FALSE(load(makeFolder("folder.txt"), "UTF-8").text);
}

TEST_F(VKTextLoaderTest, AFileShortenedWhileReadingEndsWhereReadingEnded)
{
    std::string first(VKTextFile::ChunkSize, 'a');
    std::string path = makeFile("rotated.log", first + std::string(3 * VKTextFile::ChunkSize, 'b'));
    VKTextFile::setChunkHookForTesting([](const std::string& file, size_t chunk) {
        if (chunk == 0)
            std::filesystem::resize_file(file, 100);
    });
    auto result = load(path, "UTF-8");
    ASSERT_TRUE(result.text);
    // Read back from the file, what it lost since shows as spaces.
    EXPECT_TRUE(textOf(result) == std::string(first.size(), ' '));
}

TEST_F(VKTextLoaderTest, TheFirstScreenComesOnceTheFirstMebibyteIsDecoded)
{
    std::string path = makeFile("big.log", std::string(3 * VKTextFile::ChunkSize, 'x'));
    VKTextLoader::Request request;
    request.path = path;
    request.currentEncoding = "UTF-8";
    std::vector<size_t> screens;
    auto result = VKTextLoader::load(request, {},
        [&](const std::string& encoding, std::shared_ptr<ui::TextStorage> text, std::optional<float>) {
            EXPECT_EQ(encoding, "UTF-8");
            auto shown = text->snapshot();
            EXPECT_FALSE(shown.isComplete());
            screens.push_back(shown.size());
        });
    // A text without line ends is cut at a chunk.
    EXPECT_EQ(screens, std::vector<size_t> { VKTextFile::ChunkSize });
    ASSERT_TRUE(result.text);
    EXPECT_TRUE(result.text->snapshot().isComplete());
    EXPECT_EQ(result.text->snapshot().size(), 3 * VKTextFile::ChunkSize);

    // A cancelled load stops at the next chunk.
    size_t chunks = 0;
    VKTextFile::setChunkHookForTesting([&](const std::string&, size_t) { ++chunks; });
    result = VKTextLoader::load(request, [&] { return chunks > 0; });
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(chunks, 1u);
}

// A large file without a stored encoding is told by its first part and
// shown before the rest is read; the name still says what the whole file is.
TEST_F(VKTextLoaderTest, ALargeFileIsToldByItsFirstPartAndShownBeforeTheRest)
{
    const std::string line = "a plain line of a log\n";
    std::string ascii;
    while (ascii.size() < VKTextLoader::WholeFileMagicBytes + VKTextFile::ChunkSize)
        ascii += line;
    auto loadShowing = [&](const std::string& path, std::vector<std::string>& shown) {
        VKTextLoader::Request request;
        request.path = path;
        request.candidates = { "UTF-8", "WINDOWS-1251" };
        return VKTextLoader::load(request, {},
            [&](const std::string& encoding, std::shared_ptr<ui::TextStorage>, std::optional<float>) {
                shown.push_back(encoding);
            });
    };
    std::vector<std::string> shown;
    auto result = loadShowing(makeFile("ascii.log", ascii), shown);
    EXPECT_EQ(result.encoding, "ASCII");
    EXPECT_EQ(shown, std::vector<std::string> { "ASCII" });
    EXPECT_TRUE(textOf(result) == ascii);

    // UTF-8 only near its end: ASCII fails there, UTF-8 reads it whole.
    shown.clear();
    result = loadShowing(makeFile("late.log", ascii + "naïve\n"), shown);
    EXPECT_EQ(result.encoding, "UTF-8");
    EXPECT_EQ(shown, (std::vector<std::string> { "ASCII", "UTF-8" }));
    EXPECT_TRUE(textOf(result) == ascii + "naïve\n");

    // One Latin-1 byte near the end: UTF-8 but for it, which shows as U+FFFD.
    shown.clear();
    result = loadShowing(makeFile("latin.log", ascii + "caf\xe9\n"), shown);
    EXPECT_EQ(result.encoding, "UTF-8");
    EXPECT_TRUE(textOf(result) == ascii + "caf\uFFFD\n");
}

TEST_F(VKTextLoaderTest, MostlyUTF8AndUTF16WithoutAMarkAreTold)
{
    // A UTF-8 log with a few Latin-1 lines: UTF-8, those bytes as U+FFFD.
    std::string log;
    for (int line = 0; line < 200; ++line)
        log += line % 70 == 69 ? "d\xe9j\xe0 vu\n" : "naïve Привет 東京\n";
    auto result = load(makeFile("mixed.log", log), "UTF-8");
    EXPECT_EQ(result.encoding, "UTF-8");
    std::string text = textOf(result);
    EXPECT_NE(text.find("naïve Привет 東京"), std::string::npos);
    EXPECT_NE(text.find("d\uFFFDj\uFFFD vu"), std::string::npos);
    // Mostly Latin-1: another encoding of the list.
    std::string latin = "Caf\xe9 cr\xe8me br\xfbl\xe9" "e, na\xefve fa\xe7" "ade.\n";
    const std::vector<std::string> western { "UTF-8", "UTF-16LE", "WINDOWS-1252", "GB18030" };
    result = load(makeFile("latin.txt", latin), "UTF-8", false, western);
    EXPECT_EQ(result.encoding, "WINDOWS-1252") << "UTF-16 from the list is taken only when the bytes tell it";
    EXPECT_EQ(textOf(result), "Café crème brûlée, naïve façade.\n");
    // A Chinese classic decodes as Windows-1252 too, earlier in the list:
    // the whole sample tells it.
    std::string classic;
    for (int line = 0; line < 8; ++line)
        classic += "道可道，非常道；名可名，非常名。无名天地之始，有名万物之母。故常无欲，以观其妙；常有欲，以观其徼。\n";
    result = load(makeFile("classic.txt", encoded(classic, "GB18030")), "UTF-8", false, western);
    EXPECT_EQ(result.encoding, "GB18030");
    EXPECT_TRUE(textOf(result) == classic);

    // UTF-16 without a byte-order mark, either way round; the same text as
    // UTF-8 would read with NULs between its letters.
    std::string english = "Plain English words, told apart by their zero bytes.\n";
    for (const char* name : { "UTF-16LE", "UTF-16BE" }) {
        result = load(makeFile(std::string(name) + ".txt", encoded(english, name)), "UTF-8");
        EXPECT_EQ(result.encoding, name);
        EXPECT_EQ(textOf(result), english);
    }
    EXPECT_FALSE(VKTextLoader::utf16WithoutMark(std::string("a\0b\0\x01\0", 6))) << "a control is no text";
    EXPECT_FALSE(VKTextLoader::utf16WithoutMark(std::string("\xff\xfe" "a\0b\0", 6))) << "a marked one is the sniffer's";
}

TEST_F(VKTextLoaderTest, TheAutomaticSizeFitsTheLinesNeverUnderNine)
{
    // "e" half a point wide per point, 480 points of landscape phone.
    EXPECT_EQ(VKTextLoader::fittingFontSize(60, 13, 0.5f, 480), 13);
    EXPECT_EQ(VKTextLoader::fittingFontSize(90, 13, 0.5f, 480), 10);
    EXPECT_EQ(VKTextLoader::fittingFontSize(99, 13, 0.5f, 480), 9);
    EXPECT_EQ(VKTextLoader::fittingFontSize(100, 13, 0.5f, 480), 13);
    EXPECT_EQ(VKTextLoader::fittingFontSize(0, 13, 0.5f, 480), 13);
    EXPECT_EQ(VKTextLoader::fittingFontSize(60, 0, 0.5f, 480), 14);

    // Lines in UTF-16 units (an emoji counts two), empty lines skipped, CRLF
    // one break, the mean rounded up.
    EXPECT_EQ(VKTextLoader::averageLineLength("abc\r\n\r\nabcd\n😀\n"), 3);
    EXPECT_EQ(VKTextLoader::averageLineLength("\n\n"), 0);
    // Line ends and multi-byte characters anywhere in the eight-byte words
    // the ASCII runs are counted in: lines of 1 to 40 units, the mean 21.
    std::string lines;
    for (size_t length = 1; length <= 40; ++length)
        lines += std::string(length - 1, 'a') + (length % 3 ? "é" : "b") + (length % 2 ? "\r\n" : "\n");
    EXPECT_EQ(VKTextLoader::averageLineLength(lines), 21);
    // Only the lines ending in the first MiB count when there is more; the
    // whole text, or a first screen of part of it, give the same.
    std::string text = std::string(VKTextLoader::FirstScreenBytes / 10, '\n') + std::string(99, 'y') + "\n"
        + std::string(VKTextLoader::FirstScreenBytes, 'z');
    EXPECT_EQ(VKTextLoader::averageLineLength(text), 99);
    EXPECT_EQ(VKTextLoader::averageLineLength(std::string_view(text).substr(0, text.size() - 9), true), 99);
    auto storage = ui::TextStorage::create();
    storage->append(text);
    EXPECT_EQ(VKTextLoader::averageLineLength(*storage), 99); // as published so far
    storage->finish();
    EXPECT_EQ(VKTextLoader::averageLineLength(*storage), 99);
    EXPECT_EQ(VKTextLoader::averageLineLength(std::string(1000, 'w')), 1000);
}

} // namespace
