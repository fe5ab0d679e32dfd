#include "Kit/StringTruncation.h"

#include <gtest/gtest.h>

using gfx::Font;

TEST(StringTruncationTest, TailTruncationEndsInOneEllipsis)
{
    Font font = Font::systemFont(20); // 10 points a character
    EXPECT_EQ(stringByTailTruncatingStringWithFont("abcdef", font, 60), "abcdef");
    EXPECT_EQ(stringByTailTruncatingStringWithFont("abcdef", font, 59), "abcd…");
    EXPECT_EQ(stringByTailTruncatingStringWithFont("abcdef", font, 45), "abc…");
    EXPECT_EQ(stringByTailTruncatingStringWithFont("abcdef", font, 10), "…");
    EXPECT_EQ(stringByTailTruncatingStringWithFont("abcdef", font, 5), "…");
    EXPECT_EQ(stringByTailTruncatingStringWithFont("a", font, 5), "…");
    EXPECT_EQ(stringByTailTruncatingStringWithFont("", font, 0), "");
    // Cuts fall between code points: wide characters, emoji and stray bytes.
    EXPECT_EQ(stringByTailTruncatingStringWithFont("漢字漢字", font, 65), "漢字…");
    EXPECT_EQ(stringByTailTruncatingStringWithFont("a😀😀b", font, 45), "a😀…");
    EXPECT_EQ(stringByTailTruncatingStringWithFont("ab\xFF\xFF" "cd", font, 45), "ab\xFF…");
}

TEST(StringTruncationTest, PathsShortenFoldersBeforeTheName)
{
    Font font = Font::systemFont(20);
    EXPECT_EQ(pathComponentsJoinedByString("Documents/notes.txt", "/", 190, font), "Documents/notes.txt");
    EXPECT_EQ(pathComponentsJoinedByString("Documents/notes.txt", "/", 150, font), "Docu…/notes.txt");
    EXPECT_EQ(pathComponentsJoinedByString("Documents/notes.txt", "/", 110, font), "…/notes.txt");
    EXPECT_EQ(pathComponentsJoinedByString("Documents/notes.txt", "/", 95, font), "/notes.t…");
    EXPECT_EQ(pathComponentsJoinedByString("notes.txt", "/", 50, font), "note…");

    // Longer folders give way first, the nearest folder is kept longest.
    std::string path = "Projects/Archive2019/Reports/summary.pdf";
    EXPECT_EQ(pathComponentsJoinedByString(path, " > ", 450, font), "Projects > Archive20… > Reports > summary.pdf");
    EXPECT_EQ(pathComponentsJoinedByString(path, " > ", 340, font), "Pro… > Arch… > Repo… > summary.pdf");
    EXPECT_EQ(pathComponentsJoinedByString(path, " > ", 280, font), "… > … > Repor… > summary.pdf");
    EXPECT_EQ(pathComponentsJoinedByString(path, " > ", 230, font), "… > … > … > summary.pdf");
    EXPECT_EQ(pathComponentsJoinedByString(path, " > ", 170, font), " >  >  > summary…");
}
