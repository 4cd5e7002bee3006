// The generator's parts that the assets' quality rests on: strings in tune, the step strings'
// timing, patterns that repeat exactly, the lettering's geometry, the loop render's wrap and
// silent gap, and the MP3 encoder's frame count and lead-in that the music's seam relies on.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "lettering.h"
#include "mp3_writer.h"
#include "sequencer.h"
#include "shapes.h"
#include "synth.h"

namespace {

double Power(const std::vector<float>& s, double f) {
    double re = 0, im = 0;
    for (size_t i = 0; i < static_cast<size_t>(kSampleRate * 0.3); ++i) {
        re += s[i] * std::cos(kTwoPi * f * i / kSampleRate);
        im += s[i] * std::sin(kTwoPi * f * i / kSampleRate);
    }
    return re * re + im * im;
}

// The strongest frequency within 3 % of `near` over the first 0.3 s: found to 1 Hz, then
// refined to 0.05 Hz.
double PeakNear(const std::vector<float>& s, double near) {
    double best = near;
    for (double f = near * 0.97; f <= near * 1.03; f += 1)
        best = Power(s, f) > Power(s, best) ? f : best;
    const double coarse = best;
    for (double f = coarse - 1; f <= coarse + 1; f += 0.05)
        best = Power(s, f) > Power(s, best) ? f : best;
    return best;
}

TEST(AssetSynthesis, PluckedStringsAreInTune) {
    for (double brightness : {0.35, 0.5, 0.95}) {
        for (double note : {45.0, 62.0, 76.0, 84.0}) {
            double f = NoteFrequency(note);
            std::vector<float> s = PluckedString(f, 1.0, brightness, 2.0, 1);
            // Within 5 cents.
            EXPECT_NEAR(PeakNear(s, f) / f, 1.0, 0.003) << note << " " << brightness;
        }
    }
}

TEST(AssetSynthesis, NoteNamesAndChords) {
    EXPECT_DOUBLE_EQ(NoteFrequency(69), 440.0);
    EXPECT_EQ(NoteNumber("c4"), 60);
    EXPECT_EQ(NoteNumber("f#3"), 54);
    EXPECT_EQ(NoteNumber("bb2"), 46);
    EXPECT_EQ(ChordTones("Am", 3), (std::vector<int>{57, 60, 64}));
    EXPECT_EQ(ChordTones("G7", 2), (std::vector<int>{43, 47, 50, 53}));
    EXPECT_EQ(ChordTones("Ebmaj7", 4), (std::vector<int>{63, 67, 70, 74}));
}

TEST(AssetSequencer, StepsHoldRestAndSwing) {
    Song song(120, 1);
    Track& track = song.AddTrack(Instrument::Flute, 1, 0, 0);
    song.Steps(track, 0, 0.5, "c4 - . e4 g4 - - .", 0.7);
    ASSERT_EQ(track.notes.size(), 3u);
    EXPECT_EQ(track.notes[0].beat, 0);
    EXPECT_EQ(track.notes[0].beats, 1);
    EXPECT_EQ(track.notes[1].beat, 1.5);
    EXPECT_EQ(track.notes[1].pitch, 64);
    EXPECT_EQ(track.notes[2].beat, 2);
    EXPECT_EQ(track.notes[2].beats, 1.5);

    // Swing delays the off-beat steps only; chord steps pick the chord's tones.
    song.SetSwing(0.5);
    Track& swung = song.AddTrack(Instrument::Bass, 1, 0, 0);
    song.ChordSteps(swung, 0, 0.5, 2, "C G7", "1 3 5 7", 2);
    ASSERT_EQ(swung.notes.size(), 8u);
    EXPECT_EQ(swung.notes[1].beat, 0.75);
    EXPECT_EQ(swung.notes[2].beat, 1.0);
    EXPECT_EQ(swung.notes[3].pitch, 46);  // a triad's "7" is the minor seventh above its root
    EXPECT_EQ(swung.notes[7].pitch, 53);  // G7's seventh, F
}

TEST(AssetPatterns, NoiseAndCellsRepeatExactly) {
    for (double u : {0.0, 0.13, 0.5, 0.97}) {
        for (double v : {0.0, 0.31, 0.88}) {
            EXPECT_NEAR(PeriodicFbm(u, v, 3, 5, 11), PeriodicFbm(u + 1, v, 3, 5, 11), 1e-12);
            EXPECT_NEAR(PeriodicFbm(u, v, 3, 5, 11), PeriodicFbm(u, v + 1, 3, 5, 11), 1e-12);
            CellDistances a = PeriodicCells(u, v, 7, 41), b = PeriodicCells(u + 1, v - 1, 7, 41);
            EXPECT_NEAR(a.nearest, b.nearest, 1e-9);
            EXPECT_EQ(a.id, b.id);
        }
    }
}

TEST(AssetLettering, StrokesAreWhereTheGlyphsPutThem) {
    StrokeText text("IT", 1.0);
    EXPECT_DOUBLE_EQ(text.Width(), 2 + 1 + 4);
    EXPECT_NEAR(text.Distance({1, 3}), 0, 1e-12);  // the I's stem
    EXPECT_NEAR(text.Distance({5, 4}), 0, 1e-12);  // the T's stem
    EXPECT_NEAR(text.Distance({5, 7}), 1, 1e-12);  // under the T
    LetterStyle style;
    style.top = style.bottom = Color{1, 0, 0};
    EXPECT_DOUBLE_EQ(ShadeLetters(text, style, {1, 3}).a, 1);
    EXPECT_DOUBLE_EQ(ShadeLetters(text, style, {3.5, -3}).a, 0);
}

TEST(AssetSequencer, LoopRenderWrapsTailsAndSilencesTheGap) {
    // One bar at 60 BPM: a long organ chord on the last beat rings on past the end.
    Song song(60, 1);
    Track& track = song.AddTrack(Instrument::Organ, 1, 0, 0);
    song.Steps(track, 3, 1, "c4", 1);
    track.notes[0].beats = 1.5;
    const int period = 4 * kSampleRate, downbeat = 1000, silentFrom = period - 100, silentTo = 900;
    StereoLoop loop = RenderLoop(song, period, downbeat, silentFrom, silentTo);
    auto level = [&](int from, int to) {
        float most = 0;
        for (int i = from; i < to; ++i)
            most = std::max(most, std::abs(loop.left[static_cast<size_t>(i)]));
        return most;
    };
    EXPECT_EQ(level(silentFrom, period), 0);
    EXPECT_EQ(level(0, silentTo), 0);
    EXPECT_GT(level(silentTo + 100, downbeat + kSampleRate / 4), 0.05);  // the wrapped tail
    EXPECT_EQ(level(downbeat + kSampleRate, downbeat + 2 * kSampleRate), 0);
}

TEST(AssetMp3Writer, EmitsTheFramesAskedForWithTheKnownLeadIn) {
    // An impulse at input sample 3000 decodes at 3000 + kMp3LeadIn, in exactly 20 frames.
    std::vector<float> samples(static_cast<size_t>(Mp3InputSamplesForFrames(20)));
    samples[3000] = 0.9f;
    samples[3001] = -0.9f;
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "brovane_impulse_test.mp3";
    ASSERT_TRUE(WriteMp3(path.string(), samples, samples, {"impulse", "test", "test"}));
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    std::filesystem::remove(path);

    mpg123_init();
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    ASSERT_NE(handle, nullptr);
    mpg123_param(handle, MPG123_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
    mpg123_open_feed(handle);
    mpg123_feed(handle, bytes.data(), bytes.size());
    std::vector<int16_t> decoded;
    unsigned char buffer[1 << 16];
    for (;;) {
        size_t done = 0;
        int result = mpg123_read(handle, buffer, sizeof buffer, &done);
        auto* first = reinterpret_cast<int16_t*>(buffer);
        decoded.insert(decoded.end(), first, first + done / 2);
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) break;
    }
    mpg123_delete(handle);
    ASSERT_EQ(decoded.size(), 2u * 20 * kMp3FrameSamples);
    size_t loudest = 0;
    for (size_t i = 0; i < decoded.size() / 2; ++i) {
        if (std::abs(decoded[2 * i]) > std::abs(decoded[2 * loudest])) loudest = i;
    }
    EXPECT_NEAR(static_cast<double>(loudest), 3000 + kMp3LeadIn, 2);
}

}  // namespace
