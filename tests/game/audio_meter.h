// A meter on the game's captured stereo output: the samples at full scale, the peak, and the
// step the output takes where music (or the drone under it) starts or stops.
#pragma once

#include <cstdint>
#include <vector>

#include "replay_driver.h"

struct AudioMeter {
    long long frames = 0;     // stereo frames metered
    long long fullScale = 0;  // samples at -32768 or 32767
    int peak = 0;
    int starts = 0, stops = 0;  // moments at which music started or stopped
    int largestStartStep = 0, largestStopStep = 0;

    bool startPending = false, stopPending = false;
    int16_t last[2] = {0, 0};
    size_t soundsSeen = 0;
};

// Looks at the sound calls logged since the last look: a play or a stop of music or the
// drone took effect at the output's current frame, where the next chunk metered begins.
void NoteMusicCalls(AudioMeter* meter, const std::vector<SoundEvent>& sounds);
// Meters the interleaved stereo chunk that follows the frames metered so far.
void MeterAudio(AudioMeter* meter, const std::vector<int16_t>& stereo);
// The peak relative to full scale (32768), in dB.
double PeakDbfs(const AudioMeter& meter);
