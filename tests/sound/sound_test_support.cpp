#include "sound/sound_test_support.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/threads.h"
#include "sound/stream_sound.h"

Bytes ReadFixture(const char* name) {
    std::string source = __FILE__;
    std::string path = source.substr(0, source.find_last_of('/')) + "/data/" + name;
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

namespace {

void Put16(Bytes* out, uint32_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes* out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutChunk(Bytes* out, const std::string& id, const Bytes& body) {
    out->insert(out->end(), id.begin(), id.end());
    Put32(out, static_cast<uint32_t>(body.size()));
    out->insert(out->end(), body.begin(), body.end());
    if (body.size() % 2 != 0) out->push_back(0);
}

}  // namespace

Bytes BuildWave(const WaveParts& parts) {
    Bytes body = {'W', 'A', 'V', 'E'};
    for (const auto& [id, chunk] : parts.before) PutChunk(&body, id, chunk);
    PutChunk(&body, "fmt ", parts.format);
    for (const auto& [id, chunk] : parts.between) PutChunk(&body, id, chunk);
    PutChunk(&body, "data", parts.data);
    Bytes out = {'R', 'I', 'F', 'F'};
    Put32(&out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes FormatChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool withSize) {
    Bytes out;
    uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
    Put16(&out, tag);
    Put16(&out, channels);
    Put32(&out, rate);
    Put32(&out, rate * blockAlign);
    Put16(&out, blockAlign);
    Put16(&out, bits);
    if (withSize) Put16(&out, 0);
    return out;
}

Bytes ExtensibleFormatChunk(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t subTag) {
    Bytes out = FormatChunk(WAVE_FORMAT_EXTENSIBLE, channels, rate, bits);
    Put16(&out, 22);
    Put16(&out, bits);  // valid bits
    Put32(&out, channels == 1 ? 0x4 : (1u << channels) - 1);
    Put32(&out, subTag);
    const uint8_t tail[] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    out.insert(out.end(), std::begin(tail), std::end(tail));
    return out;
}

Bytes PcmWave(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& data) {
    return BuildWave({FormatChunk(WAVE_FORMAT_PCM, channels, rate, bits), data, {}, {}});
}

std::vector<int16_t> Sine(uint32_t rate, uint32_t frames, const std::vector<double>& frequencies,
                          double amplitude) {
    std::vector<int16_t> out;
    out.reserve(frames * frequencies.size());
    for (uint32_t i = 0; i < frames; ++i) {
        for (double frequency : frequencies) {
            double value = amplitude * 32767 * std::sin(2 * M_PI * frequency * i / rate);
            out.push_back(static_cast<int16_t>(std::lround(value)));
        }
    }
    return out;
}

Bytes AsBytes(const std::vector<int16_t>& samples) {
    Bytes out;
    for (int16_t s : samples) Put16(&out, static_cast<uint16_t>(s));
    return out;
}

std::vector<int16_t> AsSamples(const Bytes& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return out;
}

std::vector<int16_t> LeftChannel(const std::vector<int16_t>& stereo) {
    std::vector<int16_t> out(stereo.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = stereo[2 * i];
    return out;
}

int64_t FirstLoudFrame(const std::vector<int16_t>& mono, int16_t threshold, size_t from) {
    for (size_t i = from; i < mono.size(); ++i) {
        if (std::abs(mono[i]) > threshold) return static_cast<int64_t>(i);
    }
    return -1;
}

int64_t LastLoudFrame(const std::vector<int16_t>& mono, int16_t threshold) {
    for (size_t i = mono.size(); i-- > 0;) {
        if (std::abs(mono[i]) > threshold) return static_cast<int64_t>(i);
    }
    return -1;
}

int64_t LongestQuietRun(const std::vector<int16_t>& mono, int16_t threshold) {
    int64_t first = FirstLoudFrame(mono, threshold);
    int64_t last = LastLoudFrame(mono, threshold);
    int64_t longest = 0, run = 0;
    for (int64_t i = first; first >= 0 && i <= last; ++i) {
        run = std::abs(mono[static_cast<size_t>(i)]) > threshold ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

double RmsDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    size_t n = std::min(a.size(), b.size());
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    return n == 0 ? 0 : std::sqrt(sum / static_cast<double>(n));
}

int64_t BestOffset(const std::vector<int16_t>& signal, const std::vector<int16_t>& pattern,
                   int64_t near, int64_t maxShift) {
    int64_t best = -1;
    double bestError = 1e300;
    for (int64_t offset = std::max<int64_t>(0, near - maxShift); offset <= near + maxShift;
         ++offset) {
        if (offset + static_cast<int64_t>(pattern.size()) > static_cast<int64_t>(signal.size())) {
            break;
        }
        std::vector<int16_t> window(signal.begin() + offset,
                                    signal.begin() + offset + static_cast<int64_t>(pattern.size()));
        double error = RmsDifference(window, pattern);
        if (error < bestError) {
            bestError = error;
            best = offset;
        }
    }
    return best;
}

void SoundFixture::StartSound(int processors) {
    TestResetSoundLayer();
    TestSetProcessorCount(processors);
    threaded_ = processors > 1;
    gShell.noGraphics = 1;
    gLibrary.noInput = 1;
    // Start-up measures the processor against the clock, which must move on every read.
    TestSetClockStepPerRead(50);
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_NE(gSound.device, nullptr);
    TestSetClockStepPerRead(0);
    TestHostCaptureAudio(true);
}

// The stream thread has run a pass since the clock moved once every primed stream sound has
// seen the play cursor where it now stands; the sound lock makes the pass whole.
static bool StreamsCaughtUp() {
    EnterLock(&gSound.sounds.lock);
    bool caughtUp = true;
    for (HandleNode* node = gSound.streamHead.next; node != &gSound.streamTail; node = node->next) {
        SoundRecord* record = static_cast<SoundRecord*>(node->data);
        if (record->primed == 0 || record->shareOwner != -1) continue;
        DWORD status = 0, play = 0;
        record->slots[0].buffer->GetStatus(&status);
        record->slots[0].buffer->GetCurrentPosition(&play, nullptr);
        if ((status & DSBSTATUS_PLAYING) != 0 &&
            static_cast<int32_t>(play) != record->lastPlayCursor) {
            caughtUp = false;
        }
    }
    LeaveLock(&gSound.sounds.lock);
    return caughtUp;
}

void SoundFixture::Advance(uint32_t milliseconds, uint32_t stepMs) {
    for (uint32_t done = 0; done < milliseconds; done += stepMs) {
        TestAdvanceClockMicroseconds(static_cast<unsigned long long>(stepMs) * 1000);
        if (!threaded_) {
            RefillStreamSounds();
            continue;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!StreamsCaughtUp()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the stream thread stalled";
            std::this_thread::yield();
        }
    }
}

std::vector<int16_t> SoundFixture::TakeLeft() {
    return LeftChannel(TestHostTakeAudio());
}

void SoundFixture::TearDown() {
    LibraryFixture::TearDown();
    EXPECT_EQ(TestCountDirectSoundObjects(), 0);
    for (const std::string& path : written_) unlink(path.c_str());
    rmdir(directory_.c_str());
}

Handle SoundFixture::LoadBytes(const std::string& name, const Bytes& bytes, int32_t buffers) {
    written_.push_back(directory_ + "/" + name);
    WriteFile(written_.back(), bytes);
    return LoadSoundHandle(name.c_str(), buffers, -1);
}
