#include "music.h"

#include <cmath>

#include "synth.h"

int LoopSamples(const Song& song) {
    double seconds = song.Beats() * 60.0 / song.Bpm();
    return static_cast<int>(std::lround(seconds * kSampleRate / kMp3FrameSamples)) *
           kMp3FrameSamples;
}

bool WriteMusic(const std::string& path, const Composition& composition) {
    const int period = LoopSamples(composition.song);
    // A decoder that plays every frame loses the encoder's lead-in at the start and the
    // padding at the end: that gap is made silent, and the downbeat follows it, at the start
    // of the second frame.
    const int lostAtEnd = kMp3LeastTail - kMp3LeadIn;
    StereoLoop loop =
        RenderLoop(composition.song, period, kMp3FrameSamples, period - lostAtEnd, kMp3LeadIn);
    // Decoded, input sample i comes out at kMp3LeadIn + i: the input starts that far in.
    const int inputSamples = Mp3InputSamplesForFrames(period / kMp3FrameSamples);
    std::vector<float> left(static_cast<size_t>(inputSamples)), right(left.size());
    for (int i = 0; i < inputSamples; ++i) {
        left[static_cast<size_t>(i)] = loop.left[static_cast<size_t>(i + kMp3LeadIn)];
        right[static_cast<size_t>(i)] = loop.right[static_cast<size_t>(i + kMp3LeadIn)];
    }
    Mp3Tags tags{composition.title, "Brovane sound team", "Brovane"};
    return WriteMp3(path, left, right, tags);
}
