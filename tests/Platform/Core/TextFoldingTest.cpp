#include "Platform/Core/Collator.h"
#include "Platform/Core/TextFolding.h"

#include <gtest/gtest.h>

using core::Collator;

TEST(TextFoldingTest, ContainmentIgnoresCaseDiacriticsAndWidth)
{
    EXPECT_TRUE(core::containsIgnoringCaseDiacriticsWidth("Café Noir", "cafe n"));
    EXPECT_TRUE(core::containsIgnoringCaseDiacriticsWidth("ＡＢＣ", "b"));
    EXPECT_TRUE(core::containsIgnoringCaseDiacriticsWidth("cafe", "CAFÉ"));
    // Decomposed and composed accents fold alike.
    EXPECT_TRUE(core::containsIgnoringCaseDiacriticsWidth("Cafe\u0301", "café"));
    EXPECT_TRUE(core::containsIgnoringCaseDiacriticsWidth("Straße", "STRASSE"));
    EXPECT_TRUE(core::containsIgnoringCaseDiacriticsWidth("ﬁle", "fi"));
    EXPECT_FALSE(core::containsIgnoringCaseDiacriticsWidth("Café", "cafx"));
    EXPECT_FALSE(core::containsIgnoringCaseDiacriticsWidth("Café", ""));
    EXPECT_FALSE(core::containsIgnoringCaseDiacriticsWidth("Café", "\u0301"));
    // Bad bytes never match good letters, and never crash.
    EXPECT_FALSE(core::containsIgnoringCaseDiacriticsWidth("a\xFF" "b", "ab"));
    EXPECT_TRUE(core::containsIgnoringCaseDiacriticsWidth("a\xFF" "b", "B"));
}

TEST(TextFoldingTest, StrippingDiacriticsKeepsBaseLetters)
{
    EXPECT_EQ(core::strippingDiacritics("Ça été"), "Ca ete");
    EXPECT_EQ(core::strippingDiacritics("Ångström"), "Angstrom");
    EXPECT_EQ(core::strippingDiacritics("søß"), "søß");
    EXPECT_EQ(core::strippingDiacritics(""), "");
}

TEST(TextFoldingTest, CollatorStrengthsAndNumericOrder)
{
    Collator secondary("en", Collator::Strength::Secondary, true);
    EXPECT_LT(secondary.compare("file 2", "file 10"), 0);
    EXPECT_LT(secondary.compare("a2", "A10"), 0);
    EXPECT_EQ(secondary.compare("a", "A"), 0);
    EXPECT_EQ(secondary.compare("a", "ａ"), 0);
    EXPECT_NE(secondary.compare("e", "é"), 0);

    Collator tertiary("en", Collator::Strength::Tertiary, true);
    EXPECT_LT(tertiary.compare("a", "A"), 0);

    Collator literal("en", Collator::Strength::Tertiary, false);
    EXPECT_GT(literal.compare("file 2", "file 10"), 0);

    Collator unknown("xx-nonsense", Collator::Strength::Primary, false);
    EXPECT_EQ(unknown.compare("A", "a"), 0);
}

TEST(TextFoldingTest, CaseFoldingKeepsAccentsAndWidth)
{
    EXPECT_EQ(core::caseFolded("VKLoginPasswordService"), "vkloginpasswordservice");
    EXPECT_EQ(core::caseFolded("Straße"), core::caseFolded("STRASSE"));
    EXPECT_EQ(core::caseFolded("ΣΟΦΊΑ"), core::caseFolded("σοφία"));
    EXPECT_NE(core::caseFolded("Café"), core::caseFolded("cafe"));
    EXPECT_NE(core::caseFolded("Ａ"), core::caseFolded("a"));
}

TEST(TextFoldingTest, LowerCasedAndComposed)
{
    // A decomposed capital and its precomposed small letter meet.
    EXPECT_EQ(core::lowercasedPrecomposed("E\xCC\x81T\xC3\x89"), "\xC3\xA9t\xC3\xA9");
    // Lower-casing is not folding: "ß" stays.
    EXPECT_EQ(core::lowercasedPrecomposed("STRAßE"), "straße");
    EXPECT_EQ(core::lowercasedPrecomposed("Ａ"), "ａ");
    EXPECT_EQ(core::lowercasedPrecomposed("a\xff"), "a\xEF\xBF\xBD");
}
