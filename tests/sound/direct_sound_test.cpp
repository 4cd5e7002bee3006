// The layer's DirectSound: buffers mixed on the headless host's clock, cursors, duplicates,
// locks, controls and formats.
#include <gtest/gtest.h>
#include <platform/com.h>
#include <platform/dsound.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <platform/testing_sound.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "sound/sound_test_support.h"

namespace {

// 10 ms of output is exactly 441 frames.
constexpr unsigned long long kTenMs = 10'000;

class DirectSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        TestResetSoundLayer();
        TestUseHeadlessHost(true);
        TestUseVirtualClock(true);
        TestSetClockMicroseconds(1'000'000);
        ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
        ASSERT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                                   reinterpret_cast<void**>(&device_)),
                  S_OK);
        ASSERT_EQ(device_->Initialize(nullptr), DS_OK);
        ASSERT_EQ(device_->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
        TestHostCaptureAudio(true);
    }

    void TearDown() override {
        for (IDirectSoundBuffer* buffer : buffers_) buffer->Release();
        if (device_ != nullptr) device_->Release();
        EXPECT_EQ(TestCountSoundBuffers(), 0);
        CoUninitialize();
        TestResetPlatform();
    }

    IDirectSoundBuffer* Make(WORD channels, DWORD rate, WORD bits, DWORD bytes,
                             DWORD flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                                           DSBCAPS_CTRLVOLUME) {
        WORD blockAlign = static_cast<WORD>(channels * bits / 8);
        WAVEFORMATEX format = {WAVE_FORMAT_PCM, channels, rate, rate * blockAlign,
                               blockAlign,      bits,     0};
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = flags;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(device_->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
        if (buffer != nullptr) buffers_.push_back(buffer);
        return buffer;
    }

    static void Write(IDirectSoundBuffer* buffer, DWORD offset, const void* data, DWORD bytes) {
        void* part1;
        void* part2;
        DWORD bytes1, bytes2;
        ASSERT_EQ(buffer->Lock(offset, bytes, &part1, &bytes1, &part2, &bytes2, 0), DS_OK);
        std::memcpy(part1, data, bytes1);
        if (part2 != nullptr)
            std::memcpy(part2, static_cast<const uint8_t*>(data) + bytes1, bytes2);
        ASSERT_EQ(buffer->Unlock(part1, bytes1, part2, bytes2), DS_OK);
    }

    // Stereo 16-bit frames whose left sample is `base + i` and right sample `-(base + i)`.
    static std::vector<int16_t> Ramp(int frames, int base) {
        std::vector<int16_t> out;
        for (int i = 0; i < frames; ++i) {
            out.push_back(static_cast<int16_t>(base + i));
            out.push_back(static_cast<int16_t>(-(base + i)));
        }
        return out;
    }

    static std::vector<int16_t> Hear(unsigned long long microseconds) {
        TestAdvanceClockMicroseconds(microseconds);
        return TestHostTakeAudio();
    }

    IDirectSound* device_ = nullptr;
    std::vector<IDirectSoundBuffer*> buffers_;
};

TEST_F(DirectSoundTest, ABufferAtTheOutputRatePlaysSampleExactAndStopsAtItsEndAtPositionZero) {
    std::vector<int16_t> ramp = Ramp(441, 100);
    IDirectSoundBuffer* buffer = Make(2, 44100, 16, 441 * 4);
    Write(buffer, 0, ramp.data(), 441 * 4);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    std::vector<int16_t> heard = Hear(2 * kTenMs);
    ASSERT_EQ(heard.size(), 2u * 882);
    EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + 882), ramp);
    EXPECT_EQ(std::vector<int16_t>(heard.begin() + 882, heard.end()), std::vector<int16_t>(882, 0));
    DWORD status = 99, play = 99;
    EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(buffer->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, 0u);
}

TEST_F(DirectSoundTest, ALoopingBufferWrapsWithoutAGapAndStopKeepsTheCursor) {
    std::vector<int16_t> ramp = Ramp(147, -70);
    IDirectSoundBuffer* buffer = Make(2, 44100, 16, 147 * 4);
    Write(buffer, 0, ramp.data(), 147 * 4);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::vector<int16_t> heard = Hear(kTenMs);  // 441 frames: three rounds exactly
    std::vector<int16_t> expected;
    for (int round = 0; round < 3; ++round)
        expected.insert(expected.end(), ramp.begin(), ramp.end());
    EXPECT_EQ(heard, expected);
    DWORD status = 0;
    buffer->GetStatus(&status);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);

    TestAdvanceClockMicroseconds(1000);  // 44 frames
    ASSERT_EQ(buffer->Stop(), DS_OK);
    DWORD play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 44u * 4);
    ASSERT_EQ(buffer->SetCurrentPosition(146 * 4), DS_OK);
    TestHostTakeAudio();
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    std::vector<int16_t> tail = Hear(1000);
    EXPECT_EQ(tail[0], ramp[2 * 146]);
    EXPECT_EQ(tail[2], 0);
}

TEST_F(DirectSoundTest, ADuplicateSharesSamplesButHasItsOwnCursorAndFrequency) {
    IDirectSoundBuffer* original = Make(1, 44100, 16, 441 * 2);
    IDirectSoundBuffer* duplicate = nullptr;
    ASSERT_EQ(device_->DuplicateSoundBuffer(original, &duplicate), DS_OK);
    buffers_.push_back(duplicate);
    EXPECT_EQ(TestCountSoundBuffers(), 2);
    // Written through the original, heard through the duplicate at half speed: away from the
    // ramp's start every second output frame lies halfway between two samples.
    std::vector<int16_t> samples(441);
    for (int i = 0; i < 441; ++i) samples[i] = static_cast<int16_t>(i * 10);
    Write(original, 0, samples.data(), 441 * 2);
    ASSERT_EQ(duplicate->SetFrequency(22050), DS_OK);
    ASSERT_EQ(duplicate->Play(0, 0, 0), DS_OK);
    std::vector<int16_t> heard = Hear(kTenMs);
    for (int n = 40; n < 441; ++n) {
        ASSERT_NEAR(heard[2 * n], n * 5, 2) << n;
        ASSERT_EQ(heard[2 * n + 1], heard[2 * n]) << n;  // mono on both sides
    }
    DWORD originalPlay = 1, duplicatePlay = 0;
    original->GetCurrentPosition(&originalPlay, nullptr);
    duplicate->GetCurrentPosition(&duplicatePlay, nullptr);
    EXPECT_EQ(originalPlay, 0u);
    EXPECT_EQ(duplicatePlay, 220u * 2);
}

// A looping tone near the top of what each rate carries comes out as that tone at the output
// rate, across the loop's seams: a band-limited resampler, not interpolation between
// neighbouring samples (which leaves an image of the tone only 10 to 20 dB down).
TEST_F(DirectSoundTest, OtherRatesAreResampledCleanlyAndTheCursorMovesAtTheirRate) {
    for (DWORD rate : {22050u, 32000u, 48000u, 11025u}) {
        for (WORD channels : {1, 2}) {
            SCOPED_TRACE(::testing::Message() << rate << " Hz, " << channels << " channels");
            const double tone = rate < 22050 ? 4000.0 : 9000.0;
            const uint32_t frames = rate / 5;  // whole periods of the tone
            std::vector<int16_t> samples = Sine(rate, frames, std::vector<double>(channels, tone));
            IDirectSoundBuffer* buffer = Make(channels, rate, 16, frames * channels * 2);
            Write(buffer, 0, samples.data(), frames * channels * 2);
            TestHostTakeAudio();
            ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
            std::vector<int16_t> heard = Hear(50 * kTenMs);  // over two seams
            ASSERT_EQ(buffer->Stop(), DS_OK);
            std::vector<int16_t> expected = Sine(44100, 22050, {tone, tone});
            double signal = 0, noise = 0;
            for (size_t i = 2 * 64; i < heard.size(); ++i) {
                double wanted = expected[i], error = heard[i] - wanted;
                signal += wanted * wanted;
                noise += error * error;
            }
            EXPECT_GT(10 * std::log10(signal / noise), 60.0);
            DWORD play = 0;
            buffer->GetCurrentPosition(&play, nullptr);
            EXPECT_NEAR(play / (channels * 2.0), 22050.0 * rate / 44100 - 2 * frames, 1.0);
        }
    }
}

TEST_F(DirectSoundTest, ALockPastTheEndHandsOutTwoPartsThatLandAtTheEndAndTheStart) {
    IDirectSoundBuffer* buffer = Make(1, 44100, 16, 16);
    void* part1;
    void* part2;
    DWORD bytes1, bytes2;
    ASSERT_EQ(buffer->Lock(12, 8, &part1, &bytes1, &part2, &bytes2, 0), DS_OK);
    EXPECT_EQ(bytes1, 4u);
    EXPECT_EQ(bytes2, 4u);
    ASSERT_NE(part2, nullptr);
    const int16_t tail[2] = {111, 222}, head[2] = {333, 444};
    std::memcpy(part1, tail, 4);
    std::memcpy(part2, head, 4);
    // A second lock before the unlock is refused.
    void* other;
    DWORD otherBytes;
    EXPECT_EQ(buffer->Lock(0, 4, &other, &otherBytes, nullptr, nullptr, 0), DSERR_INVALIDCALL);
    ASSERT_EQ(buffer->Unlock(part1, bytes1, part2, bytes2), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    std::vector<int16_t> heard = Hear(1000);
    const int16_t expected[8] = {333, 444, 0, 0, 0, 0, 111, 222};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(heard[2 * i], expected[i]) << i;
    EXPECT_EQ(buffer->Lock(16, 4, &part1, &bytes1, &part2, &bytes2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 20, &part1, &bytes1, &part2, &bytes2, 0), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, VolumeAndPanFollowTheDecibelLawAndNeedTheirControls) {
    IDirectSoundBuffer* buffer = Make(1, 44100, 16, 441 * 2);
    std::vector<int16_t> level(441, 10000);
    Write(buffer, 0, level.data(), 441 * 2);
    auto hearOnce = [&](LONG volume, LONG pan) {
        EXPECT_EQ(buffer->SetVolume(volume), DS_OK);
        EXPECT_EQ(buffer->SetPan(pan), DS_OK);
        buffer->SetCurrentPosition(0);
        buffer->Play(0, 0, 0);
        std::vector<int16_t> heard = Hear(1000);
        buffer->Stop();
        return std::vector<int16_t>{heard[0], heard[1]};
    };
    EXPECT_EQ(hearOnce(-600, 0), (std::vector<int16_t>{5012, 5012}));
    EXPECT_EQ(hearOnce(0, 2000), (std::vector<int16_t>{1000, 10000}));
    EXPECT_EQ(hearOnce(0, -10000), (std::vector<int16_t>{10000, 0}));
    EXPECT_EQ(hearOnce(-10000, 0), (std::vector<int16_t>{0, 0}));
    EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetPan(10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetFrequency(99), DSERR_INVALIDPARAM);

    IDirectSoundBuffer* plain = Make(1, 44100, 16, 8, DSBCAPS_STATIC);
    EXPECT_EQ(plain->SetVolume(0), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->SetPan(0), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->SetFrequency(0), DSERR_CONTROLUNAVAIL);
}

TEST_F(DirectSoundTest, EveryPcmLayoutTheConvertersProduceIsPlayedOnTheSixteenBitScale) {
    IDirectSoundBuffer* eight = Make(1, 44100, 8, 4);
    const uint8_t unsignedBytes[4] = {0xFF, 0x00, 0x80, 0x80};
    Write(eight, 0, unsignedBytes, 4);
    IDirectSoundBuffer* wide = Make(2, 44100, 24, 6);
    const uint8_t packed[6] = {0x00, 0x10, 0x00, 0x00, 0x80, 0xFF};  // 4096, -32768 (of 2^23)
    Write(wide, 0, packed, 6);
    eight->Play(0, 0, 0);
    std::vector<int16_t> heard = Hear(1000);
    EXPECT_EQ(heard[0], 127 * 256);
    EXPECT_EQ(heard[1], 127 * 256);
    EXPECT_EQ(heard[2], -128 * 256);
    wide->Play(0, 0, 0);
    heard = Hear(1000);
    EXPECT_EQ(heard[0], 16);
    EXPECT_EQ(heard[1], -128);

    WAVEFORMATEX twelve = {WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 12, 0};
    WAVEFORMATEX nine = {WAVE_FORMAT_PCM, 9, 44100, 44100 * 18, 18, 16, 0};
    WAVEFORMATEX slow = {WAVE_FORMAT_PCM, 1, 99, 198, 2, 16, 0};
    for (WAVEFORMATEX* format : {&twelve, &nine, &slow}) {
        DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0, 64, 0, format, {}};
        IDirectSoundBuffer* refused = nullptr;
        EXPECT_EQ(device_->CreateSoundBuffer(&desc, &refused, nullptr), DSERR_BADFORMAT);
        EXPECT_EQ(refused, nullptr);
    }
    WAVEFORMATEX fine = {WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0};
    DSBUFFERDESC tiny{sizeof(DSBUFFERDESC), 0, 3, 0, &fine, {}};
    IDirectSoundBuffer* refused = nullptr;
    EXPECT_EQ(device_->CreateSoundBuffer(&tiny, &refused, nullptr), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, MixedBuffersAddUpAndClipAtFullScale) {
    std::vector<int16_t> loud(4, 30000);
    IDirectSoundBuffer* a = Make(2, 44100, 16, 8);
    IDirectSoundBuffer* b = Make(2, 44100, 16, 8);
    Write(a, 0, loud.data(), 8);
    Write(b, 0, loud.data(), 8);
    a->Play(0, 0, DSBPLAY_LOOPING);
    b->Play(0, 0, DSBPLAY_LOOPING);
    std::vector<int16_t> heard = Hear(1000);
    EXPECT_EQ(heard[0], 32767);
    b->Release();
    buffers_.pop_back();
    heard = Hear(1000);
    EXPECT_EQ(heard[0], 30000);
}

TEST_F(DirectSoundTest, TheDeviceKeepsDirectSoundsRulesOnInitialisationLevelsAndThePrimary) {
    EXPECT_EQ(device_->Initialize(nullptr), DSERR_ALREADYINITIALIZED);
    IDirectSound* second = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                               reinterpret_cast<void**>(&second)),
              S_OK);
    DSCAPS caps{};
    caps.dwSize = sizeof caps;
    EXPECT_EQ(second->GetCaps(&caps), DSERR_UNINITIALIZED);
    // The host has one output, and the first device holds it.
    EXPECT_EQ(second->Initialize(nullptr), DSERR_ALLOCATED);
    second->Release();

    DSBUFFERDESC primaryDesc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr, {}};
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(device_->CreateSoundBuffer(&primaryDesc, &primary, nullptr), DS_OK);
    buffers_.push_back(primary);
    WAVEFORMATEX stereo = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(primary->SetFormat(&stereo), DS_OK);
    device_->SetCooperativeLevel(nullptr, DSSCL_NORMAL);
    EXPECT_EQ(primary->SetFormat(&stereo), DSERR_PRIOLEVELNEEDED);
    void* part;
    DWORD bytes;
    EXPECT_EQ(primary->Lock(0, 4, &part, &bytes, nullptr, nullptr, 0), DSERR_PRIOLEVELNEEDED);
    IDirectSoundBuffer* copy = nullptr;
    EXPECT_EQ(device_->DuplicateSoundBuffer(primary, &copy), DSERR_INVALIDCALL);
    EXPECT_EQ(TestCountSoundBuffers(), 0);

    caps.dwSize = sizeof caps;
    ASSERT_EQ(device_->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwMaxSecondarySampleRate, DSBFREQUENCY_MAX);
    EXPECT_NE(caps.dwFlags & DSCAPS_PRIMARYSTEREO, 0u);
    DSCAPS mono{};
    mono.dwFlags = DSCAPS_PRIMARYMONO;
    mono.dwMaxSecondarySampleRate = 22050;
    TestSetDirectSoundCaps(&mono);
    ASSERT_EQ(device_->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwFlags, DSCAPS_PRIMARYMONO);
    EXPECT_EQ(caps.dwMaxSecondarySampleRate, 22050u);
}

BOOL CollectDevice(GUID* device, LPCSTR description, LPCSTR module, LPVOID context) {
    auto* seen = static_cast<std::vector<std::string>*>(context);
    seen->push_back(std::string(device == nullptr ? "null" : "guid") + "|" + description + "|" +
                    module);
    return TRUE;
}

TEST_F(DirectSoundTest, TheEnumerationListsTheDefaultDeviceAndThenTheHostsOutputs) {
    std::vector<std::string> seen;
    ASSERT_EQ(DirectSoundEnumerateA(CollectDevice, &seen), DS_OK);
    EXPECT_EQ(seen, (std::vector<std::string>{"null|Primary Sound Driver|",
                                              "guid|Headless Audio Output|headless"}));
    EXPECT_EQ(DirectSoundEnumerateA(nullptr, nullptr), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, NothingIsHeardAfterTheDeviceIsReleased) {
    std::vector<int16_t> loud(4, 1000);
    IDirectSoundBuffer* buffer = Make(2, 44100, 16, 8);
    Write(buffer, 0, loud.data(), 8);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    device_->Release();
    device_ = nullptr;
    EXPECT_TRUE(Hear(kTenMs).empty());
    DWORD status = 1;
    buffer->GetStatus(&status);
    EXPECT_EQ(status, 0u);
}

}  // namespace
