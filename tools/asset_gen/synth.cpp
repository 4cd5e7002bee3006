#include "synth.h"

#include <algorithm>
#include <cmath>

double NoteFrequency(double note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12);
}

double Sine(double cycles) {
    constexpr int kSize = 4096;
    static const std::vector<double> table = [] {
        std::vector<double> t(kSize + 1);
        for (int i = 0; i <= kSize; ++i) t[static_cast<size_t>(i)] = std::sin(kTwoPi * i / kSize);
        return t;
    }();
    double position = (cycles - std::floor(cycles)) * kSize;
    int index = static_cast<int>(position);
    double fraction = position - index;
    double a = table[static_cast<size_t>(index)];
    return a + (table[static_cast<size_t>(index) + 1] - a) * fraction;
}

namespace {

// The band-limited step correction around a discontinuity of a phase in [0, 1).
double PolyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1;
    }
    if (t > 1 - dt) {
        t = (t - 1) / dt;
        return t * t + t + t + 1;
    }
    return 0;
}

}  // namespace

double Oscillator::Next(Wave wave, double frequency, double width) {
    const double dt = std::min(frequency / kSampleRate, 0.5);
    double value = 0;
    switch (wave) {
        case Wave::Sine:
            value = Sine(phase_);
            break;
        case Wave::Saw:
            value = 2 * phase_ - 1 - PolyBlep(phase_, dt);
            break;
        case Wave::Square: {
            value = phase_ < width ? 1 : -1;
            value += PolyBlep(phase_, dt);
            double shifted = phase_ + 1 - width;
            value -= PolyBlep(shifted >= 1 ? shifted - 1 : shifted, dt);
            break;
        }
        case Wave::Triangle:
            value = 1 - 4 * std::abs(phase_ - 0.5);
            break;
    }
    phase_ += dt;
    if (phase_ >= 1) phase_ -= 1;
    return value;
}

double Adsr::At(double t, double held) const {
    auto level = [&](double u) {
        if (u < attack) return u / attack;
        if (u < attack + decay) return 1 - (1 - sustain) * (u - attack) / decay;
        return sustain;
    };
    if (t < held) return level(t);
    if (t >= held + release) return 0;
    return level(held) * (1 - (t - held) / release);
}

Svf::Out Svf::Process(double x, double cutoff, double resonance) {
    cutoff = std::clamp(cutoff, 10.0, kSampleRate * 0.45);
    if (std::abs(cutoff - cutoff_) > cutoff_ * 0.002) {
        cutoff_ = cutoff;
        g_ = std::tan(3.141592653589793 * cutoff / kSampleRate);
    }
    const double g = g_;
    const double k = 2 - 2 * std::clamp(resonance, 0.0, 0.98);
    const double a1 = 1 / (1 + g * (g + k));
    const double v3 = x - ic2_;
    const double v1 = a1 * ic1_ + g * a1 * v3;
    const double v2 = ic2_ + g * v1;
    ic1_ = 2 * v1 - ic1_;
    ic2_ = 2 * v2 - ic2_;
    return {v2, v1, x - k * v1 - v2};
}

double OnePole::Low(double x, double cutoff) {
    if (cutoff != cutoff_) {
        cutoff_ = cutoff;
        a_ = 1 - std::exp(-kTwoPi * cutoff / kSampleRate);
    }
    state_ += a_ * (x - state_);
    return state_;
}

std::vector<float> PluckedString(double frequency, double seconds, double brightness,
                                 double sustain, uint64_t seed) {
    std::vector<float> out(static_cast<size_t>(Samples(seconds)));
    const double period = kSampleRate / frequency;
    const double blend = 0.5 + 0.45 * brightness;  // weight of the newer sample in the loop filter
    // The loop filter delays by (1 - blend); a first-order all-pass makes up the fraction
    // the line's whole samples leave, kept in 0.2..1.2 where it is accurate.
    size_t length = static_cast<size_t>(period - (1 - blend) - 0.2);
    length = std::max<size_t>(length, 2);
    const double fraction = period - static_cast<double>(length) - (1 - blend);
    const double allpass = (1 - fraction) / (1 + fraction);
    std::vector<double> line(length);
    Noise noise(seed);
    OnePole tone;
    for (double& v : line) v = tone.Low(noise.White(), 800 + 9000 * brightness);
    const double loss = std::pow(0.001, 1.0 / (sustain * frequency));
    double previous = 0, apIn = 0, apOut = 0;
    size_t at = 0;
    for (float& sample : out) {
        double current = line[at];
        double filtered = (blend * current + (1 - blend) * previous) * loss;
        previous = current;
        double delayed = allpass * (filtered - apOut) + apIn;
        apIn = filtered;
        apOut = delayed;
        line[at] = delayed;
        at = (at + 1) % length;
        sample = static_cast<float>(current);
    }
    return out;
}

Reverb::Reverb(double roomSize, double damping)
    : feedback_(static_cast<float>(0.7 + 0.28 * roomSize)), damping_(static_cast<float>(damping)) {
    static const int kCombs[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int kAllpasses[] = {556, 441, 341, 225};
    constexpr int kSpread = 23;  // the right channel's lines are longer, for width
    for (int side = 0; side < 2; ++side) {
        for (int n : kCombs) combs_[side].push_back({std::vector<float>(n + side * kSpread)});
        for (int n : kAllpasses)
            allpasses_[side].push_back({std::vector<float>(n + side * kSpread)});
    }
}

void Reverb::Process(float in, float* left, float* right) {
    float* outs[2] = {left, right};
    const float input = in * 0.015f;
    for (int side = 0; side < 2; ++side) {
        float sum = 0;
        for (Comb& c : combs_[side]) {
            float y = c.line[c.at];
            c.store = y * (1 - damping_) + c.store * damping_;
            c.line[c.at] = input + c.store * feedback_;
            c.at = (c.at + 1) % c.line.size();
            sum += y;
        }
        for (Allpass& a : allpasses_[side]) {
            float buffered = a.line[a.at];
            a.line[a.at] = sum + buffered * 0.5f;
            a.at = (a.at + 1) % a.line.size();
            sum = buffered - sum;
        }
        *outs[side] = sum;
    }
}
