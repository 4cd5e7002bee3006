// "Burst": the first stage's theme, 146 BPM in A minor, 112 bars (just over three minutes, so
// that the game streams it): intro, verse, bridge, chorus, breakdown, solo, and round again.
#include "music.h"

namespace {

constexpr double kBar = 4;

struct Band {
    Track *kick, *snare, *clap, *hat, *openHat, *crash, *tom;
    Track *bass, *lead, *lead2, *pad, *strings, *arp, *bell;
};

void RockBeat(Song& s, Band& b, double at, bool fill) {
    s.Hits(*b.kick, at, 0.25, "x.....x.x.....x.");
    s.Hits(*b.snare, at, 0.25, fill ? "....x.......x.xx" : "....x.......x...");
    s.Hits(*b.hat, at, 0.25, "x.o.x.o.x.o.x.o.", 60, 0.6);
}

void DanceBeat(Song& s, Band& b, double at) {
    s.Hits(*b.kick, at, 0.25, "x...x...x...x...");
    s.Hits(*b.clap, at, 0.25, "....x.......x...", 60, 0.7);
    s.Hits(*b.snare, at, 0.25, "....x.......x...", 60, 0.6);
    s.Hits(*b.openHat, at, 0.25, "..x...x...x...x.", 60, 0.45);
    s.Hits(*b.hat, at, 0.25, "x.xxx.xxx.xxx.xx", 60, 0.45);
}

void Fill(Song& s, Band& b, double at) {
    s.Hits(*b.kick, at, 0.25, "x.....x.x.......");
    s.Hits(*b.snare, at, 0.25, "....x.x.xxxx....", 60, 0.7);
    s.Hits(*b.tom, at + 3, 0.25, "xx..", 196, 0.8);
    s.Hits(*b.tom, at + 3, 0.25, "..xx", 130, 0.8);
}

// Eight bars of the verse melody; `variant` 1 lifts its last phrase.
void Verse(Song& s, Band& b, double at, int variant) {
    const char* chords = "Am F G Em Am F G E";
    s.Steps(*b.lead, at, 0.5,
            "e5 - - d5 c5 - b4 c5  a4 - - - c5 - f5 -  g5 - - f5 e5 - d5 -  e5 - - - b4 - . . "
            "e5 - - d5 c5 - b4 c5  a4 - - - c5 - a5 -  g5 - f5 - e5 - d5 -",
            0.85);
    s.Steps(*b.lead, at + 7 * kBar, 0.5, variant == 0 ? "e5 - - - . . . ." : "e5 - - - g#5 - b5 -",
            0.85);
    s.ChordSteps(*b.bass, at, 0.5, kBar, chords, "1 1 8 1 1 8 1 5", 2, 0.9);
    s.Chords(*b.pad, at, kBar, chords, 4, 0.45);
    if (variant == 1) s.ChordSteps(*b.arp, at, 0.25, kBar, chords, "1 3 5 8 5 3 1 3", 5, 0.35);
    for (int bar = 0; bar < 8; ++bar) RockBeat(s, b, at + bar * kBar, bar == 7);
    s.Hits(*b.crash, at, 1, "x");
}

void Bridge(Song& s, Band& b, double at) {
    const char* chords = "Dm Em F G Dm Em F E";
    s.Steps(*b.lead, at, 0.5,
            "f5 - e5 - d5 - a4 -  g5 - f5 - e5 - b4 -  a5 - g5 - f5 - c5 -  b5 - a5 - g5 - d5 - "
            "f5 - e5 d5 e5 - f5 -  g5 - f5 e5 f5 - g5 -  a5 - - - c6 - a5 -  b5 - - - g#5 - e5 -",
            0.85);
    s.ChordSteps(*b.bass, at, 0.25, kBar, chords, "1 . 1 1 . 1 1 . 1 . 1 1 . 1 5 8", 2, 0.85);
    s.Chords(*b.strings, at, kBar, chords, 4, 0.4);
    s.ChordSteps(*b.arp, at, 0.25, kBar, chords, "1 5 8 5", 5, 0.3);
    for (int bar = 0; bar < 7; ++bar) RockBeat(s, b, at + bar * kBar, false);
    Fill(s, b, at + 7 * kBar);
}

// Sixteen bars: the anthem twice, the second time ending higher.
void Chorus(Song& s, Band& b, double at) {
    const char* chords = "F G Em Am F G E Am";
    const char* tune =
        "c6 - - - a5 - c6 -  d6 - - - b5 - g5 -  e6 - - d6 - - b5 -  c6 - - - - - a5 b5 "
        "c6 - - - a5 - c6 -  d6 - - - e6 - f6 -  e6 - - - d6 - b5 -";
    for (int half = 0; half < 2; ++half) {
        double h = at + half * 8 * kBar;
        s.Steps(*b.lead2, h, 0.5, tune, 0.8);
        s.Steps(*b.lead, h, 0.5, tune, 0.5, -12);
        s.Steps(*b.lead2, h + 7 * kBar, 0.5, half == 0 ? "a5 - - - - - . ." : "a5 - - - e6 - a6 -",
                0.8);
        s.ChordSteps(*b.bass, h, 0.5, kBar, chords, "1 1 1 1 1 1 8 1", 2, 0.9);
        s.Chords(*b.strings, h, kBar, chords, 4, 0.45);
        s.Chords(*b.pad, h, kBar, chords, 3, 0.35);
        s.ChordSteps(*b.arp, h, 0.25, kBar, chords, "1 3 5 8 9 8 5 3", 5, 0.3);
        for (int bar = 0; bar < 8; ++bar) DanceBeat(s, b, h + bar * kBar);
        s.Hits(*b.crash, h, 4 * kBar, "xx");
    }
    s.Hits(*b.snare, at + 15 * kBar, 0.25, "........x.x.xxxx", 60, 0.7);
}

void Breakdown(Song& s, Band& b, double at) {
    const char* chords = "Fmaj7 Em7 Dm7 Am Fmaj7 Em7 Dm7 E";
    s.Steps(*b.bell, at, 0.5,
            "c6 - - - - - b5 -  g5 - - - - - . .  a5 - - - f5 - - -  e5 - - - - - - - "
            "c6 - - - - - d6 -  e6 - - - - - g5 -  a5 - - - c6 - b5 -  g#5 - - - - - - -",
            0.7);
    s.Chords(*b.pad, at, kBar, chords, 4, 0.5);
    s.ChordSteps(*b.arp, at, 0.25, kBar, chords, "1 5 8 9 8 5 3 5", 5, 0.25);
    s.ChordSteps(*b.bass, at, 1, kBar, chords, "1 - - 5", 2, 0.7);
    for (int bar = 0; bar < 8; ++bar) {
        s.Hits(*b.kick, at + bar * kBar, 0.25, bar < 4 ? "x..........x...." : "x...x...x...x...",
               60, 0.7);
        s.Hits(*b.hat, at + bar * kBar, 0.25, "oooxooox", 60, 0.4);
        s.Hits(*b.hat, at + bar * kBar + 2, 0.25, "oooxooox", 60, 0.4);
    }
    s.Hits(*b.snare, at + 7 * kBar, 0.25, "x.x.x.x.xxxxXXXX", 60, 0.6);
}

void Solo(Song& s, Band& b, double at) {
    const char* chords = "Am G F E Am G F E";
    s.Steps(
        *b.lead2, at, 0.5,
        "a5 - b5 c6 b5 a5 e5 -  g5 - a5 b5 a5 g5 d5 -  f5 - g5 a5 g5 f5 c5 -  e5 - g#5 - b5 - e6 - "
        "a5 c6 e6 c6 a5 c6 e6 c6  g5 b5 d6 b5 g5 b5 d6 b5  f5 a5 c6 a5 f5 a5 c6 a5  e5 g#5 b5 e6 - "
        "- . .",
        0.8);
    s.ChordSteps(*b.arp, at, 0.25, kBar, chords, "1 3 5 8 5 3 1 3", 4, 0.35);
    s.ChordSteps(*b.bass, at, 0.25, kBar, chords, "1 1 8 1 1 8 1 1 8 1 1 8 1 1 5 8", 2, 0.85);
    s.Chords(*b.strings, at, kBar, chords, 4, 0.35);
    for (int bar = 0; bar < 8; ++bar) DanceBeat(s, b, at + bar * kBar);
    s.Hits(*b.crash, at, 4 * kBar, "xx");
}

void Intro(Song& s, Band& b, double at, bool outro) {
    const char* chords = "Am Am F G Am Am F G";
    s.ChordSteps(*b.bass, at, 0.5, kBar, chords, "1 1 1 1 1 1 1 1", 2, 0.8);
    s.ChordSteps(*b.arp, at + 4 * kBar, 0.25, kBar, "Am Am F G", "1 5 8 5 9 5 8 5", 5, 0.3);
    s.Chords(*b.pad, at, kBar, chords, 4, outro ? 0.4 : 0.3);
    for (int bar = 0; bar < 8; ++bar) {
        double t = at + bar * kBar;
        s.Hits(*b.kick, t, 0.25, "x...x...x...x...");
        s.Hits(*b.hat, t, 0.25, "..x...x...x...x.", 60, 0.5);
        if (bar >= 4 && bar < 7) s.Hits(*b.snare, t, 0.25, "....x.......x...", 60, 0.6);
    }
    if (outro) {
        s.Steps(*b.lead, at + 4 * kBar, 0.5,
                "a5 - - - g5 - e5 -  d5 - e5 - - - . .  c5 - d5 - e5 - g5 -  a5 - - - - - . .",
                0.6);
    }
    // The last bar ends on a rest, where the loop point falls.
    s.Hits(*b.snare, at + 7 * kBar, 0.25, "x.x.x.xxXXXXXX..", 60, 0.65);
    s.Hits(*b.kick, at + 7 * kBar, 0.25, "x...x...x...x...");
}

}  // namespace

Composition ComposeBurst() {
    Composition c{"burst.mp3", "BURST DRIVE", Song(146, 112)};
    Song& s = c.song;
    Band b{};
    b.kick = &s.AddTrack(Instrument::Kick, 1.0, 0, 0.05);
    b.snare = &s.AddTrack(Instrument::Snare, 0.8, 0.05, 0.25);
    b.clap = &s.AddTrack(Instrument::Clap, 0.5, -0.1, 0.3);
    b.hat = &s.AddTrack(Instrument::HatClosed, 0.5, 0.35, 0.05);
    b.openHat = &s.AddTrack(Instrument::HatOpen, 0.4, 0.35, 0.1);
    b.crash = &s.AddTrack(Instrument::Crash, 0.45, -0.4, 0.2);
    b.tom = &s.AddTrack(Instrument::Tom, 0.9, -0.2, 0.2);
    b.bass = &s.AddTrack(Instrument::Bass, 0.9, 0, 0.02);
    b.lead = &s.AddTrack(Instrument::PulseLead, 0.85, -0.15, 0.25, 0.25);
    b.lead2 = &s.AddTrack(Instrument::SawLead, 0.85, 0.15, 0.3, 0.2);
    b.pad = &s.AddTrack(Instrument::Pad, 0.35, -0.3, 0.4);
    b.strings = &s.AddTrack(Instrument::Strings, 0.35, 0.3, 0.4);
    b.arp = &s.AddTrack(Instrument::PulseLead, 0.35, 0.5, 0.2, 0.3);
    b.bell = &s.AddTrack(Instrument::Bell, 0.9, -0.2, 0.5, 0.3);

    double at = 0;
    auto next = [&](int bars) {
        double start = at;
        at += bars * kBar;
        return start;
    };
    Intro(s, b, next(8), false);
    Verse(s, b, next(8), 0);
    Verse(s, b, next(8), 1);
    Bridge(s, b, next(8));
    Chorus(s, b, next(16));
    Breakdown(s, b, next(8));
    Solo(s, b, next(8));
    Verse(s, b, next(8), 1);
    Bridge(s, b, next(8));
    Chorus(s, b, next(16));
    Solo(s, b, next(8));
    Intro(s, b, next(8), true);
    return c;
}
