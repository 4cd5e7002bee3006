// The framework's video renderer filter, "MovieRenderer": it accepts RGB and six YUV layouts,
// turns every sample into a top-down 32-bit (or 24-bit RGB) frame in its frame buffer, and
// flags the new frame for the movie's owner on the main thread.
#pragma once

#include <platform/dshow.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "image/color_format.h"

// Kinds of the accepted subtypes.
constexpr int32_t kMovieRgb24 = 0;
constexpr int32_t kMovieRgb32 = 1;
constexpr int32_t kMovieYv12 = 2;
constexpr int32_t kMovieNv12 = 3;
constexpr int32_t kMovieYuy2 = 4;
constexpr int32_t kMovieUyvy = 5;
constexpr int32_t kMovieYvyu = 6;
constexpr int32_t kMovieNv11 = 7;

class MovieRenderer final : public CBaseVideoRenderer {
public:
    explicit MovieRenderer(HRESULT* result);
    ~MovieRenderer() override;

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;

    GraphImage* convert = nullptr;  // the 32-bit image a YUV sample is converted into
    int32_t subtypeKind = 0;
    uint8_t* frameBuffer = nullptr;  // pitch x height bytes
    std::atomic<int32_t> hasNewFrame{0};
    int32_t flipRows = 0;  // 1 when the stream's rows run bottom-up
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
    // Held while the streaming thread writes the frame buffer and while the owner reads it.
    std::mutex frameLock;
};

// The renderer with one reference, or null.
MovieRenderer* CreateMovieRenderer(LPUNKNOWN outer, HRESULT* result);
