// The music's score and its mix: tracks of notes placed in beats, written with small step
// strings, rendered into one seamless loop (whatever sounds past the end wraps to the start,
// reverb and echo included) and mastered to a steady level.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "instruments.h"

struct NoteEvent {
    double beat;   // start, from the loop's downbeat
    double beats;  // held length
    double pitch;  // MIDI note number (drums: 60 unless tuned)
    double velocity;
};

struct Track {
    Instrument instrument;
    double gain, pan, reverb, echo;  // pan -1 (left) .. 1 (right); sends 0..1
    std::vector<NoteEvent> notes;
};

class Song {
public:
    Song(double bpm, int bars, int beatsPerBar = 4)
        : bpm_(bpm), bars_(bars), beatsPerBar_(beatsPerBar) {}

    Track& AddTrack(Instrument instrument, double gain, double pan, double reverb, double echo = 0);
    // Delays every second step of the step strings by this share of a step (a shuffle).
    void SetSwing(double swing) { swing_ = swing; }

    // One token per step of `stepBeats`, separated by spaces: a note ("c4", "f#3", "eb5")
    // starts, "-" holds the previous note a step longer, "." rests.
    void Steps(Track& track, double beat, double stepBeats, const std::string& steps,
               double velocity = 0.8, int transpose = 0);
    // One character per step: "x" a hit, "X" an accent, "o" a soft hit, anything else nothing.
    void Hits(Track& track, double beat, double stepBeats, const std::string& pattern,
              double pitch = 60, double velocity = 0.8);
    // Block chords, one name per `beatsEach` ("Am", "F", "G7", "Cmaj7", "Dsus4", "Bdim",
    // "Em/B" is not supported), voiced from `octave`; "." rests.
    void Chords(Track& track, double beat, double beatsEach, const std::string& names, int octave,
                double velocity = 0.6);
    // Chord tones by step: digits pick the chord's tones (1 root, 3 third, 5 fifth, 7 seventh,
    // 8 octave, 9 ninth, 0 the fifth below), "-" holds, "." rests; one chord per `beatsEach`.
    void ChordSteps(Track& track, double beat, double stepBeats, double beatsEach,
                    const std::string& names, const std::string& steps, int octave,
                    double velocity = 0.8);

    double Bpm() const { return bpm_; }
    int Beats() const { return bars_ * beatsPerBar_; }
    int BeatsPerBar() const { return beatsPerBar_; }
    const std::deque<Track>& Tracks() const { return tracks_; }

private:
    double Swung(double beat, size_t step, double stepBeats) const;

    double bpm_;
    int bars_, beatsPerBar_;
    double swing_ = 0;
    std::deque<Track> tracks_;  // a deque, so that the tracks handed out stay where they are
};

// MIDI number of a note name such as "c4", "f#3" or "bb2" (c4 = 60).
int NoteNumber(const std::string& name);
// The chord's tones from the root up, root in `octave`.
std::vector<int> ChordTones(const std::string& name, int octave);

struct StereoLoop {
    std::vector<float> left, right;
};

// One period of `period` samples with the downbeat at sample `downbeat`. The samples in
// [silentFrom, period) and [0, silentTo) are made silent, faded in and out, so that a player
// that loses them (an MP3 decoder's lead-in) still loops without a click.
StereoLoop RenderLoop(const Song& song, int period, int downbeat, int silentFrom, int silentTo);
