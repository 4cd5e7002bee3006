// The filters' front end and processor path. The device offers no pixel shaders for the filters,
// so every filter runs in one pass on decoded images read back from the graphs.
#include "draw/filters.h"

#include <orbek/orbek.h>

#include <algorithm>
#include <cstring>

#include "draw/blend_filters.h"
#include "draw/image_filters.h"
#include "graphics/device_resources.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/graph_transfer.h"
#include "graphics/graphics_system.h"
#include "graphics/screen_pixel_access.h"
#include "graphics/vertex_batch.h"
#include "media/pixel_convert.h"

namespace {

// The kind's arguments as the front end converted them.
struct FilterArguments {
    int ints[4];
    float floats[10];
    Handle graph;
};

bool IsFilterableGraph(Handle graph) {
    return GetGraphRecord(graph, 0) != nullptr;
}

float Scale100Over255(int value) {
    return static_cast<float>(value) * 100.0f / 255.0f;
}

// A ScreenColor and an alpha as r, g, b, a in 0..1.
void SplitColor(ScreenColor color, int alpha, float* out) {
    int r = 0, g = 0, b = 0;
    UnpackScreenColor(color, &r, &g, &b);
    out[0] = static_cast<float>(r) / 255.0f;
    out[1] = static_cast<float>(g) / 255.0f;
    out[2] = static_cast<float>(b) / 255.0f;
    out[3] = static_cast<float>(alpha) / 255.0f;
}

void ReadFilterArguments(int isBlend, int kind, va_list args, FilterArguments* out) {
    if (isBlend) {
        if (kind == kBlendRGBAMix) {
            for (int& selector : out->ints) selector = va_arg(args, int);
        }
        return;
    }
    switch (kind) {
        case kFilterMono:
            out->floats[0] = Scale100Over255(va_arg(args, int));
            out->floats[1] = Scale100Over255(va_arg(args, int));
            break;
        case kFilterGauss:
            out->ints[0] = va_arg(args, int);
            out->floats[0] = static_cast<float>(va_arg(args, int)) / 100.0f;
            break;
        case kFilterDownScale:
            out->ints[0] = va_arg(args, int);
            break;
        case kFilterBrightClip: {
            out->ints[0] = va_arg(args, int);
            out->floats[0] = static_cast<float>(va_arg(args, int));
            out->ints[1] = va_arg(args, int);
            if (out->ints[1] != 0) {
                auto color = static_cast<ScreenColor>(va_arg(args, int));
                SplitColor(color, va_arg(args, int), &out->floats[1]);
            }
            break;
        }
        case kFilterHsb:
            out->ints[0] = va_arg(args, int);
            out->floats[0] = static_cast<float>(va_arg(args, int));
            out->floats[1] = Scale100Over255(va_arg(args, int));
            out->floats[2] = Scale100Over255(va_arg(args, int));
            break;
        case kFilterLevel:
            for (int i = 0; i < 5; ++i) out->floats[i] = static_cast<float>(va_arg(args, int));
            out->floats[2] /= 100.0f;
            break;
        case kFilterTwoColor: {
            out->floats[0] = static_cast<float>(va_arg(args, int));
            for (int i = 0; i < 2; ++i) {
                auto color = static_cast<ScreenColor>(va_arg(args, int));
                SplitColor(color, va_arg(args, int), &out->floats[1 + 4 * i]);
            }
            break;
        }
        case kFilterGradientMap:
            out->graph = va_arg(args, int);
            out->ints[0] = va_arg(args, int);
            break;
        default:
            break;
    }
}

int RunFilterRoutine(FilterJob* job, const FilterArguments& a) {
    if (job->isBlend) {
        if (job->kind == kBlendRGBAMix) {
            return RunRGBAMixBlend(job, a.ints[0], a.ints[1], a.ints[2], a.ints[3]);
        }
        return RunBasBFBlend(job);
    }
    switch (job->kind) {
        case kFilterMono:
            return Mono(job, a.floats[0], a.floats[1]);
        case kFilterGauss:
            return Gauss(job, a.ints[0], a.floats[0]);
        case kFilterDownScale:
            return DownScale(job, a.ints[0]);
        case kFilterBrightClip:
            return BrightClip(job, a.ints[0], a.floats[0], a.ints[1], &a.floats[1]);
        case kFilterHsb:
            return Hsb(job, a.ints[0], a.floats[0], a.floats[1], a.floats[2]);
        case kFilterInvert:
            return Invert(job);
        case kFilterLevel:
            return Level(job, a.floats[0], a.floats[1], a.floats[2], a.floats[3], a.floats[4]);
        case kFilterTwoColor:
            return TwoColor(job, a.floats[0], &a.floats[1], &a.floats[5]);
        case kFilterGradientMap:
            return GradientMap(job, a.graph, a.ints[0]);
        default:
            return PremultipliedAlpha(job);
    }
}

// A draw-target graph that is being drawn to: its pending picture is finished before reading.
void SettleDrawTarget(Handle graph) {
    if (gDrawSettings.drawTargets[0] != graph) return;
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr || !IsDrawTargetGraph(record)) return;
    FlushVertexBatchNow();
    CloseDeviceScene();
    if (!IsMultisampledGraph(graph)) return;
    for (int i = 0; i < record->pieceCount; ++i) {
        ResolveMultisampleSurface(GraphPieces(record)[i].texPiece);
    }
}

// Writes the graph's rectangle (clipped to the graph) into the image with the rectangle's corner
// at (0, 0); -1 when a pixel access fails.
int ReadGraphRectInto(Handle graph, const RECT& rect, GraphImage* image) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    bool textured = record->textureInfo != nullptr && record->textureInfo->flags.useTexture;
    int pieces = textured ? record->pieceCount : 1;
    for (int i = 0; i < pieces; ++i) {
        RECT area = {0, 0, record->width, record->height};
        if (textured) {
            const GraphPiece& piece = GraphPieces(record)[i];
            area = {piece.drawX, piece.drawY, piece.drawX + piece.w, piece.drawY + piece.h};
        }
        RECT overlap = {std::max(area.left, rect.left), std::max(area.top, rect.top),
                        std::min(area.right, rect.right), std::min(area.bottom, rect.bottom)};
        if (overlap.right <= overlap.left || overlap.bottom <= overlap.top) continue;
        RECT local = {overlap.left - area.left, overlap.top - area.top,
                      overlap.right - area.left, overlap.bottom - area.top};
        GraphImage pixels{};
        if (OpenScreenPixelAccess(&local, &pixels, graph, 1, i) == -1) return -1;
        RECT whole = {0, 0, local.right - local.left, local.bottom - local.top};
        ConvertPixelRect(image->pixels, image->pitch, &image->format, pixels.pixels, pixels.pitch,
                         &pixels.format, nullptr, 0, nullptr, overlap.left - rect.left,
                         overlap.top - rect.top, &whole, 0, 0, 0, 0, 0, 0, 0, 0);
        CloseScreenPixelAccess();
    }
    return 0;
}

int AllocClearedImage(int width, int height, GraphImage* image) {
    if (AllocGraphImageARGB32(width, height, image) == -1) return -1;
    ClearGraphImageRect(image, 0, 0, width, height);
    return 0;
}

}  // namespace

int ReadGraphToBaseImage(Handle graph, GraphImage* out, const RECT* rect) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    RECT area = rect != nullptr ? *rect : RECT{0, 0, record->width, record->height};
    if (AllocClearedImage(area.right - area.left, area.bottom - area.top, out) == -1) return -1;
    if (ReadGraphRectInto(graph, area, out) == -1) {
        FreeGraphImage(out);
        return -1;
    }
    return 0;
}

void FreeFilterImages(FilterJob* job) {
    FreeGraphImage(&job->sourceImage);
    FreeGraphImage(&job->blendImage);
    FreeGraphImage(&job->destImage);
}

int ReadFilterImages(FilterJob* job, int freshDest, int width, int height) {
    bool sized = width >= 0 && height >= 0;
    job->outWidth = sized ? width : job->srcX2 - job->srcX1;
    job->outHeight = sized ? height : job->srcY2 - job->srcY1;
    RECT source = {job->srcX1, job->srcY1, job->srcX2, job->srcY2};
    bool ok = ReadGraphToBaseImage(job->sourceGraph, &job->sourceImage, &source) == 0;
    // The layer is read at the source's coordinates; where it does not reach, it is transparent.
    if (ok && job->isBlend) {
        ok = AllocClearedImage(source.right - source.left, source.bottom - source.top,
                               &job->blendImage) == 0 &&
             ReadGraphRectInto(job->blendGraph, source, &job->blendImage) == 0;
    }
    if (ok) {
        RECT dest = {job->destX, job->destY, job->destX + job->outWidth,
                     job->destY + job->outHeight};
        ok = freshDest ? AllocClearedImage(job->outWidth, job->outHeight, &job->destImage) == 0
                       : ReadGraphToBaseImage(job->destGraph, &job->destImage, &dest) == 0;
    }
    if (!ok) {
        FreeFilterImages(job);
        return -1;
    }
    return 0;
}

int FinishSoftFilter(FilterJob* job) {
    FreeGraphImage(&job->sourceImage);
    FreeGraphImage(&job->blendImage);
    RECT rect = {0, 0, job->outWidth, job->outHeight};
    UploadImageToGraph(job->destGraph, &rect, job->destX, job->destY, &job->destImage, nullptr, 0,
                       0, 0);
    FreeGraphImage(&job->destImage);
    return 0;
}

int ApplyFilterOrBlendV(int isBlend, Handle sourceGraph, Handle blendGraph, Handle destGraph,
                        int blendRatio, int kind, int srcX1, int srcY1, int srcX2, int srcY2,
                        int blendX, int blendY, int useBlendPosition, int destX, int destY,
                        va_list args) {
    if (!gGraphRegistry.setUp || !IsFilterableGraph(sourceGraph) ||
        !IsFilterableGraph(destGraph)) {
        return -1;
    }
    if (srcX2 <= srcX1 || srcY2 <= srcY1) return -1;
    if (!isBlend && static_cast<unsigned>(kind) > kFilterPremultipliedAlpha) return -1;
    if (isBlend &&
        (!IsFilterableGraph(blendGraph) || kind < 0 || kind > kBlendMultiplyAlphaOnly)) {
        return -1;
    }
    float ratio = static_cast<float>(std::clamp(blendRatio, 0, 255)) / 255.0f;

    // Corners left of or above the source or the destination move all three positions alike.
    if (srcX1 < 0) {
        blendX -= srcX1;
        destX -= srcX1;
        srcX1 = 0;
    }
    if (srcY1 < 0) {
        blendY -= srcY1;
        destY -= srcY1;
        srcY1 = 0;
    }
    if (destX < 0) {
        blendX -= destX;
        srcX1 -= destX;
        destX = 0;
    }
    if (destY < 0) {
        blendY -= destY;
        srcY1 -= destY;
        destY = 0;
    }
    if (srcX2 <= srcX1 || srcY2 <= srcY1) return 0;
    int srcWidth = 0, srcHeight = 0, destWidth = 0, destHeight = 0;
    QueryGraphSize(sourceGraph, &srcWidth, &srcHeight);
    QueryGraphSize(destGraph, &destWidth, &destHeight);
    srcX2 = std::min(srcX2, srcWidth);
    srcY2 = std::min(srcY2, srcHeight);
    if (srcX1 >= srcWidth || srcY1 >= srcHeight || srcX2 < 1 || srcY2 < 1 ||
        destX >= destWidth || destY >= destHeight) {
        return 0;
    }
    int w = srcX2 - srcX1, h = srcY2 - srcY1;
    if (w < 1 || h < 1) return 0;

    FilterArguments arguments{};
    ReadFilterArguments(isBlend, kind, args, &arguments);
    // The down-scale filter's output is the rectangle divided by its factor; only that must fit.
    int divisor = 1;
    if (!isBlend && kind == kFilterDownScale) {
        arguments.ints[0] = NormalizeDownScaleFactor(arguments.ints[0]);
        divisor = arguments.ints[0];
    }
    if (w / divisor + destX > destWidth) {
        w = (destWidth - destX) * divisor;
        srcX2 = srcX1 + w;
    }
    if (h / divisor + destY > destHeight) {
        h = (destHeight - destY) * divisor;
        srcY2 = srcY1 + h;
    }

    SettleDrawTarget(sourceGraph);
    SettleDrawTarget(destGraph);
    if (isBlend) SettleDrawTarget(blendGraph);
    if (!isBlend && kind == kFilterGradientMap) SettleDrawTarget(arguments.graph);

    FilterJob job{};
    job.isBlend = isBlend;
    job.kind = kind;
    job.sourceGraph = sourceGraph;
    job.blendGraph = isBlend ? blendGraph : -1;
    job.destGraph = destGraph;
    job.blendRatio = ratio;
    job.srcX1 = srcX1;
    job.srcY1 = srcY1;
    job.srcX2 = srcX2;
    job.srcY2 = srcY2;
    job.blendX = blendX;
    job.blendY = blendY;
    job.useBlendPosition = useBlendPosition;
    job.destX = destX;
    job.destY = destY;
    // A filter that cannot run is reported, not passed off as done.
    return RunFilterRoutine(&job, arguments) < 0 ? -1 : 0;
}

int ApplyFilterOrBlend(int isBlend, Handle sourceGraph, Handle blendGraph, Handle destGraph,
                       int blendRatio, int kind, int srcX1, int srcY1, int srcX2, int srcY2,
                       int blendX, int blendY, int useBlendPosition, int destX, int destY, ...) {
    va_list args;
    va_start(args, destY);
    int result =
        ApplyFilterOrBlendV(isBlend, sourceGraph, blendGraph, destGraph, blendRatio, kind, srcX1,
                            srcY1, srcX2, srcY2, blendX, blendY, useBlendPosition, destX, destY,
                            args);
    va_end(args);
    return result;
}

int ApplyFilterInPlace(Handle graph, int kind, ...) {
    int width = 0, height = 0;
    if (QueryGraphSize(graph, &width, &height) == -1) return -1;
    va_list args;
    va_start(args, kind);
    int result = ApplyFilterOrBlendV(0, graph, -1, graph, 0, kind, 0, 0, width, height, 0, 0, 0,
                                     0, 0, args);
    va_end(args);
    return result;
}

int TestFilterResultExact() {
    static constexpr uint8_t kColors[4][3] = {
        {204, 168, 80}, {128, 100, 245}, {66, 222, 143}, {34, 255, 78}};
    GraphCreateSettings settings{};
    CaptureGraphCreateSettings(&settings);
    settings.drawTarget = 1;
    settings.drawTargetAlpha = 0;
    Handle graph = CreateEmptyGraph(&settings, 8, 8, 0, 0, 0);
    GraphImage input{}, output{};
    int exact = 0;
    if (graph != -1 && AllocGraphImageXRGB32(8, 8, &input) == 0 &&
        AllocGraphImageXRGB32(8, 8, &output) == 0) {
        ClearGraphImageRect(&input, 0, 0, 8, 8);
        for (int i = 0; i < 4; ++i) {
            WriteGraphImagePixel(&input, i, i, kColors[i][0], kColors[i][1], kColors[i][2], 255);
        }
        RECT rect = {0, 0, 8, 8};
        UploadImageToGraph(graph, &rect, 0, 0, &input, nullptr, 0, 0, 0);
        gGraphicsSystem.FilterResultExact = 1;
        ApplyFilterInPlace(graph, kFilterInvert);
        gGraphicsSystem.FilterResultExact = 0;
        GraphImage pixels{};
        if (OpenScreenPixelAccess(&rect, &pixels, graph, 1, 0) == 0) {
            ConvertPixelRect(output.pixels, output.pitch, &output.format, pixels.pixels,
                             pixels.pitch, &pixels.format, nullptr, 0, nullptr, 0, 0, &rect, 0, 0,
                             0, 0, 0, 0, 0, 0);
            CloseScreenPixelAccess();
            int counted = 0;
            for (int i = 0; i < 4; ++i) {
                int rgb[3] = {}, alpha = 0;
                ReadGraphImagePixel(&output, i, i, &rgb[0], &rgb[1], &rgb[2], &alpha);
                for (int c = 0; c < 3; ++c) {
                    int sum = kColors[i][c] + rgb[c];
                    if (sum >= 254 && sum <= 256) ++counted;
                }
            }
            exact = counted == 12 ? 1 : 0;
        }
    }
    if (graph != -1) DisposeGraph(graph);
    FreeGraphImage(&input);
    FreeGraphImage(&output);
    return exact;
}
