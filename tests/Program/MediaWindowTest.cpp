// The media viewers in the program's window under the tests' own Xvfb,
// opened from the folder list by clicks as a person would, on a phone-sized
// window: what the display shows of a playing movie, its controls, pause
// and Done; a song's position, pause, the next-track key and Back. What the
// display showed is kept beside the renderer's pictures.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/Media/AudioFixtures.h"
#include "Support/Movie/MovieClips.h"
#include "Support/XvfbDisplay.h"

#include <chrono>
#include <filesystem>

namespace {

enum class Colour { Red, Blue, Black, Other };

class MediaWindowTest : public test::ProgramWindowTestCase {
protected:
    void SetUp() override
    {
        ProgramWindowTestCase::SetUp();
        if (IsSkipped())
            return;
        documents = pathInHome("home/Library/Documents");
        std::filesystem::create_directories(documents);
    }

    // The colour at the window's point, as the display shows it.
    Colour colourAt(int x, int y)
    {
        std::string shot = pathInHome("sample.png");
        importWindow(shot);
        auto read = test::runCommand({ "convert", shot, "-format",
            "%[fx:int(255*p{" + std::to_string(x) + "," + std::to_string(y) + "}.r)] %[fx:int(255*p{" + std::to_string(x)
                + "," + std::to_string(y) + "}.g)] %[fx:int(255*p{" + std::to_string(x) + "," + std::to_string(y) + "}.b)]",
            "info:" });
        int r = -1, g = -1, b = -1;
        std::sscanf(read.output.c_str(), "%d %d %d", &r, &g, &b);
        if (r > 180 && g < 80 && b < 80)
            return Colour::Red;
        if (b > 180 && r < 80 && g < 80)
            return Colour::Blue;
        if (r >= 0 && r < 30 && g < 30 && b < 30)
            return Colour::Black;
        return Colour::Other;
    }

    std::string documents;
};

// A movie opened from the folder list plays in the window: red, then blue,
// never black between; a click on its pause button holds the picture, and
// what the display shows then is what the program draws; Done goes back to
// the list; the window manager's close ends the program with status 0.
TEST_F(MediaWindowTest, AMoviePlaysPausesAndGoesBackInTheWindow)
{
    TANDRY_REQUIRE_MOVIE_PEERS();
    test::MovieClips clips(documents);
    ASSERT_FALSE(clips.colours().empty());
    openDocuments(") \"c\"");
    auto row = waitForView(") \"c\"");
    ASSERT_TRUE(row) << readFile(pathInHome("home/tmp/screen-dump.txt"));
    click(row->first, row->second);

    // The centre of the screen, in the letterboxed picture, sampled as it
    // plays: once the picture shows, red until it turns blue.
    std::vector<Colour> seen;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        Colour colour = colourAt(160, 240);
        if (seen.empty() && colour != Colour::Red)
            continue;
        seen.push_back(colour);
        if (colour == Colour::Red && seen.size() == 1)
            keep("movie", "desktop-red");
        if (colour == Colour::Blue)
            break;
    }
    ASSERT_FALSE(seen.empty()) << "the picture never showed red";
    EXPECT_EQ(seen.back(), Colour::Blue) << "it never turned blue";
    for (Colour colour : seen)
        EXPECT_NE(colour, Colour::Black) << "the window showed black while playing";

    // The controls show for a while after the start; a click brings them
    // back if they went. Their play button pauses.
    std::string dump = snapshot();
    if (dump.find("\"Done\"") == std::string::npos)
        click(160, 240);
    auto pause = waitForView("Button (0, 0, 88, 44)");
    ASSERT_TRUE(pause) << readFile(pathInHome("home/tmp/screen-dump.txt"));
    click(pause->first, pause->second);
    // Paused, the display shows the program's own picture, and goes on
    // showing the same colour.
    std::string shown = pathInHome("shown.png");
    EXPECT_TRUE(waitForDisplay(shown, 0.005)) << "the display shows what the program draws";
    Colour paused = colourAt(160, 240);
    EXPECT_TRUE(stays([&] { return colourAt(160, 240) == paused; }, 1.5)) << "the picture moved while paused";
    keep("movie", "desktop-paused", true);

    // Done: the folder list again.
    auto done = waitForView("\"Done\"");
    if (!done) {
        click(160, 240);
        done = waitForView("\"Done\"");
    }
    ASSERT_TRUE(done) << readFile(pathInHome("home/tmp/screen-dump.txt"));
    click(done->first, done->second);
    EXPECT_TRUE(waitForDump([](const std::string& now) {
        return now.find("MovieView") == std::string::npos && now.find("VKFileResourceCell") != std::string::npos;
    })) << lastDump();
    EXPECT_TRUE(waitForDisplay(shown, 0.005)) << "the display shows the list the program draws";
    keep("movie", "desktop-list", true);

    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

// A song from the folder list plays in the window through SDL's disk
// driver: its position moves and the driver's file grows; the pause button
// holds the position; the media key for the next track brings the second
// song; Back returns to the list and the sound stops; the window's close
// ends the program with 0.
TEST_F(MediaWindowTest, ASongPlaysPausesTurnsToTheNextAndGoesBackInTheWindow)
{
    TANDRY_REQUIRE_AUDIO_PEERS();
    test::AudioFixtures fixtures(pathInHome("fixtures"));
    test::AudioTone tone;
    tone.rate = 22050;
    tone.channels = 1;
    tone.seconds = 20;
    std::string track = fixtures.mp3("Track 1.mp3", { "-b", "32" }, tone);
    for (const char* name : { "/Track 1.mp3", "/Track 2.mp3" })
        std::filesystem::copy_file(track, documents + name);
    std::string sound = pathInHome("sound.raw");
    openDocuments(") \"Track 1\"", {}, { "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + sound });
    auto row = waitForView(") \"Track 1\"");
    ASSERT_TRUE(row) << lastDump();
    click(*row);

    // The slider's value: the share of the song played.
    auto played = [](const std::string& dump) {
        auto at = dump.find("VKAudioSlider");
        auto quote = at == std::string::npos ? at : dump.find('"', at);
        return quote == std::string::npos ? -1.0 : std::atof(dump.c_str() + quote + 1);
    };
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return played(dump) > 0.02; })) << lastDump();
    double first = played(lastDump());
    auto size = [&] { return std::filesystem::exists(sound) ? std::filesystem::file_size(sound) : 0; };
    auto written = size();
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return played(dump) > first + 0.02 && size() > written; }))
        << lastDump();
    keep("audio", "desktop-playing", true);

    // The pause button (the middle of the toolbar) holds the position.
    auto pause = centreOf(snapshot(), "BarItemButton (132, 7, 64, 30)");
    ASSERT_TRUE(pause) << lastDump();
    click(*pause);
    // Paused, the position holds (for a second, within ten).
    EXPECT_TRUE(until([&] {
        double held = played(snapshot());
        return stays([&] { return played(snapshot()) == held; }, 1);
    })) << "the song went on while paused";
    keep("audio", "desktop-paused", true);

    // The media key: the next song.
    xdotool({ "mousemove", "--window", window, "160", "240", "key", "XF86AudioNext" });
    ASSERT_TRUE(waitForView("\"Track 2.mp3\"")) << lastDump();

    // Back: the list, and the sound stops.
    auto back = centreOf(snapshot(), "\"Back\"");
    ASSERT_TRUE(back) << lastDump();
    click(*back);
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("VKAudioPlayerView") == std::string::npos && dump.find("VKFileResourceCell") != std::string::npos;
    })) << lastDump();
    // The driver's file stops growing once what was queued is written (it
    // holds for a second, within ten).
    EXPECT_TRUE(until([&] {
        written = size();
        return stays([&] { return size() == written; }, 1);
    })) << "the sound went on after Back";

    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

} // namespace
