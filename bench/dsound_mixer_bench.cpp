// The share of one core that DirectSound's mixer takes for one second of output from 32 looping
// voices: all at the output rate (sample for sample, no resampling), and at mixed rates and
// channel counts through its resampler. Beside it, the peer: the same mixed voices resampled
// with SpeexDSP's resampler at its default quality and summed. The counter "core_share" is
// processor seconds per second of output.
#include <benchmark/benchmark.h>
#include <platform/com.h>
#include <platform/dsound.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <speex/speex_resampler.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kVoices = 32;
constexpr int kOutputRate = 44100;
constexpr int kChunkFrames = 4096;  // the headless host renders in pieces of this size

struct VoiceSettings {
    DWORD rate;
    WORD channels;
};

std::vector<VoiceSettings> Voices(bool mixed) {
    const DWORD rates[8] = {44100, 22050, 48000, 32000, 11025, 22050, 44100, 48000};
    std::vector<VoiceSettings> voices;
    for (int i = 0; i < kVoices; ++i) {
        voices.push_back({mixed ? rates[i % 8] : kOutputRate, static_cast<WORD>(1 + i % 2)});
    }
    return voices;
}

// One second of a voice: a chord of three tones, 16-bit interleaved.
std::vector<int16_t> VoiceSamples(const VoiceSettings& voice, int index) {
    std::vector<int16_t> samples;
    for (DWORD i = 0; i < voice.rate; ++i) {
        for (int c = 0; c < voice.channels; ++c) {
            double t = static_cast<double>(i) / voice.rate, f = 110.0 * (1 + index % 7 + c);
            double value = std::sin(2 * M_PI * f * t) + 0.5 * std::sin(2 * M_PI * 3.1 * f * t) +
                           0.25 * std::sin(2 * M_PI * 7.3 * f * t);
            samples.push_back(static_cast<int16_t>(600 * value));
        }
    }
    return samples;
}

void MixerOneSecond(benchmark::State& state, bool mixed) {
    TestResetPlatform();
    TestUseHeadlessHost(true);
    TestUseVirtualClock(true);
    TestSetClockMicroseconds(1'000'000);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IDirectSound* device = nullptr;
    CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                     reinterpret_cast<void**>(&device));
    device->Initialize(nullptr);
    device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
    std::vector<IDirectSoundBuffer*> buffers;
    std::vector<VoiceSettings> voices = Voices(mixed);
    for (size_t v = 0; v < voices.size(); ++v) {
        std::vector<int16_t> samples = VoiceSamples(voices[v], static_cast<int>(v));
        WORD blockAlign = static_cast<WORD>(voices[v].channels * 2);
        WAVEFORMATEX format = {WAVE_FORMAT_PCM,
                               voices[v].channels,
                               voices[v].rate,
                               voices[v].rate * blockAlign,
                               blockAlign,
                               16,
                               0};
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY;
        desc.dwBufferBytes = static_cast<DWORD>(samples.size() * 2);
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer* buffer = nullptr;
        device->CreateSoundBuffer(&desc, &buffer, nullptr);
        void* part1;
        DWORD bytes1;
        buffer->Lock(0, desc.dwBufferBytes, &part1, &bytes1, nullptr, nullptr, 0);
        std::copy(samples.begin(), samples.end(), static_cast<int16_t*>(part1));
        buffer->Unlock(part1, bytes1, nullptr, 0);
        buffer->SetPan(static_cast<LONG>(v % 5) * 400 - 800);
        buffer->Play(0, 0, DSBPLAY_LOOPING);
        buffers.push_back(buffer);
    }
    DWORD play;
    buffers[0]->GetCurrentPosition(&play, nullptr);
    for (auto _ : state) {
        // Rendering one second of output happens when the next call catches up with the clock.
        TestAdvanceClockMicroseconds(1'000'000);
        buffers[0]->GetCurrentPosition(&play, nullptr);
        benchmark::DoNotOptimize(play);
    }
    state.counters["core_share"] = benchmark::Counter(
        1, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    for (IDirectSoundBuffer* buffer : buffers) buffer->Release();
    device->Release();
    CoUninitialize();
    TestResetPlatform();
}

void BM_MixerOneSecondAtTheOutputRate(benchmark::State& state) {
    MixerOneSecond(state, false);
}
BENCHMARK(BM_MixerOneSecondAtTheOutputRate)->Unit(benchmark::kMillisecond);

void BM_MixerOneSecondAtMixedRates(benchmark::State& state) {
    MixerOneSecond(state, true);
}
BENCHMARK(BM_MixerOneSecondAtMixedRates)->Unit(benchmark::kMillisecond);

// The peer: each mixed voice through a SpeexDSP resampler (voices at the output rate added
// as they are), in the host's pieces, summed with the same gains into stereo 16-bit output.
void BM_SpeexPeerOneSecondAtMixedRates(benchmark::State& state) {
    struct PeerVoice {
        VoiceSettings settings;
        std::vector<float> samples;
        SpeexResamplerState* resampler = nullptr;
        size_t read = 0;
    };
    std::vector<PeerVoice> voices;
    for (const VoiceSettings& settings : Voices(true)) {
        PeerVoice voice{settings, {}, nullptr, 0};
        for (int16_t s : VoiceSamples(settings, static_cast<int>(voices.size()))) {
            voice.samples.push_back(s);
        }
        if (settings.rate != kOutputRate) {
            int error = 0;
            voice.resampler = speex_resampler_init(settings.channels, settings.rate, kOutputRate,
                                                   SPEEX_RESAMPLER_QUALITY_DEFAULT, &error);
            speex_resampler_skip_zeros(voice.resampler);
        }
        voices.push_back(std::move(voice));
    }
    std::vector<float> accumulator(2 * kChunkFrames), converted(2 * kChunkFrames);
    std::vector<int16_t> out(2 * kChunkFrames);
    for (auto _ : state) {
        for (int done = 0; done < kOutputRate; done += kChunkFrames) {
            const int frames = std::min(kChunkFrames, kOutputRate - done);
            std::fill(accumulator.begin(), accumulator.end(), 0.0f);
            for (PeerVoice& voice : voices) {
                const int channels = voice.settings.channels;
                spx_uint32_t produced = static_cast<spx_uint32_t>(frames);
                if (voice.resampler == nullptr) {
                    std::copy_n(voice.samples.begin() + static_cast<long>(voice.read * channels),
                                frames * channels, converted.begin());
                    voice.read = (voice.read + frames) % voice.settings.rate;
                } else {
                    // Looping: wrap the read position when the second is used up.
                    spx_uint32_t available =
                        static_cast<spx_uint32_t>(voice.settings.rate - voice.read);
                    speex_resampler_process_interleaved_float(
                        voice.resampler, voice.samples.data() + voice.read * channels, &available,
                        converted.data(), &produced);
                    voice.read = (voice.read + available) % voice.settings.rate;
                }
                for (spx_uint32_t i = 0; i < produced; ++i) {
                    accumulator[2 * i] += 0.8f * converted[i * channels];
                    accumulator[2 * i + 1] += 0.9f * converted[i * channels + channels - 1];
                }
            }
            for (int i = 0; i < 2 * frames; ++i) {
                out[i] = static_cast<int16_t>(
                    std::lrint(std::clamp(accumulator[i], -32768.0f, 32767.0f)));
            }
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.counters["core_share"] = benchmark::Counter(
        1, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    for (PeerVoice& voice : voices) {
        if (voice.resampler != nullptr) speex_resampler_destroy(voice.resampler);
    }
}
BENCHMARK(BM_SpeexPeerOneSecondAtMixedRates)->Unit(benchmark::kMillisecond);

}  // namespace
