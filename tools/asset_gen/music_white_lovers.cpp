// "White Lovers": the ending's ballad, 78 BPM in F major: electric piano and strings, a flute
// melody doubled by glockenspiel the second time, harp arpeggios and soft percussion.
#include "music.h"

namespace {

constexpr double kBar = 4;

struct Band {
    Track *piano, *strings, *flute, *glocken, *harp, *bass, *kick, *shaker, *bell;
};

const char* const kVerse = "Bb C Am Dm Bb C F F";
const char* const kChorus = "Gm C F Dm Gm C Fsus4 F";

void Accompany(Song& s, Band& b, double at, const char* chords, bool drums) {
    s.ChordSteps(*b.piano, at, 0.5, kBar, chords, "1 5 8 9 8 5 3 5", 4, 0.5);
    s.Chords(*b.strings, at, kBar, chords, 4, 0.35);
    s.ChordSteps(*b.bass, at, 1, kBar, chords, "1 - - 5", 2, 0.6);
    if (!drums) return;
    for (int bar = 0; bar < 8; ++bar) {
        s.Hits(*b.kick, at + bar * kBar, 0.5, "x.....x.", 60, 0.5);
        s.Hits(*b.shaker, at + bar * kBar, 0.25, "oxoxoxoxoxoxoxox", 60, 0.5);
    }
}

}  // namespace

Composition ComposeWhiteLovers() {
    Composition c{"White_Lovers_FreeBGM_ver.mp3", "WHITE LOVERS", Song(78, 24)};
    Song& s = c.song;
    Band b{};
    b.piano = &s.AddTrack(Instrument::EPiano, 0.7, -0.15, 0.4);
    b.strings = &s.AddTrack(Instrument::Strings, 0.4, 0.2, 0.6);
    b.flute = &s.AddTrack(Instrument::Flute, 0.8, 0.05, 0.5, 0.2);
    b.glocken = &s.AddTrack(Instrument::Glocken, 0.6, 0.35, 0.5, 0.2);
    b.harp = &s.AddTrack(Instrument::Harp, 1.0, -0.35, 0.45);
    b.bass = &s.AddTrack(Instrument::Bass, 0.6, 0, 0.1);
    b.kick = &s.AddTrack(Instrument::Kick, 0.5, 0, 0.1);
    b.shaker = &s.AddTrack(Instrument::Shaker, 0.4, 0.4, 0.2);
    b.bell = &s.AddTrack(Instrument::Bell, 0.6, 0.3, 0.6, 0.3);

    // Intro: piano and bells.
    s.ChordSteps(*b.piano, 0, 0.5, kBar, "Bb C Am Dm", "1 5 8 9 8 5 3 5", 4, 0.5);
    s.Steps(*b.bell, 0, 1, "d6 - c6 - e6 - c6 - c6 - a5 - f5 - - .", 0.5);
    // Verse: the flute.
    const char* verse =
        "f5 - - - g5 - a5 -  g5 - - - e5 - c5 -  e5 - - - f5 - g5 -  a5 - - - d5 - - - "
        "d5 - - - e5 - f5 -  g5 - - - e5 - c5 -  f5 - - - - - - -  . . . . c5 - d5 e5";
    s.Steps(*b.flute, 4 * kBar, 0.5, verse, 0.75);
    Accompany(s, b, 4 * kBar, kVerse, false);
    // Chorus: the flute doubled by glockenspiel, harp arpeggios, soft drums.
    const char* chorus =
        "bb5 - - - a5 - g5 -  g5 - - - c5 - - -  a5 - - - g5 - f5 -  f5 - - - e5 - d5 - "
        "d5 - - - e5 - f5 -  g5 - - - a5 - bb5 -  a5 - - - g5 - - -  f5 - - - - - . .";
    s.Steps(*b.flute, 12 * kBar, 0.5, chorus, 0.8);
    s.Steps(*b.glocken, 12 * kBar, 0.5, chorus, 0.6, 12);
    s.ChordSteps(*b.harp, 12 * kBar, 0.25, kBar, kChorus, "1 3 5 8 9 8 5 3", 5, 0.45);
    Accompany(s, b, 12 * kBar, kChorus, true);
    // Outro: back to the opening chords, the last bar left to ring out before the loop point.
    s.ChordSteps(*b.piano, 20 * kBar, 0.5, kBar, "Bb C F F", "1 5 8 9 8 5 3 5", 4, 0.45);
    s.Chords(*b.strings, 20 * kBar, kBar, "Bb C F .", 4, 0.3);
    s.Steps(*b.bell, 20 * kBar, 1, "d6 - c6 - e6 - g6 - a6 - - - . . . .", 0.45);
    return c;
}
