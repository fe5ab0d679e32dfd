// The folder screen's summary words, and which sizes a summary sums: the
// folder's content, or what a search over a folder that is not local found.

#include "App/FolderBrowser/VKFolderSummary.h"

#include "FileModel/VKFileResource.h"
#include "Support/TestCase.h"

namespace {

struct SummedFolder : VKFileResource {
    SummedFolder() : VKFileResource("/remote/Folder") { }
    uint64_t contentSize() const override { return 4096; }
    uint64_t sizeOfChildrenMatchingName(std::string_view query) const override
    {
        asked.emplace_back(query);
        return 1024;
    }
    mutable std::vector<std::string> asked;
};

using VKFolderSummaryTest = test::TestCase;

TEST_F(VKFolderSummaryTest, WordsAndTheSizesSummed)
{
    EXPECT_EQ(VKFolderSummary::forCount(0, 0, false), "No Items");
    EXPECT_EQ(VKFolderSummary::forCount(0, 0, true), "No Items Selected");
    EXPECT_EQ(VKFolderSummary::forCount(1, 2048, false), "1 Item, 2 KB");
    EXPECT_EQ(VKFolderSummary::forCount(1, -1, false), "1 Item");
    EXPECT_EQ(VKFolderSummary::forCount(3, 2048, true), "3 Items Selected, 2 KB");

    SummedFolder folder;
    EXPECT_EQ(VKFolderSummary::ofRows(2, folder, false, std::nullopt), "2 Items, 4 KB");
    EXPECT_EQ(VKFolderSummary::ofRows(1, folder, false, VKFolderListing::Query { "rep", {} }), "1 Item, 1 KB");
    EXPECT_EQ(folder.asked, (std::vector<std::string> { "rep" }));
    EXPECT_EQ(VKFolderSummary::ofRows(0, folder, false, VKFolderListing::Query { "none", {} }), "No Items");
    EXPECT_EQ(folder.asked.size(), 1u) << "nothing found: no sizes read";
}

} // namespace
