#include "HostTestCase.h"

#include "Platform/Host/HostDrops.h"

namespace {

class HostDropsTest : public test::HostTestCase { };

// What a file manager's drop brings: local files' paths as the file system
// spells them, and a count of what is no local file.
TEST_F(HostDropsTest, DroppedURIsBecomeLocalPathsAndACountOfTheRest)
{
    std::vector<std::vector<std::string>> drops;
    std::vector<size_t> others;
    GtkWidget* target = gtk_drawing_area_new();
    g_object_ref_sink(target);
    {
        ui::HostDrops drops_(target, [&](std::vector<std::string> paths, size_t notFiles) {
            drops.push_back(std::move(paths));
            others.push_back(notFiles);
        });
        drops_.receive({ "file:///home/ann/Tax%20Return%202024.pdf", "file://localhost/tmp/caf%C3%A9.txt",
            "https://example.org/page.html", "file://otherhost/share/a.txt", "not a uri" });
        ASSERT_EQ(drops.size(), 1u);
        EXPECT_EQ(drops[0], (std::vector<std::string> { "/home/ann/Tax Return 2024.pdf", "/tmp/caf\u00e9.txt" }));
        EXPECT_EQ(others[0], 3u);

        // Past the bound, the rest are counted, never listed; an empty drop
        // says nothing.
        std::vector<std::string> many(ui::HostDrops::MaximumItems + 5, "file:///tmp/x");
        drops_.receive(many);
        ASSERT_EQ(drops.size(), 2u);
        EXPECT_EQ(drops[1].size(), ui::HostDrops::MaximumItems);
        EXPECT_EQ(others[1], 5u);
        drops_.receive({});
        EXPECT_EQ(drops.size(), 2u);
    }
    gtk_widget_destroy(target);
    g_object_unref(target);
}

} // namespace
