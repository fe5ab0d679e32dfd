#include "Platform/Media/MP4Parser.h"

#include "Platform/Media/MPEG4Descriptors.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace media {

namespace {

struct Box {
    FourCharCode type = 0;
    const uint8_t* body = nullptr;
    size_t size = 0;
};

// Calls `visit` for each box inside the bytes, in order; false when a box
// does not fit.
bool forEachBox(const uint8_t* p, size_t size, const std::function<bool(const Box&)>& visit)
{
    while (size >= 8) {
        uint64_t length = be32(p);
        size_t header = 8;
        if (length == 1) {
            if (size < 16)
                return false;
            length = be64(p + 8);
            header = 16;
        } else if (length == 0) {
            length = size;
        }
        if (length < header || length > size)
            return false;
        if (!visit({ be32(p + 4), p + header, size_t(length - header) }))
            return true;
        p += length;
        size -= size_t(length);
    }
    return true;
}

Box child(const Box& parent, FourCharCode type, size_t skip = 0)
{
    Box found;
    if (parent.size < skip)
        return found;
    forEachBox(parent.body + skip, parent.size - skip, [&](const Box& box) {
        if (box.type != type)
            return true;
        found = box;
        return false;
    });
    return found;
}

// What the sound track's boxes say, before the table is built.
struct Track {
    uint32_t timescale = 0;
    Box stsc, stsz, stco, elst;
    bool co64 = false;
    std::vector<uint8_t> cookie;
    uint32_t entryChannels = 0;
    uint8_t objectTypeIndication = 0;
};

// The sample entry of an AAC track: its channel count and elementary
// stream descriptor, in place or inside a QuickTime 'wave' box.
bool readSampleEntry(const Box& entry, Track& track)
{
    if (entry.size < 28)
        return false;
    const uint16_t version = be16(entry.body + 8);
    track.entryChannels = be16(entry.body + 16);
    const size_t fixed = version == 1 ? 44 : version == 2 ? 64 : 28;
    Box esds = child(entry, fourCC("esds"), fixed);
    if (!esds.body) {
        const Box wave = child(entry, fourCC("wave"), fixed);
        if (wave.body)
            esds = child(wave, fourCC("esds"));
    }
    if (!esds.body || esds.size < 4)
        return false;
    track.cookie.assign(esds.body + 4, esds.body + esds.size);
    std::vector<uint8_t> info;
    return readESDescriptor(track.cookie.data(), track.cookie.size(), info, track.objectTypeIndication);
}

bool findSoundTrack(const Box& movie, Track& track)
{
    bool found = false;
    forEachBox(movie.body, movie.size, [&](const Box& trak) {
        if (trak.type != fourCC("trak"))
            return true;
        const Box mdia = child(trak, fourCC("mdia"));
        const Box hdlr = child(mdia, fourCC("hdlr"));
        const Box mdhd = child(mdia, fourCC("mdhd"));
        if (!hdlr.body || hdlr.size < 12 || be32(hdlr.body + 8) != fourCC("soun") || !mdhd.body || mdhd.size < 24)
            return true;
        const Box table = child(child(mdia, fourCC("minf")), fourCC("stbl"));
        const Box stsd = child(table, fourCC("stsd"));
        if (!stsd.body || stsd.size < 8)
            return true;
        const Box entry = child(stsd, fourCC("mp4a"), 8);
        Track candidate;
        if (!entry.body || !readSampleEntry(entry, candidate))
            return true;
        candidate.timescale = mdhd.body[0] == 1 ? be32(mdhd.body + 20) : be32(mdhd.body + 12);
        candidate.stsc = child(table, fourCC("stsc"));
        candidate.stsz = child(table, fourCC("stsz"));
        candidate.stco = child(table, fourCC("stco"));
        if (!candidate.stco.body) {
            candidate.stco = child(table, fourCC("co64"));
            candidate.co64 = true;
        }
        candidate.elst = child(child(trak, fourCC("edts")), fourCC("elst"));
        track = std::move(candidate);
        found = true;
        return false;
    });
    return found;
}

} // namespace

MP4Parser::MP4Parser(AudioFileStream& stream, StreamInfo& info, FourCharCode type)
    : ContainerParser(stream, info)
{
    m_info.fileType = type;
}

ContainerParser::Result MP4Parser::parse(const uint8_t* data, size_t size, uint64_t position)
{
    Result result;
    switch (m_state) {
    case State::Boxes: {
        if (size < 8) {
            result.needed = 8;
            return result;
        }
        uint64_t length = be32(data);
        size_t header = 8;
        if (length == 1) {
            if (size < 16) {
                result.needed = 16;
                return result;
            }
            length = be64(data + 8);
            header = 16;
        }
        const FourCharCode type = be32(data + 4);
        if (length != 0 && length < header) {
            result.status = status::InvalidFile;
            return result;
        }
        result.consumed = header;
        if (type == fourCC("moov")) {
            if (length == 0 || length - header > AudioFileStream::MaximumTableSize) {
                result.status = length == 0 ? status::InvalidFile : status::UnsupportedDataFormat;
                return result;
            }
            m_movieSize = length - header;
            m_state = State::Movie;
            return result;
        }
        if (type == fourCC("mdat")) {
            if (m_info.ready) {
                m_state = State::Packets;
                return result;
            }
            // Media before the movie: only a reader that can come back
            // may pass over it.
            if (!m_seekable || length == 0) {
                result.status = status::NotOptimized;
                return result;
            }
            m_mediaSeen = true;
        }
        if (length == 0) {
            // A last box of unknown length that is not audio: nothing follows.
            result.skip = UINT64_MAX / 2;
            return result;
        }
        result.skip = length - header;
        return result;
    }
    case State::Movie:
        if (size < m_movieSize) {
            result.needed = size_t(m_movieSize);
            return result;
        }
        result.status = readMovie(data, size_t(m_movieSize));
        result.consumed = size_t(m_movieSize);
        m_state = State::Boxes;
        if (!result.status && m_mediaSeen) {
            m_requested = int64_t(m_table.offset(0));
            m_state = State::Packets;
        }
        return result;
    case State::Packets:
        return parseTablePackets(m_table, m_next, data, size, position);
    }
    return result;
}

Status MP4Parser::readMovie(const uint8_t* p, size_t size)
{
    const Box movie { fourCC("moov"), p, size };
    Track track;
    if (!findSoundTrack(movie, track))
        return status::UnsupportedDataFormat;
    const uint8_t oti = track.objectTypeIndication;
    if (oti != 0x40 && oti != 0x66 && oti != 0x67 && oti != 0x68)
        return status::UnsupportedDataFormat;
    std::vector<uint8_t> info;
    readESDescriptor(track.cookie.data(), track.cookie.size(), info, track.objectTypeIndication);
    AudioSpecificConfig config;
    if (info.empty() || !readAudioSpecificConfig(info.data(), info.size(), config))
        return status::UnsupportedDataFormat;

    AudioStreamBasicDescription format;
    format.formatID = formatID::MPEG4AAC;
    format.formatFlags = config.objectType;
    format.sampleRate = config.sampleRate;
    format.channelsPerFrame = config.channelConfiguration == 7 ? 8
        : config.channelConfiguration                          ? config.channelConfiguration
                                                               : track.entryChannels;
    if (!acceptable(format) || !track.timescale)
        return status::UnsupportedDataFormat;

    // The table: sizes (stsz), chunk offsets (stco/co64) and samples per
    // chunk (stsc).
    const Box& stsz = track.stsz;
    const Box& stco = track.stco;
    const Box& stsc = track.stsc;
    if (!stsz.body || stsz.size < 12 || !stco.body || stco.size < 8 || !stsc.body || stsc.size < 8)
        return status::InvalidFile;
    const uint32_t constantSize = be32(stsz.body + 4);
    const uint64_t samples = be32(stsz.body + 8);
    if (!constantSize && samples > (stsz.size - 12) / 4)
        return status::InvalidFile;
    if (samples * PacketTable::BytesPerPacket > AudioFileStream::MaximumTableSize)
        return status::UnsupportedDataFormat;
    const size_t entrySize = track.co64 ? 8 : 4;
    const uint64_t chunks = std::min<uint64_t>(be32(stco.body + 4), (stco.size - 8) / entrySize);
    const uint64_t runs = std::min<uint64_t>(be32(stsc.body + 4), (stsc.size - 8) / 12);

    PacketTable table;
    table.reserve(size_t(samples));
    uint64_t sample = 0;
    for (uint64_t run = 0; run < runs && sample < samples; run++) {
        const uint8_t* entry = stsc.body + 8 + run * 12;
        const uint64_t first = be32(entry);
        const uint64_t perChunk = be32(entry + 4);
        const uint64_t last = run + 1 < runs ? be32(entry + 12) : chunks + 1;
        if (!first || last < first)
            return status::InvalidFile;
        for (uint64_t chunk = first; chunk < last && chunk <= chunks && sample < samples; chunk++) {
            const uint8_t* at = stco.body + 8 + (chunk - 1) * entrySize;
            uint64_t offset = track.co64 ? be64(at) : be32(at);
            for (uint64_t k = 0; k < perChunk && sample < samples; k++, sample++) {
                const uint32_t bytes = constantSize ? constantSize : be32(stsz.body + 12 + sample * 4);
                // Every AAC packet decodes to 1024 frames; the edit list
                // (not the sample durations) says which are heard.
                table.add(offset, bytes, 1024);
                offset += bytes;
            }
        }
    }
    if (table.empty())
        return status::InvalidFile;
    for (size_t i = 1; i < table.count(); i++) {
        if (table.offset(i) < table.offset(i - 1))
            return status::NotOptimized;
    }

    format.framesPerPacket = table.constantFrames();
    m_info.format = format;
    m_info.hasFormat = true;
    m_info.magicCookie = track.cookie;
    m_info.dataOffset = int64_t(table.offset(0));
    m_info.audioDataByteCount = int64_t(table.span());
    m_info.audioDataPacketCount = int64_t(table.count());
    m_info.maximumPacketSize = table.largest();

    // The edit list's first real edit: the encoder's priming and the
    // frames that are meant to be heard.
    const Box& elst = track.elst;
    if (elst.body && elst.size >= 8 && be32(elst.body + 4) >= 1) {
        const bool wide = elst.body[0] == 1;
        const size_t entryLength = wide ? 20 : 12;
        uint32_t movieScale = 0;
        forEachBox(movie.body, movie.size, [&](const Box& box) {
            if (box.type == fourCC("mvhd") && box.size >= 24)
                movieScale = box.body[0] == 1 ? be32(box.body + 20) : be32(box.body + 12);
            return box.type != fourCC("mvhd");
        });
        const uint64_t count = std::min<uint64_t>(be32(elst.body + 4), (elst.size - 8) / entryLength);
        for (uint64_t i = 0; i < count && movieScale; i++) {
            const uint8_t* e = elst.body + 8 + i * entryLength;
            const uint64_t duration = wide ? be64(e) : be32(e);
            const int64_t mediaTime = wide ? int64_t(be64(e + 8)) : int32_t(be32(e + 4));
            if (mediaTime < 0)
                continue;
            const double scale = format.sampleRate / track.timescale;
            const int64_t priming = saturatingInt64(double(mediaTime) * scale);
            const int64_t valid = saturatingInt64(double(duration) * format.sampleRate / movieScale);
            if (valid > 0 && priming >= 0 && priming <= INT32_MAX && valid <= table.totalFrames() - priming)
                m_info.packetTableInfo = AudioFilePacketTableInfo { valid, int32_t(priming),
                    int32_t(table.totalFrames() - priming - valid) };
            break;
        }
    }
    m_table = std::move(table);
    m_next = 0;
    becomeReady();
    return status::NoError;
}

void MP4Parser::discontinuity(uint64_t position)
{
    m_requested = -1;
    if (m_info.ready) {
        m_state = State::Packets;
        m_next = m_table.indexAtOrAfter(position);
    }
}

Status MP4Parser::bytesToPacket(AudioBytePacketTranslation& t) const
{
    return tableBytesToPacket(m_table, m_info.dataOffset, t);
}

Status MP4Parser::packetToFrame(AudioFramePacketTranslation& t) const
{
    return tablePacketToFrame(m_table, t);
}

Status MP4Parser::frameToPacket(AudioFramePacketTranslation& t) const
{
    return tableFrameToPacket(m_table, t);
}

Status MP4Parser::seek(int64_t packet, int64_t& byteOffset, uint32_t& flags) const
{
    flags = 0;
    return tableSeek(m_table, m_info.dataOffset, packet, byteOffset);
}

} // namespace media
