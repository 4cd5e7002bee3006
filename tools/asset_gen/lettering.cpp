#include "lettering.h"

#include <algorithm>
#include <map>

namespace {

using Polyline = std::vector<Vec2>;

struct GlyphShape {
    double width;
    std::vector<Polyline> strokes;
};

// Cap height 6; corners cut at 45 degrees for the arcade look.
const std::map<char, GlyphShape>& GlyphTable() {
    static const std::map<char, GlyphShape> table = {
        {'A',
         {4, {{{0, 6}, {0, 1.5}, {1.5, 0}, {2.5, 0}, {4, 1.5}, {4, 6}}, {{0, 3.6}, {4, 3.6}}}}},
        {'B',
         {4,
          {{{0, 3},
            {3, 3},
            {4, 4},
            {4, 5},
            {3, 6},
            {0, 6},
            {0, 0},
            {3, 0},
            {4, 1},
            {4, 2},
            {3, 3}}}}},
        {'C', {4, {{{4, 1}, {3, 0}, {1, 0}, {0, 1}, {0, 5}, {1, 6}, {3, 6}, {4, 5}}}}},
        {'D', {4, {{{0, 0}, {0, 6}, {2.5, 6}, {4, 4.5}, {4, 1.5}, {2.5, 0}, {0, 0}}}}},
        {'E', {4, {{{4, 0}, {0, 0}, {0, 6}, {4, 6}}, {{0, 3}, {3, 3}}}}},
        {'G',
         {4,
          {{{4, 1},
            {3, 0},
            {1, 0},
            {0, 1},
            {0, 5},
            {1, 6},
            {3, 6},
            {4, 5},
            {4, 3.4},
            {2.2, 3.4}}}}},
        {'H', {4, {{{0, 0}, {0, 6}}, {{4, 0}, {4, 6}}, {{0, 3}, {4, 3}}}}},
        {'I', {2, {{{1, 0}, {1, 6}}, {{0, 0}, {2, 0}}, {{0, 6}, {2, 6}}}}},
        {'L', {4, {{{0, 0}, {0, 6}, {4, 6}}}}},
        {'M', {4.8, {{{0, 6}, {0, 0}, {2.4, 2.6}, {4.8, 0}, {4.8, 6}}}}},
        {'N', {4, {{{0, 6}, {0, 0}, {4, 6}, {4, 0}}}}},
        {'O', {4, {{{1, 0}, {3, 0}, {4, 1}, {4, 5}, {3, 6}, {1, 6}, {0, 5}, {0, 1}, {1, 0}}}}},
        {'R', {4, {{{0, 6}, {0, 0}, {3, 0}, {4, 1}, {4, 2}, {3, 3}, {0, 3}}, {{2, 3}, {4, 6}}}}},
        {'S',
         {4,
          {{{4, 1},
            {3, 0},
            {1, 0},
            {0, 1},
            {0, 2},
            {1, 3},
            {3, 3},
            {4, 4},
            {4, 5},
            {3, 6},
            {1, 6},
            {0, 5}}}}},
        {'T', {4, {{{0, 0}, {4, 0}}, {{2, 0}, {2, 6}}}}},
        {'U', {4, {{{0, 0}, {0, 5}, {1, 6}, {3, 6}, {4, 5}, {4, 0}}}}},
        {'V', {4, {{{0, 0}, {2, 6}, {4, 0}}}}},
    };
    return table;
}

constexpr double kSpaceWidth = 2.0;

}  // namespace

StrokeText::StrokeText(const std::string& text, double spacing, double slant) {
    double x = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i > 0) x += spacing;
        auto found = GlyphTable().find(text[i]);
        if (found == GlyphTable().end()) {  // a space
            x += kSpaceWidth;
            continue;
        }
        const GlyphShape& shape = found->second;
        Glyph glyph{x, x + shape.width + 6 * slant, {}};
        for (const Polyline& stroke : shape.strokes) {
            for (size_t k = 1; k < stroke.size(); ++k) {
                auto place = [&](Vec2 v) { return Vec2{x + v.x + (6 - v.y) * slant, v.y}; };
                glyph.segments.push_back({place(stroke[k - 1]), place(stroke[k])});
            }
        }
        glyphs_.push_back(glyph);
        x += shape.width;
    }
    width_ = x + 6 * slant;
}

double StrokeText::Distance(Vec2 p) const {
    double best = 1e30;
    for (const Glyph& glyph : glyphs_) {
        double outside = std::max({glyph.left - p.x, p.x - glyph.right, -p.y, p.y - 6, 0.0});
        if (outside >= best) continue;
        for (const Segment& s : glyph.segments) best = std::min(best, SegmentDistance(p, s.a, s.b));
    }
    return best;
}

Rgba ShadeLetters(const StrokeText& text, const LetterStyle& style, Vec2 p) {
    const double half = style.thickness / 2;
    const double d = text.Distance(p);
    // Coverage widths are in units; 0.08 units is about a pixel at the sizes used.
    constexpr double kSoft = 0.08;
    auto cover = [&](double distance, double edge) {
        return Smoothstep(edge + kSoft, edge - kSoft, distance);
    };

    Rgba result;
    const double shadow = cover(text.Distance(p - style.shadowOffset), half + style.outline);
    result = Over({style.shadowColor, shadow}, result);
    result = Over({style.outlineColor, cover(d, half + style.outline)}, result);

    const double body = cover(d, half);
    if (body > 0) {
        Color fill = style.fill ? style.fill(p) : Mix(style.top, style.bottom, Clamp01(p.y / 6));
        // The edge band is lit where the stroke faces up-left and shaded where it faces down-right.
        const double e = 0.02;
        Vec2 normal{text.Distance(p + Vec2{e, 0}) - text.Distance(p - Vec2{e, 0}),
                    text.Distance(p + Vec2{0, e}) - text.Distance(p - Vec2{0, e})};
        double n = Length(normal);
        double band = Smoothstep(half - style.bevel, half, d);
        if (n > 1e-9) {
            double light = (normal.x * -0.6 + normal.y * -0.8) / n;  // facing the light: > 0
            fill = light > 0 ? Mix(fill, Color{1, 1, 1}, band * light * 0.75)
                             : Mix(fill, fill * 0.45, band * -light);
        }
        // A thin shine line along the middle of the strokes' upper half.
        fill =
            Mix(fill, Color{1, 1, 1}, 0.25 * Smoothstep(half * 0.35, 0, d) * (p.y < 3 ? 1 : 0.3));
        result = Over({fill, body}, result);
    }
    return result;
}

StrokeText LogoText() {
    return StrokeText("BROVANE", 0.9, 0.22);
}

LetterStyle LogoStyle() {
    LetterStyle style;
    style.thickness = 1.25;
    style.outline = 0.35;
    style.top = Rgb(255, 246, 170);
    style.bottom = Rgb(255, 96, 24);
    style.outlineColor = Rgb(44, 20, 96);
    style.shadowColor = Rgb(90, 40, 170);
    style.shadowOffset = {0.3, 0.4};
    return style;
}
