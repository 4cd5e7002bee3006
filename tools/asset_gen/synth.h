// Sound synthesis building blocks shared by the effects and the music: band-limited
// oscillators, envelopes, filters, plucked strings, noise and a stereo reverb.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "random.h"

constexpr int kSampleRate = 44100;
constexpr double kTwoPi = 6.283185307179586;

inline int Samples(double seconds) {
    return static_cast<int>(seconds * kSampleRate + 0.5);
}
// Frequency of a MIDI note number (69 = A4 = 440 Hz).
double NoteFrequency(double note);

// sin(2 pi cycles), from a table: accurate to 1e-6, and far cheaper than the library's.
double Sine(double cycles);
// The frequency ratio of `semitones`, for the small bends of vibrato and detune.
inline double BendRatio(double semitones) {
    const double x = semitones * 0.057762265046662105;  // ln 2 / 12
    return 1 + x * (1 + x * (0.5 + x * (1.0 / 6 + x / 24)));
}

enum class Wave { Sine, Saw, Square, Triangle };

// A phase-accumulating oscillator; saw and square are band-limited (PolyBLEP).
class Oscillator {
public:
    explicit Oscillator(double phase = 0) : phase_(phase) {}
    // One sample at `frequency` Hz; `width` is the square's duty cycle.
    double Next(Wave wave, double frequency, double width = 0.5);

private:
    double phase_;
};

// Attack, decay, sustain, release; `held` is how long the note is held, in seconds.
struct Adsr {
    double attack = 0.005, decay = 0.1, sustain = 0.8, release = 0.1;
    double At(double t, double held) const;
    double Length(double held) const { return held + release; }
};

// Exponential decay to 1/e in `time` seconds.
inline double Decay(double t, double time) {
    return std::exp(-t / time);
}

// Topology-preserving state-variable filter.
class Svf {
public:
    struct Out {
        double low, band, high;
    };
    // `resonance` 0 (none) .. 1 (self-oscillation).
    Out Process(double x, double cutoff, double resonance);

private:
    double ic1_ = 0, ic2_ = 0;
    // The tangent is recomputed only when the cutoff has moved by more than 0.2 %.
    double cutoff_ = -1, g_ = 0;
};

// One-pole low-pass, for smoothing and gentle tone control.
class OnePole {
public:
    double Low(double x, double cutoff);
    double High(double x, double cutoff) { return x - Low(x, cutoff); }

private:
    double state_ = 0;
    double cutoff_ = -1, a_ = 0;
};

class Noise {
public:
    explicit Noise(uint64_t seed) : random_(seed) {}
    double White() { return random_.Range(-1, 1); }

private:
    Random random_;
};

// A plucked string (Karplus-Strong): `brightness` 0..1 sets the excitation's and the loop
// filter's tone, `sustain` the seconds to fall by 60 dB.
std::vector<float> PluckedString(double frequency, double seconds, double brightness,
                                 double sustain, uint64_t seed);

// A stereo reverb of parallel combs and series all-passes (the Schroeder-Moorer layout).
class Reverb {
public:
    Reverb(double roomSize, double damping);
    void Process(float in, float* left, float* right);

private:
    struct Comb {
        std::vector<float> line;
        size_t at = 0;
        float store = 0;
    };
    struct Allpass {
        std::vector<float> line;
        size_t at = 0;
    };
    std::vector<Comb> combs_[2];
    std::vector<Allpass> allpasses_[2];
    float feedback_, damping_;
};
