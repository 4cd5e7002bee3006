// The game's sound effects and its looping drone, synthesised as mono 16-bit WAV material.
#pragma once

#include <string>
#include <vector>

struct SoundEffect {
    std::string file;                    // name under sound/
    std::vector<float> (*synthesise)();  // mono samples at kSampleRate
};

// The 20 WAV files: loop04.wav (a drone that loops seamlessly) and the 19 effects.
const std::vector<SoundEffect>& SoundEffects();

// The length of loop04.wav: whole periods of all its components.
constexpr double kDroneSeconds = 2.0;
