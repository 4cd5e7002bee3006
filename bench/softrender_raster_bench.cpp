// The rasteriser and primitives on a 640x480 destination, 32-bit and RGB565, side by side with
// SDL2's software renderer and pixman doing the nearest equivalent work: 400 keyed 32x32
// sprites turned about their centres (a busy play field), and a full-screen filled rectangle:
// opaque, half translucent, and added at full strength. Items per second are sprites, or
// pixels for the fills.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/system_info.h"
#include "mem_img_draw_settings.h"
#include "softrender/mem_img.h"
#include "softrender/raster.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kSprite = 32;
constexpr int kSprites = 400;
constexpr uint32_t kKey32 = 0x00FF00FF;
constexpr uint32_t kKey16 = 0xF81F;

enum class Fill { Opaque, Blend128, Add255 };

uint32_t To565(uint32_t c) {
    return (c >> 8 & 0xF800) | (c >> 5 & 0x07E0) | (c >> 3 & 0x001F);
}

// One sprite placement: centre and angle.
struct Placement {
    int cx, cy;
    float angle;
};

std::vector<Placement> Placements() {
    std::vector<Placement> out;
    for (int i = 0; i < kSprites; ++i) {
        out.push_back({16 + (i % 25) * 25, 16 + (i / 25) * 29, 0.37f * float(i)});
    }
    return out;
}

// The same pictures in every library's terms: a sprite whose corners and a quarter of the rest
// hold the key colour, the same sprite with alpha 0 there for pixman and SDL's geometry, and a
// destination per depth.
struct Pictures {
    int bytes = 0;
    std::vector<uint8_t> sprite, spriteAlpha, dest;
    MEMIMG memSprite{}, memDest{};
};

Pictures& PicturesFor(int bytes) {
    static Pictures sets[2];
    Pictures& p = sets[bytes == 4];
    if (p.bytes != 0) return p;
    p.bytes = bytes;
    std::mt19937 rng(bytes);
    p.sprite.resize(size_t(kSprite) * kSprite * bytes);
    p.spriteAlpha.resize(size_t(kSprite) * kSprite * 4);
    for (int i = 0; i < kSprite * kSprite; ++i) {
        const int x = i % kSprite - 16, y = i / kSprite - 16;
        uint32_t c = rng() & 0x00FFFFFF;
        if (x * x + y * y > 15 * 15 || rng() % 4 == 0) c = kKey32;
        const uint32_t v = bytes == 4 ? c : To565(c);
        std::memcpy(p.sprite.data() + size_t(i) * bytes, &v, bytes);
        const uint32_t a = c == kKey32 ? 0 : (0xFF000000 | c);
        std::memcpy(p.spriteAlpha.data() + size_t(i) * 4, &a, 4);
    }
    p.dest.assign(size_t(kWidth) * kHeight * bytes, 0x40);
    const int type = bytes == 4 ? kMemImgXrgb8888 : kMemImgRgb565;
    CreateMemImg(&p.memSprite, kSprite, kSprite, kSprite * bytes, bytes == 4 ? kKey32 : kKey16,
                 type, 0, 0, 0, p.sprite.data());
    CreateMemImg(&p.memDest, kWidth, kHeight, kWidth * bytes, 0, type, 0, 0, 0, p.dest.data());
    return p;
}

void OrbekSprites(benchmark::State& state, int bytes) {
    const MemImgDrawSettings settings(kWidth, kHeight, 0, 0);
    Pictures& p = PicturesFor(bytes);
    const std::vector<Placement> places = Placements();
    for (auto _ : state) {
        for (const Placement& s : places) {
            BlitMemImgRotated(&p.memDest, &p.memSprite, s.cx, s.cy, s.angle, 1.0f, 1, 0, nullptr);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}

// The blend mode and parameter of each fill.
MemImgDrawSettings SettingsFor(Fill fill) {
    switch (fill) {
        case Fill::Blend128:
            return {kWidth, kHeight, 1, 128};
        case Fill::Add255:
            return {kWidth, kHeight, 2, 255};
        case Fill::Opaque:
            break;
    }
    return {kWidth, kHeight, 0, 0};
}

void OrbekFill(benchmark::State& state, int bytes, Fill fill) {
    const MemImgDrawSettings settings = SettingsFor(fill);
    Pictures& p = PicturesFor(bytes);
    const uint32_t colour = bytes == 4 ? 0x00336699 : To565(0x00336699);
    for (auto _ : state) {
        FillMemImgRect(&p.memDest, nullptr, colour);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

pixman_image_t* PixmanImage(pixman_format_code_t format, int w, int h, std::vector<uint8_t>* px,
                            int bytes) {
    return pixman_image_create_bits(format, w, h, reinterpret_cast<uint32_t*>(px->data()),
                                    w * bytes);
}

pixman_image_t* PixmanDest(Pictures& p) {
    return PixmanImage(p.bytes == 4 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5, kWidth, kHeight, &p.dest,
                       p.bytes);
}

// Each sprite: OVER through a nearest-filtered transform that maps its bounding box back onto
// the sprite, rotated about the centre.
void PixmanSprites(benchmark::State& state, int bytes) {
    Pictures& p = PicturesFor(bytes);
    pixman_image_t* dest = PixmanDest(p);
    pixman_image_t* sprite = PixmanImage(PIXMAN_a8r8g8b8, kSprite, kSprite, &p.spriteAlpha, 4);
    pixman_image_set_filter(sprite, PIXMAN_FILTER_NEAREST, nullptr, 0);
    constexpr int kBox = 46;  // holds the sprite at any angle
    std::vector<pixman_transform_t> transforms;
    const std::vector<Placement> places = Placements();
    for (const Placement& s : places) {
        const double c = std::cos(s.angle), n = std::sin(s.angle), h = kBox / 2.0;
        pixman_transform_t t = {{{pixman_double_to_fixed(c), pixman_double_to_fixed(n),
                                  pixman_double_to_fixed(16 - c * h - n * h)},
                                 {pixman_double_to_fixed(-n), pixman_double_to_fixed(c),
                                  pixman_double_to_fixed(16 + n * h - c * h)},
                                 {0, 0, pixman_fixed_1}}};
        transforms.push_back(t);
    }
    for (auto _ : state) {
        for (size_t i = 0; i < places.size(); ++i) {
            pixman_image_set_transform(sprite, &transforms[i]);
            pixman_image_composite32(PIXMAN_OP_OVER, sprite, nullptr, dest, 0, 0, 0, 0,
                                     places[i].cx - kBox / 2, places[i].cy - kBox / 2, kBox, kBox);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
    pixman_image_unref(sprite);
    pixman_image_unref(dest);
}

// SRC, OVER with alpha 128, and ADD of a solid colour.
void PixmanFill(benchmark::State& state, int bytes, Fill fill) {
    Pictures& p = PicturesFor(bytes);
    pixman_image_t* dest = PixmanDest(p);
    const pixman_color_t colour = {0x3333, 0x6666, 0x9999,
                                   uint16_t(fill == Fill::Blend128 ? 0x8080 : 0xFFFF)};
    const pixman_rectangle16_t all = {0, 0, kWidth, kHeight};
    const pixman_op_t op = fill == Fill::Opaque     ? PIXMAN_OP_SRC
                           : fill == Fill::Blend128 ? PIXMAN_OP_OVER
                                                    : PIXMAN_OP_ADD;
    for (auto _ : state) {
        pixman_image_fill_rectangles(op, dest, &colour, 1, &all);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    pixman_image_unref(dest);
}

// SDL's software renderer drawing onto a surface over the destination pixels.
struct SdlScene {
    SDL_Surface* surface;
    SDL_Renderer* renderer;
    SDL_Texture* sprite;

    explicit SdlScene(Pictures& p) {
        surface = SDL_CreateRGBSurfaceWithFormatFrom(
            p.dest.data(), kWidth, kHeight, p.bytes * 8, kWidth * p.bytes,
            p.bytes == 4 ? SDL_PIXELFORMAT_XRGB8888 : SDL_PIXELFORMAT_RGB565);
        renderer = SDL_CreateSoftwareRenderer(surface);
        SDL_Surface* keyed = SDL_CreateRGBSurfaceWithFormatFrom(
            p.spriteAlpha.data(), kSprite, kSprite, 32, kSprite * 4, SDL_PIXELFORMAT_ARGB8888);
        sprite = SDL_CreateTextureFromSurface(renderer, keyed);
        SDL_SetTextureBlendMode(sprite, SDL_BLENDMODE_BLEND);
        SDL_FreeSurface(keyed);
    }
    ~SdlScene() {
        SDL_DestroyTexture(sprite);
        SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(surface);
    }
};

void SdlCopyEx(benchmark::State& state, int bytes) {
    SdlScene scene(PicturesFor(bytes));
    const std::vector<Placement> places = Placements();
    for (auto _ : state) {
        for (const Placement& s : places) {
            const SDL_Rect to{s.cx - 16, s.cy - 16, kSprite, kSprite};
            SDL_RenderCopyEx(scene.renderer, scene.sprite, nullptr, &to,
                             s.angle * 57.29577951308232, nullptr, SDL_FLIP_NONE);
        }
        SDL_RenderFlush(scene.renderer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}

// All sprites as one batch of two textured triangles each.
void SdlGeometry(benchmark::State& state, int bytes) {
    SdlScene scene(PicturesFor(bytes));
    std::vector<SDL_Vertex> vertices;
    std::vector<int> indices;
    for (const Placement& s : Placements()) {
        const float c = std::cos(s.angle), n = std::sin(s.angle);
        const int base = int(vertices.size());
        const float corners[4][2] = {{-16, -16}, {16, -16}, {-16, 16}, {16, 16}};
        for (const auto& k : corners) {
            SDL_Vertex v;
            v.position = {s.cx + k[0] * c - k[1] * n, s.cy + k[0] * n + k[1] * c};
            v.color = {255, 255, 255, 255};
            v.tex_coord = {k[0] > 0 ? 1.0f : 0.0f, k[1] > 0 ? 1.0f : 0.0f};
            vertices.push_back(v);
        }
        for (int i : {0, 1, 2, 1, 2, 3}) indices.push_back(base + i);
    }
    for (auto _ : state) {
        SDL_RenderGeometry(scene.renderer, scene.sprite, vertices.data(), int(vertices.size()),
                           indices.data(), int(indices.size()));
        SDL_RenderFlush(scene.renderer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}

void SdlFill(benchmark::State& state, int bytes, Fill fill) {
    SdlScene scene(PicturesFor(bytes));
    SDL_SetRenderDrawBlendMode(scene.renderer, fill == Fill::Opaque     ? SDL_BLENDMODE_NONE
                                               : fill == Fill::Blend128 ? SDL_BLENDMODE_BLEND
                                                                        : SDL_BLENDMODE_ADD);
    SDL_SetRenderDrawColor(scene.renderer, 0x33, 0x66, 0x99, fill == Fill::Blend128 ? 128 : 255);
    for (auto _ : state) {
        SDL_RenderFillRect(scene.renderer, nullptr);
        SDL_RenderFlush(scene.renderer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

const bool kRegistered = [] {
    for (int bytes : {4, 2}) {
        const std::string depth = bytes == 4 ? "raster32/" : "raster16/";
        benchmark::RegisterBenchmark((depth + "sprites400/orbek").c_str(), OrbekSprites, bytes);
        benchmark::RegisterBenchmark((depth + "sprites400/pixman").c_str(), PixmanSprites, bytes);
        benchmark::RegisterBenchmark((depth + "sprites400/sdl2_copyex").c_str(), SdlCopyEx, bytes);
        benchmark::RegisterBenchmark((depth + "sprites400/sdl2_geometry").c_str(), SdlGeometry,
                                     bytes);
        const std::pair<const char*, Fill> fills[] = {{"fill/", Fill::Opaque},
                                                      {"fill_blend128/", Fill::Blend128},
                                                      {"fill_add255/", Fill::Add255}};
        for (const auto& [name, fill] : fills) {
            const std::string base = depth + name;
            benchmark::RegisterBenchmark((base + "orbek").c_str(), OrbekFill, bytes, fill);
            benchmark::RegisterBenchmark((base + "pixman").c_str(), PixmanFill, bytes, fill);
            benchmark::RegisterBenchmark((base + "sdl2").c_str(), SdlFill, bytes, fill);
        }
    }
    return true;
}();

}  // namespace
