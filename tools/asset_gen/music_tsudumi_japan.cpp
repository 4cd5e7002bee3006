// "Tsudumi Japan": the Japanese stages' theme, 124 BPM on D with the in scale's minor second:
// shoulder drums and taiko, a koto ostinato, a shakuhachi melody over a modern bass and kick.
#include "music.h"

namespace {

constexpr double kBar = 4;

struct Band {
    Track *taiko, *rim, *pon, *ta, *woodblock, *kick, *hat, *shakuhachi, *koto, *bass, *strings;
};

void Drums(Song& s, Band& b, double at, int bars, bool driving) {
    for (int bar = 0; bar < bars; ++bar) {
        double t = at + bar * kBar;
        s.Hits(*b.taiko, t, 0.25, bar % 2 == 0 ? "X.......x...x..." : "X.......X.x.x...", 70, 0.9);
        s.Hits(*b.pon, t, 0.5, "x...x.x.", 330, 0.8);
        s.Hits(*b.ta, t, 0.5, "..x....x", 60, 0.7);
        s.Hits(*b.woodblock, t, 1, bar % 4 == 3 ? "..xx" : "....", 1800, 0.6);
        if (driving) {
            s.Hits(*b.kick, t, 0.25, "x...x...x...x...", 60, 0.8);
            s.Hits(*b.hat, t, 0.25, "..x...x...x...x.", 60, 0.4);
            s.Hits(*b.rim, t, 0.25, "....x.......x...", 60, 0.6);
        }
    }
}

void Koto(Song& s, Band& b, double at, int bars, bool fast) {
    for (int bar = 0; bar < bars; ++bar) {
        double t = at + bar * kBar;
        const char* figure = bar % 4 == 2   ? "c5 g4 c5 d5 c5 g4 f4 g4"
                             : bar % 4 == 1 ? "eb5 bb4 eb5 f5 eb5 bb4 g4 bb4"
                                            : "d5 a4 d5 eb5 d5 a4 g4 a4";
        s.Steps(*b.koto, t, 0.25, figure, 0.55);
        s.Steps(*b.koto, t + 2, 0.25, fast ? figure : "d5 . a4 . g4 . a4 .", 0.5);
    }
}

const char* const kChords = "Dm Eb C Dm Dm Eb C Dm";

void Melody(Song& s, Band& b, double at, bool answer) {
    s.Steps(*b.shakuhachi, at, 0.5,
            "a5 - - - bb5 a5 g5 -  a5 - - - - - . .  d6 - - - c6 - a5 -  bb5 - a5 - g5 - - - ",
            0.85);
    s.Steps(
        *b.shakuhachi, at + 4 * kBar, 0.5,
        answer
            ? "g5 - a5 - bb5 - d6 -  eb6 - d6 - c6 - a5 -  bb5 - a5 - g5 - f5 -  d5 - - - - - . ."
            : "a5 - - - bb5 a5 g5 -  d5 - - - f5 - g5 -  a5 - bb5 - a5 - g5 f5  d5 - - - - - . .",
        0.85);
    s.ChordSteps(*b.bass, at, 0.5, kBar, kChords, "1 - . 1 8 . 1 5", 2, 0.85);
    s.Chords(*b.strings, at, kBar, kChords, 4, 0.3);
}

}  // namespace

Composition ComposeTsudumiJapan() {
    Composition c{"tsudumi-japan.mp3", "TSUDUMI JAPAN", Song(124, 32)};
    Song& s = c.song;
    Band b{};
    b.taiko = &s.AddTrack(Instrument::Taiko, 0.7, 0, 0.3);
    b.rim = &s.AddTrack(Instrument::TaikoRim, 0.8, -0.3, 0.2);
    b.pon = &s.AddTrack(Instrument::Tsudumi, 0.8, 0.35, 0.4);
    b.ta = &s.AddTrack(Instrument::TsudumiSlap, 0.55, 0.4, 0.3);
    b.woodblock = &s.AddTrack(Instrument::Woodblock, 0.8, -0.5, 0.4);
    b.kick = &s.AddTrack(Instrument::Kick, 0.8, 0, 0.05);
    b.hat = &s.AddTrack(Instrument::HatClosed, 0.35, 0.3, 0.05);
    b.shakuhachi = &s.AddTrack(Instrument::Shakuhachi, 0.75, -0.1, 0.5, 0.25);
    b.koto = &s.AddTrack(Instrument::Koto, 1.0, 0.25, 0.3, 0.1);
    b.bass = &s.AddTrack(Instrument::Bass, 0.8, 0, 0.05);
    b.strings = &s.AddTrack(Instrument::Strings, 0.3, -0.35, 0.45);

    // Intro: drums and koto alone.
    Drums(s, b, 0, 4, false);
    Koto(s, b, 0, 4, false);
    // Verse, then the driving section with the answer phrase, the verse again and a turn.
    Melody(s, b, 4 * kBar, false);
    Drums(s, b, 4 * kBar, 8, false);
    Koto(s, b, 4 * kBar, 8, false);
    Melody(s, b, 12 * kBar, true);
    Drums(s, b, 12 * kBar, 8, true);
    Koto(s, b, 12 * kBar, 8, true);
    Melody(s, b, 20 * kBar, false);
    Drums(s, b, 20 * kBar, 8, true);
    Koto(s, b, 20 * kBar, 8, false);
    Koto(s, b, 28 * kBar, 3, true);
    Drums(s, b, 28 * kBar, 3, false);
    s.ChordSteps(*b.bass, 28 * kBar, 0.5, kBar, "Dm Eb C", "1 - . 1 8 . 1 5", 2, 0.8);
    // A taiko roll that stops short of the loop point.
    s.Hits(*b.taiko, 31 * kBar, 0.25, "X.x.x.xxXXXXX...", 70, 0.9);
    s.Hits(*b.pon, 31 * kBar, 0.5, "x.x.x...", 330, 0.8);
    return c;
}
