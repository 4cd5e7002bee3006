// Geometry and texture building blocks of the pictures: signed distances of simple shapes,
// smooth steps, and noise and cell patterns that repeat exactly, so tiles join without seams.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

struct Vec2 {
    double x = 0, y = 0;
};

inline Vec2 operator+(Vec2 a, Vec2 b) {
    return {a.x + b.x, a.y + b.y};
}
inline Vec2 operator-(Vec2 a, Vec2 b) {
    return {a.x - b.x, a.y - b.y};
}
inline Vec2 operator*(Vec2 a, double k) {
    return {a.x * k, a.y * k};
}
inline double Dot(Vec2 a, Vec2 b) {
    return a.x * b.x + a.y * b.y;
}
inline double Length(Vec2 a) {
    return std::sqrt(Dot(a, a));
}
// `p` turned by `radians` about the origin.
Vec2 Rotate(Vec2 p, double radians);

constexpr double kPi = 3.14159265358979323846;

double Clamp01(double v);
double Smoothstep(double edge0, double edge1, double v);
// Coverage of a pixel by the inside of a shape whose signed distance (pixels) is `d`.
inline double Fill(double d) {
    return Clamp01(0.5 - d);
}

// Distance from p to the segment a-b.
double SegmentDistance(Vec2 p, Vec2 a, Vec2 b);
// Signed distance to a closed polygon: negative inside.
double PolygonDistance(Vec2 p, const std::vector<Vec2>& points);
// Signed distance to an axis-aligned box of the given half size centred at the origin, its
// corners rounded by `radius`.
double RoundedBoxDistance(Vec2 p, Vec2 halfSize, double radius);

// Smooth value noise in [0, 1) over a lattice of period (periodX, periodY): noise(x + periodX,
// y) == noise(x, y). x and y are in lattice cells.
double PeriodicNoise(double x, double y, int periodX, int periodY, uint32_t seed);
// Fractal sum of `octaves` noise layers over the unit square, repeating with period 1 on both
// axes; the first layer has `frequency` cells across. About 0..1.
double PeriodicFbm(double u, double v, int frequency, int octaves, uint32_t seed);

// Nearest and second nearest feature distances of a cell pattern with `cells` x `cells`
// jittered points over the unit square, repeating with period 1; distances in cell units.
struct CellDistances {
    double nearest = 0, second = 0;
    uint32_t id = 0;  // identifies the nearest cell
};
CellDistances PeriodicCells(double u, double v, int cells, uint32_t seed);
