#include "Kit/StringIconvEncoding.h"
#include "Kit/VKMagicTextEncoding.h"
#include "Platform/Core/PercentEscape.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

using core::Data;

namespace {

class StringIconvEncodingTest : public test::TestCase { };

Data bytes(std::string_view text)
{
    return Data(text);
}

} // namespace

TEST_F(StringIconvEncodingTest, ConvertsNamedCharacterSets)
{
    EXPECT_EQ(stringWithData(bytes("caf\xE9 cr\xE8me"), "ISO-8859-1"), "café crème");
    EXPECT_EQ(stringWithData(bytes("caf\x8E"), "MacRoman"), "café");
    EXPECT_EQ(stringWithData(bytes("\x82\xA0"), "CP932"), "あ");
    EXPECT_EQ(stringWithData(bytes(std::string("\xFF\xFEh\0i\0", 6)), "UTF-16LE"), "\uFEFFhi");
    EXPECT_EQ(stringWithData(Data(), "UTF-8"), "");
    EXPECT_EQ(stringWithData(Data(), "no-such-set"), "");
    EXPECT_EQ(stringWithData(bytes("abc"), "no-such-set"), std::nullopt);
    EXPECT_EQ(stringWithData(bytes("abc"), "UTF-8//IGNORE"), std::nullopt);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(StringIconvEncodingTest, InvalidAndCutInputAreLoggedAndRefused)
{
    Data invalid = bytes("a\xFF" "b\xC3\xA9");
    EXPECT_EQ(stringWithData(invalid, "UTF-8"), std::nullopt);
    EXPECT_TRUE(logContains("Warning, failed to convert from UTF-8"));
    EXPECT_FALSE(logContains("multi-byte"));

    EXPECT_EQ(stringWithData(invalid, "UTF-8", true), "abé");
    EXPECT_TRUE(logContains("Warning, multi-byte error converting from: UTF-8"));

    // Cut off at the end: nothing, either way.
    for (bool lossy : { false, true }) {
        EXPECT_EQ(stringWithData(bytes("ab\xC3"), "UTF-8", lossy), std::nullopt);
        EXPECT_EQ(stringWithData(bytes("\x82"), "CP932", lossy), std::nullopt);
    }
    // glibc passes code points past U+10FFFF through UTF-8; they are not text.
    EXPECT_EQ(stringWithData(bytes("a\xF4\x90\x80\x80"), "UTF-8"), std::nullopt);
    EXPECT_EQ(stringWithData(bytes("a\xF4\x90\x80\x80"), "UTF-8", true), "a");
    EXPECT_EQ(stringWithData(bytes(std::string("\0\x11\0\0\0\0\0A", 8)), "UCS-4"), std::nullopt);
    EXPECT_EQ(stringWithData(bytes(std::string("\0\x11\0\0\0\0\0A", 8)), "UCS-4", true), "A");
    // Nothing left after dropping everything.
    EXPECT_EQ(stringWithData(bytes("\xFF\xFE\xFD"), "UTF-8", true), std::nullopt);
}

TEST_F(StringIconvEncodingTest, AgreesWithGlibcIconv)
{
    std::string every;
    for (int c = 1; c < 256; ++c)
        every += static_cast<char>(c);
    for (const char* name : { "ISO-8859-1", "ISO-8859-7", "WINDOWS-1252", "CP437", "KOI8-R", "MACINTOSH" }) {
        test::CommandResult theirs = test::runCommand({ "iconv", "-f", name, "-t", "UTF-8" }, every);
        std::optional<std::string> ours = stringWithData(bytes(every), name);
        EXPECT_EQ(ours.has_value(), theirs.status == 0) << name;
        if (ours && theirs.status == 0) {
            EXPECT_EQ(*ours, theirs.output) << name;
        }
    }
    std::string japanese = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67";
    EXPECT_EQ(stringWithData(bytes(japanese), "CP932"), test::runCommand({ "iconv", "-f", "CP932", "-t", "UTF-8" }, japanese).output);
}

TEST_F(StringIconvEncodingTest, FilesAreReadAndConverted)
{
    std::string path = makeFile("latin.txt", "na\xEFve");
    EXPECT_EQ(stringWithContentsOfFile(path, "ISO-8859-1"), "naïve");
    EXPECT_EQ(stringWithContentsOfFile(pathInHome("missing.txt"), "ISO-8859-1"), std::nullopt);
}

TEST_F(StringIconvEncodingTest, MagicEncodingGuessesAndDecodes)
{
    std::optional<std::string> text;
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes(std::string("abc\0\0", 5)), &text), "ASCII");
    EXPECT_EQ(text, std::string("abc\0\0", 5));
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes("a\tb\r\n")), "ASCII");
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes(std::string("a\0", 2)), &text), "ASCII");
    EXPECT_EQ(text, "a");

    text = "untouched";
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes("ab\x01"), &text), std::nullopt);
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(Data(), &text), std::nullopt);
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes(std::string("\0\0", 2))), std::nullopt);

    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes("caf\xC3\xA9"), &text), "UTF-8");
    EXPECT_EQ(text, "café");
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes("caf\xE9")), std::nullopt);
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes("\xE9")), std::nullopt);
    // A cut final sequence after a whole one still reads as UTF-8 (without text).
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes("\xC3\xA9\xE2\x82"), &text), "UTF-8");
    EXPECT_EQ(text, std::nullopt);

    // Plain text is passed over eight bytes at a time: a byte that decides
    // is found wherever it lies in a word.
    for (size_t at = 0; at < 24; ++at) {
        std::string plain(24, 'x');
        auto guess = [&](std::string_view odd) {
            return VKMagicTextEncoding::magicEncodingForFileData(bytes(plain.substr(0, at) + std::string(odd) + plain));
        };
        EXPECT_EQ(guess("\x01"), std::nullopt) << at;
        EXPECT_EQ(guess("\x7F"), std::nullopt) << at;
        EXPECT_EQ(guess("\t\x1B\r\n"), "ASCII") << at;
        EXPECT_EQ(guess("\xC3\xA9"), "UTF-8") << at;
        EXPECT_EQ(guess("\xC3\xA9\x01"), std::nullopt) << at;
        EXPECT_EQ(guess("\xE9"), std::nullopt) << at;
    }

    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes(std::string("\xFF\xFEh\0i\0", 6)), &text), "UTF-16LE");
    EXPECT_EQ(text, "\uFEFFhi");
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes(std::string("\xFE\xFF\0h\0i", 6)), &text), "UTF-16BE");
    EXPECT_EQ(text, "\uFEFFhi");
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes(std::string("\xFF\xFE\x01\0", 4))), std::nullopt);
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes(std::string("\xFF\xFE\xFE\xFF", 4))), std::nullopt);

    // Guessed, but the conversion refuses: the name without text.
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes("ab\x85"), &text), "ASCII");
    EXPECT_EQ(text, std::nullopt);
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes("\xFC\x84\x80\x80\x80\x80"), &text), "UTF-8");
    EXPECT_EQ(text, std::nullopt);
    // One byte left is its own text, as a code point.
    EXPECT_EQ(VKMagicTextEncoding::magicEncodingForFileData(bytes(std::string("\x85\0", 2)), &text), "ASCII");
    EXPECT_EQ(text, "\u0085");
}
