// A fixture for tests of graphs: the framework started on the software device (16 or 32 bits)
// or in software mode, decoded images made pixel by pixel, a graph's pixels read back through
// the pixel access piece by piece, what an image gives once converted into a format, and the
// tracked-memory and device-object counts that every failure must leave as it found them.
#pragma once

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/tracked_memory.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/memory_textures.h"
#include "graphics/screen_pixel_access.h"
#include "graphics_fixture.h"
#include "image/image_convert.h"
#include "image/pixel_convert.h"

class GraphFixture : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        ResetGraphSettings();
    }

    void TearDown() override {
        for (GraphImage& image : images_) FreeGraphImage(&image);
        images_.clear();
        GraphicsFixture::TearDown();
        ResetGraphSettings();
    }

    // The creation choices outlive a start-up, as a program's would: each test starts afresh.
    static void ResetGraphSettings() {
        gDrawSettings.graphCreate = GraphCreateSettings{};
        gImageLoadSettings = ImageLoadSettings{};
        SetGraphImageByteLimit(kDefaultGraphImageByteLimit);
    }

    // 16 bits: full screen with an R5G6B5 back buffer; 32 bits: window mode.
    void StartDevice(int bits) {
        ASSERT_EQ(bits == 16 ? SetupFullScreen() : SetupLibrary(), 0);
        ASSERT_EQ(IsDirect3DMode(), 1);
        ASSERT_EQ(QueryColorBitDepth(), bits);
    }

    void StartSoftware(int bits) {
        gScreen.colorBits = bits;
        ASSERT_EQ(SwitchHardwareRendering(0), 0);
        ASSERT_EQ(SetupLibrary(), 0);
        ASSERT_EQ(IsDirect3DMode(), 0);
    }

    // An image of 0xAARRGGBB pixels from the function (alpha ignored without withAlpha), freed
    // at tear-down.
    GraphImage* MakeImage(int width, int height, const std::function<uint32_t(int, int)>& pixel,
                          bool withAlpha = false) {
        images_.emplace_back();
        GraphImage* image = &images_.back();
        if (withAlpha) {
            AllocGraphImageARGB32(width, height, image);
        } else {
            AllocGraphImageXRGB32(width, height, image);
        }
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image->pixels) +
                                                    static_cast<size_t>(y) * image->pitch);
            for (int x = 0; x < width; ++x) {
                row[x] = withAlpha ? pixel(x, y) : (pixel(x, y) | 0xFF000000);
            }
        }
        return image;
    }

    // A graph's pixels as raw values of its format, row by row, read piece by piece.
    struct GraphPixels {
        ColorFormat format{};
        int width = 0, height = 0;
        std::vector<uint32_t> raw;
    };
    static GraphPixels ReadGraph(Handle graph) {
        GraphPixels out;
        const GraphRecord* record = GetGraphRecord(graph, 0);
        if (record == nullptr) return out;
        out.width = record->width;
        out.height = record->height;
        out.raw.assign(static_cast<size_t>(out.width) * out.height, 0xDEADBEEF);
        bool textured = record->textureInfo->flags.useTexture;
        int pieces = textured ? record->pieceCount : 1;
        for (int i = 0; i < pieces; ++i) {
            const GraphPiece* p = textured ? &GraphPieces(record)[i] : nullptr;
            int px = p != nullptr ? p->drawX : 0, py = p != nullptr ? p->drawY : 0;
            int w = p != nullptr ? p->w : out.width, h = p != nullptr ? p->h : out.height;
            RECT rect = {0, 0, w, h};
            GraphImage image{};
            EXPECT_EQ(OpenScreenPixelAccess(&rect, &image, graph, 1, i), 0);
            if (image.pixels == nullptr) continue;
            out.format = image.format;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const uint8_t* at = static_cast<const uint8_t*>(image.pixels) +
                                        static_cast<size_t>(y) * image.pitch +
                                        static_cast<size_t>(x) * image.format.pixelBytes;
                    out.raw[static_cast<size_t>(py + y) * out.width + px + x] =
                        LoadPixelValue(at, image.format.pixelBytes);
                }
            }
            CloseScreenPixelAccess();
        }
        return out;
    }

    // The rectangle of the image converted into the format; with key, where the format has
    // alpha and the image none, pixels whose converted colour is the key's get alpha 0.
    static std::vector<uint32_t> Expected(const GraphImage& source, const GraphImage* alpha,
                                          const ColorFormat& format, RECT rect, bool key,
                                          uint32_t keyColor = 0) {
        GraphImage plain{};
        if (source.format.dxtKind != 0) {
            EXPECT_EQ(ExpandGraphImageCopy(&source, &plain), 0);
        }
        const GraphImage& image = source.format.dxtKind != 0 ? plain : source;
        int w = rect.right - rect.left, h = rect.bottom - rect.top;
        std::vector<uint32_t> raw(static_cast<size_t>(w) * h);
        std::vector<uint8_t> buffer(raw.size() * 4);
        ConvertPixelRect({.destPixels = buffer.data(),
                          .destPitch = w * format.pixelBytes,
                          .destFormat = &format,
                          .srcPixels = image.pixels,
                          .srcPitch = image.pitch,
                          .srcFormat = &image.format,
                          .alphaPixels = alpha != nullptr ? alpha->pixels : nullptr,
                          .alphaPitch = alpha != nullptr ? alpha->pitch : 0,
                          .alphaFormat = alpha != nullptr ? &alpha->format : nullptr,
                          .srcRect = &rect});
        uint32_t colour = format.redMask | format.greenMask | format.blueMask;
        uint32_t packed = PackColorForFormat(&format, (keyColor >> 16) & 0xFF,
                                             (keyColor >> 8) & 0xFF, keyColor & 0xFF, 255) &
                          colour;
        bool keyed =
            key && format.alphaWidth != 0 && alpha == nullptr && image.format.alphaWidth == 0;
        for (size_t i = 0; i < raw.size(); ++i) {
            uint32_t v = LoadPixelValue(&buffer[i * format.pixelBytes], format.pixelBytes);
            if (keyed && (v & colour) == packed) v &= ~format.alphaMask;
            raw[i] = v;
        }
        FreeGraphImage(&plain);
        return raw;
    }

    // Tracked memory and device objects, with the pooled transfer textures (kept by design)
    // given back first.
    struct Footprint {
        std::string memory;
        int liveObjects;
        int graphs;
        bool operator==(const Footprint&) const = default;
    };
    Footprint Measure() {
        ReleaseAllMemoryTextures();
        LogMemoryTotals();
        std::string log = ReadLog();
        size_t at = log.rfind("Total size:");
        return {at == std::string::npos ? "" : log.substr(at, log.find('\r', at) - at),
                TestD3d9LiveObjects(), gGraphRegistry.liveCount};
    }

    // Writes the bytes as a file in the test's directory.
    void WriteFile(const char* name, const std::vector<uint8_t>& bytes) {
        FILE* file = std::fopen((directory_ + "/" + name).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }

    std::deque<GraphImage> images_;  // a deque keeps the images where they are
};
