// Our own lettering for the logos: capital letters built from straight strokes with chamfered
// corners (an arcade style), measured in glyph units with the cap height 6 and y downwards,
// and drawn through their distance field with a fill gradient, bevel, outline and shadow.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "image.h"
#include "shapes.h"

class StrokeText {
public:
    // Lays out `text` (capitals and spaces) from x 0 with `spacing` units between letters;
    // `slant` leans the letters right by that many units per unit of height.
    StrokeText(const std::string& text, double spacing, double slant = 0);
    double Width() const { return width_; }
    // Distance in glyph units from p to the nearest stroke's centre line.
    double Distance(Vec2 p) const;

private:
    struct Segment {
        Vec2 a, b;
    };
    struct Glyph {
        double left, right;  // horizontal extent, slant included
        std::vector<Segment> segments;
    };
    std::vector<Glyph> glyphs_;
    double width_ = 0;
};

// Maps picture pixels to glyph units: text `width` units wide centred on `centre`, with
// `scale` pixels to the unit.
struct TextPlacement {
    Vec2 centre;
    double scale, width;
    Vec2 ToGlyph(double x, double y) const {
        return {(x - centre.x) / scale + width / 2, (y - centre.y) / scale + 3};
    }
};

struct LetterStyle {
    double thickness = 1.0;           // stroke width, units
    double outline = 0.3;             // outline width around the stroke, units
    Color top, bottom;                // fill gradient from the cap line to the base line
    std::function<Color(Vec2)> fill;  // when set, the fill colour at a point instead
    Color outlineColor;
    double bevel = 0.35;  // width of the lit and shaded edge band, units
    Vec2 shadowOffset{0.35, 0.45};
    Color shadowColor;
};

// The lettering's colour at point p (glyph units); transparent outside it.
Rgba ShadeLetters(const StrokeText& text, const LetterStyle& style, Vec2 p);

// The game's name as the title and the side panel letter it, and its style.
StrokeText LogoText();
LetterStyle LogoStyle();
