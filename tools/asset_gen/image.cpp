#include "image.h"

#include <algorithm>
#include <cmath>

Rgba Over(Rgba top, Rgba bottom) {
    double a = top.a + bottom.a * (1 - top.a);
    if (a <= 0) return {};
    Color c = (top.c * top.a + bottom.c * (bottom.a * (1 - top.a))) * (1 / a);
    return {c, a};
}

Canvas Shade(int width, int height, int supersample, const Shader& shader) {
    Canvas canvas{width, height, std::vector<Rgba>(static_cast<size_t>(width) * height)};
    const double step = 1.0 / supersample;
    const double weight = step * step;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgba sum;
            for (int sy = 0; sy < supersample; ++sy) {
                for (int sx = 0; sx < supersample; ++sx) {
                    Rgba s = shader(x + (sx + 0.5) * step, y + (sy + 0.5) * step);
                    s.a = std::clamp(s.a, 0.0, 1.0);
                    sum.c = sum.c + s.c * (s.a * weight);
                    sum.a += s.a * weight;
                }
            }
            canvas.pixels[static_cast<size_t>(y) * width + x] = sum;
        }
    }
    return canvas;
}

void Paste(Canvas* canvas, const Canvas& part, int left, int top) {
    for (int y = 0; y < part.height; ++y) {
        for (int x = 0; x < part.width; ++x) {
            canvas->pixels[static_cast<size_t>(top + y) * canvas->width + left + x] =
                part.pixels[static_cast<size_t>(y) * part.width + x];
        }
    }
}

RgbImage Finish(const Canvas& canvas, DimPixels dim) {
    RgbImage image{canvas.width, canvas.height,
                   std::vector<uint8_t>(static_cast<size_t>(canvas.width) * canvas.height * 3)};
    auto toByte = [](double v) {
        return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
    };
    for (size_t i = 0; i < canvas.pixels.size(); ++i) {
        const Rgba& p = canvas.pixels[i];
        if (p.a < 0.5) continue;
        int r = toByte(p.c.r), g = toByte(p.c.g), b = toByte(p.c.b);
        if (std::max({r, g, b}) < kDarkestVisible) {
            if (dim == DimPixels::Drop) continue;
            r = std::max(r, kDarkestVisible);
            g = std::max(g, kDarkestVisible);
            b = std::max(b, kDarkestVisible);
        }
        image.rgb[i * 3] = static_cast<uint8_t>(r);
        image.rgb[i * 3 + 1] = static_cast<uint8_t>(g);
        image.rgb[i * 3 + 2] = static_cast<uint8_t>(b);
    }
    return image;
}
