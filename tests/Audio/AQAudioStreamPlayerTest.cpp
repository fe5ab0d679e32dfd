#include "AudioTestSupport.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Media/AudioSink.h"
#include "Platform/Media/WavFileSink.h"
#include "Platform/Net/URLError.h"
#include "Platform/UI/Application.h"
#include "Support/TestCase.h"
#include "Support/TestWebServer.h"
#include "Audio/AQAudioQueue.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

class AQAudioStreamPlayerTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        TANDRY_REQUIRE_AUDIO_PEERS();
        fixtures = std::make_unique<test::AudioFixtures>(pathInHome("audio"));
        server = net::FakeURLServer::install("http://audio.test/");
        events = std::make_shared<test::StreamEvents>();
    }

    std::shared_ptr<AQAudioStreamPlayer> player(const std::string& url)
    {
        core::Error error;
        auto made = AQAudioStreamPlayer::initWithURLRequest(core::URLRequest(*core::URL::parse(url)), &error);
        EXPECT_TRUE(made) << error.description();
        if (made)
            made->setDelegate(events.get());
        return made;
    }

    // Plays into a WAV file sink.
    std::shared_ptr<media::WavFileSink> recordOutput()
    {
        auto sink = media::WavFileSink::create(pathInHome("played.wav"));
        media::AudioSink::setDefaultFactoryForTesting([sink] { return sink; });
        return sink;
    }

    static void pump() { core::RunLoop::main().runUntilIdle(); }
    static core::HeaderFields length(size_t size) { return { { "Content-Length", std::to_string(size) } }; }

    std::unique_ptr<test::AudioFixtures> fixtures;
    std::shared_ptr<net::FakeURLServer> server;
    std::shared_ptr<test::StreamEvents> events;
};

TEST_F(AQAudioStreamPlayerTest, AKnownLengthDownloadsToATemporaryFileAndPlaysToItsLastFrame)
{
    const std::string path = fixtures->tone("tone.wav", { .seconds = 1.2 });
    const std::string bytes = test::readAll(path);
    auto sink = recordOutput();
    auto stream = player("http://audio.test/songs/tone.wav");
    EXPECT_TRUE(stream->play());
    EXPECT_TRUE(stream->isBuffering());
    EXPECT_TRUE(stream->isPlaying());
    pump();
    auto load = server->lastLoad();
    ASSERT_TRUE(load);
    load->respond(200, length(bytes.size()));
    load->send(bytes.substr(0, 30));
    pump();
    EXPECT_TRUE(events->events.empty());
    const std::string file = stream->temporaryFilePath();
    EXPECT_TRUE(file.starts_with(home() + "/tmp/")) << file;
    EXPECT_TRUE(file.ends_with(".wav"));
    EXPECT_EQ(file.size(), home().size() + 5 + 36 + 4);
    load->send(bytes.substr(30, 5000));
    pump();
    EXPECT_EQ(events->events, std::vector<std::string> { "preload" });
    // Half a second of 44.1 kHz stereo 16-bit.
    ASSERT_TRUE(stream->audioQueue());
    EXPECT_EQ(stream->audioQueue()->bufferSize(), 88200u);
    for (size_t at = 5030; at < bytes.size(); at += 7000)
        load->send(bytes.substr(at, 7000));
    load->finish();
    pump();
    EXPECT_EQ(test::readAll(file), bytes);

    ASSERT_TRUE(test::playUntil([&] { return events->has("finished"); }, 3));
    EXPECT_EQ(events->events, (std::vector<std::string> { "preload", "finished" }));
    EXPECT_FALSE(stream->isPlaying());
    // Every frame was played, the last half buffer too.
    EXPECT_TRUE(test::readWav16(sink->path()) == test::readWav16(path));
    EXPECT_LE(stream->audioQueue()->bufferCount(), 4u);

    // Again: the whole file is here, so no new connection.
    const size_t loads = server->loads().size();
    EXPECT_TRUE(stream->play());
    pump();
    EXPECT_EQ(server->loads().size(), loads);
    EXPECT_TRUE(stream->isPlaying());
    stream->stop();

    stream = nullptr;
    EXPECT_FALSE(core::fs::exists(file));
}

TEST_F(AQAudioStreamPlayerTest, AStreamWithoutALengthIsParsedAsItComesAndEndsWithItsData)
{
    const std::string path = fixtures->mp3("tone.mp3", { "-b", "128" }, { .seconds = 1.5 });
    const std::string bytes = test::readAll(path);
    auto sink = recordOutput();
    auto stream = player("http://audio.test/radio");
    stream->play();
    pump();
    auto load = server->lastLoad();
    load->respond(200);
    for (size_t at = 0; at < bytes.size(); at += 3000)
        load->send(bytes.substr(at, 3000));
    pump();
    EXPECT_TRUE(stream->temporaryFilePath().empty());
    EXPECT_FALSE(core::fs::exists(home() + "/tmp") && !core::fs::contentsOfDirectory(home() + "/tmp")->empty());
    EXPECT_EQ(stream->audioQueue()->bufferSize(), 8192u);
    load->finish();
    ASSERT_TRUE(test::playUntil([&] { return events->has("finished"); }, 4));
    EXPECT_EQ(events->events, (std::vector<std::string> { "preload", "finished" }));
    EXPECT_TRUE(test::readWav16(sink->path()) == test::mpg123Samples(path, pathInHome("mpg123.wav")));
}

TEST_F(AQAudioStreamPlayerTest, FailuresReachTheDelegateWithTheRequestsURL)
{
    // A load that ends short of its length.
    auto stream = player("http://audio.test/short.mp3");
    stream->play();
    pump();
    server->lastLoad()->respond(200, length(1000));
    server->lastLoad()->send(std::string(10, '\0'));
    server->lastLoad()->finish();
    pump();
    ASSERT_EQ(events->events, std::vector<std::string> { "error -3006" });
    EXPECT_EQ(events->errors[0].domain(), net::URLErrorDomain);
    EXPECT_EQ(events->errors[0].localizedDescription(), "Audio stream interrupted");
    EXPECT_EQ(events->errors[0].userInfo().at(net::URLError::FailingURLStringKey).string(), "http://audio.test/short.mp3");
    EXPECT_FALSE(stream->isPlaying());
    EXPECT_FALSE(stream->isBuffering());

    // No file to download into.
    events->events.clear();
    stream = player("http://audio.test/nowhere.mp3");
    stream->setDestinationPath(pathInHome("missing/folder/song.mp3"));
    stream->play();
    pump();
    server->lastLoad()->respond(200, length(1000));
    pump();
    EXPECT_EQ(events->events, std::vector<std::string> { "error -3001" });
    EXPECT_EQ(events->errors.back().localizedDescription(), "Unable to read file");

    // The loader's own failure.
    events->events.clear();
    stream = player("http://audio.test/lost.mp3");
    stream->play();
    pump();
    server->lastLoad()->respond(200, length(1000));
    server->lastLoad()->fail(net::URLError::NetworkConnectionLost);
    pump();
    EXPECT_EQ(events->events, std::vector<std::string> { "error -1005" });
    EXPECT_TRUE(logContains("connection:didFailWithError "));

    // Requests the loader cannot take make no player.
    core::Error error;
    EXPECT_FALSE(AQAudioStreamPlayer::initWithURLRequest(core::URLRequest(*core::URL::parse("ftp://host/a.mp3")), &error));
    EXPECT_TRUE(error.is(net::URLErrorDomain, -1002));
    EXPECT_EQ(error.localizedDescription(), "Unable to handle request");
}

TEST_F(AQAudioStreamPlayerTest, AnErrorPageOrAFullDiskFailsThePlayer)
{
    // An error page is not audio.
    auto stream = player("http://audio.test/gone.mp3");
    stream->play();
    pump();
    server->lastLoad()->respond(404, length(20));
    server->lastLoad()->send("<html>gone</html>\n\n");
    pump();
    ASSERT_EQ(events->events, std::vector<std::string> { "error " + std::to_string(net::URLError::BadServerResponse) });
    EXPECT_TRUE(server->lastLoad()->isCancelled());
    EXPECT_FALSE(stream->isPlaying());
    EXPECT_FALSE(core::fs::exists(stream->temporaryFilePath()));

    // A download that cannot be written ends as a failure, never as silence.
    events->events.clear();
    stream = player("http://audio.test/full.mp3");
    stream->setDestinationPath("/dev/full");
    stream->play();
    pump();
    server->lastLoad()->respond(200, length(4000));
    server->lastLoad()->send(std::string(2000, '\0'));
    pump();
    ASSERT_EQ(events->events, std::vector<std::string> { "error " + std::to_string(ENOSPC) });
    EXPECT_EQ(events->errors.back().domain(), core::Error::POSIXDomain);
    EXPECT_TRUE(server->lastLoad()->isCancelled());
    EXPECT_FALSE(stream->isBuffering());
}

TEST_F(AQAudioStreamPlayerTest, SeeksWithinTheDownloadedPartRestartTheClockThere)
{
    const std::string path = fixtures->tone("tone.wav", { .rate = 22050, .channels = 1, .seconds = 4 });
    const std::string bytes = test::readAll(path);
    auto stream = player("http://audio.test/tone.wav");
    std::vector<double> available;
    auto token = stream->estimatedAvailableDurationObservable().observe([&](double, double now) { available.push_back(now); });
    stream->play();
    pump();
    auto load = server->lastLoad();
    load->respond(200, length(bytes.size()));
    const size_t part = bytes.size() * 3 / 4;
    load->send(bytes.substr(0, part));
    pump();
    EXPECT_EQ(stream->estimatedDuration(), 4);
    EXPECT_NEAR(stream->estimatedAvailableDuration(), 3, 0.01);
    ASSERT_TRUE(test::playUntil([&] { return stream->currentTime() >= 0.5; }, 2));

    // Beyond the downloaded part: a warning, nothing else.
    const double before = stream->currentTime();
    stream->setCurrentTime(3.5);
    EXPECT_TRUE(logContains("Warning, currentTime exceeds estimatedAvailableDuration: 3.500000"));
    EXPECT_EQ(stream->currentTime(), before);

    stream->setCurrentTime(1.5);
    EXPECT_NEAR(stream->currentTime(), 1.5, 0.001);
    core::RunLoop::main().advance(0.3);
    EXPECT_NEAR(stream->currentTime(), 1.8, 0.01);

    // Paused, the parser is told that the next bytes start a new run.
    stream->pause();
    stream->setCurrentTime(0.25);
    EXPECT_EQ(stream->audioFileStream()->flags(), 1u);
    EXPECT_NEAR(stream->currentTime(), 0.25, 0.001);

    load->send(bytes.substr(part));
    load->finish();
    pump();
    EXPECT_NEAR(stream->estimatedAvailableDuration(), 4, 0.01);
    ASSERT_GE(available.size(), 2u);
    EXPECT_TRUE(std::is_sorted(available.begin(), available.end()));
    EXPECT_NEAR(available.back(), 4, 0.01);
}

TEST_F(AQAudioStreamPlayerTest, ASeekBeforeTheFirstStartOrWhilePausedPlaysFromTheNewPlace)
{
    // 4 s of 8 kHz mono whose samples tell their second: 1000, 2000, ...
    const uint32_t rate = 8000;
    const uint32_t dataBytes = 4 * rate * 2;
    std::string bytes;
    auto le = [&](uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes += char((value >> (8 * i)) & 0xff);
    };
    bytes += "RIFF", le(36 + dataBytes, 4), bytes += "WAVEfmt ";
    le(16, 4), le(1, 2), le(1, 2), le(rate, 4), le(rate * 2, 4), le(2, 2), le(16, 2);
    bytes += "data", le(dataBytes, 4);
    for (uint32_t second = 1; second <= 4; ++second)
        for (uint32_t i = 0; i < rate; ++i)
            le(second * 1000, 2);
    auto played = [&](const std::shared_ptr<media::WavFileSink>& sink, size_t from) {
        auto samples = test::readWav16(sink->path());
        return samples.size() > from ? int(samples[from]) : -1;
    };

    auto sink = recordOutput();
    auto stream = player("http://audio.test/steps.wav");
    stream->play();
    pump();
    server->lastLoad()->respond(200, length(bytes.size()));
    server->lastLoad()->send(bytes);
    server->lastLoad()->finish();
    // The data fills the queue, which starts on a later pass: the seek
    // (a stored place, say) comes first.
    core::RunLoop::main().runOnce();
    ASSERT_TRUE(stream->audioQueue());
    ASSERT_GT(stream->audioQueue()->enqueuedBufferCount(), 0u);
    ASSERT_FALSE(stream->audioQueue()->isRunning());
    // The WAV sink writes what is decoded, started or not, where a device
    // would hold it until the start: the seek is judged after what the
    // worker decoded before it.
    const int64_t queued = int64_t(stream->audioQueue()->enqueuedBufferCount() * stream->audioQueue()->bufferSize() / 2);
    for (int waited = 0; sink->framesWritten() < queued && waited < 2000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int64_t atSeek = sink->framesWritten();
    stream->setCurrentTime(2);
    ASSERT_TRUE(test::playUntil([&] { return sink->framesWritten() >= atSeek + rate / 2; }, 2));
    EXPECT_EQ(played(sink, size_t(atSeek)), 3000);

    // Paused, a seek waits there for play.
    stream->pause();
    stream->setCurrentTime(0.5);
    const int64_t before = sink->framesWritten();
    core::RunLoop::main().advance(0.5);
    pump();
    EXPECT_FALSE(stream->isPlaying());
    const auto& queue = *stream->audioQueue();
    EXPECT_TRUE(!queue.isRunning() || queue.isPaused()) << "the queue waits for play";
    EXPECT_EQ(sink->framesWritten(), before);
    EXPECT_NEAR(stream->currentTime(), 0.5, 0.001);
    stream->play();
    ASSERT_TRUE(test::playUntil([&] { return sink->framesWritten() >= before + rate / 4; }, 2));
    EXPECT_EQ(played(sink, size_t(before)), 1000);
}

TEST_F(AQAudioStreamPlayerTest, ADestinationPathKeepsTheDownloadAndAStopStartsItOver)
{
    const std::string bytes = test::readAll(fixtures->mp3("tone.mp3", { "-b", "96" }, { .seconds = 2 }));
    const std::string destination = pathInHome("Documents/kept.mp3");
    core::fs::createDirectory(pathInHome("Documents"), true);
    auto stream = player("http://audio.test/kept.mp3");
    stream->setDestinationPath(destination);
    stream->play();
    pump();
    server->lastLoad()->respond(200, length(bytes.size()));
    server->lastLoad()->send(bytes.substr(0, bytes.size() / 2));
    pump();
    EXPECT_TRUE(stream->temporaryFilePath().empty());
    EXPECT_EQ(test::readAll(destination), bytes.substr(0, bytes.size() / 2));

    // Stopped before the end, a later play downloads from byte 0 again.
    stream->stop();
    EXPECT_TRUE(server->loads()[0]->isCancelled());
    EXPECT_EQ(stream->estimatedAvailableDuration(), stream->estimatedAvailableDuration());
    stream->play();
    pump();
    ASSERT_EQ(server->loads().size(), 2u);
    server->lastLoad()->respond(200, length(bytes.size()));
    server->lastLoad()->send(bytes);
    server->lastLoad()->finish();
    pump();
    EXPECT_EQ(test::readAll(destination), bytes);
    EXPECT_EQ(events->events, std::vector<std::string> { "preload" });
    ASSERT_TRUE(test::playUntil([&] { return events->has("finished"); }, 4));

    // The player never deletes a destination; the application's end
    // deletes a temporary download.
    stream = nullptr;
    EXPECT_EQ(test::readAll(destination), bytes);
    auto temporary = player("http://audio.test/temp.mp3");
    temporary->play();
    pump();
    server->lastLoad()->respond(200, length(bytes.size()));
    server->lastLoad()->send(bytes.substr(0, 500));
    pump();
    ASSERT_TRUE(core::fs::exists(temporary->temporaryFilePath()));
    core::NotificationCenter::defaultCenter().post(ui::Application::willTerminateNotification);
    EXPECT_FALSE(core::fs::exists(temporary->temporaryFilePath()));
}

class AQAudioStreamPlayerServerTest : public AQAudioStreamPlayerTest {
protected:
    void SetUp() override
    {
        AQAudioStreamPlayerTest::SetUp();
        if (IsSkipped())
            return;
        test::TestWebServer::Options options;
        options.filesDirectory = fixtures->directory();
        web = std::make_unique<test::TestWebServer>(pathInHome("server"), options);
    }
    std::unique_ptr<test::TestWebServer> web;
};

TEST_F(AQAudioStreamPlayerServerTest, AStalledServerBuffersAndTheFacadesObserversHearEachChange)
{
    fixtures->mp3("tone.mp3", { "-b", "128" }, { .seconds = 4 });
    auto facade = VKAudioPlayer::initWithURL(*core::URL::parse(web->url("/files/tone.mp3?stall_after=30000&token=s")));
    facade->setDelegate(events);
    std::vector<bool> heard;
    auto token = facade->bufferingObservable().observe([&](bool, bool now) { heard.push_back(now); });
    auto* stream = facade->streamPlayer().get();
    ASSERT_TRUE(facade->play());
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return stream->audioQueue() && !stream->isBuffering(); }, 10));
    // Plays what arrived, then waits.
    ASSERT_TRUE(test::playUntil([&] { return stream->isBuffering(); }, 5));
    EXPECT_TRUE(stream->audioQueue()->isPaused());
    const double stalledAt = facade->currentTime();
    core::RunLoop::main().advance(1);
    EXPECT_EQ(facade->currentTime(), stalledAt);
    web->release("s");
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !stream->isBuffering(); }, 10));
    ASSERT_TRUE(test::playUntil([&] { return events->has("finished"); }, 8));
    EXPECT_EQ(events->events, std::vector<std::string> { "finished" });
    EXPECT_EQ(events->lastPlayer, facade.get());
    EXPECT_EQ(heard, (std::vector<bool> { true, false, true, false }));
    EXPECT_LE(stream->audioQueue()->bufferCount(), 4u);
    EXPECT_EQ(test::readAll(stream->temporaryFilePath()), test::readAll(fixtures->directory() + "/tone.mp3"));
    // A stream player kept past its facade tells it nothing more.
    auto kept = facade->streamPlayer();
    facade.reset();
    EXPECT_FALSE(kept->delegate());
}

TEST_F(AQAudioStreamPlayerServerTest, TenMinutesOfKnownLengthNeverTakeMoreThanFourBuffers)
{
    const std::string path = fixtures->mp3("long.mp3", { "-b", "8", "--resample", "8", "-m", "m" },
        { .rate = 8000, .channels = 1, .seconds = 600 });
    auto stream = player(web->url("/files/long.mp3"));
    ASSERT_TRUE(stream->play());
    ASSERT_TRUE(test::playUntil([&] { return events->has("finished"); }, 700, 2.0));
    EXPECT_EQ(events->events, (std::vector<std::string> { "preload", "finished" }));
    EXPECT_LE(stream->audioQueue()->bufferCount(), 4u);
    const double duration = test::probe(path).duration;
    EXPECT_GE(stream->estimatedDuration(), std::floor(duration));
    EXPECT_LE(stream->estimatedDuration(), duration + 1);
}

TEST_F(AQAudioStreamPlayerServerTest, AChunkedStreamPlaysWhatArrivedAndSucceeds)
{
    const std::string path = fixtures->ffmpeg("tone.aac", { "-c:a", "aac" }, { .seconds = 2 });
    auto sink = recordOutput();
    auto stream = player(web->url("/files/tone.aac?chunked"));
    ASSERT_TRUE(stream->play());
    ASSERT_TRUE(test::playUntil([&] { return events->has("finished"); }, 6));
    EXPECT_EQ(events->events, (std::vector<std::string> { "preload", "finished" }));
    EXPECT_TRUE(stream->temporaryFilePath().empty());
    EXPECT_EQ(stream->estimatedDuration(), 0);
    // Every packet was played: ffmpeg's samples, after the encoder's delay.
    const auto theirs = test::ffmpegSamples(path);
    const auto ours = test::readWav16(sink->path());
    const int64_t offset = test::alignedOffset(ours, theirs, 2, 2112, 1);
    EXPECT_GE(offset, 0);
    EXPECT_GE(int64_t(ours.size()) / 2 - offset, int64_t(theirs.size()) / 2);
}

TEST_F(AQAudioStreamPlayerServerTest, ADroppedBodyIsTheLoadersError)
{
    fixtures->mp3("tone.mp3", { "-b", "128" });
    auto stream = player(web->url("/files/tone.mp3?drop_after=5000"));
    stream->play();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !events->errors.empty(); }, 10));
    EXPECT_EQ(events->errors[0].domain(), net::URLErrorDomain);
    EXPECT_NE(events->errors[0].code(), -3006);
    EXPECT_FALSE(stream->isPlaying());
}

} // namespace
