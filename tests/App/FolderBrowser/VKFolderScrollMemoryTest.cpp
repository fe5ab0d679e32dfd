// The scroll position kept per folder and in the saved state, on a bare
// scroll view: what is kept past the search bar, how far a list comes back,
// and the fraction with the values a saved state may hold instead.

#include "App/FolderBrowser/VKFolderScrollMemory.h"

#include "Platform/Core/Path.h"
#include "Platform/Core/Value.h"
#include "Platform/UI/ScrollView.h"
#include "Support/TestCase.h"

#include <cmath>

namespace {

class VKFolderScrollMemoryTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        folder = makeFolder("Library/Documents/Long");
        // 2,000 points of rows in a 400-point list: 1,600 to scroll.
        list->setContentSize({ 320, 2000 });
    }
    void TearDown() override
    {
        VKFolderScrollMemory::forgetAllForTesting();
        TestCase::TearDown();
    }
    static core::Value state(core::Value value)
    {
        return core::Value(core::Value::Dictionary { { VKFolderScrollMemory::StateKey, std::move(value) } });
    }

    static constexpr float Bar = 44;
    std::string folder;
    std::shared_ptr<ui::ScrollView> list = ui::ScrollView::create({ 0, 0, 320, 400 });
};

TEST_F(VKFolderScrollMemoryTest, KeptPerFolderPastTheBarAndBroughtBackWithinTheRows)
{
    VKFolderScrollMemory memory(folder);
    list->setContentOffset({ 0, Bar + 500 });
    memory.store(*list, Bar);
    EXPECT_EQ(VKFolderScrollMemory::stored(folder), Bar + 500);
    EXPECT_EQ(VKFolderScrollMemory::stored(core::path::abbreviatingWithTildeInPath(folder)), Bar + 500);
    EXPECT_EQ(VKFolderScrollMemory::stored(folder + "/Other"), std::nullopt);

    // Another memory of the folder brings a new list back there.
    auto again = ui::ScrollView::create({ 0, 0, 320, 400 });
    again->setContentSize({ 320, 2000 });
    VKFolderScrollMemory(folder).scrollBack(*again, Bar, 100);
    EXPECT_EQ(again->contentOffset().y, Bar + 500);
    // Never further than the last row shows above the bars.
    again->setContentSize({ 320, 600 });
    again->setContentOffset({ 0, 0 });
    memory.scrollBack(*again, Bar, 100);
    EXPECT_EQ(again->contentOffset().y, 300);

    // Scrolled only as far as the bar: forgotten, and back to the floor.
    list->setContentOffset({ 0, Bar });
    memory.store(*list, Bar);
    EXPECT_EQ(VKFolderScrollMemory::stored(folder), std::nullopt);
    again->setContentSize({ 320, 2000 });
    memory.scrollBack(*again, Bar, 100);
    EXPECT_EQ(again->contentOffset().y, Bar);
}

TEST_F(VKFolderScrollMemoryTest, TheSavedStateHoldsAFractionClampedOrIgnored)
{
    list->setContentOffset({ 0, 800 });
    EXPECT_NEAR(VKFolderScrollMemory::fraction(*list, Bar), 0.5, 0.01);
    EXPECT_NEAR(VKFolderScrollMemory::state(0.5f)[VKFolderScrollMemory::StateKey].toReal(), 0.5, 0.01);
    list->setContentOffset({ 0, Bar - 1 });
    EXPECT_EQ(VKFolderScrollMemory::fraction(*list, Bar), 0);
    auto shortList = ui::ScrollView::create({ 0, 0, 320, 400 });
    shortList->setContentSize({ 320, 300 });
    EXPECT_EQ(VKFolderScrollMemory::fraction(*shortList, Bar), 0);

    VKFolderScrollMemory memory(folder);
    auto seven = memory.restore(state(core::Value(7.0)));
    ASSERT_TRUE(seven);
    VKFolderScrollMemory::scrollToFraction(*list, *seven);
    EXPECT_NEAR(list->contentOffset().y, 1600, 1);
    for (auto bad : { core::Value(std::nan("")), core::Value("half"), core::Value(-3.0) }) {
        list->setContentOffset({ 0, 100 });
        if (auto fraction = memory.restore(state(bad)))
            VKFolderScrollMemory::scrollToFraction(*list, *fraction);
        EXPECT_TRUE(list->contentOffset().y == 100 || list->contentOffset().y == 0) << bad.description();
    }
    EXPECT_FALSE(memory.restore(core::Value("not a state")));
    list->setContentOffset({ 0, 100 });
    VKFolderScrollMemory::scrollToFraction(*list, std::nanf(""));
    EXPECT_EQ(list->contentOffset().y, 100);

    // A restored fraction is no offset: the folder's next list comes back
    // at that share of its rows, once.
    ASSERT_TRUE(memory.restore(state(core::Value(0.25))));
    EXPECT_EQ(VKFolderScrollMemory::stored(folder), std::nullopt);
    list->setContentOffset({ 0, 0 });
    memory.scrollBack(*list, Bar, 100);
    EXPECT_NEAR(list->contentOffset().y, 400, 1);
    list->setContentOffset({ 0, 0 });
    memory.scrollBack(*list, Bar, 100);
    EXPECT_EQ(list->contentOffset().y, Bar);
}

} // namespace
