#include "sound_effects.h"

#include <algorithm>
#include <cmath>

#include "mix_levels.h"
#include "synth.h"

namespace {

using Samples_ = std::vector<float>;
constexpr double kDt = 1.0 / kSampleRate;
constexpr double kPi = kTwoPi / 2;

// Calls `sample(t)` for every sample of `seconds`.
template <typename F>
Samples_ Generate(double seconds, F sample) {
    Samples_ out(static_cast<size_t>(Samples(seconds)));
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<float>(sample(i * kDt));
    return out;
}

// Fades the first 2 ms in and the last 5 ms out, so that no effect starts or ends in a click,
// and scales the effect to its peak in the mix.
Samples_ Finish(Samples_ s) {
    const size_t fadeIn = std::min(s.size(), static_cast<size_t>(Samples(0.002)));
    const size_t fadeOut = std::min(s.size(), static_cast<size_t>(Samples(0.005)));
    float most = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        double gain = 1;
        if (i < fadeIn) gain *= static_cast<double>(i) / fadeIn;
        if (i + fadeOut >= s.size()) gain *= static_cast<double>(s.size() - 1 - i) / fadeOut;
        s[i] = static_cast<float>(s[i] * gain);
        most = std::max(most, std::abs(s[i]));
    }
    const double level = most > 0 ? kEffectPeak / most : 0;
    for (float& v : s) v = static_cast<float>(v * level);
    return s;
}

double Ramp(double t, double time) {
    return std::clamp(t / time, 0.0, 1.0);
}
// Exponential glide from `from` to `to` over `time` seconds.
double Glide(double t, double from, double to, double time) {
    return from * std::pow(to / from, Ramp(t, time));
}

// A band of noise whose centre follows `centre(t)`.
template <typename F>
Samples_ NoiseBand(double seconds, double resonance, uint64_t seed, F centre) {
    Noise noise(seed);
    Svf filter;
    return Generate(seconds, [&](double t) {
        return filter.Process(noise.White(), centre(t), resonance).band;
    });
}

// Struck metal: inharmonic partials, each fading at its own rate.
double Clang(double t, const std::vector<double>& partials, double decay) {
    double x = 0;
    for (size_t k = 0; k < partials.size(); ++k)
        x += Sine(partials[k] * t) * Decay(t, decay / (1 + 0.5 * k)) / (1 + k * 0.3);
    return x;
}

Samples_ Drone() {
    // Every component repeats a whole number of times in kDroneSeconds: 55 Hz and its
    // harmonics, a second voice 0.5 Hz above for a slow beat, a 4 Hz throb, and noise
    // filtered around the loop.
    const int n = Samples(kDroneSeconds);
    Noise noise(404);
    Samples_ white(static_cast<size_t>(n)), hiss(white.size());
    for (float& v : white) v = static_cast<float>(noise.White());
    // The filter runs over the loop twice and keeps the second pass, which starts from the
    // state the loop's end leaves.
    OnePole low;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < white.size(); ++i)
            hiss[i] = static_cast<float>(low.Low(white[i], 400));
    }
    Samples_ out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double x = 0;
        for (int h = 1; h <= 12; ++h)
            x += (Sine(55.0 * h * t) + 0.6 * Sine(55.5 * h * t + 0.3 * h)) / h;
        double throb = 0.8 + 0.2 * Sine(4.0 * t);
        out[static_cast<size_t>(i)] =
            static_cast<float>(x * throb * 0.3 + hiss[static_cast<size_t>(i)] * 1.5);
    }
    float most = 0;
    for (float v : out) most = std::max(most, std::abs(v));
    for (float& v : out) v = static_cast<float>(v / most * kDronePeak);
    // The game plays the drone from its top: the loop is turned to begin where it crosses zero
    // most gently, so that it starts without a step (a seamless loop plays on unchanged).
    const size_t size = out.size();
    auto crossing = [&](size_t i) {
        return std::abs(out[(i + size - 1) % size]) + std::abs(out[i]) +
               std::abs(out[(i + 1) % size]);
    };
    size_t start = 0;
    for (size_t i = 1; i < size; ++i) {
        if (crossing(i) < crossing(start)) start = i;
    }
    std::rotate(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
    return out;
}

Samples_ HammerSwing() {
    Samples_ whoosh = NoiseBand(0.8, 0.5, 2, [](double t) { return Glide(t, 400, 2000, 0.25); });
    return Finish(Generate(0.8, [&](double t) {
        size_t i = static_cast<size_t>(t * kSampleRate);
        double swing = whoosh[i] * std::sin(kPi * Ramp(t, 0.25)) * (t < 0.25 ? 1 : 0);
        double hit = t >= 0.25 ? Clang(t - 0.25, {180, 410, 730, 1150, 1720}, 0.3) +
                                     1.5 * Sine(70 * (t - 0.25)) * Decay(t - 0.25, 0.1)
                               : 0;
        return swing * 0.6 + hit;
    }));
}

Samples_ PlayerHit() {
    Noise noise(3), crackle(4);
    Svf rumble;
    double phase = 0;
    return Finish(Generate(1.4, [&](double t) {
        double blast =
            rumble.Process(noise.White(), Glide(t, 6000, 150, 0.9), 0.2).low * Decay(t, 0.35);
        phase += Glide(t, 60, 28, 0.6) * kDt;
        double boom = Sine(phase) * Decay(t, 0.5) * 1.2;
        double pop =
            crackle.White() > 0.995 - 0.01 * Decay(t, 0.3) ? crackle.White() * Decay(t, 0.4) : 0;
        return std::tanh(2 * (blast * 1.5 + boom + pop));
    }));
}

Samples_ Laser() {
    Oscillator square, sine;
    return Finish(Generate(0.4, [&](double t) {
        double f = Glide(t, 1800, 300, 0.3) * (1 + 0.03 * Sine(30 * t));
        return (0.5 * square.Next(Wave::Square, f, 0.3) + sine.Next(Wave::Sine, f * 0.5)) *
               Decay(t, 0.12);
    }));
}

Samples_ Thud() {
    Noise noise(6);
    OnePole low;
    double phase = 0;
    return Finish(Generate(0.35, [&](double t) {
        phase += Glide(t, 110, 40, 0.1) * kDt;
        return Sine(phase) * Decay(t, 0.12) + low.Low(noise.White(), 400) * Decay(t, 0.03) * 2;
    }));
}

Samples_ Mechanism() {
    Noise noise(7);
    Svf click, whine;
    Oscillator saw;
    return Finish(Generate(0.65, [&](double t) {
        double ticks = 0;
        for (int k = 0; k < 6; ++k) {
            double u = t - k * 0.05;
            if (u >= 0) ticks += Decay(u, 0.006) * (1 - 0.1 * k);
        }
        double x = click.Process(noise.White(), 2500, 0.8).band * ticks * 1.5 +
                   Sine(900 * t) * ticks * 0.4;
        if (t < 0.35)
            x += 0.25 *
                 whine.Process(saw.Next(Wave::Saw, Glide(t, 220, 330, 0.35)), 1200, 0.3).low *
                 std::sin(kPi * t / 0.35);
        if (t >= 0.42) x += 1.2 * Sine(90 * (t - 0.42)) * Decay(t - 0.42, 0.05);
        return x;
    }));
}

Samples_ SlideDoor() {
    Noise noise(8);
    OnePole rumble;
    Svf friction;
    return Finish(Generate(0.85, [&](double t) {
        double moving = t < 0.6 ? std::sin(kPi * Ramp(t, 0.6)) : 0;
        double x = (rumble.Low(noise.White(), 300) * 3 +
                    friction.Process(noise.White(), Glide(t, 800, 500, 0.6), 0.7).band) *
                   moving;
        if (t >= 0.6)
            x += (Sine(80 * (t - 0.6)) * 1.3 + Clang(t - 0.6, {320, 690}, 0.05)) *
                 Decay(t - 0.6, 0.07);
        return x;
    }));
}

Samples_ Whoosh() {
    Samples_ band = NoiseBand(0.7, 0.4, 9, [](double t) {
        return t < 0.3 ? Glide(t, 300, 2500, 0.3) : Glide(t - 0.3, 2500, 600, 0.4);
    });
    return Finish(Generate(0.7, [&](double t) {
        return band[static_cast<size_t>(t * kSampleRate)] * std::pow(std::sin(kPi * t / 0.7), 2);
    }));
}

Samples_ Jump() {
    Oscillator square;
    return Finish(Generate(0.25, [&](double t) {
        return square.Next(Wave::Square, Glide(t, 300, 900, 0.18), 0.25) * Decay(t, 0.12);
    }));
}

Samples_ RingBurst() {
    return Finish(Generate(0.9, [&](double t) {
        double index = 8 * Decay(t, 0.25);
        double x = 0;
        for (double detune : {1.0, 1.004, 0.996}) {
            double f = 660 * detune;
            x += Sine(f * t + index / kTwoPi * Sine(1.41 * f * t));
        }
        return x * Decay(t, 0.35) * Ramp(t, 0.003);
    }));
}

Samples_ Voice() {
    // A short shout, "ya!": a buzzing glottis through formants gliding from "i" to "a".
    Oscillator glottis;
    Noise breath(11);
    Svf formants[3];
    const double from[3] = {270, 2290, 3010}, to[3] = {730, 1090, 2440}, levels[3] = {1, 0.6, 0.3};
    return Finish(Generate(0.38, [&](double t) {
        double source = glottis.Next(Wave::Saw, Glide(t, 230, 175, 0.38)) + 0.15 * breath.White();
        double x = 0;
        for (int k = 0; k < 3; ++k)
            x += levels[k] * formants[k].Process(source, Glide(t, from[k], to[k], 0.07), 0.9).band;
        return x * Ramp(t, 0.02) * (t < 0.25 ? 1 : Decay(t - 0.25, 0.05));
    }));
}

Samples_ Pendulum() {
    Samples_ band =
        NoiseBand(0.5, 0.5, 12, [](double t) { return 600 + 800 * std::sin(kPi * t / 0.5); });
    return Finish(Generate(0.5, [&](double t) {
        double swell = std::pow(std::sin(kPi * t / 0.5), 2);
        return (band[static_cast<size_t>(t * kSampleRate)] + 0.3 * Sine((140 + 60 * swell) * t)) *
               swell;
    }));
}

Samples_ Click() {
    return Finish(Generate(0.08, [](double t) {
        double first = (Sine(3200 * t) + 0.6 * Sine(5200 * t)) * Decay(t, 0.005);
        double second = t >= 0.025
                            ? 0.5 * (Sine(3000 * (t - 0.025)) + 0.5 * Sine(4800 * (t - 0.025))) *
                                  Decay(t - 0.025, 0.004)
                            : 0;
        return first + second;
    }));
}

// A mallet tone for the memory game: the fundamental dominates, so the pitch is plain.
Samples_ MalletTone(double frequency) {
    return Finish(Generate(0.35, [=](double t) {
        return (Sine(frequency * t) + 0.25 * Sine(4 * frequency * t) * Decay(t, 0.04)) *
               Decay(t, 0.22) * Ramp(t, 0.003);
    }));
}

Samples_ Alarm() {
    Oscillator square;
    OnePole tone;
    return Finish(Generate(1.0, [&](double t) {
        int step = static_cast<int>(t / 0.125);
        double u = t - step * 0.125;
        double f = step % 2 == 0 ? 880 : 660;
        return tone.Low(square.Next(Wave::Square, f), 3000) * Ramp(u, 0.005) *
               Ramp(0.11 - u, 0.005);
    }));
}

Samples_ Sonic() {
    Oscillator sine;
    std::vector<float> history(static_cast<size_t>(Samples(0.8)));
    size_t at = 0;
    return Finish(Generate(0.8, [&](double t) {
        double x = sine.Next(Wave::Sine, Glide(t, 300, 1500, 0.6)) * (0.7 + 0.3 * Sine(18 * t));
        history[at] = static_cast<float>(x);
        // A comb with a moving delay makes it sweep like a phaser.
        size_t delay = static_cast<size_t>(Samples(0.002 + 0.0015 * Sine(0.8 * t)));
        double echoed = at >= delay ? history[at - delay] : 0;
        ++at;
        return (x + echoed) * std::sin(kPi * Ramp(t, 0.8)) * Ramp(t, 0.01);
    }));
}

Samples_ Push() {
    Noise noise(14);
    Svf scrape;
    OnePole rumble;
    return Finish(Generate(0.3, [&](double t) {
        double x =
            scrape.Process(noise.White(), 250, 0.8).band * 1.5 + rumble.Low(noise.White(), 150) * 3;
        return x * std::sin(kPi * Ramp(t, 0.3)) + Sine(65 * t) * Decay(t, 0.05) * 1.2;
    }));
}

Samples_ ExtraLife() {
    // C6, E6, G6, then C7 held with vibrato; a bell sparkle on top.
    const double notes[4] = {1046.5, 1318.5, 1568.0, 2093.0};
    Oscillator square;
    return Finish(Generate(0.62, [&](double t) {
        int k = std::min(3, static_cast<int>(t / 0.07));
        double u = t - k * 0.07;
        double f = notes[k] * (k == 3 ? 1 + 0.01 * Sine(7 * u) * Ramp(u, 0.1) : 1);
        // Each of the first three notes lets go in 3 ms before the next comes in.
        double level = k == 3 ? Decay(u, 0.25) : Ramp(0.07 - u, 0.003);
        double bell = Sine(2 * notes[k] * t) * Decay(u, 0.05) * 0.3;
        return (0.5 * square.Next(Wave::Square, f, 0.25) + bell) * level * Ramp(u, 0.004);
    }));
}

}  // namespace

const std::vector<SoundEffect>& SoundEffects() {
    static const std::vector<SoundEffect> effects = {
        {"loop04.wav", Drone},
        {"tm2_swing006.wav", HammerSwing},
        {"bom01.wav", PlayerHit},
        {"tm2_laser002.wav", Laser},
        {"bosu03.wav", Thud},
        {"mecha23_b.wav", Mechanism},
        {"tm2_slidedoor000.wav", SlideDoor},
        {"smoke03.wav", Whoosh},
        {"jump00.wav", Jump},
        {"fm006.wav", RingBurst},
        {"voice011.wav", Voice},
        {"swing41.wav", Pendulum},
        {"kachi39.wav", Click},
        {"do.wav", [] { return MalletTone(523.25); }},
        {"mi.wav", [] { return MalletTone(659.26); }},
        {"so.wav", [] { return MalletTone(783.99); }},
        {"alarm00.wav", Alarm},
        {"tm2_sonic004.wav", Sonic},
        {"push10.wav", Push},
        {"power19.wav", ExtraLife},
    };
    return effects;
}
