// The software mixer: the host's audio callback mixes every attached, playing voice into the
// stereo 16-bit output and moves its cursor, so that a play cursor is what has been heard. A
// voice at the output rate is read sample for sample; any other goes through its own
// resampler from FFmpeg's libswresample.
#include "mixer.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

struct VoiceResampler {
    ~VoiceResampler() { swr_free(&context); }

    SwrContext* context = nullptr;
    uint32_t rate = 0;       // the frequency it converts from
    int channels = 0;        // 1 for a mono voice, else 2 (left and right)
    uint64_t resumeAt = 0;   // the voice position at which the last mix left off
    uint64_t feedFrame = 0;  // the next frame to feed (past the end of a voice played once,
                             // silence is fed)
    std::vector<float> input;
    std::vector<float> output;
};

void VoiceResamplerDeleter::operator()(VoiceResampler* resampler) const {
    delete resampler;
}

struct MixerState {
    std::mutex lock;
    std::vector<MixerVoice*> voices;
    const HostDriver* host = nullptr;  // the driver whose output is open
    uintptr_t owner = 0;
    std::vector<float> accumulator;
};

static MixerState gMixer;

// Never a voice position: makes the next mix start its resampler over.
constexpr uint64_t kNoPosition = UINT64_MAX;

// The frames a resampler is kept fed beyond those it has turned into output: more than half its
// filter (16 frames at most rates; the filter widens when it takes a higher rate), so that one
// pass gives a mix all its output.
static uint32_t ResamplerLead(uint32_t frequency) {
    return 32 * ((frequency + kMixerOutputRate - 1) / kMixerOutputRate);
}

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

// Moves the voice on by one output frame; false when a voice that plays once has reached its
// end, where it stands at its start again.
static bool AdvanceVoice(MixerVoice& voice, uint64_t step) {
    const uint64_t end = static_cast<uint64_t>(voice.frames) << 32;
    voice.position += step;
    if (voice.position < end) return true;
    if (voice.looping) {
        voice.position %= end;
        return true;
    }
    voice.playing = false;
    voice.position = 0;
    return false;
}

// A voice at the output rate: its samples unchanged.
static void MixDirect(MixerVoice& voice, float* out, int32_t frames) {
    for (int32_t n = 0; n < frames; ++n) {
        float left, right;
        ReadFrame(voice, static_cast<uint32_t>(voice.position >> 32), &left, &right);
        out[2 * n] += left * voice.leftGain;
        out[2 * n + 1] += right * voice.rightGain;
        if (!AdvanceVoice(voice, uint64_t{1} << 32)) return;
    }
}

// Starts the voice's resampler over at the voice's position, making it anew for a new rate or
// channel count. False when libswresample refuses.
static bool RestartResampler(MixerVoice& voice) {
    if (voice.resampler == nullptr) voice.resampler.reset(new VoiceResampler);
    VoiceResampler& r = *voice.resampler;
    int channels = voice.format.nChannels > 1 ? 2 : 1;
    if (r.context == nullptr || r.rate != voice.frequency || r.channels != channels) {
        swr_free(&r.context);
        AVChannelLayout layout;
        av_channel_layout_default(&layout, channels);
        if (swr_alloc_set_opts2(&r.context, &layout, AV_SAMPLE_FMT_FLT, kMixerOutputRate, &layout,
                                AV_SAMPLE_FMT_FLT, static_cast<int>(voice.frequency), 0,
                                nullptr) < 0) {
            return false;
        }
        r.rate = voice.frequency;
        r.channels = channels;
    }
    // Initialising again empties its buffers; the filter is kept when the rates are unchanged.
    if (swr_init(r.context) < 0) {
        swr_free(&r.context);
        return false;
    }
    r.feedFrame = voice.position >> 32;
    return true;
}

// Converts `count` frames from the feed position into the resampler's input, wrapping a
// looping voice to its start.
static void FillResamplerInput(const MixerVoice& voice, VoiceResampler& r, uint32_t count) {
    r.input.resize(static_cast<size_t>(count) * r.channels);
    float* in = r.input.data();
    for (uint32_t i = 0; i < count; ++i, ++r.feedFrame, in += r.channels) {
        if (r.feedFrame >= voice.frames && voice.looping) r.feedFrame = 0;
        float left = 0.0f, right = 0.0f;
        if (r.feedFrame < voice.frames) {
            ReadFrame(voice, static_cast<uint32_t>(r.feedFrame), &left, &right);
        }
        in[0] = left;
        if (r.channels == 2) in[1] = right;
    }
}

// A voice at another rate: resampled, the cursor moving at the voice's rate.
static void MixResampled(MixerVoice& voice, float* out, int32_t frames) {
    VoiceResampler* r = voice.resampler.get();
    if (r == nullptr || r->rate != voice.frequency || r->resumeAt != voice.position) {
        if (!RestartResampler(voice)) {
            voice.playing = false;
            return;
        }
        r = voice.resampler.get();
    }
    const uint64_t step = (static_cast<uint64_t>(voice.frequency) << 32) / kMixerOutputRate;
    for (int32_t done = 0; done < frames;) {
        const int32_t want = frames - done;
        // What the wanted output takes, and the lead, less what the resampler already holds.
        int64_t needed =
            (int64_t{want} * voice.frequency + kMixerOutputRate - 1) / kMixerOutputRate +
            ResamplerLead(voice.frequency) - swr_get_delay(r->context, voice.frequency);
        uint32_t count = static_cast<uint32_t>(std::max<int64_t>(needed, 1));
        FillResamplerInput(voice, *r, count);
        r->output.resize(static_cast<size_t>(want) * r->channels);
        const uint8_t* in = reinterpret_cast<const uint8_t*>(r->input.data());
        uint8_t* converted = reinterpret_cast<uint8_t*>(r->output.data());
        int got = swr_convert(r->context, &converted, want, &in, static_cast<int>(count));
        if (got < 0) {
            voice.playing = false;
            return;
        }
        for (int i = 0; i < got; ++i, ++done) {
            const float* frame = r->output.data() + static_cast<size_t>(i) * r->channels;
            out[2 * done] += frame[0] * voice.leftGain;
            out[2 * done + 1] += frame[r->channels - 1] * voice.rightGain;
            if (!AdvanceVoice(voice, step)) {
                r->resumeAt = kNoPosition;
                return;
            }
        }
    }
    r->resumeAt = voice.position;
}

static void MixVoice(MixerVoice& voice, float* out, int32_t frames) {
    if (voice.frames == 0) {
        voice.playing = false;
        return;
    }
    if (voice.frequency == kMixerOutputRate) {
        MixDirect(voice, out, frames);
    } else {
        MixResampled(voice, out, frames);
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

HRESULT OpenMixerOutput(uintptr_t owner) {
    const HostDriver& host = Host();
    {
        std::lock_guard guard(gMixer.lock);
        if (gMixer.host != nullptr) return DSERR_ALLOCATED;
    }
    if (!host.openAudio(kMixerOutputRate, RenderOutput, nullptr)) return DSERR_NODRIVER;
    std::lock_guard guard(gMixer.lock);
    gMixer.host = &host;
    gMixer.owner = owner;
    return DS_OK;
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

uint32_t VoiceReadAheadFrames(const MixerVoice& voice) {
    return voice.frequency == kMixerOutputRate ? 0 : ResamplerLead(voice.frequency);
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
