#include "audio_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool IsMusic(const std::string& path) {
    return path.ends_with(".mp3") || path == "sound/loop04.wav";
}

}  // namespace

void NoteMusicCalls(AudioMeter* meter, const std::vector<SoundEvent>& sounds) {
    for (; meter->soundsSeen < sounds.size(); ++meter->soundsSeen) {
        const SoundEvent& event = sounds[meter->soundsSeen];
        if (!IsMusic(event.path)) continue;
        if (event.call == GameSoundCall::Play) meter->startPending = true;
        if (event.call == GameSoundCall::Stop) meter->stopPending = true;
    }
}

void MeterAudio(AudioMeter* meter, const std::vector<int16_t>& stereo) {
    if (stereo.size() < 2) return;
    int step = 0;
    for (int c = 0; c < 2; ++c) step = std::max(step, std::abs(stereo[c] - meter->last[c]));
    if (meter->startPending) {
        meter->largestStartStep = std::max(meter->largestStartStep, step);
        ++meter->starts;
    }
    if (meter->stopPending) {
        meter->largestStopStep = std::max(meter->largestStopStep, step);
        ++meter->stops;
    }
    meter->startPending = meter->stopPending = false;
    for (int16_t s : stereo) {
        meter->fullScale += s == 32767 || s == -32768;
        meter->peak = std::max(meter->peak, std::abs(static_cast<int>(s)));
    }
    meter->frames += static_cast<long long>(stereo.size() / 2);
    meter->last[0] = stereo[stereo.size() - 2];
    meter->last[1] = stereo.back();
}

double PeakDbfs(const AudioMeter& meter) {
    return 20 * std::log10(std::max(meter.peak, 1) / 32768.0);
}
