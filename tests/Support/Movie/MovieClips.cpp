#include "Support/Movie/MovieClips.h"

#include "Support/Command.h"

#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <cstdio>
#include <sstream>

namespace test {

namespace {

// 3 s of tone in 90 buffers of 1470 samples at 44.1 kHz: as long as the picture.
constexpr const char* kTone = "audiotestsrc num-buffers=90 samplesperbuffer=1470 ! audio/x-raw,rate=44100,channels=1 "
                              "! audioconvert ! avenc_aac ! aacparse";

std::string colourBranches(int framesEach)
{
    return fmt::format("concat name=c ! videoconvert ! openh264enc ! h264parse ! queue ! m.video_0 "
                       "videotestsrc pattern=red num-buffers={0} ! video/x-raw,width=320,height=240,framerate=30/1 ! c. "
                       "videotestsrc pattern=blue num-buffers={0} ! video/x-raw,width=320,height=240,framerate=30/1 ! c. ",
        framesEach);
}

std::vector<std::string> split(const std::string& pipeline)
{
    std::vector<std::string> words;
    std::istringstream in(pipeline);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

} // namespace

MovieClips::MovieClips(std::string directory)
    : m_directory(std::move(directory))
{
    std::filesystem::create_directories(m_directory);
}

bool MovieClips::havePeers()
{
    static const bool have = [] {
        if (!hasProgram("gst-launch-1.0") || !hasProgram("gst-discoverer-1.0") || !hasProgram("gst-inspect-1.0"))
            return false;
        for (const char* element : { "openh264enc", "avenc_aac", "mp4mux", "qtmux", "avimux", "jpegenc", "concat" })
            if (runCommand({ "gst-inspect-1.0", "--exists", element }).status != 0)
                return false;
        return true;
    }();
    return have;
}

std::string MovieClips::run(const std::string& name, const std::string& pipeline)
{
    std::string path = m_directory + "/" + name;
    std::vector<std::string> arguments { "gst-launch-1.0", "-q", "-e" };
    for (auto& word : split(pipeline))
        arguments.push_back(word == "@OUT@" ? "location=" + path : word);
    if (runCommand(arguments).status != 0 || !std::filesystem::exists(path))
        return {};
    return path;
}

std::string MovieClips::colours(const std::string& name, const std::string& muxer)
{
    return run(name, fmt::format("{} name=m ! filesink @OUT@ {} {} ! queue ! m.audio_0", muxer, colourBranches(45), kTone));
}

std::string MovieClips::jpegAVI(const std::string& name)
{
    return run(name, "concat name=c ! videoconvert ! jpegenc ! avimux ! filesink @OUT@ "
                     "videotestsrc pattern=red num-buffers=45 ! video/x-raw,width=320,height=240,framerate=30/1 ! c. "
                     "videotestsrc pattern=blue num-buffers=45 ! video/x-raw,width=320,height=240,framerate=30/1 ! c.");
}

std::string MovieClips::soundOnly(const std::string& name)
{
    return run(name, fmt::format("{} ! mp4mux ! filesink @OUT@", kTone));
}

std::string MovieClips::truncated(const std::string& name)
{
    std::string whole = colours("whole-" + name);
    if (whole.empty())
        return {};
    std::string path = m_directory + "/" + name;
    auto size = std::filesystem::file_size(whole);
    std::ifstream in(whole, std::ios::binary);
    std::string bytes(size / 2, '\0');
    in.read(bytes.data(), std::streamsize(bytes.size()));
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
}

std::string MovieClips::text(const std::string& name)
{
    std::string path = m_directory + "/" + name;
    std::ofstream(path) << "This is no movie, only text that claims to be one.\n";
    return path;
}

std::string MovieClips::redPictures(const std::string& name, int width, int height, int frames)
{
    return run(name, fmt::format("videotestsrc num-buffers={} pattern=red ! video/x-raw,width={},height={},framerate=30/1 "
                                 "! jpegenc ! qtmux ! filesink @OUT@",
                         frames, width, height));
}

std::string MovieClips::large(const std::string& name, int width, int height, double seconds)
{
    int frames = int(seconds * 30);
    return run(name, fmt::format("videotestsrc num-buffers={} pattern=ball ! video/x-raw,width={},height={},framerate=30/1 "
                                 "! videoconvert ! openh264enc ! h264parse ! mp4mux ! filesink @OUT@",
                         frames, width, height));
}

double MovieClips::discoveredDuration(const std::string& path)
{
    auto result = runCommand({ "gst-discoverer-1.0", path });
    if (result.status != 0)
        return -1;
    // The first "Duration: H:MM:SS.fraction" of the report.
    for (size_t at = result.output.find("Duration: "); at != std::string::npos;
         at = result.output.find("Duration: ", at + 1)) {
        unsigned hours = 0, minutes = 0, seconds = 0;
        char fraction[32] = {};
        if (std::sscanf(result.output.c_str() + at, "Duration: %u:%u:%u.%31[0-9]", &hours, &minutes, &seconds, fraction) == 4)
            return hours * 3600.0 + minutes * 60.0 + seconds + std::stod(std::string("0.") + fraction);
    }
    return -1;
}

} // namespace test
