// Stage backgrounds and the side panel. Every texture is built from patterns with a period of
// exactly 480 pixels, so each background repeats without a seam; all stay dark and low in
// contrast behind the sprites.
#include <algorithm>
#include <cmath>

#include "lettering.h"
#include "pictures.h"
#include "random.h"
#include "shapes.h"

namespace {

constexpr int kSize = 480;

// Light added by small round spots scattered over the tile, wrapping at its edges.
class Speckles {
public:
    Speckles() : light_(static_cast<size_t>(kSize) * kSize) {}
    void Add(Vec2 at, double radius, Color color, bool glint) {
        const int reach = static_cast<int>(std::ceil(radius * (glint ? 4 : 2)));
        for (int dy = -reach; dy <= reach; ++dy) {
            for (int dx = -reach; dx <= reach; ++dx) {
                int x = static_cast<int>(std::floor(at.x)) + dx,
                    y = static_cast<int>(std::floor(at.y)) + dy;
                Vec2 q = Vec2{x + 0.5, y + 0.5} - at;
                double v = std::exp(-Dot(q, q) / (radius * radius));
                if (glint)
                    v += 0.35 * std::exp(-std::abs(q.x) * std::abs(q.y) / radius) *
                         std::max(0.0, 1 - Length(q) / (radius * 4));
                Color& c = light_[static_cast<size_t>(((y % kSize) + kSize) % kSize) * kSize +
                                  ((x % kSize) + kSize) % kSize];
                c = c + color * v;
            }
        }
    }
    Color At(double x, double y) const {
        return light_[static_cast<size_t>(y) * kSize + static_cast<size_t>(x)];
    }

private:
    std::vector<Color> light_;
};

RgbImage Background(const Shader& shader) {
    return Finish(Shade(kSize, kSize, 1, shader), DimPixels::Lift);
}

}  // namespace

RgbImage DrawStarfield() {
    Speckles stars;
    Random random(1);
    for (int k = 0; k < 420; ++k) {
        Vec2 at{random.Range(0, kSize), random.Range(0, kSize)};
        double brightness = random.Unit();
        brightness = 0.18 + 0.7 * brightness * brightness * brightness;
        Color tint = Mix(Rgb(170, 200, 255), Rgb(255, 230, 190), random.Unit());
        stars.Add(at, 0.6 + 0.5 * brightness, tint * brightness, brightness > 0.6);
    }
    return Background([&](double x, double y) {
        double u = x / kSize, v = y / kSize;
        double cloud = PeriodicFbm(u, v, 3, 5, 11);
        double hue = PeriodicFbm(u, v, 2, 3, 12);
        double density = Smoothstep(0.42, 0.8, cloud) * 0.5;
        Color nebula = Mix(Rgb(80, 34, 110), Rgb(24, 80, 110), Smoothstep(0.35, 0.65, hue));
        Color c = Mix(Rgb(16, 18, 36), nebula, density) + stars.At(x, y);
        return Opaque(c);
    });
}

RgbImage DrawCrypt() {
    Speckles wisps;
    Random random(3);
    for (int k = 0; k < 24; ++k) {
        wisps.Add({random.Range(0, kSize), random.Range(0, kSize)}, random.Range(2, 5),
                  Rgb(60, 130, 70) * 0.5, false);
    }
    return Background([&](double x, double y) {
        double u = x / kSize, v = y / kSize;
        CellDistances stones = PeriodicCells(u, v, 8, 21);
        double gap = stones.second - stones.nearest;
        double grain = PeriodicFbm(u, v, 16, 3, 22);
        double tone = 0.8 + 0.4 * (Hash32(stones.id * 7 + 1) % 100) / 100.0;
        Color stone = Mix(Rgb(30, 30, 40), Rgb(46, 42, 56), grain) * tone;
        // Moss creeps out of the joints; the joints themselves are deep.
        double moss =
            Smoothstep(0.25, 0.05, gap) * Smoothstep(0.45, 0.7, PeriodicFbm(u, v, 6, 3, 23));
        stone = Mix(stone, Rgb(40, 70, 36), moss * 0.7);
        stone = Mix(stone, Rgb(18, 16, 24), Smoothstep(0.07, 0.02, gap));
        // A violet mist drifts over the floor.
        double mist = Smoothstep(0.5, 0.85, PeriodicFbm(u, v, 2, 4, 24));
        return Opaque(Mix(stone, Rgb(70, 56, 96), mist * 0.35) + wisps.At(x, y));
    });
}

RgbImage DrawSeigaiha() {
    Speckles petals;
    Random random(4);
    for (int k = 0; k < 40; ++k) {
        petals.Add({random.Range(0, kSize), random.Range(0, kSize)}, random.Range(1.2, 2.2),
                   Rgb(220, 120, 160) * 0.7, false);
    }
    // Overlapping scales of concentric rings: circles of radius 40 on an 80 x 40 lattice,
    // every other row shifted half a step, lower rows lying over the upper ones.
    constexpr double kWidth = 80, kRow = 40, kRadius = 40;
    return Background([&](double x, double y) {
        double u = x / kSize, v = y / kSize;
        int row = static_cast<int>(std::floor(y / kRow));
        double r = kRadius;
        for (int j = row + 1; j >= row - 1; --j) {
            double shift = (((j % 2) + 2) % 2) * kWidth / 2;
            double cx = std::round((x - shift) / kWidth) * kWidth + shift;
            double d = Length(Vec2{x - cx, y - j * kRow});
            if (d < kRadius) {
                r = d;
                break;
            }
        }
        double rings = std::fmod(r, kRadius / 5) / (kRadius / 5);
        double line = Smoothstep(0.2, 0.0, std::min(rings, 1 - rings));
        Color fill = Mix(Rgb(18, 22, 56), Rgb(26, 32, 74), r / kRadius);
        Color c = Mix(fill, Rgb(46, 60, 118), line * 0.7);
        if (r > kRadius - 2)
            c = Mix(c, Rgb(120, 100, 60), 0.35);  // a faint gold edge to each scale
        double cloud = Smoothstep(0.55, 0.8, PeriodicFbm(u, v, 2, 4, 31));
        return Opaque(Mix(c, Rgb(16, 18, 40), cloud * 0.6) + petals.At(x, y));
    });
}

RgbImage DrawLavaField() {
    Speckles embers;
    Random random(5);
    for (int k = 0; k < 60; ++k) {
        embers.Add({random.Range(0, kSize), random.Range(0, kSize)}, random.Range(0.6, 1.3),
                   Rgb(255, 150, 60) * random.Range(0.3, 0.8), false);
    }
    return Background([&](double x, double y) {
        double u = x / kSize, v = y / kSize;
        CellDistances plates = PeriodicCells(u, v, 7, 41);
        double gap = plates.second - plates.nearest;
        double rock = PeriodicFbm(u, v, 12, 4, 42);
        Color c = Mix(Rgb(26, 20, 22), Rgb(52, 40, 38), rock);
        // Cracks glow; some run hot, most only smoulder.
        double heat = PeriodicFbm(u, v, 3, 3, 43);
        double crack = std::exp(-gap / 0.025) * (0.35 + 0.9 * Smoothstep(0.4, 0.75, heat));
        Color glow = Mix(Rgb(120, 24, 8), Rgb(235, 120, 30), Clamp01(crack - 0.3));
        c = Mix(c, glow, Clamp01(crack));
        return Opaque(c + embers.At(x, y));
    });
}

RgbImage DrawBoard() {
    const StrokeText logo = LogoText();
    const LetterStyle style = LogoStyle();
    const TextPlacement place{{80, 448}, 3.6, logo.Width()};
    // Recessed windows behind the score texts and the life icons.
    struct Window {
        double left, top, right, bottom;
    };
    const Window windows[] = {{8, 22, 152, 118}, {8, 128, 152, 162}};
    Canvas canvas = Shade(160, kSize, 2, [&](double x, double y) -> Rgba {
        Color c = Mix(Rgb(44, 48, 76), Rgb(26, 28, 46), y / kSize);
        c = c * (0.95 + 0.05 * std::sin(y * 1.7 + 3 * std::sin(y * 0.05)));  // brushed metal
        double edge = std::min({x, y, 160 - x, kSize - y});
        if (edge < 4) {
            bool lit =
                (y < 4 && y < 160 - x) || (x < 4 && x < kSize - y);  // the top and left bevels
            c = lit ? Rgb(120, 130, 170) : Rgb(30, 32, 54);
        }
        for (const Window& w : windows) {
            if (x < w.left || x >= w.right || y < w.top || y >= w.bottom) continue;
            double inside = std::min({x - w.left, y - w.top, w.right - x, w.bottom - y});
            c = Rgb(18, 20, 36);
            if (inside < 2)
                c = (x - w.left < 2 || y - w.top < 2) ? Rgb(16, 16, 24) : Rgb(90, 100, 140);
            else if (inside < 3)
                c = Rgb(40, 140, 200);
        }
        // A radar scope in the middle of the panel, its sweep pointing up and to the right.
        Vec2 q = Vec2{x, y} - Vec2{80, 290};
        double r = Length(q);
        if (r < 62) {
            double sweep = std::fmod(std::atan2(q.y, q.x) + 2.2 + 4 * kPi, 2 * kPi);
            c = Rgb(16, 40, 36) + Rgb(40, 160, 110) * (std::exp(-sweep * 1.6) * 0.7);
            double ring = std::abs(std::fmod(r, 20) - 10);
            if (ring > 9.3 || std::abs(q.x) < 0.6 || std::abs(q.y) < 0.6) c = c + Rgb(30, 90, 70);
            if (r > 59) c = Rgb(100, 110, 150);
        }
        for (Vec2 screw : {Vec2{10, 10}, Vec2{150, 10}, Vec2{10, 470}, Vec2{150, 470}}) {
            double d = Length(Vec2{x, y} - screw);
            if (d < 3)
                c = std::abs((x - screw.x) - (y - screw.y)) < 0.7 ? Rgb(40, 44, 60)
                                                                  : Rgb(150, 160, 190);
        }
        return Over(ShadeLetters(logo, style, place.ToGlyph(x, y)), Opaque(c));
    });
    return Finish(canvas, DimPixels::Lift);
}
