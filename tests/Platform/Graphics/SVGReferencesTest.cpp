#include "Platform/Graphics/ImageCodecs.h"
#include "Platform/Graphics/SVGReferences.h"

#include "Support/SVGBombs.h"

#include <gtest/gtest.h>

namespace {

using gfx::codecs::svgReferencedElements;

constexpr uint64_t Limit = 500000;

std::string nested(int levels, int copies)
{
    std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='40' "
                      "height='40'><defs><rect id='l0' width='1' height='1' fill='#f00'/>";
    for (int level = 1; level <= levels; ++level) {
        svg += "<g id='l" + std::to_string(level) + "'>";
        for (int copy = 0; copy < copies; ++copy)
            svg += "<use href='#l" + std::to_string(level - 1) + "' x='" + std::to_string(copy) + "'/>";
        svg += "</g>";
    }
    return svg + "</defs><use xlink:href='#l" + std::to_string(levels) + "'/></svg>";
}

} // namespace

// Nested references are counted before anything is drawn: a bomb is refused
// at once with its reason, a loop too, and a drawing that reuses its parts a
// few times draws.
TEST(SVGReferencesTest, NestedReferencesAreCountedBeforeDrawing)
{
    EXPECT_GT(svgReferencedElements(test::nestedUsesSVG(), Limit), Limit);
    std::string failure;
    EXPECT_FALSE(gfx::codecs::decodeSVG(test::nestedUsesSVG(), 1 << 24, &failure));
    EXPECT_EQ(failure, "SVG document references too many elements");

    // Three uses of a rectangle, three of that group, one of that: 3 + 3·4 + 13.
    EXPECT_EQ(svgReferencedElements(nested(2, 3), Limit), 28u);
    failure.clear();
    auto drawn = gfx::codecs::decodeSVG(nested(2, 3), 1 << 24, &failure);
    EXPECT_TRUE(drawn) << failure;

    const std::string loop = "<svg xmlns='http://www.w3.org/2000/svg'><g id='a'><use href='#b'/></g>"
                             "<g id='b'><use href='#a'/></g></svg>";
    EXPECT_GT(svgReferencedElements(loop, Limit), Limit);
    // What comes before a document's error counts; an entity is never expanded.
    EXPECT_GT(svgReferencedElements(nested(10, 10).substr(0, nested(10, 10).size() - 6), Limit), Limit);
    EXPECT_EQ(svgReferencedElements("<!DOCTYPE svg [<!ENTITY a 'x'>]><svg>&a;&a;</svg>", Limit), 0u);
}
