#include "Kit/FileManagerAdditions.h"

#include "Support/TestCase.h"

#include <unistd.h>

namespace {

class FileManagerUniquePathTest : public test::TestCase {
protected:
    // Takes the next free name, as a caller that creates the item would.
    std::string next(std::string_view name, std::string_view suffix = {})
    {
        std::string path = uniquePathForItemAtPath(pathInHome(name), suffix);
        makeFile(path.substr(home().size() + 1));
        return path.substr(home().size() + 1);
    }
};

TEST_F(FileManagerUniquePathTest, NumbersAndSuffixes)
{
    EXPECT_EQ(uniquePathForItemAtPath(pathInHome("free.txt")), pathInHome("free.txt"));

    makeFile("a.txt");
    EXPECT_EQ(next("a.txt"), "a 1.txt");
    EXPECT_EQ(next("a.txt"), "a 2.txt");
    makeFile("a 3.txt");
    EXPECT_EQ(next("a 3.txt"), "a 4.txt");

    makeFile("b.txt");
    EXPECT_EQ(next("b.txt", "copy"), "b copy.txt");
    EXPECT_EQ(next("b.txt", "copy"), "b copy 1.txt");
    makeFile("b copy 2.txt");
    EXPECT_EQ(next("b copy 2.txt", "copy"), "b copy 3.txt");

    makeFile("notes");
    EXPECT_EQ(next("notes"), "notes 1");
    makeFile("a.tar.gz");
    EXPECT_EQ(next("a.tar.gz"), "a.tar 1.gz");
    makeFile(".profile");
    EXPECT_EQ(next(".profile"), ".profile 1");

    // A dangling link takes its name as much as a file does.
    ASSERT_EQ(symlink("nowhere", pathInHome("dangling").c_str()), 0);
    EXPECT_EQ(next("dangling"), "dangling 1");
}

TEST_F(FileManagerUniquePathTest, OddNumbersAndSuffixesStaySafe)
{
    // 0 without a suffix would make "c .txt".
    makeFile("c 0.txt");
    EXPECT_EQ(next("c 0.txt"), "c 1.txt");

    // A suffix with pattern characters matches itself.
    makeFile("d.txt");
    EXPECT_EQ(next("d.txt", "Kopie (2)"), "d Kopie (2).txt");
    EXPECT_EQ(next("d.txt", "Kopie (2)"), "d Kopie (2) 1.txt");
    EXPECT_EQ(next("d Kopie (2) 1.txt", "Kopie (2)"), "d Kopie (2) 2.txt");

    // Numbers past 64 bits saturate instead of overflowing.
    makeFile("e 99999999999999999999.txt");
    EXPECT_EQ(next("e 99999999999999999999.txt"), "e 9223372036854775807.txt");
    std::string last = next("e 99999999999999999999.txt");
    EXPECT_TRUE(last.starts_with("e ") && last.ends_with(".txt") && last.size() == 2 + 36 + 4) << last;
}

} // namespace
