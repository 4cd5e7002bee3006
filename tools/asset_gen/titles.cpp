// The lettering pictures: the title logo, "GAME OVER", "CONGRATULATIONS" and "THE END".
// The title and the ending pictures are shown on black and may glow; "GAME OVER" is drawn
// over the play field, so it has a solid outline instead.
#include <algorithm>
#include <cmath>

#include "lettering.h"
#include "pictures.h"
#include "random.h"

namespace {

// A four-pointed twinkle of `size` pixels at `at`.
double Twinkle(Vec2 p, Vec2 at, double size) {
    Vec2 q = p - at;
    double cross = std::exp(-std::abs(q.x) * std::abs(q.y) / (size * 0.35)) *
                   std::max(0.0, 1 - Length(q) / size);
    return cross + std::exp(-Dot(q, q) / (size * 0.3));
}

// Halo around the strokes: bright near them, gone four units away.
double Glow(double distance, double half) {
    return std::exp(-std::max(0.0, distance - half) / 1.1) * 0.8;
}

// Glows fade out towards the picture's edges, so that none ends in a straight cut.
double EdgeFade(double x, double y, double width, double height) {
    return Smoothstep(0, 24, std::min({x, y, width - x, height - y}));
}

}  // namespace

RgbImage DrawTitle() {
    const StrokeText logo = LogoText();
    const StrokeText tagline("SURVIVE SEVEN STAGES", 0.8);
    const TextPlacement big{{305, 100}, 16.0, logo.Width()};
    const TextPlacement small{{305, 205}, 3.2, tagline.Width()};
    const LetterStyle style = LogoStyle();
    LetterStyle taglineStyle = style;
    taglineStyle.thickness = 0.9;
    taglineStyle.outline = 0.25;
    taglineStyle.top = Rgb(200, 250, 255);
    taglineStyle.bottom = Rgb(70, 170, 255);
    taglineStyle.outlineColor = Rgb(20, 30, 80);
    taglineStyle.shadowOffset = {0, 0};
    struct Star {
        Vec2 at;
        double size;
    };
    std::vector<Star> stars;
    Random random(7);
    for (int k = 0; k < 14; ++k)
        stars.push_back({{random.Range(10, 600), random.Range(10, 180)}, random.Range(3, 9)});
    Canvas canvas = Shade(610, 240, 2, [&](double x, double y) {
        Vec2 p{x, y};
        Vec2 g = big.ToGlyph(x, y);
        // Behind the letters: a violet halo, a light beam across the middle and twinkles.
        double halo = Glow(logo.Distance(g), style.thickness / 2 + style.outline);
        double beam =
            std::exp(-std::abs(y - 112) / 3.0) * std::exp(-std::pow((x - 305) / 300, 2) * 2);
        Color back = Rgb(120, 50, 230) * halo + Rgb(120, 220, 255) * beam;
        for (const Star& star : stars)
            back = back + Color{1, 1, 1} * Twinkle(p, star.at, star.size);
        Rgba result = Opaque(back * EdgeFade(x, y, 610, 240));
        result = Over(ShadeLetters(logo, style, g), result);
        result = Over(ShadeLetters(tagline, taglineStyle, small.ToGlyph(x, y)), result);
        return result;
    });
    return Finish(canvas, DimPixels::Drop);
}

RgbImage DrawGameOver() {
    StrokeText text("GAME OVER", 0.9, 0.12);
    const TextPlacement place{{175, 46}, 7.6, text.Width()};
    LetterStyle style;
    style.thickness = 1.3;
    style.outline = 0.4;
    style.top = Rgb(255, 236, 140);
    style.bottom = Rgb(225, 36, 40);
    style.outlineColor = Rgb(48, 12, 28);
    style.shadowColor = Rgb(24, 16, 32);
    style.shadowOffset = {0.35, 0.45};
    Canvas canvas = Shade(350, 96, 3, [&](double x, double y) {
        return ShadeLetters(text, style, place.ToGlyph(x, y));
    });
    return Finish(canvas, DimPixels::Lift);
}

RgbImage DrawCongratulations() {
    StrokeText text("CONGRATULATIONS", 0.8, 0.15);
    const TextPlacement place{{304, 76}, 8.3, text.Width()};
    LetterStyle style;
    style.thickness = 1.2;
    style.outline = 0.35;
    style.outlineColor = Rgb(30, 20, 70);
    style.shadowColor = Rgb(60, 30, 120);
    // A rainbow across the word, lighter at the top of each letter.
    style.fill = [&](Vec2 g) {
        double hue = Clamp01(g.x / text.Width()) * 5;
        static const Color kHues[6] = {Rgb(255, 70, 70), Rgb(255, 170, 40), Rgb(255, 240, 60),
                                       Rgb(80, 230, 90), Rgb(60, 170, 255), Rgb(190, 90, 255)};
        int k = std::min(4, static_cast<int>(hue));
        Color c = Mix(kHues[k], kHues[k + 1], hue - k);
        return Mix(Mix(c, Color{1, 1, 1}, 0.55), c, Clamp01(g.y / 4));
    };
    // Fireworks: bursts of sparks around the word.
    struct Burst {
        Vec2 at;
        double radius;
        Color color;
    };
    const Burst bursts[] = {{{52, 34}, 30, Rgb(255, 120, 200)},
                            {{560, 30}, 28, Rgb(120, 220, 255)},
                            {{300, 22}, 20, Rgb(255, 230, 120)},
                            {{140, 126}, 22, Rgb(140, 255, 150)},
                            {{470, 124}, 24, Rgb(255, 160, 80)}};
    Canvas canvas = Shade(608, 150, 2, [&](double x, double y) {
        Vec2 p{x, y};
        Color back;
        for (const Burst& b : bursts) {
            Vec2 q = p - b.at;
            double r = Length(q);
            if (r > b.radius * 1.2) continue;
            double angle = std::atan2(q.y, q.x);
            double ray = std::abs(std::remainder(angle, 2 * kPi / 16)) * r;
            double along = r / b.radius;
            // Dotted trails along sixteen rays, brightest at their heads.
            double dots = 0.4 + 0.6 * std::pow(0.5 + 0.5 * std::cos(along * 2 * kPi * 4), 2);
            double head = along > 0.85 && along < 1.05 ? 1.6 : 1;
            double spark =
                std::exp(-ray * ray / 2.5) * (0.3 + along) * dots * head * (along < 1.05 ? 1 : 0);
            back = back + b.color * (spark * 1.6) + Color{1, 1, 1} * (std::exp(-r * r / 10) * 0.9);
        }
        Vec2 g = place.ToGlyph(x, y);
        double halo = Glow(text.Distance(g), style.thickness / 2 + style.outline) * 0.45;
        return Over(ShadeLetters(text, style, g),
                    Opaque((back + Rgb(200, 160, 255) * halo) * EdgeFade(x, y, 608, 150)));
    });
    return Finish(canvas, DimPixels::Drop);
}

RgbImage DrawTheEnd() {
    StrokeText text("THE END", 1.1, 0.1);
    const TextPlacement place{{242, 84}, 12.5, text.Width()};
    LetterStyle style;
    style.thickness = 1.2;
    style.outline = 0.3;
    style.top = Rgb(255, 250, 215);
    style.bottom = Rgb(205, 140, 40);
    style.outlineColor = Rgb(64, 32, 12);
    style.shadowColor = Rgb(50, 24, 80);
    Canvas canvas = Shade(484, 200, 2, [&](double x, double y) {
        Vec2 p{x, y};
        Vec2 g = place.ToGlyph(x, y);
        double halo = Glow(text.Distance(g), style.thickness / 2 + style.outline) * 0.5;
        // An ornament under the words: a gold rule fading to both sides, a diamond in the middle.
        double rule =
            std::exp(-std::abs(y - 170) / 0.9) * std::exp(-std::pow((x - 242) / 170, 2) * 2);
        double diamond = std::abs(x - 242) + std::abs(y - 170) * 1.6;
        Color back = Rgb(255, 190, 80) * halo + Rgb(255, 215, 120) * rule;
        back = back + Color{1, 1, 1} * (Twinkle(p, {60, 40}, 8) + Twinkle(p, {430, 150}, 7) +
                                        Twinkle(p, {400, 30}, 5));
        Rgba result = Opaque(back * EdgeFade(x, y, 484, 200));
        if (diamond < 9)
            result = Over(
                {Mix(Rgb(255, 250, 220), Rgb(210, 140, 40), diamond / 9), Clamp01(9 - diamond)},
                result);
        result = Over(ShadeLetters(text, style, g), result);
        return result;
    });
    return Finish(canvas, DimPixels::Drop);
}
