#include "Support/UITestCase.h"

#include "Platform/UI/View.h"

namespace {

using test::UITestCase;
class ViewTest : public UITestCase { };

TEST_F(ViewTest, FrameIsDerivedFromTheLayer)
{
    auto view = ui::View::create({ 10, 20, 100, 50 });
    EXPECT_EQ(view->center(), (gfx::Point { 60, 45 }));
    EXPECT_EQ(view->bounds(), (gfx::Rect { 0, 0, 100, 50 }));
}

} // namespace
