// Writes mono 16-bit PCM RIFF WAVE files.
#pragma once

#include <string>
#include <vector>

// Samples in -1..1 are scaled to 16 bits (clamped). False, with a message on stderr, when the
// file cannot be written.
bool WriteWav(const std::string& path, const std::vector<float>& samples, int rate);
