// The picker's library made from a pictures folder: albums per folder with
// media, the pictures folder first, numeric order, hidden names and links
// passed over, and a link loop or a deep tree staying within bounds.

#include "Platform/UI/FolderPhotoLibrary.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Support/UITestCase.h"

#include <unistd.h>

namespace {

using ui::FolderPhotoLibrary;
using ui::ImagePickerController;

class FolderPhotoLibraryTest : public test::UITestCase {
protected:
    static std::vector<std::string> albumNames(const std::vector<ImagePickerController::Album>& albums)
    {
        std::vector<std::string> names;
        for (const auto& album : albums)
            names.push_back(album.name + " (" + std::to_string(album.media.size()) + ")");
        return names;
    }
};

TEST_F(FolderPhotoLibraryTest, AlbumsFollowTheFoldersThatHoldMedia)
{
    std::string pictures = makeFolder("Pictures");
    for (const char* name : { "IMG 10.jpg", "IMG 2.JPEG", "IMG 1.png", "clip.MOV", "notes.txt", ".hidden.jpg" })
        makeFile(std::string("Pictures/") + name, "x");
    makeFile("Pictures/Holidays/2023/beach.webp", "x");
    makeFile("Pictures/Holidays/readme.txt", "x");
    makeFile("Pictures/.thumbnails/t.png", "x");
    makeFile("Pictures/Line\nBreak/a.gif", "x");
    makeFile("Elsewhere/outside.jpg", "x");
    ASSERT_EQ(::symlink((home() + "/Elsewhere").c_str(), (pictures + "/Linked").c_str()), 0);
    ASSERT_EQ(::symlink(pictures.c_str(), (pictures + "/Holidays/Loop").c_str()), 0);

    auto albums = FolderPhotoLibrary::scan(pictures);
    EXPECT_EQ(albumNames(albums),
        (std::vector<std::string> { "Pictures (4)", "Holidays > 2023 (1)", "Line\nBreak (1)" }));
    ASSERT_FALSE(albums.empty());
    std::vector<std::string> files;
    for (const auto& media : albums[0].media)
        files.push_back(media.path.substr(pictures.size() + 1) + " " + media.mediaType);
    EXPECT_EQ(files, (std::vector<std::string> { "clip.MOV public.movie", "IMG 1.png public.image",
                         "IMG 2.JPEG public.image", "IMG 10.jpg public.image" }));
    ASSERT_TRUE(albums[0].media[0].movieURL);
    EXPECT_EQ(albums[0].media[0].movieURL->path(), pictures + "/clip.MOV");
    EXPECT_FALSE(albums[0].media[1].image);

    EXPECT_TRUE(FolderPhotoLibrary::scan(home() + "/Missing").empty());
}

TEST_F(FolderPhotoLibraryTest, DeepTreesStopAtTheirBounds)
{
    std::string path = "Pictures";
    for (int level = 0; level <= 10; ++level) {
        path += "/L" + std::to_string(level);
        makeFile(path + "/p.jpg", "x");
    }
    auto albums = FolderPhotoLibrary::scan(home() + "/Pictures");
    EXPECT_EQ(albums.size(), size_t(FolderPhotoLibrary::MaximumDepth));
}

TEST_F(FolderPhotoLibraryTest, APickReadsTheImageFromItsFile)
{
    auto context = gfx::BitmapContext::create(12, 8);
    std::string good = makeFile("Pictures/good.jpg", *context->makeImage()->jpegRepresentation(0.8f));
    std::string bad = makeFile("Pictures/bad.jpg", "not a picture");
    ImagePickerController::setLibrarySource([this] { return FolderPhotoLibrary::scan(home() + "/Pictures"); });
    auto picker = ImagePickerController::create();
    EXPECT_TRUE(picker->isLoadingLibrary());
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !picker->isLoadingLibrary(); }, 10));
    ASSERT_EQ(ImagePickerController::library().size(), 1u);
    ASSERT_TRUE(picker->openAlbum(0));
    // "bad.jpg" sorts first and is refused at the pick; "good.jpg" is read.
    EXPECT_FALSE(picker->pick(0));
    EXPECT_TRUE(picker->pick(1));
    (void)good, (void)bad;
}

} // namespace
