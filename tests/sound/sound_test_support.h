// Shared pieces of the sound tests: fixture files, WAVE images built byte by byte, tone
// generation and analysis of rendered audio, and a fixture that starts the framework with
// sound on the headless host and the virtual clock.
#pragma once

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <platform/testing_sound.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/library_fixture.h"
#include "sound/sound.h"

using Bytes = std::vector<uint8_t>;

// A file of tests/sound/data.
Bytes ReadFixture(const char* name);
void WriteFile(const std::string& path, const Bytes& bytes);

// A RIFF WAVE image: the "fmt " chunk as given, optional chunks before it and between it and
// "data".
struct WaveParts {
    Bytes format;
    Bytes data;
    std::vector<std::pair<std::string, Bytes>> before;  // e.g. "bext"
    std::vector<std::pair<std::string, Bytes>> between;
};
Bytes BuildWave(const WaveParts& parts);
// The 16 (or 18 with cbSize) bytes of a format chunk.
Bytes FormatChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                  bool withSize = false);
// The extensible form that encoders write for wide samples, many channels or high rates: the
// subformat GUID holds subTag.
Bytes ExtensibleFormatChunk(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t subTag);
Bytes PcmWave(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& data);

// 16-bit samples of a sine (amplitude as a fraction of full scale), interleaved per channel with
// each channel's frequency.
std::vector<int16_t> Sine(uint32_t rate, uint32_t frames, const std::vector<double>& frequencies,
                          double amplitude = 0.5);
Bytes AsBytes(const std::vector<int16_t>& samples);
std::vector<int16_t> AsSamples(const Bytes& bytes);

// Analysis of interleaved stereo output.
std::vector<int16_t> LeftChannel(const std::vector<int16_t>& stereo);
// The first frame at or after `from` whose magnitude exceeds the threshold, -1 for none.
int64_t FirstLoudFrame(const std::vector<int16_t>& mono, int16_t threshold, size_t from = 0);
// The last such frame, -1 for none.
int64_t LastLoudFrame(const std::vector<int16_t>& mono, int16_t threshold);
// The largest gap of consecutive frames at or below the threshold between the first and the
// last loud frame.
int64_t LongestQuietRun(const std::vector<int16_t>& mono, int16_t threshold);
// The root mean square difference between two runs, over the shorter length.
double RmsDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b);
// The best alignment of `pattern` inside `signal` within `maxShift` frames of `near`.
int64_t BestOffset(const std::vector<int16_t>& signal, const std::vector<int16_t>& pattern,
                   int64_t near, int64_t maxShift);

// The framework with sound (no graphics, no input), on the headless host, the virtual clock
// stepping only when told to once started, audio captured from the start.
class SoundFixture : public LibraryFixture {
protected:
    void TearDown() override;
    void StartSound(int processors = 1);
    // Moves the clock in steps of `stepMs`, servicing the streams after each step the way the
    // pump does on one processor (or waiting for the stream thread's pass).
    void Advance(uint32_t milliseconds, uint32_t stepMs = 10);
    // Renders up to now and hands over what was heard since the last take.
    std::vector<int16_t> TakeLeft();
    // Writes the bytes into the test directory and loads them as a sound.
    Handle LoadBytes(const std::string& name, const Bytes& bytes, int32_t buffers = 3);
    std::string Log() { return ReadLog(); }

    bool threaded_ = false;
    std::vector<std::string> written_;
};
