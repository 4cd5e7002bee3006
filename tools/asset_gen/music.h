// The game's five pieces of music: each composition is a loop of whole bars, rendered and
// encoded so that a player that decodes every MP3 frame loops it with the beat unbroken.
#pragma once

#include <string>

#include "mp3_writer.h"
#include "sequencer.h"

struct Composition {
    std::string file;   // name under sound/
    std::string title;  // as the ending's credit page names it
    Song song;
};

Composition ComposeBurst();         // stages 1 and 4: driving A minor rock, over three minutes
Composition ComposeZombieGhost();   // stages 2 and 5: a spooky shuffle
Composition ComposeTsudumiJapan();  // stages 3 and 6: shoulder drums, koto and shakuhachi
Composition ComposeApeKamuy();      // stage 7: mouth harp, tonkori and chant over war drums
Composition ComposeWhiteLovers();   // the ending: a gentle ballad

// The decoded length in samples: the song's length rounded to whole MP3 frames.
int LoopSamples(const Song& song);
// Renders `composition` and writes it as MP3 to `path`.
bool WriteMusic(const std::string& path, const Composition& composition);
