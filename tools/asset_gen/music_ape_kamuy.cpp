// "A-pe Kamuy": the final stage's theme, 140 BPM in G minor pentatonic, after the fire
// goddess of Ainu tradition: mouth-harp twangs and a tonkori ostinato, a chanting choir, war
// drums, and a saw lead with strings for the last fight.
#include "music.h"

namespace {

constexpr double kBar = 4;

struct Band {
    Track *taiko, *tom, *kick, *snare, *shaker, *crash, *mouthHarp, *tonkori, *chant, *bass, *lead,
        *strings;
};

void WarDrums(Song& s, Band& b, double at, int bars, bool full) {
    for (int bar = 0; bar < bars; ++bar) {
        double t = at + bar * kBar;
        s.Hits(*b.taiko, t, 0.25, "X..x..X...X.x...", 62, 0.9);
        s.Hits(*b.shaker, t, 0.25, "xoxoxoxoxoxoxoxo", 60, 0.6);
        if (full) {
            s.Hits(*b.kick, t, 0.25, "x...x...x...x...", 60, 0.85);
            s.Hits(*b.snare, t, 0.25, "....x.......x...", 60, 0.7);
        }
        if (bar % 4 == 3) s.Hits(*b.tom, t + 3, 0.25, "xxxx", 150, 0.8);
    }
}

void Twang(Song& s, Band& b, double at, int bars) {
    for (int bar = 0; bar < bars; ++bar) {
        s.Steps(*b.mouthHarp, at + bar * kBar, 0.25,
                bar % 2 == 0 ? "g4 . g4 g4 . d5 . g4 . . bb4 . c5 . g4 ."
                             : "g4 . g4 g4 . f5 . d5 . . c5 . bb4 . g4 .",
                0.8);
    }
}

const char* const kChords = "Gm F Eb F Gm F Eb Dm";

void Tonkori(Song& s, Band& b, double at, int bars) {
    for (int bar = 0; bar < bars; ++bar) {
        s.Steps(*b.tonkori, at + bar * kBar, 0.5,
                bar % 2 == 0 ? "g4 d5 bb4 d5 g4 f5 d5 bb4" : "f4 c5 a4 c5 f4 d5 c5 a4", 0.6);
    }
}

void Chant(Song& s, Band& b, double at) {
    s.Steps(*b.chant, at, 0.5,
            "g4 - - - bb4 - c5 -  d5 - - - c5 - bb4 -  g4 - - - f4 - g4 -  bb4 - - - - - . . "
            "d5 - - - f5 - d5 -  c5 - - - bb4 - c5 -  d5 - - - c5 - bb4 -  g4 - - - - - . .",
            0.7);
}

void Theme(Song& s, Band& b, double at) {
    s.Steps(*b.lead, at, 0.5,
            "d5 - - - f5 - g5 -  bb5 - - - g5 - f5 -  g5 - - - - - d5 -  f5 - g5 - bb5 - c6 - "
            "d6 - - - c6 - bb5 -  c6 - bb5 - g5 - f5 -  g5 - - - bb5 - c6 -  d6 - - - - - . .",
            0.8);
    s.Chords(*b.strings, at, kBar, kChords, 4, 0.45);
    s.ChordSteps(*b.bass, at, 0.5, kBar, kChords, "1 1 8 1 1 8 1 5", 2, 0.9);
    s.Hits(*b.crash, at, 4 * kBar, "xx");
}

}  // namespace

Composition ComposeApeKamuy() {
    Composition c{"a-pe-kamuy_mixv2.mp3", "A-PE KAMUY (FIRE GODDESS)", Song(140, 36)};
    Song& s = c.song;
    Band b{};
    b.taiko = &s.AddTrack(Instrument::Taiko, 0.55, 0, 0.3);
    b.tom = &s.AddTrack(Instrument::Tom, 0.7, -0.3, 0.25);
    b.kick = &s.AddTrack(Instrument::Kick, 0.85, 0, 0.05);
    b.snare = &s.AddTrack(Instrument::Snare, 0.7, 0.1, 0.3);
    b.shaker = &s.AddTrack(Instrument::Shaker, 0.5, 0.45, 0.1);
    b.crash = &s.AddTrack(Instrument::Crash, 0.4, -0.4, 0.3);
    b.mouthHarp = &s.AddTrack(Instrument::MouthHarp, 0.65, -0.25, 0.25, 0.15);
    b.tonkori = &s.AddTrack(Instrument::Tonkori, 1.0, 0.3, 0.3);
    b.chant = &s.AddTrack(Instrument::ChoirAh, 0.8, -0.1, 0.45);
    b.bass = &s.AddTrack(Instrument::Bass, 0.85, 0, 0.05);
    b.lead = &s.AddTrack(Instrument::SawLead, 0.9, 0.1, 0.3, 0.25);
    b.strings = &s.AddTrack(Instrument::Strings, 0.35, -0.3, 0.45);

    // Intro: drums and the mouth harp.
    WarDrums(s, b, 0, 4, false);
    Twang(s, b, 0, 4);
    // The chant over tonkori and mouth harp.
    WarDrums(s, b, 4 * kBar, 8, false);
    Twang(s, b, 4 * kBar, 8);
    Tonkori(s, b, 4 * kBar, 8);
    Chant(s, b, 4 * kBar);
    s.ChordSteps(*b.bass, 4 * kBar, 1, kBar, kChords, "1 - 1 5", 2, 0.8);
    // The battle theme.
    WarDrums(s, b, 12 * kBar, 8, true);
    Tonkori(s, b, 12 * kBar, 8);
    Theme(s, b, 12 * kBar);
    // Breakdown: the chant answered by the lead, the mouth harp back.
    WarDrums(s, b, 20 * kBar, 8, false);
    Twang(s, b, 20 * kBar, 8);
    Chant(s, b, 20 * kBar);
    s.Chords(*b.strings, 20 * kBar, kBar, kChords, 3, 0.35);
    s.ChordSteps(*b.bass, 20 * kBar, 1, kBar, kChords, "1 - 1 5", 2, 0.8);
    // The theme again; its last bar stops on a rest where the loop point falls.
    WarDrums(s, b, 28 * kBar, 7, true);
    Tonkori(s, b, 28 * kBar, 8);
    Theme(s, b, 28 * kBar);
    s.Hits(*b.taiko, 35 * kBar, 0.25, "X.X.X.x.XXXXX...", 62, 0.9);
    s.Hits(*b.kick, 35 * kBar, 0.25, "x...x...x...x...", 60, 0.85);
    return c;
}
