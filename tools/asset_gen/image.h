// Pictures as the generator draws them: a colour function sampled over a pixel grid, then
// reduced to the 8-bit RGB that the game loads, where pure black is the transparent colour.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// A colour with channels in 0..1.
struct Color {
    double r = 0, g = 0, b = 0;
};

inline Color operator+(Color a, Color b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Color operator*(Color a, double k) {
    return {a.r * k, a.g * k, a.b * k};
}
inline Color operator*(Color a, Color b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
inline Color Mix(Color a, Color b, double t) {
    return a * (1 - t) + b * t;
}
// A colour from 0..255 channels.
inline Color Rgb(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0};
}

// A colour with coverage (straight, not premultiplied).
struct Rgba {
    Color c;
    double a = 0;
};

inline Rgba Opaque(Color c) {
    return {c, 1};
}
// Porter-Duff "over": top drawn on bottom.
Rgba Over(Rgba top, Rgba bottom);

// The colour a point of the picture has; x and y in pixels, the pixel (i, j) covering
// [i, i + 1) x [j, j + 1).
using Shader = std::function<Rgba(double x, double y)>;

// Premultiplied colour and coverage per pixel.
struct Canvas {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;  // c premultiplied by a
};

// Samples the shader on a grid of supersample x supersample points per pixel and averages them.
Canvas Shade(int width, int height, int supersample, const Shader& shader);

// Places `part` with its top-left corner at (left, top) of `canvas`, replacing what was there.
void Paste(Canvas* canvas, const Canvas& part, int left, int top);

// What the game loads: 3 bytes per pixel, row by row.
struct RgbImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// Whether a visible pixel that came out darker than the screen can show is raised to the
// darkest safe grey (a sprite's dark parts) or made transparent (glows and fades on black).
enum class DimPixels { Lift, Drop };

// The darkest channel maximum that stays visible: on a 16-bit screen the colour key is
// compared after the reduction to 5-6-5 bits, so anything darker becomes transparent.
constexpr int kDarkestVisible = 16;

// Pixels less than half covered become pure black (transparent); the rest take their colour
// as drawn on black, with dim ones treated as `dim` says.
RgbImage Finish(const Canvas& canvas, DimPixels dim);
