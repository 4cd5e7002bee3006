// MPEG audio frames in a byte image: the frame header, the tags around the audio, and the test
// that tells MPEG audio from other data. Every scan for frame sync (the framework's MP3 scan,
// the compression manager's MP3 decoder, DirectShow's MPEG audio decoder) decides with these,
// so that bytes of another format that happen to hold a sync pattern are never taken for audio.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kMpegVersion1 = 10;
constexpr int32_t kMpegVersion2 = 20;
constexpr int32_t kMpegVersion25 = 25;

struct MpegAudioFrame {
    int32_t version;   // kMpegVersion1, kMpegVersion2 or kMpegVersion25
    int32_t layer;     // 1, 2 or 3
    uint32_t bitrate;  // kbit/s
    uint32_t rate;     // Hz
    uint32_t channels;
    uint32_t padding;
    uint32_t samples;  // per channel
    uint32_t bytes;    // the whole frame, header included
};

constexpr uint32_t kMpegHeaderBytes = 4;

// The 11 sync bits (0xFF and the top three bits of the next byte) and the fields after them.
// False for no sync, or a reserved version, layer, bitrate index (free format included) or
// rate index.
bool ParseMpegAudioFrame(const uint8_t* p, MpegAudioFrame* frame);

// Frames of one stream agree in version, layer and rate.
bool IsSameMpegStream(const MpegAudioFrame& a, const MpegAudioFrame& b);

enum class MpegAudioRun {
    kNone,       // no run of frames starts here
    kFound,      // a run starts here
    kUndecided,  // one frame whose end lies past the data: more data would tell
};
// Whether a run of consistent frames starts at `at`: four headers, each where the
// previous frame ends, agreeing in version, layer and rate (with each other and with `like`
// when given). Fewer do when the chain ends exactly at the end of the data, or when two or
// more headers chain and the data ends inside the last frame.
MpegAudioRun CheckMpegAudioRun(const uint8_t* data, size_t bytes, size_t at,
                               const MpegAudioFrame* like);

// Where the audio of a file image lies: after an ID3v2 tag at the start (10 bytes + its size,
// + 10 for an ID3v2.4 footer, bounded by the data) and before an ID3v1 tag ("TAG" 128 bytes
// before the end of data longer than 128 bytes). False when nothing is left between them.
bool FindMpegAudioExtent(const uint8_t* data, size_t bytes, size_t* start, size_t* end);

// True when the image starts with the header of a container or format that is not MPEG audio
// (RIFF, Ogg, FLAC, AIFF, MIDI, ISO media).
bool HasOtherFormatHeader(const uint8_t* data, size_t bytes);
