#include "movie/movie_renderer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/tracked_memory.h"
#include "image/image_convert.h"

namespace {

// {71771540-2017-11CF-AE26-0020AFD79767}
constexpr CLSID kMovieRendererClass = {
    0x71771540, 0x2017, 0x11CF, {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

// In the order the renderer tests them.
struct Accepted {
    GUID subtype;
    int32_t kind;
};
constexpr Accepted kAccepted[] = {
    {MEDIASUBTYPE_NV11, kMovieNv11},   {MEDIASUBTYPE_YVYU, kMovieYvyu},
    {MEDIASUBTYPE_UYVY, kMovieUyvy},   {MEDIASUBTYPE_YUY2, kMovieYuy2},
    {MEDIASUBTYPE_NV12, kMovieNv12},   {MEDIASUBTYPE_YV12, kMovieYv12},
    {MEDIASUBTYPE_RGB32, kMovieRgb32}, {MEDIASUBTYPE_RGB24, kMovieRgb24},
};

using YuvConverter = int (*)(const uint8_t*, int, int, GraphImage*);
constexpr YuvConverter kConverters[] = {nullptr,           nullptr,           ConvertYV12ToARGB,
                                        ConvertNV12ToARGB, ConvertYUY2ToARGB, ConvertUYVYToARGB,
                                        ConvertYVYUToARGB, ConvertNV11ToARGB};

// Bytes of one sample of the kind: what a YUV converter reads.
int64_t SourceBytes(int32_t kind, int32_t width, int32_t height) {
    int64_t pixels = int64_t{width} * height;
    switch (kind) {
        case kMovieYv12:
        case kMovieNv12:
            return pixels + 2 * (int64_t{width / 2} * (height / 2));
        case kMovieNv11:
            return pixels + 2 * (int64_t{width / 4} * height);
        default:
            return pixels * 2;
    }
}

}  // namespace

MovieRenderer::MovieRenderer(HRESULT* result)
    : CBaseVideoRenderer(kMovieRendererClass, nullptr, nullptr, result) {}

MovieRenderer::~MovieRenderer() {
    FreeMemory(frameBuffer);
    if (convert != nullptr) {
        FreeGraphImage(convert);
        delete convert;
    }
}

MovieRenderer* CreateMovieRenderer(LPUNKNOWN outer, HRESULT* result) {
    MovieRenderer* renderer = new (std::nothrow) MovieRenderer(result);
    if (renderer != nullptr) *result = S_OK;
    return renderer;
}

HRESULT MovieRenderer::CheckMediaType(const AM_MEDIA_TYPE* type) {
    if (type == nullptr) return E_POINTER;
    if (type->formattype != FORMAT_VideoInfo || type->pbFormat == nullptr ||
        type->cbFormat < sizeof(VIDEOINFOHEADER)) {
        return E_INVALIDARG;
    }
    if (type->majortype != MEDIATYPE_Video) return E_FAIL;
    const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    // Sizes that no frame buffer could hold are refused with the unknown subtypes.
    LONG height = info->bmiHeader.biHeight;
    if (info->bmiHeader.biWidth <= 0 || info->bmiHeader.biWidth > 16384 || height == 0 ||
        height < -16384 || height > 16384) {
        return E_FAIL;
    }
    for (const Accepted& accepted : kAccepted) {
        if (type->subtype == accepted.subtype) {
            subtypeKind = accepted.kind;
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT MovieRenderer::SetMediaType(const AM_MEDIA_TYPE* type) {
    const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    std::lock_guard<std::mutex> lock(frameLock);
    width = info->bmiHeader.biWidth;
    LONG rows = info->bmiHeader.biHeight;
    flipRows = rows < 0 ? 0 : 1;
    height = rows < 0 ? -rows : rows;
    if (convert != nullptr) {
        FreeGraphImage(convert);
        delete convert;
        convert = nullptr;
    }
    if (subtypeKind >= kMovieYv12) {
        flipRows = 0;
        pitch = width * 4;
        convert = new (std::nothrow) GraphImage{};
        if (convert == nullptr || AllocGraphImageXRGB32(width, height, convert) != 0) {
            delete convert;
            convert = nullptr;
            return E_OUTOFMEMORY;
        }
    } else {
        pitch = subtypeKind == kMovieRgb24 ? (width + 1) * 3 / 4 * 4 : width * 4;
    }
    FreeMemory(frameBuffer);
    frameBuffer = static_cast<uint8_t*>(
        AllocMemory(static_cast<uint32_t>(pitch * height), __FILE__, __LINE__));
    hasNewFrame.store(0);
    return frameBuffer != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT MovieRenderer::DoRenderSample(IMediaSample* sample) {
    if (sample == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(frameLock);
    if (frameBuffer == nullptr) return S_OK;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) return S_OK;
    int64_t length = sample->GetActualDataLength();
    const uint8_t* rows = data;
    int64_t rowCount;
    if (subtypeKind >= kMovieYv12) {
        // A sample shorter than a whole picture is not converted.
        if (length < SourceBytes(subtypeKind, width, height)) return S_OK;
        kConverters[subtypeKind](data, width, height, convert);
        rows = static_cast<const uint8_t*>(convert->pixels);
        rowCount = height;
    } else {
        rowCount = std::min<int64_t>(height, length / pitch);
    }
    if (rowCount < height) return S_OK;
    if (flipRows != 0) {
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(frameBuffer + static_cast<size_t>(height - 1 - y) * pitch,
                        rows + static_cast<size_t>(y) * pitch, pitch);
        }
    } else {
        int32_t sourcePitch = subtypeKind >= kMovieYv12 ? convert->pitch : pitch;
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(frameBuffer + static_cast<size_t>(y) * pitch,
                        rows + static_cast<size_t>(y) * sourcePitch, pitch);
        }
    }
    hasNewFrame.store(1, std::memory_order_release);
    return S_OK;
}
