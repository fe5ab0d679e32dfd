#include "Kit/VKFunctions.h"

#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/ContextInternal.h"
#include "Support/TestCase.h"

#include <cairo.h>
#include <cmath>
#include <vector>

namespace {

class VKContextAddRoundedRectTest : public test::TestCase { };

struct Step {
    cairo_path_data_type_t type;
    gfx::Point end;
};

std::vector<Step> stepsOf(gfx::Context& context)
{
    cairo_path_t* path = cairo_copy_path(gfx::ContextAccess::cairo(context));
    std::vector<Step> steps;
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t* data = &path->data[i];
        const cairo_path_data_t& last = data[data->header.length - 1];
        gfx::Point end = data->header.type == CAIRO_PATH_CLOSE_PATH ? gfx::Point() : gfx::Point { float(last.point.x), float(last.point.y) };
        steps.push_back({ data->header.type, end });
    }
    cairo_path_destroy(path);
    return steps;
}

bool near(gfx::Point p, gfx::Point q)
{
    return std::fabs(p.x - q.x) < 0.01f && std::fabs(p.y - q.y) < 0.01f;
}

TEST_F(VKContextAddRoundedRectTest, PathRunsRoundTheCornersAndBack)
{
    auto context = gfx::BitmapContext::create(40, 20);
    VKContextAddRoundedRect(*context, 0, 0, 40, 20, 10);
    auto steps = stepsOf(*context);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front().type, CAIRO_PATH_MOVE_TO);
    EXPECT_TRUE(near(steps.front().end, { 0, 10 }));
    EXPECT_TRUE(near(steps.back().end, { 0, 10 })); // back at the start, not closed
    EXPECT_NE(steps.back().type, CAIRO_PATH_CLOSE_PATH);

    // The ends of the sides and arcs, in order: up the left side, over the
    // top, down the right side, back along the bottom.
    const gfx::Point corners[] = { { 10, 20 }, { 30, 20 }, { 40, 10 }, { 30, 0 }, { 10, 0 }, { 0, 10 } };
    size_t next = 0;
    for (const Step& step : steps) {
        if (next < std::size(corners) && near(step.end, corners[next]))
            ++next;
        // Every point lies on the capsule's outline.
        float x = std::clamp(step.end.x, 10.0f, 30.0f);
        EXPECT_NEAR(std::hypot(step.end.x - x, step.end.y - 10), 10, 0.01) << step.end.x << "," << step.end.y;
    }
    EXPECT_EQ(next, std::size(corners));

    // Filled, a capsule: the corners stay clear.
    context->setFillColor(0, 0, 0, 1);
    context->fillPath();
    for (auto [x, y] : { std::pair { 0, 0 }, { 39, 0 }, { 0, 19 }, { 39, 19 } })
        EXPECT_EQ(context->pixelAtForTesting(x, y).alpha, 0) << x << "," << y;
    EXPECT_EQ(context->pixelAtForTesting(20, 10).alpha, 255);
    EXPECT_EQ(context->pixelAtForTesting(20, 1).alpha, 255);
    EXPECT_EQ(context->pixelAtForTesting(2, 10).alpha, 255);
}

} // namespace
