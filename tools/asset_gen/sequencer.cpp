#include "sequencer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "mix_levels.h"
#include "random.h"
#include "synth.h"

namespace {

std::vector<std::string> Tokens(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) tokens.push_back(token);
    return tokens;
}

int PitchClass(char letter) {
    static const std::map<char, int> kClasses = {{'c', 0}, {'d', 2}, {'e', 4}, {'f', 5},
                                                 {'g', 7}, {'a', 9}, {'b', 11}};
    auto found = kClasses.find(static_cast<char>(std::tolower(letter)));
    if (found == kClasses.end()) {
        std::fprintf(stderr, "bad note letter %c\n", letter);
        std::abort();
    }
    return found->second;
}

// Root pitch class and the rest of the name after the root ("F#m7" -> 6, "m7").
int ParseRoot(const std::string& name, size_t* rest) {
    int pitch = PitchClass(name[0]);
    *rest = 1;
    if (name.size() > 1 && name[1] == '#') {
        ++pitch;
        *rest = 2;
    } else if (name.size() > 1 && name[1] == 'b') {
        --pitch;
        *rest = 2;
    }
    return pitch;
}

}  // namespace

int NoteNumber(const std::string& name) {
    size_t rest = 0;
    int pitch = ParseRoot(name, &rest);
    int octave = std::stoi(name.substr(rest));
    return 12 * (octave + 1) + pitch;
}

std::vector<int> ChordTones(const std::string& name, int octave) {
    static const std::map<std::string, std::vector<int>> kQualities = {
        {"", {0, 4, 7}},         {"m", {0, 3, 7}},        {"7", {0, 4, 7, 10}},
        {"m7", {0, 3, 7, 10}},   {"maj7", {0, 4, 7, 11}}, {"sus4", {0, 5, 7}},
        {"sus2", {0, 2, 7}},     {"dim", {0, 3, 6}},      {"aug", {0, 4, 8}},
        {"add9", {0, 4, 7, 14}}, {"5", {0, 7}},           {"m9", {0, 3, 7, 10, 14}},
    };
    size_t rest = 0;
    int root = 12 * (octave + 1) + ParseRoot(name, &rest);
    auto found = kQualities.find(name.substr(rest));
    if (found == kQualities.end()) {
        std::fprintf(stderr, "bad chord %s\n", name.c_str());
        std::abort();
    }
    std::vector<int> tones;
    for (int interval : found->second) tones.push_back(root + interval);
    return tones;
}

Track& Song::AddTrack(Instrument instrument, double gain, double pan, double reverb, double echo) {
    tracks_.push_back({instrument, gain, pan, reverb, echo, {}});
    return tracks_.back();
}

double Song::Swung(double beat, size_t step, double stepBeats) const {
    return beat + (step % 2 == 1 ? swing_ * stepBeats : 0);
}

void Song::Steps(Track& track, double beat, double stepBeats, const std::string& steps,
                 double velocity, int transpose) {
    std::vector<std::string> tokens = Tokens(steps);
    NoteEvent* open = nullptr;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        if (token == "-") {
            if (open != nullptr) open->beats += stepBeats;
            continue;
        }
        open = nullptr;
        if (token == ".") continue;
        track.notes.push_back({Swung(beat + i * stepBeats, i, stepBeats), stepBeats,
                               static_cast<double>(NoteNumber(token) + transpose), velocity});
        open = &track.notes.back();
    }
}

void Song::Hits(Track& track, double beat, double stepBeats, const std::string& pattern,
                double pitch, double velocity) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        double level = pattern[i] == 'x'   ? velocity
                       : pattern[i] == 'X' ? std::min(1.0, velocity * 1.3)
                       : pattern[i] == 'o' ? velocity * 0.5
                                           : 0;
        if (level > 0)
            track.notes.push_back(
                {Swung(beat + i * stepBeats, i, stepBeats), stepBeats, pitch, level});
    }
}

void Song::Chords(Track& track, double beat, double beatsEach, const std::string& names, int octave,
                  double velocity) {
    // Close voicing: every tone within the octave from E of `octave`, so chords move smoothly.
    const int lowest = 12 * (octave + 1) + 4;
    std::vector<std::string> tokens = Tokens(names);
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == ".") continue;
        for (int tone : ChordTones(tokens[i], octave)) {
            int placed = lowest + ((tone - lowest) % 12 + 12) % 12;
            track.notes.push_back(
                {beat + i * beatsEach, beatsEach, static_cast<double>(placed), velocity});
        }
    }
}

void Song::ChordSteps(Track& track, double beat, double stepBeats, double beatsEach,
                      const std::string& names, const std::string& steps, int octave,
                      double velocity) {
    std::vector<std::string> chords = Tokens(names);
    std::vector<std::string> tokens = Tokens(steps);
    const size_t stepsPerChord = static_cast<size_t>(std::lround(beatsEach / stepBeats));
    for (size_t c = 0; c < chords.size(); ++c) {
        if (chords[c] == ".") continue;
        std::vector<int> tones = ChordTones(chords[c], octave);
        NoteEvent* open = nullptr;
        for (size_t i = 0; i < stepsPerChord; ++i) {
            const std::string& token = tokens[i % tokens.size()];
            if (token == "-") {
                if (open != nullptr) open->beats += stepBeats;
                continue;
            }
            open = nullptr;
            if (token == ".") continue;
            int pitch = tones[0];
            switch (token[0]) {
                case '3':
                    pitch = tones[1];
                    break;
                case '5':
                    pitch = tones[2 % tones.size()];
                    break;
                case '7':
                    pitch = tones.size() > 3 ? tones[3] : tones[0] + 10;
                    break;
                case '8':
                    pitch = tones[0] + 12;
                    break;
                case '9':
                    pitch = tones[0] + 14;
                    break;
                case '0':
                    pitch = tones[2 % tones.size()] - 12;
                    break;
                default:
                    break;
            }
            size_t step = c * stepsPerChord + i;
            track.notes.push_back({Swung(beat + step * stepBeats, step, stepBeats), stepBeats,
                                   static_cast<double>(pitch), velocity});
            open = &track.notes.back();
        }
    }
}

namespace {

// A ping-pong echo of a dotted eighth, its repeats darkening.
class Echo {
public:
    explicit Echo(int delay)
        : left_(static_cast<size_t>(delay)), right_(static_cast<size_t>(delay)) {}
    void Process(float in, float* outLeft, float* outRight) {
        float l = left_[at_], r = right_[at_];
        left_[at_] = static_cast<float>(in + damp_.Low(r, 3000) * 0.38);
        right_[at_] = l;
        at_ = (at_ + 1) % left_.size();
        *outLeft = l;
        *outRight = r;
    }

private:
    std::vector<float> left_, right_;
    size_t at_ = 0;
    OnePole damp_;
};

// Runs a stereo effect over a loop so that its state at the start is the state the end
// leaves: the last `warmUp` samples go through it first.
template <typename Effect>
void ProcessLoop(Effect* effect, const std::vector<float>& input, std::vector<float>* left,
                 std::vector<float>* right, double gain) {
    const size_t n = input.size();
    const size_t warmUp = std::min(n, static_cast<size_t>(Samples(4.0)));
    float l, r;
    for (size_t i = n - warmUp; i < n; ++i) effect->Process(input[i], &l, &r);
    for (size_t i = 0; i < n; ++i) {
        effect->Process(input[i], &l, &r);
        (*left)[i] += static_cast<float>(l * gain);
        (*right)[i] += static_cast<float>(r * gain);
    }
}

constexpr float kKnee = 0.7f, kCeiling = 0.92f;

// Peaks above the knee are bent smoothly towards the ceiling.
float Limit(float x) {
    float magnitude = std::abs(x);
    if (magnitude <= kKnee) return x;
    float over = (magnitude - kKnee) / (kCeiling - kKnee);
    return std::copysign(kKnee + (kCeiling - kKnee) * std::tanh(over), x);
}

}  // namespace

StereoLoop RenderLoop(const Song& song, int period, int downbeat, int silentFrom, int silentTo) {
    const size_t n = static_cast<size_t>(period);
    const double samplesPerBeat = static_cast<double>(period) / song.Beats();
    const double secondsPerBeat = samplesPerBeat / kSampleRate;
    StereoLoop out{std::vector<float>(n), std::vector<float>(n)};
    std::vector<float> reverbSend(n), echoSend(n), dry(n);
    for (size_t t = 0; t < song.Tracks().size(); ++t) {
        const Track& track = song.Tracks()[t];
        std::fill(dry.begin(), dry.end(), 0.0f);
        for (size_t k = 0; k < track.notes.size(); ++k) {
            const NoteEvent& note = track.notes[k];
            std::vector<float> voice =
                PlayNote(track.instrument, NoteFrequency(note.pitch), note.beats * secondsPerBeat,
                         note.velocity, Hash32(static_cast<uint32_t>(t * 100003 + k)));
            size_t start =
                static_cast<size_t>(std::lround(downbeat + note.beat * samplesPerBeat)) % n;
            for (size_t i = 0; i < voice.size(); ++i) dry[(start + i) % n] += voice[i];
        }
        const double angle = (track.pan + 1) * kTwoPi / 8;
        const float gainLeft = static_cast<float>(std::cos(angle) * std::sqrt(2.0) * track.gain);
        const float gainRight = static_cast<float>(std::sin(angle) * std::sqrt(2.0) * track.gain);
        for (size_t i = 0; i < n; ++i) {
            out.left[i] += dry[i] * gainLeft;
            out.right[i] += dry[i] * gainRight;
            reverbSend[i] += static_cast<float>(dry[i] * track.gain * track.reverb);
            echoSend[i] += static_cast<float>(dry[i] * track.gain * track.echo);
        }
    }
    Reverb reverb(0.8, 0.4);
    ProcessLoop(&reverb, reverbSend, &out.left, &out.right, 1.0);
    Echo echo(static_cast<int>(samplesPerBeat * 0.75));
    ProcessLoop(&echo, echoSend, &out.left, &out.right, 0.5);

    // Master: a steady loudness, the limiter, then down to the music's level in the game's mix.
    double energy = 0;
    for (size_t i = 0; i < n; ++i)
        energy += out.left[i] * out.left[i] + out.right[i] * out.right[i];
    const double rms = std::sqrt(energy / (2.0 * n));
    const float gain = static_cast<float>(rms > 0 ? 0.17 / rms : 1);
    const float level = static_cast<float>(kMusicPeak / kCeiling);
    for (size_t i = 0; i < n; ++i) {
        out.left[i] = Limit(out.left[i] * gain) * level;
        out.right[i] = Limit(out.right[i] * gain) * level;
    }

    // The silent gap around the loop point, with a 10 ms fade out and a 1 ms fade in.
    const int fadeOut = Samples(0.010), fadeIn = Samples(0.001);
    for (int i = 0; i < period; ++i) {
        double level = 1;
        if (i >= silentFrom || i < silentTo)
            level = 0;
        else if (i >= silentFrom - fadeOut)
            level = (silentFrom - i) / static_cast<double>(fadeOut);
        else if (i < silentTo + fadeIn)
            level = (i - silentTo) / static_cast<double>(fadeIn);
        out.left[i] *= static_cast<float>(level);
        out.right[i] *= static_cast<float>(level);
    }
    return out;
}
