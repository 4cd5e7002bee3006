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
// The first picture of the file as it was decoded: three planes of tight rows.
struct TheoraPlanes {
    int yWidth, yHeight, uvWidth, uvHeight;
    Bytes y, u, v;
};
TheoraPlanes FirstTheoraPicture(const Bytes& file);
// The same decode with the pictures left in YUV: the number of pictures.
int CountTheoraPictures(const Bytes& file);

// Movies for the FFmpeg-backed graph, written by the encoders of the installed libavcodec:
// MPEG-4 part 2 in an AVI file (sound: MPEG-1 layer II), H.264 in MP4 (AAC), VP8 in WebM
// (Vorbis), or an MPEG-1 video stream written raw, with no container and no sound (whose
// duration FFmpeg can only estimate from the bit rate; its frame rate must be one MPEG-1 knows,
// such as 25).
enum class GraphMovieKind { Mpeg4Avi, H264Mp4, Vp8Webm, RawMpeg1 };
struct GraphMovieSettings {
    GraphMovieKind kind;
    int width;
    int height;
    int frames;
    int fps;
    // A mono sine of kGraphMovieToneHz at 44.1 kHz and kGraphMovieToneAmplitude of full scale,
    // from soundStart on; none when 0.
    double soundSeconds = 0;
    double soundStart = 0;
};
constexpr int kGraphMovieToneHz = 440;
constexpr double kGraphMovieToneAmplitude = 0.5;
// Frame f is a flat grey of luma GraphMovieLuma(f), of video range as the stream leaves it
// unmarked, and neutral chroma; the graph shows it as GraphMovieGrey(f), of full range.
// False when the movie cannot be written (an encoder missing from the installed FFmpeg).
bool WriteGraphMovie(const std::string& path, const GraphMovieSettings& settings);
int GraphMovieLuma(int frame);
int GraphMovieGrey(int frame);
