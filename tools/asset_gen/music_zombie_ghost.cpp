// "Zombie Ghost": the haunted stages' theme, a swung 132 BPM in E minor: theremin over organ
// stabs, a harpsichord riff, a music box and a choir of ghosts.
#include "music.h"

namespace {

constexpr double kBar = 4;

struct Band {
    Track *kick, *snare, *hat, *crash, *organ, *theremin, *harpsichord, *bass, *choir, *musicBox;
};

void Shuffle(Song& s, Band& b, double at, int bars, bool fill) {
    for (int bar = 0; bar < bars; ++bar) {
        double t = at + bar * kBar;
        s.Hits(*b.kick, t, 0.5, "x..xx...");
        s.Hits(*b.snare, t, 0.5, bar == bars - 1 && fill ? "..x..xxx" : "..x...x.", 60, 0.7);
        s.Hits(*b.hat, t, 0.5, "xoxoxoxo", 60, 0.5);
    }
}

void Intro(Song& s, Band& b, double at) {
    const char* chords = "Em C Am B7";
    s.Chords(*b.organ, at, kBar, chords, 4, 0.5);
    s.Chords(*b.choir, at, kBar, chords, 4, 0.5);
    s.Steps(*b.musicBox, at, 0.5,
            "e6 g6 b6 g6 e6 g6 b6 g6  e6 g6 c7 g6 e6 g6 c7 g6  e6 a6 c7 a6 e6 a6 c7 a6  d#6 f#6 b6 "
            "f#6 d#6 f#6 b6 .",
            0.5);
}

void Verse(Song& s, Band& b, double at, bool withRiff) {
    const char* chords = "Em C Am B7 Em C Am Em";
    s.Steps(*b.theremin, at, 0.5,
            "b4 - e5 - g5 - f#5 e5  g5 - - - - - . .  a4 - c5 - e5 - d#5 e5  f#5 - - - d#5 - . . "
            "b4 - e5 - g5 - b5 -  c6 - b5 - g5 - e5 -  a5 - g5 - f#5 - d#5 -  e5 - - - - - . .",
            0.8);
    // Organ stabs on the off-beats.
    s.ChordSteps(*b.organ, at, 0.5, kBar, chords, ". 1 . 1 . 1 . 1", 4, 0.4);
    s.ChordSteps(*b.organ, at, 0.5, kBar, chords, ". 3 . 3 . 3 . 3", 4, 0.4);
    s.ChordSteps(*b.organ, at, 0.5, kBar, chords, ". 5 . 5 . 5 . 5", 4, 0.4);
    s.ChordSteps(*b.bass, at, 1, kBar, chords, "1 5 8 5", 2, 0.8);
    if (withRiff) s.ChordSteps(*b.harpsichord, at, 0.25, kBar, chords, "1 5 8 5 3 5 8 5", 5, 0.45);
    Shuffle(s, b, at, 8, true);
    s.Hits(*b.crash, at, 1, "x");
}

void Bridge(Song& s, Band& b, double at) {
    const char* chords = "C B7 Em D C B7 Em B7";
    s.Steps(*b.theremin, at, 0.5,
            "e6 - - - - - - -  d#6 - - - - - - -  b5 - - - g5 - - -  a5 - - - f#5 - - - "
            "g5 - - - e5 - - -  f#5 - - - d#5 - - -  e5 - - - - - - -  f#5 - - - b4 - . .",
            0.75);
    s.ChordSteps(*b.harpsichord, at, 0.25, kBar, chords, "1 5 8 5 3 5 8 5", 5, 0.5);
    s.Chords(*b.choir, at, kBar, chords, 4, 0.55);
    s.ChordSteps(*b.bass, at, 0.5, kBar, chords, "1 . 1 5 . 5 8 7", 2, 0.8);
    Shuffle(s, b, at, 8, true);
    s.Hits(*b.crash, at, 1, "x");
}

void Turnaround(Song& s, Band& b, double at) {
    const char* chords = "Em C Am B7";
    s.Chords(*b.organ, at, kBar, chords, 4, 0.45);
    s.Steps(*b.musicBox, at, 0.5,
            "e6 g6 b6 g6 e6 g6 b6 g6  e6 g6 c7 g6 e6 g6 c7 g6  e6 a6 c7 a6 e6 a6 c7 a6  d#6 f#6 b6 "
            "f#6 d#6 . . .",
            0.5);
    s.ChordSteps(*b.bass, at, 1, kBar, chords, "1 5 8 5", 2, 0.7);
    Shuffle(s, b, at, 3, false);
    // A break: the band stops on the last beat, where the loop point falls.
    s.Hits(*b.snare, at + 3 * kBar, 0.5, "x.xxxx..", 60, 0.7);
    s.Hits(*b.kick, at + 3 * kBar, 0.5, "x...x...");
}

}  // namespace

Composition ComposeZombieGhost() {
    Composition c{"zombie_ghost.mp3", "ZOMBIE GHOST PARADE", Song(132, 32)};
    Song& s = c.song;
    s.SetSwing(0.33);
    Band b{};
    b.kick = &s.AddTrack(Instrument::Kick, 0.9, 0, 0.05);
    b.snare = &s.AddTrack(Instrument::Snare, 0.7, 0.1, 0.35);
    b.hat = &s.AddTrack(Instrument::HatClosed, 0.45, 0.35, 0.1);
    b.crash = &s.AddTrack(Instrument::Crash, 0.35, -0.4, 0.3);
    b.organ = &s.AddTrack(Instrument::Organ, 0.5, -0.3, 0.35);
    b.theremin = &s.AddTrack(Instrument::Theremin, 0.7, 0.1, 0.45, 0.3);
    b.harpsichord = &s.AddTrack(Instrument::Harpsichord, 0.8, 0.45, 0.25);
    b.bass = &s.AddTrack(Instrument::Bass, 0.85, 0, 0.05);
    b.choir = &s.AddTrack(Instrument::ChoirOo, 0.6, -0.1, 0.6);
    b.musicBox = &s.AddTrack(Instrument::Glocken, 0.7, 0.3, 0.5, 0.3);
    Intro(s, b, 0);
    Verse(s, b, 4 * kBar, false);
    Bridge(s, b, 12 * kBar);
    Verse(s, b, 20 * kBar, true);
    Turnaround(s, b, 28 * kBar);
    return c;
}
