// The music's instruments: each renders one note as a mono voice, from its attack to the end
// of its release. Drums and percussion take the frequency as their tuning.
#pragma once

#include <cstdint>
#include <vector>

enum class Instrument {
    // melodic
    PulseLead,    // square lead with a detuned saw, vibrato: the arcade lead
    SawLead,      // three detuned saws through a swept filter: choruses
    Bass,         // saw and sub sine, plucky filter
    Pad,          // slow detuned saws: chords
    Strings,      // brighter, faster pad with vibrato
    EPiano,       // two-operator FM electric piano
    Bell,         // FM bell
    Glocken,      // struck bars
    Harp,         // plucked string
    Koto,         // bright plucked string with a bent attack
    Tonkori,      // dark, long-ringing plucked string with a buzz
    Harpsichord,  // two bright strings an octave apart
    Shakuhachi,   // breathy bamboo flute
    Flute,        // soft flute
    Organ,        // drawbar organ with tremolo
    Theremin,     // wide vibrato sine that glides in
    MouthHarp,    // twanging mouth harp: a drone whose resonance picks the note
    ChoirAh,      // sung "ah"
    ChoirOo,      // sung "oo"
    // percussion
    Kick,
    Snare,
    Clap,
    HatClosed,
    HatOpen,
    Crash,
    Tom,
    Taiko,
    TaikoRim,
    Tsudumi,      // shoulder drum "pon"
    TsudumiSlap,  // its dry "ta"
    Woodblock,
    Shaker,
};

std::vector<float> PlayNote(Instrument instrument, double frequency, double seconds,
                            double velocity, uint64_t seed);
