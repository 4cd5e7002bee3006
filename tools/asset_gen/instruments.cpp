#include "instruments.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "synth.h"

namespace {

using Voice = std::vector<float>;

constexpr double kDt = 1.0 / kSampleRate;

Voice Allocate(double seconds) {
    return Voice(static_cast<size_t>(Samples(seconds)));
}
double Ramp(double t, double time) {
    return std::clamp(t / time, 0.0, 1.0);
}

// Vibrato in semitones that fades in after `delay` seconds.
double Vibrato(double t, double rate, double depth, double delay) {
    return depth * Ramp(t - delay, 0.3) * Sine(rate * t);
}

// A fade over the last `time` seconds of the voice, so that every voice ends in silence.
void FadeTail(Voice* voice, double time) {
    size_t n = std::min(voice->size(), static_cast<size_t>(Samples(time)));
    for (size_t i = 0; i < n; ++i) (*voice)[voice->size() - 1 - i] *= static_cast<float>(i) / n;
}

Voice PulseLead(double f, double held, double velocity) {
    Adsr env{0.006, 0.18, 0.72, 0.09};
    Voice out = Allocate(env.Length(held));
    Oscillator square, saw(0.3);
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double pitch = f * BendRatio(Vibrato(t, 5.6, 0.18, 0.18));
        double width = 0.5 + 0.12 * Sine(0.7 * t);
        double x = 0.7 * square.Next(Wave::Square, pitch, width) +
                   0.35 * saw.Next(Wave::Saw, pitch * BendRatio(0.07));
        double cutoff = 2 * f + 1800 + 3500 * Decay(t, 0.25);
        out[i] = static_cast<float>(filter.Process(x, cutoff, 0.2).low * env.At(t, held) *
                                    velocity * 0.5);
    }
    return out;
}

Voice SawLead(double f, double held, double velocity) {
    Adsr env{0.01, 0.3, 0.8, 0.15};
    Voice out = Allocate(env.Length(held));
    Oscillator saws[3] = {Oscillator(0), Oscillator(0.33), Oscillator(0.66)};
    Oscillator sub;
    const double ratios[3] = {BendRatio(-0.11), 1, BendRatio(0.11)};
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double pitch = f * BendRatio(Vibrato(t, 5.4, 0.2, 0.25));
        double x = 0;
        for (int k = 0; k < 3; ++k) x += saws[k].Next(Wave::Saw, pitch * ratios[k]);
        x = x * 0.33 + 0.2 * sub.Next(Wave::Square, pitch / 2);
        double cutoff = 2 * f + 1200 + 5000 * Decay(t, 0.35);
        out[i] = static_cast<float>(filter.Process(x, cutoff, 0.25).low * env.At(t, held) *
                                    velocity * 0.55);
    }
    return out;
}

Voice Bass(double f, double held, double velocity) {
    Adsr env{0.003, 0.2, 0.75, 0.05};
    Voice out = Allocate(env.Length(held));
    Oscillator saw, sine;
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double x = 0.6 * saw.Next(Wave::Saw, f) + 0.7 * sine.Next(Wave::Sine, f);
        double cutoff = 1.5 * f + 180 + 2200 * velocity * Decay(t, 0.09);
        out[i] = static_cast<float>(filter.Process(x, cutoff, 0.35).low * env.At(t, held) *
                                    velocity * 0.6);
    }
    return out;
}

Voice Pad(double f, double held, double velocity, uint64_t seed, bool bright) {
    Adsr env = bright ? Adsr{0.12, 0.3, 0.9, 0.4} : Adsr{0.35, 0.5, 0.85, 0.7};
    Voice out = Allocate(env.Length(held));
    Random random(seed);
    const double ratios[3] = {BendRatio(-0.12), 1, BendRatio(0.12)};
    Oscillator saws[3];
    for (auto& s : saws) s = Oscillator(random.Unit());
    Svf filter;
    OnePole thin;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double pitch = f * BendRatio(bright ? Vibrato(t, 5.0, 0.08, 0.2) : 0);
        double x = 0;
        for (int k = 0; k < 3; ++k) x += saws[k].Next(Wave::Saw, pitch * ratios[k]);
        double cutoff = bright ? 2800 + 2 * f : 900 + 700 * (0.5 + 0.5 * Sine(0.3 * t)) + f;
        double y = filter.Process(x * 0.33, cutoff, 0.1).low;
        if (bright) y = thin.High(y, 200);
        out[i] = static_cast<float>(y * env.At(t, held) * velocity * 0.6);
    }
    return out;
}

Voice EPiano(double f, double held, double velocity) {
    const double release = 0.25;
    Voice out = Allocate(held + release);
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double index = 1.8 * velocity * Decay(t, 0.5) + 0.3;
        double x =
            Sine(f * t + index / kTwoPi * Sine(f * t)) + 0.15 * Sine(7 * f * t) * Decay(t, 0.05);
        double gate = t < held ? 1 : 1 - (t - held) / release;
        out[i] = static_cast<float>(x * Decay(t, 1.6) * gate * velocity * 0.4);
    }
    return out;
}

Voice Bell(double f, double velocity) {
    Voice out = Allocate(2.2);
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double index = 2.5 * Decay(t, 1.2);
        double x = Sine(f * t + index / kTwoPi * Sine(3.5 * f * t));
        out[i] = static_cast<float>(x * Decay(t, 0.7) * Ramp(t, 0.002) * velocity * 0.35);
    }
    FadeTail(&out, 0.2);
    return out;
}

Voice Glocken(double f, double velocity) {
    Voice out = Allocate(1.5);
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double x = Sine(f * t) + 0.35 * Sine(2.76 * f * t) * Decay(t, 0.4) +
                   0.2 * Sine(5.4 * f * t) * Decay(t, 0.15);
        out[i] = static_cast<float>(x * Decay(t, 0.8) * Ramp(t, 0.001) * velocity * 0.3);
    }
    FadeTail(&out, 0.2);
    return out;
}

// A plucked string that rings `ring` seconds past its held time and is then damped.
Voice Plucked(double f, double held, double ring, double brightness, double sustain,
              double velocity, uint64_t seed) {
    Voice out = PluckedString(f, held + ring, brightness, sustain, seed);
    for (float& s : out) s *= static_cast<float>(velocity * 0.5);
    FadeTail(&out, std::min(ring, 0.15));
    return out;
}

Voice Tonkori(double f, double held, double velocity, uint64_t seed) {
    Voice out = Plucked(f, held, 1.5, 0.35, 3.0, velocity, seed);
    for (float& s : out) s = static_cast<float>(std::tanh(2.5 * s) / std::tanh(2.5) * 0.6);
    return out;
}

Voice Harpsichord(double f, double held, double velocity, uint64_t seed) {
    Voice low = Plucked(f, held, 0.1, 0.95, 1.2, velocity, seed);
    Voice high = Plucked(2 * f, held, 0.1, 0.95, 0.8, velocity * 0.5, seed + 1);
    for (size_t i = 0; i < low.size() && i < high.size(); ++i) low[i] += high[i];
    return low;
}

Voice Koto(double f, double held, double velocity, uint64_t seed) {
    Voice out = Plucked(f, held, 0.8, 0.8, 1.6, velocity, seed);
    Noise noise(seed + 7);
    Svf click;
    for (size_t i = 0; i < out.size() && i < static_cast<size_t>(Samples(0.02)); ++i) {
        out[i] += static_cast<float>(click.Process(noise.White(), 3000, 0.5).band *
                                     Decay(i * kDt, 0.004) * velocity * 0.3);
    }
    return out;
}

Voice Flute(double f, double held, double velocity, uint64_t seed, bool shakuhachi) {
    Adsr env = shakuhachi ? Adsr{0.07, 0.2, 0.85, 0.18} : Adsr{0.05, 0.2, 0.9, 0.15};
    Voice out = Allocate(env.Length(held));
    Oscillator tone;
    Noise noise(seed);
    Svf breathFilter;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double scoop = shakuhachi ? -0.8 * (1 - Ramp(t, 0.09)) : 0;
        double vibrato = shakuhachi ? Vibrato(t, 4.8, 0.25, 0.3) : Vibrato(t, 5.0, 0.12, 0.2);
        double pitch = f * BendRatio(scoop + vibrato);
        double phaseValue = tone.Next(Wave::Sine, pitch);
        double x = phaseValue + 0.25 * (2 * phaseValue * phaseValue - 1) * (shakuhachi ? 1 : 0.4);
        double breath = breathFilter.Process(noise.White(), 2 * f, 0.7).band;
        double breathLevel =
            shakuhachi ? 0.12 + 0.35 * Decay(t, 0.1) : 0.05 + 0.15 * Decay(t, 0.08);
        double swell = 0.85 + 0.15 * Ramp(t, held + 0.01);
        out[i] = static_cast<float>((x + breath * breathLevel * 3) * env.At(t, held) * swell *
                                    velocity * 0.35);
    }
    return out;
}

Voice Organ(double f, double held, double velocity, uint64_t seed) {
    Adsr env{0.008, 0.01, 1.0, 0.06};
    Voice out = Allocate(env.Length(held));
    constexpr std::array<double, 7> kRatios = {0.5, 1, 2, 3, 4, 6, 8};
    constexpr std::array<double, 7> kLevels = {0.5, 1, 0.7, 0.4, 0.35, 0.15, 0.1};
    Noise noise(seed);
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double x = 0;
        for (size_t k = 0; k < kRatios.size(); ++k) x += kLevels[k] * Sine(kRatios[k] * f * t);
        x *= 1 + 0.12 * Sine(6.2 * t);
        x += noise.White() * Decay(t, 0.004) * 0.8;  // key click
        out[i] = static_cast<float>(x * env.At(t, held) * velocity * 0.15);
    }
    return out;
}

Voice Theremin(double f, double held, double velocity) {
    Adsr env{0.08, 0.1, 0.9, 0.25};
    Voice out = Allocate(env.Length(held));
    Oscillator tone, triangle;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double pitch = f * BendRatio(-1.5 * Decay(t, 0.04) + Vibrato(t, 6.0, 0.35, 0.05));
        double s = tone.Next(Wave::Sine, pitch);
        double x = s + 0.15 * (2 * s * s - 1) + 0.05 * triangle.Next(Wave::Triangle, pitch);
        out[i] = static_cast<float>(x * env.At(t, held) * velocity * 0.4);
    }
    return out;
}

Voice MouthHarp(double f, double held, double velocity) {
    Adsr env{0.004, 0.3, 0.5, 0.12};
    Voice out = Allocate(env.Length(held));
    // The drone has the note as one of its harmonics; the mouth's resonance picks it out.
    const double harmonic = std::max(2.0, std::round(f / 100));
    const double drone = f / harmonic;
    Oscillator source;
    Svf mouth;
    OnePole body;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double buzz = source.Next(Wave::Saw, drone);
        double centre = f * (0.55 + 0.45 * Ramp(t, 0.08));
        double x = 1.6 * mouth.Process(buzz, centre, 0.93).band + 0.25 * body.Low(buzz, 300);
        double pluck = 0.6 + 0.4 * Decay(t, 0.15);
        out[i] = static_cast<float>(x * pluck * env.At(t, held) * velocity * 0.45);
    }
    return out;
}

Voice Choir(double f, double held, double velocity, bool ah) {
    Adsr env{0.2, 0.2, 0.9, 0.35};
    Voice out = Allocate(env.Length(held));
    struct Formant {
        double frequency, level;
    };
    const Formant kAh[3] = {{700, 1.0}, {1220, 0.5}, {2600, 0.25}};
    const Formant kOo[3] = {{300, 1.0}, {870, 0.4}, {2240, 0.15}};
    const Formant* formants = ah ? kAh : kOo;
    Oscillator voices[3] = {Oscillator(0), Oscillator(0.4), Oscillator(0.7)};
    const double ratios[3] = {BendRatio(-0.08), 1, BendRatio(0.08)};
    Svf filters[3];
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double pitch = f * BendRatio(Vibrato(t, 5.2, 0.15, 0.15));
        double source = 0;
        for (int k = 0; k < 3; ++k) source += voices[k].Next(Wave::Saw, pitch * ratios[k]);
        double x = 0;
        for (int k = 0; k < 3; ++k)
            x += formants[k].level * filters[k].Process(source, formants[k].frequency, 0.85).band;
        out[i] = static_cast<float>(x * env.At(t, held) * velocity * 0.12);
    }
    return out;
}

Voice Kick(double velocity, uint64_t seed) {
    Voice out = Allocate(0.5);
    Noise noise(seed);
    OnePole click;
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        phase += (48 + 112 * Decay(t, 0.035)) * kDt;
        double x =
            Sine(phase) * Decay(t, 0.28) + 0.4 * click.High(noise.White(), 2000) * Decay(t, 0.004);
        out[i] = static_cast<float>(std::tanh(1.5 * x) * velocity * 0.45);
    }
    FadeTail(&out, 0.05);
    return out;
}

Voice Snare(double velocity, uint64_t seed) {
    Voice out = Allocate(0.35);
    Noise noise(seed);
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double tone = 0.5 * Sine(185 * t) * Decay(t, 0.06) + 0.3 * Sine(330 * t) * Decay(t, 0.04);
        double rattle = filter.Process(noise.White(), 3000, 0.2).band + 0.3 * noise.White();
        out[i] = static_cast<float>((tone + 0.8 * rattle * Decay(t, 0.14)) * velocity * 1.0);
    }
    FadeTail(&out, 0.05);
    return out;
}

Voice Clap(double velocity, uint64_t seed) {
    Voice out = Allocate(0.3);
    Noise noise(seed);
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double env = 0;
        for (double start : {0.0, 0.011, 0.022}) env += t >= start ? Decay(t - start, 0.006) : 0;
        env += t >= 0.03 ? 0.7 * Decay(t - 0.03, 0.12) : 0;
        out[i] = static_cast<float>(filter.Process(noise.White(), 1200, 0.5).band * env * velocity *
                                    1.4);
    }
    FadeTail(&out, 0.05);
    return out;
}

// Six detuned squares and noise above `cutoff`: the metal of hats and cymbals.
Voice Metal(double seconds, double decay, double cutoff, double velocity, uint64_t seed) {
    Voice out = Allocate(seconds);
    constexpr double kRatios[6] = {2, 3, 4.16, 5.43, 6.79, 8.21};
    Oscillator squares[6];
    Noise noise(seed);
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double x = 0.5 * noise.White();
        for (int k = 0; k < 6; ++k)
            x += 0.15 * squares[k].Next(Wave::Square, 40 * kRatios[k] * 3.3);
        double attack = Ramp(t, 0.001);
        out[i] = static_cast<float>(filter.Process(x, cutoff, 0.1).high * Decay(t, decay) * attack *
                                    velocity * 0.9);
    }
    FadeTail(&out, 0.05);
    return out;
}

// A pitched membrane: the pitch falls from `bend` x f to f, with an inharmonic overtone.
Voice Drum(double f, double bend, double decay, double seconds, double noiseLevel,
           double noiseCutoff, double velocity, uint64_t seed) {
    Voice out = Allocate(seconds);
    Noise noise(seed);
    Svf skin;
    double phase = 0, phase2 = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double pitch = f * (1 + (bend - 1) * Decay(t, 0.03));
        phase += pitch * kDt;
        phase2 += pitch * 1.59 * kDt;
        double x = Sine(phase) * Decay(t, decay) + 0.3 * Sine(phase2) * Decay(t, decay * 0.35) +
                   noiseLevel * skin.Process(noise.White(), noiseCutoff, 0.3).band * Decay(t, 0.02);
        out[i] = static_cast<float>(std::tanh(1.3 * x) * velocity * 0.45);
    }
    FadeTail(&out, 0.08);
    return out;
}

// A short knock: noise ringing at `f` with a tone under it.
Voice Knock(double f, double decay, double velocity, uint64_t seed) {
    Voice out = Allocate(0.15);
    Noise noise(seed);
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double x = filter.Process(noise.White(), f * 1.4, 0.9).band + 0.6 * Sine(f * t);
        out[i] = static_cast<float>(x * Decay(t, decay) * velocity * 0.5);
    }
    FadeTail(&out, 0.03);
    return out;
}

Voice Shaker(double velocity, uint64_t seed) {
    Voice out = Allocate(0.12);
    Noise noise(seed);
    Svf filter;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = i * kDt;
        double env = Ramp(t, 0.02) * Decay(t, 0.05);
        out[i] = static_cast<float>(filter.Process(noise.White(), 5000, 0.1).high * env * velocity *
                                    0.8);
    }
    FadeTail(&out, 0.03);
    return out;
}

}  // namespace

std::vector<float> PlayNote(Instrument instrument, double f, double held, double velocity,
                            uint64_t seed) {
    switch (instrument) {
        case Instrument::PulseLead:
            return PulseLead(f, held, velocity);
        case Instrument::SawLead:
            return SawLead(f, held, velocity);
        case Instrument::Bass:
            return Bass(f, held, velocity);
        case Instrument::Pad:
            return Pad(f, held, velocity, seed, false);
        case Instrument::Strings:
            return Pad(f, held, velocity, seed, true);
        case Instrument::EPiano:
            return EPiano(f, held, velocity);
        case Instrument::Bell:
            return Bell(f, velocity);
        case Instrument::Glocken:
            return Glocken(f, velocity);
        case Instrument::Harp:
            return Plucked(f, held, 1.2, 0.5, 2.0, velocity, seed);
        case Instrument::Koto:
            return Koto(f, held, velocity, seed);
        case Instrument::Tonkori:
            return Tonkori(f, held, velocity, seed);
        case Instrument::Harpsichord:
            return Harpsichord(f, held, velocity, seed);
        case Instrument::Shakuhachi:
            return Flute(f, held, velocity, seed, true);
        case Instrument::Flute:
            return Flute(f, held, velocity, seed, false);
        case Instrument::Organ:
            return Organ(f, held, velocity, seed);
        case Instrument::Theremin:
            return Theremin(f, held, velocity);
        case Instrument::MouthHarp:
            return MouthHarp(f, held, velocity);
        case Instrument::ChoirAh:
            return Choir(f, held, velocity, true);
        case Instrument::ChoirOo:
            return Choir(f, held, velocity, false);
        case Instrument::Kick:
            return Kick(velocity, seed);
        case Instrument::Snare:
            return Snare(velocity, seed);
        case Instrument::Clap:
            return Clap(velocity, seed);
        case Instrument::HatClosed:
            return Metal(0.12, 0.035, 7000, velocity, seed);
        case Instrument::HatOpen:
            return Metal(0.6, 0.25, 7000, velocity, seed);
        case Instrument::Crash:
            return Metal(2.5, 0.9, 4000, velocity * 1.2, seed);
        case Instrument::Tom:
            return Drum(f, 1.6, 0.22, 0.5, 0.4, 1500, velocity, seed);
        case Instrument::Taiko:
            return Drum(f, 1.5, 0.45, 1.2, 0.8, 500, velocity, seed);
        case Instrument::TaikoRim:
            return Knock(1100, 0.02, velocity, seed);
        case Instrument::Tsudumi:
            return Drum(f, 1.15, 0.28, 0.8, 0.5, 2000, velocity, seed);
        case Instrument::TsudumiSlap:
            return Knock(700, 0.03, velocity * 1.2, seed);
        case Instrument::Woodblock:
            return Knock(f, 0.04, velocity, seed);
        case Instrument::Shaker:
            return Shaker(velocity, seed);
    }
    return {};
}
