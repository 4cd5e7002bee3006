// The three turning background tiles of the menus. Each is 192x192, so that turned to any
// angle it still covers its 128x128 cell (whose half diagonal is 90.5 pixels), and stays dim
// enough for the white menu text over it.
#include <cmath>

#include "pictures.h"
#include "shapes.h"

namespace {

constexpr int kSize = 192;

RgbImage Tile(const std::function<Color(double r, double angle)>& polar) {
    Canvas canvas = Shade(kSize, kSize, 2, [&](double x, double y) {
        Vec2 q{x - kSize / 2.0, y - kSize / 2.0};
        return Opaque(polar(Length(q), std::atan2(q.y, q.x)));
    });
    return Finish(canvas, DimPixels::Lift);
}

}  // namespace

RgbImage DrawSwirl() {
    return Tile([](double r, double angle) {
        // Five arms of a logarithmic spiral.
        double arms = 0.5 + 0.5 * std::cos(angle * 5 + std::log(r + 4) * 7);
        double fade = Smoothstep(0, 30, r);
        Color c = Mix(Rgb(36, 22, 80), Rgb(50, 72, 160), arms * fade);
        return c + Rgb(120, 90, 200) * std::exp(-r / 10);
    });
}

RgbImage DrawSunburst() {
    return Tile([](double r, double angle) {
        double rays = 0.5 + 0.5 * std::cos(angle * 16);
        double rings = 0.5 + 0.5 * std::cos(r / 6);
        Color c = Mix(Rgb(16, 60, 56), Rgb(36, 130, 104), rays * 0.8 + 0.2 * rings);
        return c + Rgb(120, 200, 150) * std::exp(-r / 12);
    });
}

RgbImage DrawRosette() {
    return Tile([](double r, double angle) {
        // Two layers of eight petals, the inner one turned half a petal.
        double outer = std::abs(std::cos(angle * 4)) * 90;
        double inner = std::abs(std::cos(angle * 4 + kPi / 8)) * 55;
        Color c = Rgb(70, 24, 40);
        if (r < outer) c = Mix(Rgb(150, 100, 40), Rgb(100, 40, 50), r / (outer + 1));
        if (r < inner) c = Mix(Rgb(200, 150, 70), Rgb(130, 60, 40), r / (inner + 1));
        if (r < 12) c = Rgb(230, 200, 120);
        double lace = 0.5 + 0.5 * std::cos(r / 3.2);
        return Mix(c, c * 0.7, lace * 0.3);
    });
}
