// MPEG audio frame headers and runs of them, after the MPEG audio standard's tables (with the
// MPEG-2.5 rates that mpg123 also decodes).
#include <algorithm>
#include <cstring>

#include "platform/mpeg_audio.h"

namespace {

constexpr uint16_t kBitrates[2][3][16] = {
    // MPEG-2 and MPEG-2.5: layers I, II, III
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    // MPEG-1: layers I, II, III
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
// By the two version bits: MPEG-2.5, reserved, MPEG-2, MPEG-1.
constexpr uint32_t kRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
constexpr int32_t kVersions[4] = {kMpegVersion25, 0, kMpegVersion2, kMpegVersion1};

constexpr size_t kId3v2HeaderBytes = 10;
constexpr size_t kId3v1Bytes = 128;
// Frames that must chain before bytes count as MPEG audio.
constexpr uint32_t kMpegRunFrames = 4;

}  // namespace

bool IsSameMpegStream(const MpegAudioFrame& a, const MpegAudioFrame& b) {
    return a.version == b.version && a.layer == b.layer && a.rate == b.rate;
}

bool ParseMpegAudioFrame(const uint8_t* p, MpegAudioFrame* frame) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    int versionBits = (p[1] >> 3) & 3;
    int layerBits = (p[1] >> 1) & 3;
    int rateIndex = (p[2] >> 2) & 3;
    if (kVersions[versionBits] == 0 || layerBits == 0 || rateIndex == 3) return false;
    bool mpeg1 = versionBits == 3;
    frame->version = kVersions[versionBits];
    frame->layer = 4 - layerBits;
    frame->bitrate = kBitrates[mpeg1 ? 1 : 0][frame->layer - 1][p[2] >> 4];
    if (frame->bitrate == 0) return false;
    frame->rate = kRates[versionBits][rateIndex];
    frame->channels = (p[3] >> 6) == 3 ? 1 : 2;
    frame->padding = (p[2] >> 1) & 1;
    if (frame->layer == 1) {
        frame->samples = 384;
        frame->bytes = (12000 * frame->bitrate / frame->rate + frame->padding) * 4;
    } else if (frame->layer == 3 && !mpeg1) {
        frame->samples = 576;
        frame->bytes = 72000 * frame->bitrate / frame->rate + frame->padding;
    } else {
        frame->samples = 1152;
        frame->bytes = 144000 * frame->bitrate / frame->rate + frame->padding;
    }
    return true;
}

MpegAudioRun CheckMpegAudioRun(const uint8_t* data, size_t bytes, size_t at,
                               const MpegAudioFrame* like) {
    MpegAudioFrame first{};
    uint32_t headers = 0;
    size_t position = at;
    while (headers < kMpegRunFrames) {
        if (position == bytes && headers > 0) return MpegAudioRun::kFound;
        if (position > bytes || bytes - position < kMpegHeaderBytes) {
            // The data ends inside the last frame found.
            if (headers >= 2) return MpegAudioRun::kFound;
            return headers == 1 ? MpegAudioRun::kUndecided : MpegAudioRun::kNone;
        }
        MpegAudioFrame frame;
        if (!ParseMpegAudioFrame(data + position, &frame)) return MpegAudioRun::kNone;
        const MpegAudioFrame* reference = headers > 0 ? &first : like;
        if (reference != nullptr && !IsSameMpegStream(frame, *reference)) {
            return MpegAudioRun::kNone;
        }
        if (headers == 0) first = frame;
        ++headers;
        position += frame.bytes;
    }
    return MpegAudioRun::kFound;
}

bool FindMpegAudioExtent(const uint8_t* data, size_t bytes, size_t* start, size_t* end) {
    *start = 0;
    *end = bytes;
    if (bytes >= kId3v2HeaderBytes && std::memcmp(data, "ID3", 3) == 0) {
        size_t tagBytes = static_cast<size_t>(data[6] & 0x7F) << 21 |
                          static_cast<size_t>(data[7] & 0x7F) << 14 |
                          static_cast<size_t>(data[8] & 0x7F) << 7 | (data[9] & 0x7F);
        size_t skip = kId3v2HeaderBytes + tagBytes;
        if (data[3] == 4 && (data[5] & 0x10) != 0) skip += kId3v2HeaderBytes;  // the footer
        *start = std::min(skip, bytes);
    }
    if (bytes > kId3v1Bytes && std::memcmp(data + bytes - kId3v1Bytes, "TAG", 3) == 0) {
        *end = bytes - kId3v1Bytes;
    }
    return *start < *end;
}

bool HasOtherFormatHeader(const uint8_t* data, size_t bytes) {
    static const char* const kMagics[] = {"RIFF", "RIFX", "RF64", "OggS", "fLaC", "FORM", "MThd"};
    if (bytes < 4) return false;
    for (const char* magic : kMagics) {
        if (std::memcmp(data, magic, 4) == 0) return true;
    }
    return bytes >= 8 && std::memcmp(data + 4, "ftyp", 4) == 0;
}
