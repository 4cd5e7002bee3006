// Test movies made by the everyday encoders: Ogg Theora (with an optional Vorbis track) through
// libtheoraenc and libvorbisenc, and an independent decode of such a file through libtheora's
// newer decoder interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct TheoraMovieSettings {
    int width = 64;  // visible picture
    int height = 48;
    int frames = 30;
    int fpsNumerator = 30;
    int fpsDenominator = 1;
    int keyInterval = 8;
    bool withSound = false;
    double soundSeconds = 1.0;  // a 440 Hz tone at 44.1 kHz, mono
};

// Frame f shows a bar whose place and colour depend on f, so that every frame differs.
Bytes WriteTheoraMovie(const TheoraMovieSettings& settings);

// Each frame of the file as 32-bit pixels (blue, green, red, 255), decoded independently.
std::vector<std::vector<uint32_t>> DecodeTheoraReference(const Bytes& file, int* width,
                                                         int* height);
// The same decode with the pictures left in YUV: the number of pictures.
int CountTheoraPictures(const Bytes& file);

// An MPEG-4 part 2 movie in an AVI file written by libavcodec's own encoder: frame f is a flat
// grey of level 40 + 4 f (luma as it stands, chroma neutral). False when it cannot be written.
bool WriteMpeg4Movie(const std::string& path, int width, int height, int frames, int fps);
