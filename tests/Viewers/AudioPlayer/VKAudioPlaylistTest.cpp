// The audio playlist without a screen: gathering the folder afresh, and
// where next and previous go at the list's edges.

#include "Viewers/AudioPlayer/VKAudioPlaylist.h"

#include "FileModel/VKFileResource.h"
#include "Support/TestCase.h"

#include <filesystem>

namespace {

using Playlist = VKAudioPlaylist;

class VKAudioPlaylistTest : public test::TestCase {
protected:
    std::shared_ptr<VKFileResource> file(std::string_view name) { return VKFileResource::resourceWithPath(makeFile(name, "x")); }
};

TEST_F(VKAudioPlaylistTest, ARebuildGathersOnlyTheFoldersAudioAndOffersTheFirstWhenTheTrackIsGone)
{
    auto a = file("Music/a.mp3");
    auto b = file("Music/b.mp3");
    file("Music/notes.txt");
    makeFolder("Music/Inner.mp3");
    auto gone = file("Music/gone.mp3");
    std::filesystem::remove(gone->path());

    Playlist playlist;
    playlist.setResources({ gone });
    playlist.itemWillBeDeleted(pathInHome("Music"), gone.get());
    ASSERT_TRUE(playlist.needsRebuild());
    EXPECT_EQ(playlist.rebuildIfNeeded(gone.get(), false), nullptr);
    EXPECT_FALSE(playlist.needsRebuild()) << "a screen that may not rebuild only clears the mark";
    EXPECT_EQ(playlist.resources().size(), 1u);

    playlist.itemDidMove(pathInHome("Elsewhere/x.mp3"), pathInHome("Music/x.mp3"), gone.get());
    auto first = playlist.rebuildIfNeeded(gone.get(), true);
    ASSERT_EQ(playlist.resources().size(), 2u);
    EXPECT_TRUE(Playlist::indexOf(playlist.resources(), a) >= 0 && Playlist::indexOf(playlist.resources(), b) >= 0);
    EXPECT_TRUE(Playlist::sameResource(first, playlist.resources().front()));
    EXPECT_EQ(playlist.rebuildIfNeeded(a.get(), true), nullptr) << "the mark is spent";
}

TEST_F(VKAudioPlaylistTest, StepsAtTheEdgesFollowTheRepeatMode)
{
    auto a = file("a.mp3");
    auto b = file("b.mp3");
    Playlist playlist;
    playlist.setResources({ a, b });
    int asked = 0;
    auto at = [&](const std::shared_ptr<VKFileResource>& track) {
        return Playlist::Current([&asked, track] { ++asked; return track; });
    };

    auto step = playlist.stepNext(at(b), false, Playlist::RepeatAll, true);
    EXPECT_EQ(step.kind, Playlist::Step::Open);
    EXPECT_TRUE(Playlist::sameResource(step.resource, a));
    step = playlist.stepPrevious(at(a), false, Playlist::RepeatAll, true);
    EXPECT_TRUE(step.kind == Playlist::Step::Open && Playlist::sameResource(step.resource, b));
    EXPECT_EQ(playlist.stepNext(at(b), false, Playlist::RepeatOff, true).kind, Playlist::Step::Close);
    EXPECT_EQ(playlist.stepPrevious(at(a), false, Playlist::RepeatOff, true).kind, Playlist::Step::Close);

    asked = 0;
    EXPECT_EQ(playlist.stepNext(at(a), false, Playlist::SingleTrack, false).kind, Playlist::Step::Close);
    EXPECT_EQ(playlist.stepAtEnd(at(a), false, Playlist::RepeatTrack).kind, Playlist::Step::Restart);
    EXPECT_EQ(asked, 0) << "decided by the mode alone: the list is not gathered";

    playlist.setResources({ a });
    EXPECT_EQ(playlist.stepNext(at(a), false, Playlist::RepeatAll, true).kind, Playlist::Step::Stay);
    EXPECT_EQ(playlist.stepPrevious(at(a), false, Playlist::RepeatAll, true).kind, Playlist::Step::Restart);
    EXPECT_EQ(playlist.stepAtEnd(at(a), false, Playlist::RepeatAll).kind, Playlist::Step::Restart);
}

} // namespace
