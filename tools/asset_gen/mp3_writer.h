// Encodes stereo music as MP3 through libmp3lame: constant bit rate, no info frame, so that
// a decoder that plays every frame (as the game's does) gives frames x 1152 samples.
#pragma once

#include <string>
#include <vector>

struct Mp3Tags {
    std::string title, artist, album;
};

constexpr int kMp3FrameSamples = 1152;
// A decoder that plays every frame outputs this many samples before the first input sample:
// the encoder's delay (576) plus the synthesis filter bank's (529).
constexpr int kMp3LeadIn = 576 + 529;
// What a stream of whole frames holds beyond its input: the encoder delay in front and the
// least padding the encoder puts behind.
constexpr int kMp3LeastTail = 576 + 577;

// The number of input samples that makes the encoder emit exactly `frames` frames; decoded,
// input sample i comes out at kMp3LeadIn + i.
inline int Mp3InputSamplesForFrames(int frames) {
    return frames * kMp3FrameSamples - kMp3LeastTail;
}

// Samples in -1..1 at 44100 Hz. False, with a message on stderr, on failure.
bool WriteMp3(const std::string& path, const std::vector<float>& left,
              const std::vector<float>& right, const Mp3Tags& tags);
