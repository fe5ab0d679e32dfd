#include "Support/Media/AudioFixtures.h"

#include "Support/Command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace test {

namespace {

std::string number(double value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

void run(const std::vector<std::string>& arguments)
{
    const auto result = runCommand(arguments);
    if (result.status != 0) {
        std::string line;
        for (const auto& a : arguments)
            line += a + " ";
        ADD_FAILURE() << "peer failed (" << result.status << "): " << line;
    }
}

std::vector<std::string> toneArguments(const AudioFixtures::Tone& tone)
{
    return { "-r", std::to_string(tone.rate), "-c", std::to_string(tone.channels), "-b", std::to_string(tone.bits),
        "-e", tone.encoding };
}

// A pitch rising from 220 to 1760 Hz, slightly quieter than full scale, so
// that every sample differs and no clipping hides a wrong conversion.
std::vector<std::string> synth(double seconds)
{
    return { "synth", number(seconds), "sine", "220-1760", "gain", "-3" };
}

int16_t le16(const unsigned char* p)
{
    return int16_t(uint16_t(p[0] | p[1] << 8));
}

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::vector<int16_t> samplesOf(const std::string& bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = le16(p + 2 * i);
    return samples;
}

} // namespace

AudioFixtures::AudioFixtures(std::string directory)
    : m_directory(std::move(directory))
{
    std::filesystem::create_directories(m_directory);
}

bool AudioFixtures::havePeers()
{
    for (const char* peer : { "sox", "lame", "ffmpeg", "ffprobe", "mpg123" }) {
        if (!hasProgram(peer))
            return false;
    }
    return true;
}

std::string AudioFixtures::tone(const std::string& name, const Tone& tone, const std::vector<std::string>& extra)
{
    const std::string path = m_directory + "/" + name;
    std::vector<std::string> arguments = { "sox", "-n" };
    auto format = toneArguments(tone);
    arguments.insert(arguments.end(), format.begin(), format.end());
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    arguments.push_back(path);
    auto shape = synth(tone.seconds);
    arguments.insert(arguments.end(), shape.begin(), shape.end());
    run(arguments);
    return path;
}

std::string AudioFixtures::mp3(const std::string& name, const std::vector<std::string>& lameArguments, const Tone& t)
{
    const std::string source = tone(name + ".source.wav", t);
    const std::string path = m_directory + "/" + name;
    std::vector<std::string> arguments = { "lame", "--quiet" };
    arguments.insert(arguments.end(), lameArguments.begin(), lameArguments.end());
    arguments.push_back(source);
    arguments.push_back(path);
    run(arguments);
    return path;
}

std::string AudioFixtures::ffmpeg(const std::string& name, const std::vector<std::string>& outputArguments, const Tone& t)
{
    const std::string source = tone(name + ".source.wav", t);
    const std::string path = m_directory + "/" + name;
    std::vector<std::string> arguments = { "ffmpeg", "-v", "error", "-y", "-i", source };
    arguments.insert(arguments.end(), outputArguments.begin(), outputArguments.end());
    arguments.push_back(path);
    run(arguments);
    return path;
}

std::string AudioFixtures::cafAAC(const std::string& name, const Tone& t)
{
    const std::string m4a = ffmpeg(name + ".source.m4a", { "-c:a", "aac", "-b:a", "128k", "-movflags", "+faststart" }, t);
    const std::string path = m_directory + "/" + name;
    run({ "python3", std::string(TANDRY_SOURCE_DIR) + "/tests/Support/Media/make_caf.py", m4a, path, "--valid",
        std::to_string(int64_t(t.rate * t.seconds)) });
    return path;
}

ProbeInfo probe(const std::string& path)
{
    ProbeInfo info;
    const auto stream = runCommand({ "ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
        "stream=sample_rate,channels,duration:format=duration", "-of", "default=noprint_wrappers=1", path });
    std::istringstream lines(stream.output);
    std::string line;
    double formatDuration = 0;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (value == "N/A")
            continue;
        if (key == "sample_rate")
            info.sampleRate = std::atof(value.c_str());
        else if (key == "channels")
            info.channels = std::atoi(value.c_str());
        else if (key == "duration" && !info.duration)
            info.duration = std::atof(value.c_str());
        if (key == "duration")
            formatDuration = std::atof(value.c_str());
    }
    if (!info.duration)
        info.duration = formatDuration;
    const auto packets = runCommand({ "ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
        "packet=pos,size", "-of", "csv=p=0", path });
    std::istringstream rows(packets.output);
    while (std::getline(rows, line)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        info.packetSizes.push_back(std::atoll(line.substr(0, comma).c_str()));
        info.packetPositions.push_back(std::atoll(line.substr(comma + 1).c_str()));
    }
    info.packetCount = int64_t(info.packetPositions.size());
    if (!info.packetPositions.empty())
        info.firstPacketPosition = info.packetPositions.front();
    return info;
}

std::vector<int16_t> readWav16(const std::string& path, int* channels, int* rate)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < 12 || std::memcmp(p, "RIFF", 4) != 0)
        return {};
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint32_t size = le32(p + at + 4);
        if (std::memcmp(p + at, "fmt ", 4) == 0 && at + 8 + 16 <= bytes.size()) {
            if (channels)
                *channels = le16(p + at + 10);
            if (rate)
                *rate = int(le32(p + at + 12));
        }
        if (std::memcmp(p + at, "data", 4) == 0) {
            const size_t length = std::min<size_t>(size, bytes.size() - at - 8);
            return samplesOf(bytes.substr(at + 8, length));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

std::vector<int16_t> mpg123Samples(const std::string& path, const std::string& scratch)
{
    run({ "mpg123", "--no-gapless", "-q", "-w", scratch, path });
    return readWav16(scratch);
}

std::vector<int16_t> ffmpegSamples(const std::string& path)
{
    return samplesOf(runCommand({ "ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-" }).output);
}

int64_t alignedOffset(const std::vector<int16_t>& ours, const std::vector<int16_t>& theirs, int channels,
    int64_t maxOffset, int tolerance)
{
    for (int64_t offset = 0; offset <= maxOffset; offset++) {
        const size_t start = size_t(offset) * size_t(channels);
        if (start >= ours.size())
            break;
        const size_t count = std::min(ours.size() - start, theirs.size());
        if (!count)
            continue;
        bool same = true;
        for (size_t i = 0; i < count && same; i++)
            same = std::abs(int(ours[start + i]) - int(theirs[i])) <= tolerance;
        if (same)
            return offset;
    }
    return -1;
}

} // namespace test
