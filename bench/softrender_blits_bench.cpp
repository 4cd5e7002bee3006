// The software blits on a 640x480 destination, 32-bit and RGB565, side by side with pixman and
// SDL2 doing the nearest equivalent work on the same pixels, and memcpy of the same bytes.
// Items per second are destination pixels per second.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/system_info.h"
#include "mem_img_draw_settings.h"
#include "softrender/mem_img.h"
#include "softrender/blits.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kKey32 = 0x00FF00FF;
constexpr uint32_t kKey16 = 0xF81F;

enum class Work { CopyKey, Blend128, Add255, Stretch2x };

// The same pictures in every library's terms: a keyed sprite (a quarter of its pixels equal
// to the key), an opaque picture, a half-size picture for the stretch, and a destination.
struct Pictures {
    int bytes;  // per pixel: 4 or 2
    std::vector<uint8_t> sprite, keyedAlpha, picture, half, dest;
    MEMIMG memSprite{}, memPicture{}, memHalf{}, memDest{};
};

uint32_t To565(uint32_t c) {
    return (c >> 8 & 0xF800) | (c >> 5 & 0x07E0) | (c >> 3 & 0x001F);
}

void Fill(std::vector<uint8_t>* out, int w, int h, int bytes, std::mt19937& rng, bool keyed) {
    out->resize(size_t(w) * h * bytes);
    for (int i = 0; i < w * h; ++i) {
        uint32_t c = rng() & 0x00FFFFFF;
        if (keyed && rng() % 4 == 0) c = kKey32;
        const uint32_t v = bytes == 4 ? c : To565(c);
        std::memcpy(out->data() + size_t(i) * bytes, &v, bytes);
    }
}

void Wrap(MEMIMG* img, std::vector<uint8_t>* pixels, int w, int h, int bytes, uint32_t key) {
    CreateMemImg(img, w, h, w * bytes, key, bytes == 4 ? kMemImgXrgb8888 : kMemImgRgb565, 0, 0, 0,
                 pixels->data());
}

Pictures& PicturesFor(int bytes) {
    static Pictures sets[2];
    Pictures& p = sets[bytes == 4];
    if (p.bytes != 0) return p;
    p.bytes = bytes;
    std::mt19937 rng(bytes);
    Fill(&p.sprite, kWidth, kHeight, bytes, rng, true);
    Fill(&p.picture, kWidth, kHeight, bytes, rng, false);
    Fill(&p.half, kWidth / 2, kHeight / 2, bytes, rng, false);
    Fill(&p.dest, kWidth, kHeight, bytes, rng, false);
    // pixman has no colour key: its sprite carries alpha 0 where the key is, 255 elsewhere.
    std::mt19937 again(bytes);
    p.keyedAlpha.resize(size_t(kWidth) * kHeight * 4);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        uint32_t c = again() & 0x00FFFFFF;
        if (again() % 4 == 0) c = kKey32;
        const uint32_t v = c == kKey32 ? 0 : (0xFF000000 | c);
        std::memcpy(p.keyedAlpha.data() + size_t(i) * 4, &v, 4);
    }
    Wrap(&p.memSprite, &p.sprite, kWidth, kHeight, bytes, bytes == 4 ? kKey32 : kKey16);
    Wrap(&p.memPicture, &p.picture, kWidth, kHeight, bytes, 0);
    Wrap(&p.memHalf, &p.half, kWidth / 2, kHeight / 2, bytes, 0);
    Wrap(&p.memDest, &p.dest, kWidth, kHeight, bytes, 0);
    return p;
}

// The blend mode and parameter of each work.
MemImgDrawSettings SettingsFor(Work work) {
    switch (work) {
        case Work::Blend128:
            return {kWidth, kHeight, 1, 128};
        case Work::Add255:
            return {kWidth, kHeight, 2, 255};
        case Work::CopyKey:
        case Work::Stretch2x:
            break;
    }
    return {kWidth, kHeight, 0, 0};
}

void Orbek(benchmark::State& state, int bytes, Work work) {
    const MemImgDrawSettings settings = SettingsFor(work);
    Pictures& p = PicturesFor(bytes);
    const int32_t full[4] = {0, 0, kWidth, kHeight};
    for (auto _ : state) {
        switch (work) {
            case Work::CopyKey:
                BlitMemImgUnscaled(&p.memDest, &p.memSprite, 0, 0, 1, nullptr);
                break;
            case Work::Blend128:
            case Work::Add255:
                BlitMemImgUnscaled(&p.memDest, &p.memPicture, 0, 0, 0, nullptr);
                break;
            case Work::Stretch2x:
                BlitMemImgScaled(&p.memDest, &p.memHalf, full, 0, nullptr);
                break;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

pixman_image_t* PixmanImage(pixman_format_code_t format, int w, int h, std::vector<uint8_t>* px,
                            int bytes) {
    return pixman_image_create_bits(format, w, h, reinterpret_cast<uint32_t*>(px->data()),
                                    w * bytes);
}

// Keyed copy: OVER with a sprite whose alpha is 0 or 255. Blend: OVER through a solid mask of
// alpha 128. Add: ADD. Stretch: SRC through a 0.5 nearest-filter transform.
void Pixman(benchmark::State& state, int bytes, Work work) {
    Pictures& p = PicturesFor(bytes);
    const pixman_format_code_t native = bytes == 4 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5;
    pixman_image_t* dest = PixmanImage(native, kWidth, kHeight, &p.dest, bytes);
    pixman_image_t* src = nullptr;
    pixman_image_t* mask = nullptr;
    pixman_op_t op = PIXMAN_OP_OVER;
    switch (work) {
        case Work::CopyKey:
            src = PixmanImage(PIXMAN_a8r8g8b8, kWidth, kHeight, &p.keyedAlpha, 4);
            break;
        case Work::Blend128: {
            src = PixmanImage(native, kWidth, kHeight, &p.picture, bytes);
            const pixman_color_t half = {0, 0, 0, 0x8080};
            mask = pixman_image_create_solid_fill(&half);
            break;
        }
        case Work::Add255:
            src = PixmanImage(native, kWidth, kHeight, &p.picture, bytes);
            op = PIXMAN_OP_ADD;
            break;
        case Work::Stretch2x: {
            src = PixmanImage(native, kWidth / 2, kHeight / 2, &p.half, bytes);
            pixman_transform_t t;
            pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5),
                                        pixman_double_to_fixed(0.5));
            pixman_image_set_transform(src, &t);
            pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
            op = PIXMAN_OP_SRC;
            break;
        }
    }
    for (auto _ : state) {
        pixman_image_composite32(op, src, mask, dest, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    if (mask) pixman_image_unref(mask);
    pixman_image_unref(src);
    pixman_image_unref(dest);
}

SDL_Surface* SdlSurface(std::vector<uint8_t>* px, int w, int h, int bytes) {
    return SDL_CreateRGBSurfaceWithFormatFrom(
        px->data(), w, h, bytes * 8, w * bytes,
        bytes == 4 ? SDL_PIXELFORMAT_XRGB8888 : SDL_PIXELFORMAT_RGB565);
}

// Keyed copy: SDL_BlitSurface with a colour key. Blend: surface alpha 128 with blending.
// Add: additive blending. Stretch: SDL_BlitScaled.
void Sdl(benchmark::State& state, int bytes, Work work) {
    Pictures& p = PicturesFor(bytes);
    SDL_Surface* dest = SdlSurface(&p.dest, kWidth, kHeight, bytes);
    SDL_Surface* src = nullptr;
    switch (work) {
        case Work::CopyKey:
            src = SdlSurface(&p.sprite, kWidth, kHeight, bytes);
            SDL_SetColorKey(src, SDL_TRUE, bytes == 4 ? kKey32 : kKey16);
            break;
        case Work::Blend128:
            src = SdlSurface(&p.picture, kWidth, kHeight, bytes);
            SDL_SetSurfaceAlphaMod(src, 128);
            SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_BLEND);
            break;
        case Work::Add255:
            src = SdlSurface(&p.picture, kWidth, kHeight, bytes);
            SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_ADD);
            break;
        case Work::Stretch2x:
            src = SdlSurface(&p.half, kWidth / 2, kHeight / 2, bytes);
            SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
            break;
    }
    SDL_Rect full{0, 0, kWidth, kHeight};
    for (auto _ : state) {
        if (work == Work::Stretch2x)
            SDL_BlitScaled(src, nullptr, dest, &full);
        else
            SDL_BlitSurface(src, nullptr, dest, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    SDL_FreeSurface(src);
    SDL_FreeSurface(dest);
}

void Memcpy(benchmark::State& state, int bytes) {
    Pictures& p = PicturesFor(bytes);
    for (auto _ : state) {
        std::memcpy(p.dest.data(), p.picture.data(), p.dest.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

const struct {
    const char* name;
    Work work;
} kWorks[] = {{"copy_key", Work::CopyKey},
              {"blend128", Work::Blend128},
              {"add255", Work::Add255},
              {"stretch2x", Work::Stretch2x}};

const bool kRegistered = [] {
    for (int bytes : {4, 2}) {
        const std::string depth = bytes == 4 ? "blit32/" : "blit16/";
        for (const auto& w : kWorks) {
            const std::string base = depth + w.name;
            benchmark::RegisterBenchmark((base + "/orbek").c_str(), Orbek, bytes, w.work);
            benchmark::RegisterBenchmark((base + "/pixman").c_str(), Pixman, bytes, w.work);
            benchmark::RegisterBenchmark((base + "/sdl2").c_str(), Sdl, bytes, w.work);
        }
        benchmark::RegisterBenchmark((depth + "memcpy").c_str(), Memcpy, bytes);
    }
    return true;
}();

}  // namespace
