// The software mixer: the host's audio callback mixes every attached, playing voice into the
// stereo 16-bit output, resampling linearly from the voice's rate and moving its cursor, so
// that a play cursor is exactly what has been heard.
#include "mixer.h"

#include <algorithm>
#include <cmath>

struct MixerState {
    std::mutex lock;
    std::vector<MixerVoice*> voices;
    const HostDriver* host = nullptr;  // the driver whose output is open
    uintptr_t owner = 0;
    std::vector<float> accumulator;
};

static MixerState gMixer;

// One frame of a voice as left and right samples on the 16-bit scale.
static void ReadFrame(const MixerVoice& voice, uint32_t frame, float* left, float* right) {
    const uint8_t* at =
        voice.samples->data() + static_cast<size_t>(frame) * voice.format.nBlockAlign;
    int bytes = voice.format.wBitsPerSample / 8;
    auto sample = [&](int channel) -> float {
        const uint8_t* s = at + channel * bytes;
        switch (bytes) {
            case 1:
                return (static_cast<float>(s[0]) - 128.0f) * 256.0f;
            case 2:
                return static_cast<float>(static_cast<int16_t>(s[0] | s[1] << 8));
            case 3:
                return static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(s[0]) << 8 |
                                                               static_cast<uint32_t>(s[1]) << 16 |
                                                               static_cast<uint32_t>(s[2]) << 24)) /
                       65536.0f;
            default:
                return static_cast<float>(static_cast<int32_t>(
                           static_cast<uint32_t>(s[0]) | static_cast<uint32_t>(s[1]) << 8 |
                           static_cast<uint32_t>(s[2]) << 16 | static_cast<uint32_t>(s[3]) << 24)) /
                       65536.0f;
        }
    };
    *left = sample(0);
    *right = voice.format.nChannels > 1 ? sample(1) : *left;
}

static void MixVoice(MixerVoice& voice, float* out, int32_t frames) {
    if (voice.frames == 0) {
        voice.playing = false;
        return;
    }
    const uint64_t step = (static_cast<uint64_t>(voice.frequency) << 32) / kMixerOutputRate;
    const uint64_t end = static_cast<uint64_t>(voice.frames) << 32;
    for (int32_t n = 0; n < frames; ++n) {
        uint32_t frame = static_cast<uint32_t>(voice.position >> 32);
        uint32_t fraction = static_cast<uint32_t>(voice.position);
        float left, right;
        ReadFrame(voice, frame, &left, &right);
        if (fraction != 0) {
            uint32_t next = frame + 1;
            // A looping voice interpolates across its wrap, so the loop has no seam.
            if (next == voice.frames) next = voice.looping ? 0 : frame;
            float nextLeft, nextRight;
            ReadFrame(voice, next, &nextLeft, &nextRight);
            float t = static_cast<float>(fraction) * (1.0f / 4294967296.0f);
            left += (nextLeft - left) * t;
            right += (nextRight - right) * t;
        }
        out[2 * n] += left * voice.leftGain;
        out[2 * n + 1] += right * voice.rightGain;
        voice.position += step;
        if (voice.position >= end) {
            if (voice.looping) {
                voice.position %= end;
            } else {
                // A buffer that played once to its end stands at its start again.
                voice.playing = false;
                voice.position = 0;
                return;
            }
        }
    }
}

static void RenderOutput(void* user, int16_t* out, int32_t frames) {
    std::lock_guard guard(gMixer.lock);
    gMixer.accumulator.assign(static_cast<size_t>(frames) * 2, 0.0f);
    for (MixerVoice* voice : gMixer.voices) {
        if (voice->playing) MixVoice(*voice, gMixer.accumulator.data(), frames);
    }
    for (size_t i = 0; i < gMixer.accumulator.size(); ++i) {
        float value = std::clamp(gMixer.accumulator[i], -32768.0f, 32767.0f);
        out[i] = static_cast<int16_t>(std::lrint(value));
    }
}

std::mutex& MixerLock() {
    return gMixer.lock;
}

bool OpenMixerOutput(uintptr_t owner) {
    const HostDriver& host = Host();
    {
        std::lock_guard guard(gMixer.lock);
        if (gMixer.host != nullptr) return false;
    }
    if (!host.openAudio(kMixerOutputRate, RenderOutput, nullptr)) return false;
    std::lock_guard guard(gMixer.lock);
    gMixer.host = &host;
    gMixer.owner = owner;
    return true;
}

void CloseMixerOutput(uintptr_t owner) {
    const HostDriver* host;
    {
        std::lock_guard guard(gMixer.lock);
        if (gMixer.host == nullptr || gMixer.owner != owner) return;
        host = gMixer.host;
    }
    // The host waits for a callback in progress, which takes the mixer lock.
    host->closeAudio();
    std::lock_guard guard(gMixer.lock);
    gMixer.host = nullptr;
    gMixer.owner = 0;
    for (MixerVoice* voice : gMixer.voices) {
        if (voice->owner == owner) voice->playing = false;
    }
}

void ServiceMixerOutput() {
    const HostDriver* host;
    {
        std::lock_guard guard(gMixer.lock);
        host = gMixer.host;
    }
    if (host != nullptr) host->serviceAudio();
}

void AttachVoice(MixerVoice* voice) {
    if (voice->attached) return;
    gMixer.voices.push_back(voice);
    voice->attached = true;
}

void DetachVoice(MixerVoice* voice) {
    if (!voice->attached) return;
    gMixer.voices.erase(std::find(gMixer.voices.begin(), gMixer.voices.end(), voice));
    voice->attached = false;
}

int CountAttachedVoices() {
    return static_cast<int>(gMixer.voices.size());
}

const HostDriver& MixerHost() {
    std::lock_guard guard(gMixer.lock);
    return gMixer.host != nullptr ? *gMixer.host : Host();
}
