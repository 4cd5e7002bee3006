// Sprites: the player's ship, the wall boxes and balls of the formations, the explosions and
// the goal line. The blink frames are the same shapes, lit brighter.
#include <algorithm>
#include <cmath>

#include "pictures.h"
#include "random.h"
#include "shapes.h"

namespace {

constexpr int kSupersample = 4;
const Color kWhite{1, 1, 1};

// The ship pointing up, in a 32x32 cell with its hit centre at (16, 16).
Rgba Ship(Vec2 p, bool lit) {
    static const std::vector<Vec2> kWings = {{16, 7},  {29.5, 21}, {29.5, 25}, {20, 23},
                                             {12, 23}, {2.5, 25},  {2.5, 21}};
    static const std::vector<Vec2> kBody = {{16, 1},    {19, 8},    {19.5, 20}, {18.5, 27},
                                            {13.5, 27}, {12.5, 20}, {13, 8}};
    const double wings = PolygonDistance(p, kWings);
    const double body = PolygonDistance(p, kBody);
    const double hull = std::min(wings, body);
    const Color outline = Rgb(24, 28, 56);

    Rgba result;
    // Engine flames under the hull.
    for (double x : {14.8, 17.2}) {
        double flame = Length(Vec2{(p.x - x) * 2.2, std::max(0.0, p.y - 27.5) * 0.8});
        if (p.y > 25 && flame < 3.2) {
            double heat = 1 - flame / 3.2;
            result =
                Over({Mix(Rgb(255, 90, 20), Rgb(255, 240, 160), heat), Clamp01(heat * 2)}, result);
        }
    }
    if (hull > 1.2) return result;
    result = Over({outline, Fill(hull - 1.0)}, result);

    Color metal;
    if (body < 0.5) {
        // The body is lit from the left.
        metal = Mix(Rgb(235, 240, 250), Rgb(110, 120, 150), Clamp01((p.x - 12.5) / 7));
    } else {
        metal = Mix(Rgb(175, 185, 210), Rgb(85, 95, 130), Clamp01((std::abs(p.x - 16) - 3) / 11));
        // Red tips and a stripe on the wings.
        if (std::abs(p.x - 16) > 10.5)
            metal = Mix(Rgb(230, 50, 60), Rgb(140, 20, 40), Clamp01((p.y - 20) / 5));
        else if (std::abs(std::abs(p.x - 16) - 7.5) < 0.8 && p.y > 15)
            metal = Rgb(60, 160, 230);
    }
    // Dark seams along the edges, like panel lines.
    metal =
        Mix(metal, metal * 0.55, Smoothstep(-1.6, -0.6, hull) * (1 - Smoothstep(-0.6, 0, hull)));
    result = Over({metal, Fill(hull)}, result);

    // Canopy, and the glowing centre that marks where the ship can be hit.
    double canopy = Length(Vec2{(p.x - 16) / 2.0, (p.y - 11.5) / 3.6}) - 1;
    if (canopy < 0.3) {
        Color glass = Mix(Rgb(170, 240, 255), Rgb(20, 70, 140), Clamp01((p.y - 8.5) / 6));
        result = Over({glass, Fill(canopy * 2.5)}, result);
    }
    double centre = Length(p - Vec2{16, 16});
    double dot = lit ? 2.4 : 1.8;
    result = Over({Mix(Rgb(120, 255, 255), kWhite, Clamp01(1 - centre / dot)), Fill(centre - dot)},
                  result);
    result = Over({Rgb(20, 110, 160), Fill(std::abs(centre - dot - 0.7) - 0.45) * 0.9}, result);

    if (lit) result.c = Mix(result.c, kWhite, 0.35);
    return result;
}

// A 32x32 block that fills its cell: a bevelled frame around a face with the variant's
// motif (0 riveted plate, 1 crystal, 2 hazard crate).
Rgba Box(Vec2 p, int variant, bool lit) {
    static const Color kBase[3] = {Rgb(118, 132, 160), Rgb(60, 175, 85), Rgb(235, 135, 40)};
    const Color base = kBase[variant];
    const double edge = std::min({p.x, p.y, 32 - p.x, 32 - p.y});
    Color c;
    if (edge < 3) {
        // The bevel: lit on the top and left, shaded on the bottom and right.
        bool lightSide = (p.x < p.y) ? (p.x < 32 - p.y) : (p.y < 32 - p.x);
        c = lightSide ? Mix(base, kWhite, 0.45) : base * 0.5;
        if (edge < 1) c = base * 0.35;
    } else {
        c = Mix(base * 1.05, base * 0.75, (p.y - 3) / 26);
        Vec2 q = p - Vec2{16, 16};
        if (variant == 0) {
            for (Vec2 rivet : {Vec2{7, 7}, Vec2{25, 7}, Vec2{7, 25}, Vec2{25, 25}}) {
                double r = Length(p - rivet);
                if (r < 2.2)
                    c = Mix(Mix(base, kWhite, 0.6), base * 0.45,
                            Clamp01((p.x - rivet.x + p.y - rivet.y + 2) / 4));
            }
            double groove = std::abs(std::max(std::abs(q.x), std::abs(q.y)) - 6.5);
            if (groove < 0.8) c = base * 0.5;
        } else if (variant == 1) {
            double diamond = std::abs(q.x) + std::abs(q.y);
            if (diamond < 10) {
                bool upper = q.y < 0, left = q.x < 0;
                double shade = upper ? (left ? 1.55 : 1.25) : (left ? 0.9 : 0.65);
                c = Mix(base * shade, kWhite, diamond < 3 ? 0.5 * (1 - diamond / 3) : 0);
            } else if (diamond < 11) {
                c = base * 0.45;
            }
        } else {
            // Hazard stripes across the face, and a dark cross brace.
            double stripe = std::fmod(p.x + p.y + 64, 8.0);
            if (stripe < 4) c = Rgb(44, 36, 30);
            if (std::abs(q.x - q.y) < 1.6 || std::abs(q.x + q.y) < 1.6) c = base * 0.55;
        }
    }
    if (lit) c = Mix(c, kWhite, 0.35);
    return Opaque(c);
}

// A glowing ball, about 30 pixels across.
Rgba Ball(Vec2 p, int variant, bool lit) {
    static const Color kBase[4] = {Rgb(240, 60, 80), Rgb(50, 190, 245), Rgb(245, 210, 50),
                                   Rgb(175, 90, 245)};
    const Color base = kBase[variant];
    const double radius = 15;
    Vec2 q = (p - Vec2{16, 16}) * (1 / radius);
    double r = Length(q);
    if (r > 1.05) return {};
    double z = std::sqrt(std::max(0.0, 1 - r * r));
    // Lit from the upper left, with a highlight, a coloured rim and a glowing core.
    double diffuse = std::max(0.0, -0.45 * q.x - 0.55 * q.y + 0.7 * z);
    double highlight = std::pow(Clamp01(1 - Length(q - Vec2{-0.35, -0.42}) / 0.38), 2);
    double rim = Smoothstep(0.7, 1.0, r);
    Color c = base * (0.35 + 0.75 * diffuse);
    c = Mix(c, Mix(base, kWhite, 0.3), rim * 0.6);
    c = Mix(c, kWhite, highlight * 0.85);
    if (lit) c = Mix(c, Mix(base, kWhite, 0.7), 0.5);
    c = Mix(c, base * 0.3, Smoothstep(0.92, 1.0, r));  // a dark edge keeps it apart from the field
    return {c, Fill((r - 1) * radius)};
}

// Shades a sheet of equal cells; `cell` gets the cell number and a point inside the cell.
Canvas Sheet(int across, int down, int size, int supersample,
             const std::function<Rgba(int, Vec2)>& cell) {
    return Shade(across * size, down * size, supersample, [&](double x, double y) {
        int cx = static_cast<int>(x) / size, cy = static_cast<int>(y) / size;
        return cell(cy * across + cx, Vec2{x - cx * size, y - cy * size});
    });
}

// Heat 0..1 to the colour of fire: dark red, orange, yellow, white.
Color FireColor(double heat) {
    heat = Clamp01(heat);
    if (heat < 0.3) return Rgb(160, 20, 10) * (heat / 0.3);
    if (heat < 0.6) return Mix(Rgb(160, 20, 10), Rgb(255, 120, 20), (heat - 0.3) / 0.3);
    if (heat < 0.85) return Mix(Rgb(255, 120, 20), Rgb(255, 220, 80), (heat - 0.6) / 0.25);
    return Mix(Rgb(255, 220, 80), Rgb(255, 255, 235), (heat - 0.85) / 0.15);
}

}  // namespace

RgbImage DrawSize32() {
    Canvas sheet = Sheet(4, 4, 32, kSupersample, [](int cell, Vec2 p) {
        bool lit = (cell / 4) % 2 == 1;
        int column = cell % 4;
        if (cell < 8) return column == 0 ? Ship(p, lit) : Box(p, column - 1, lit);
        return Ball(p, column, lit);
    });
    return Finish(sheet, DimPixels::Lift);
}

RgbImage DrawSize16() {
    Canvas sheet = Sheet(2, 1, 16, kSupersample, [](int cell, Vec2 p) -> Rgba {
        if (cell == 0) return Ship(p * 2, false);
        // A right-pointing arrow head with a notch, gold.
        static const std::vector<Vec2> kArrow = {{2, 2}, {14.5, 8}, {2, 14}, {5.5, 8}};
        double d = PolygonDistance(p, kArrow);
        Color gold = Mix(Rgb(255, 245, 170), Rgb(230, 140, 30), Clamp01(p.y / 14));
        Rgba arrow = Over({gold, Fill(d)}, {Rgb(70, 30, 10), Fill(d - 1)});
        return arrow;
    });
    return Finish(sheet, DimPixels::Lift);
}

RgbImage DrawExplosion() {
    Canvas sheet = Sheet(8, 2, 96, 2, [](int frame, Vec2 p) -> Rgba {
        const double t = frame / 15.0;
        const double radius = 14 + 32 * (1 - std::pow(1 - t, 2.2));
        Vec2 q = p - Vec2{48, 48};
        double r = Length(q);
        // Churning flame: noise that expands with the ball and drifts as it burns.
        double n = PeriodicFbm(q.x / radius * 0.3 + 0.5 + t * 0.12,
                               q.y / radius * 0.3 + 0.5 - t * 0.18, 5, 4, 71);
        double body = Smoothstep(radius * (0.8 + 0.35 * n), radius * 0.25, r);
        double heat = body * (0.6 + 0.8 * n) * (1.3 - 1.1 * t);
        // Late in the burst the middle burns out first, leaving a ring of embers.
        heat *= 1 - 0.8 * t * t * Smoothstep(radius * 0.7, 0, r);
        double flash = std::exp(-std::pow(r / 12, 2)) * std::pow(1 - t, 6);
        return Opaque(FireColor(heat) * (1 - t * t * t) + kWhite * flash);
    });
    return Finish(sheet, DimPixels::Drop);
}

RgbImage DrawExplosion2() {
    Canvas sheet = Sheet(8, 2, 96, 2, [](int frame, Vec2 p) -> Rgba {
        const double t = frame / 15.0;
        Vec2 q = p - Vec2{48, 48};
        double r = Length(q);
        double angle = std::atan2(q.y, q.x);
        double radius = 4 + 36 * std::pow(t, 0.7);
        double width = 6 * (1 - t) + 1.5;
        double ring = std::exp(-std::pow((r - radius) / width, 2)) * std::pow(1 - t, 1.2);
        double flashSize = 10 * (1 - t) + 2;
        double flash = std::exp(-std::pow(r / flashSize, 2)) * std::pow(1 - t, 3) * 1.5;
        // Sparks flying out along twelve fixed rays.
        double sparks = 0;
        for (int k = 0; k < 12; ++k) {
            double rayAngle = k * kPi / 6 + 0.3 * HashUnit(k, 0, 5);
            double along = r - radius * (1.05 + 0.2 * HashUnit(k, 1, 5));
            double off = std::abs(std::remainder(angle - rayAngle, 2 * kPi)) * r;
            if (along > -7 && along < 0) sparks += std::exp(-off * off) * (1 + along / 7) * (1 - t);
        }
        double energy = 1.3 * (ring + flash + 0.8 * sparks);
        Color c = energy < 0.5 ? Mix(Rgb(0, 0, 0), Rgb(40, 80, 220), energy / 0.5)
                  : energy < 1 ? Mix(Rgb(40, 80, 220), Rgb(90, 230, 255), (energy - 0.5) / 0.5)
                               : Mix(Rgb(90, 230, 255), kWhite, Clamp01(energy - 1));
        return Opaque(c);
    });
    return Finish(sheet, DimPixels::Drop);
}

RgbImage DrawGoal() {
    Canvas goal = Shade(480, 64, 2, [](double x, double y) -> Rgba {
        if (y < 2 || y >= 62) return {};
        // A gentle wave across the flag, as if it hung in the wind.
        double wave = 0.88 + 0.12 * std::sin(x / 480 * 2 * kPi * 3 + y / 18);
        if (y < 8 || y >= 56) {
            double rail = y < 8 ? (y - 2) / 6 : (y - 56) / 6;
            Color gold = Mix(Rgb(255, 240, 160), Rgb(170, 100, 20), rail);
            return Opaque(gold * wave);
        }
        int column = static_cast<int>(x) / 16, row = static_cast<int>(y - 8) / 16;
        Color square = (column + row) % 2 == 0 ? Rgb(235, 235, 245) : Rgb(40, 40, 54);
        return Opaque(square * wave);
    });
    return Finish(goal, DimPixels::Lift);
}
