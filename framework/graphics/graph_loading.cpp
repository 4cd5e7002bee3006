// Loading images as graphs: the public loads capture the settings into a request and submit
// it; the request decodes its source, makes the graph (optionally filling the edges of
// transparent areas first) or, reusing, takes the graphs it was given, fills them and records
// what the restore after device loss reloads.
// With asynchronous loading on, the request is packed and a loading worker runs it, while the
// graphs it fills stay pending.
#include "graphics/graph_loading.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/async_load.h"
#include "core/file_access.h"
#include "core/log.h"
#include "core/shell_hooks.h"
#include "graphics/graph_creation.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "graphics/screen_state.h"
#include "image/image_convert.h"
#include "image/pixel_convert.h"
#include "softrender/mem_img.h"

ImageLoadSettings gImageLoadSettings = {};

namespace {

// A 32-bit copy of the image (with the alpha image's alpha) whose pixels of the transparent
// colour have alpha 0 and take the colour of their last opaque neighbour in scan order, so
// that bilinear sampling next to them mixes in no fringe of the transparent colour.
int FillTransparentEdges(const GraphImage& image, const GraphImage* alpha, uint32_t key,
                         GraphImage* out) {
    GraphImage plain[2] = {};
    const GraphImage* sources[2] = {&image, alpha};
    int result = 0;
    for (int i = 0; i < 2 && result == 0; ++i) {
        if (sources[i] == nullptr || sources[i]->format.dxtKind == 0) continue;
        result = ExpandGraphImageCopy(sources[i], &plain[i]);
        sources[i] = &plain[i];
    }
    int w = image.width, h = image.height;
    if (result == 0) result = AllocGraphImageARGB32(w, h, out);
    if (result == 0) {
        RECT all = {0, 0, w, h};
        const GraphImage* a = sources[1];
        ConvertPixelRect({.destPixels = out->pixels,
                          .destPitch = out->pitch,
                          .destFormat = &out->format,
                          .srcPixels = sources[0]->pixels,
                          .srcPitch = sources[0]->pitch,
                          .srcFormat = &sources[0]->format,
                          .alphaPixels = a != nullptr ? a->pixels : nullptr,
                          .alphaPitch = a != nullptr ? a->pitch : 0,
                          .alphaFormat = a != nullptr ? &a->format : nullptr,
                          .srcRect = &all});
    }
    for (GraphImage& p : plain) FreeGraphImage(&p);
    if (result != 0) return -1;

    auto pixel = [out](int x, int y) {
        return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(out->pixels) +
                                           static_cast<intptr_t>(y) * out->pitch) +
               x;
    };
    // Which pixels are transparent is decided on the image as decoded, before any is changed.
    std::vector<uint8_t> transparent(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t* p = pixel(x, y);
            if ((*p & 0xFFFFFF) == (key & 0xFFFFFF)) {
                transparent[static_cast<size_t>(y) * w + x] = 1;
                *p &= 0xFFFFFF;
            }
        }
    }
    const int neighbours[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (transparent[static_cast<size_t>(y) * w + x]) continue;
            uint32_t colour = *pixel(x, y) & 0xFFFFFF;
            for (const auto& n : neighbours) {
                int nx = x + n[0], ny = y + n[1];
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                if (transparent[static_cast<size_t>(ny) * w + nx]) *pixel(nx, ny) = colour;
            }
        }
    }
    return 0;
}

// The image's top-left pixel as 0x00RRGGBB.
uint32_t TopLeftColour(const GraphImage& image) {
    GraphImage plain{};
    GraphImage view = image;
    if (image.format.dxtKind != 0) {
        if (ExpandGraphImageCopy(&image, &plain) == -1) return 0;
        view = plain;
    }
    int red = 0, green = 0, blue = 0;
    ReadGraphImagePixel(&view, 0, 0, &red, &green, &blue, nullptr);
    FreeGraphImage(&plain);
    return static_cast<uint32_t>(red << 16 | green << 8 | blue);
}

// The transparent colour a load keys with: the settings', or the image's top-left pixel.
uint32_t LoadKeyColour(const GraphCreateSettings& create, const ImageLoadSettings& load,
                       const GraphImage& image) {
    return load.colorFromImage ? TopLeftColour(image) : create.transparentColor;
}

bool AlphaFits(const GraphImage& image, const GraphImage* alpha) {
    return alpha == nullptr || (alpha->width == image.width && alpha->height == image.height);
}

// The existing graphs a load writes into take its transparent colour, as if they had been made
// with it: the keyed upload on the device reads the texture set's colour, and a memory image
// keys its draws with its own copy, packed in its format (a palette image chooses its index at
// each upload). -1, with nothing changed, unless every graph is valid (pending accepted with
// acceptPending) and no larger than width x height.
int KeyExistingGraphs(const Handle* graphs, int count, int width, int height, uint32_t colour,
                      int acceptPending) {
    if (graphs == nullptr || count < 1) return -1;
    for (int i = 0; i < count; ++i) {
        const GraphRecord* record = GetGraphRecord(graphs[i], acceptPending);
        if (record == nullptr || record->textureInfo == nullptr || record->width > width ||
            record->height > height) {
            return -1;
        }
    }
    for (int i = 0; i < count; ++i) {
        GraphTextureInfo* info = GetGraphRecord(graphs[i], acceptPending)->textureInfo;
        info->transparentColor = colour;
        MemImgBody* body = info->image.body;
        if (!info->flags.useTexture && body != nullptr && !body->paletteFlag &&
            body->colorType <= kMemImgXrgb8888) {
            body->transparentColor = PackKeyColorForFormat(body->format, colour);
        }
    }
    return 0;
}

int RecordRestoreSource(const ImageLoadRequest* request, Handle graph,
                        const ImageLoadSources& sources, int fromAsyncWorker) {
    return SetGraphRestoreInfo(request->load.noRestoreData, graph, request->fileName,
                               request->memImage, request->memImageSize, request->alphaMemImage,
                               request->alphaMemImageSize, sources.use, sources.useAlpha,
                               request->mirror, -1, fromAsyncWorker);
}

// The line a load gives for a file whose image it could not read: a single load's, a divided
// one's (a request with cells).
int LogUnreadImageFile(const ImageLoadRequest& r) {
    if (r.cells != nullptr) {
        return EmitLogFormat("画像ファイル %s のロードに失敗しました", r.fileName);
    }
    return EmitLogFormat("画像ファイル %s がありません", r.fileName);
}

// The line of a load whose image was read but whose graph could not be made or filled (the
// creation refused it or failed, or the upload failed), naming the file as a missing one is.
int LogGraphBuildFailure(const ImageLoadRequest& r) {
    if (r.fileName == nullptr) {
        return AppendLogText("メモリ上の画像からのグラフィックの作成に失敗しました\n");
    }
    return EmitLogFormat("画像ファイル %s からのグラフィックの作成に失敗しました", r.fileName);
}

// A request with the current settings captured; the caller names the source.
ImageLoadRequest MakeLoadRequest(int32_t flag) {
    ImageLoadRequest request{};
    CaptureImageLoadSettings(&request);
    request.graph = request.baseGraph = -1;
    request.flagWord = flag == 0 ? 1 : 0;
    return request;
}

// The cells must fit the caller's array and the image's coordinates.
bool ValidDivision(const ImageLoadRequest& r) {
    return r.cells != nullptr && r.cellCount >= 1 && r.cellsAcross >= 1 && r.cellsDown >= 1 &&
           r.cellWidth >= 1 && r.cellHeight >= 1 &&
           r.cellCount <= int64_t{r.cellsAcross} * r.cellsDown &&
           int64_t{r.cellsAcross} * r.cellWidth <= INT_MAX &&
           int64_t{r.cellsDown} * r.cellHeight <= INT_MAX;
}

constexpr uint32_t kFullPathBytes = 1024;

// The end of a worker's load into the graph: a failed load gives the graph's device objects back
// on the main thread and deletes the graph; either way the graph stops being pending.
void EndGraphLoad(Handle graph, bool failed) {
    if (failed) {
        const GraphRecord* record = GetGraphRecord(graph, 1);
        if (record != nullptr && record->textureInfo != nullptr) {
            ReleaseTexturePieces(record->textureInfo, 1);
        }
    }
    EndHandleAsyncLoad(&gGraphRegistry, graph, failed ? 1 : 0);
}

// What a worker gets of a load request: the record itself, for a divided load its cells, the
// file name as a full path, and the heads of the caller's images (their pixels stay the
// caller's). Bytes of length 0 stand for an image that is not given.
struct PackedLoad {
    const ImageLoadRequest* request;
    const char* fullPath;
};

int PackImageLoad(uint8_t* buffer, uint32_t* offset, const PackedLoad& load) {
    const ImageLoadRequest& r = *load.request;
    int result = PackAsyncArgBytes(buffer, offset, &r, sizeof r);
    if (r.cells != nullptr) {
        uint64_t bytes = uint64_t{static_cast<uint32_t>(r.cellCount)} * sizeof(Handle);
        result |= PackAsyncArgBytes(buffer, offset, r.cells,
                                    static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX)));
    }
    result |= PackAsyncArgString(buffer, offset, load.fullPath);
    result |=
        PackAsyncArgBytes(buffer, offset, r.image, r.image != nullptr ? sizeof(GraphImage) : 0);
    result |= PackAsyncArgBytes(buffer, offset, r.alphaImage,
                                r.alphaImage != nullptr ? sizeof(GraphImage) : 0);
    return result;
}

// The worker's copy of a packed load: the request points at the copies held here.
struct UnpackedLoad {
    ImageLoadRequest request;
    std::vector<Handle> cells;
    GraphImage image, alphaImage;
};

void UnpackImageLoad(AsyncLoadRequest* async, UnpackedLoad* out) {
    const uint8_t* args = AsyncLoadArguments(async);
    uint32_t offset = 0, size = 0;
    std::memcpy(&out->request, UnpackAsyncArgBytes(args, &offset, nullptr), sizeof out->request);
    ImageLoadRequest& r = out->request;
    if (r.cells != nullptr) {
        const void* cells = UnpackAsyncArgBytes(args, &offset, &size);
        out->cells.resize(static_cast<size_t>(r.cellCount));
        std::memcpy(out->cells.data(), cells, size);
        r.cells = out->cells.data();
    }
    r.fileName = UnpackAsyncArgString(args, &offset);
    GraphImage* images[2] = {&out->image, &out->alphaImage};
    GraphImage** fields[2] = {&r.image, &r.alphaImage};
    for (int i = 0; i < 2; ++i) {
        const void* head = UnpackAsyncArgBytes(args, &offset, &size);
        *fields[i] = nullptr;
        if (size == sizeof(GraphImage)) {
            std::memcpy(images[i], head, size);
            *fields[i] = images[i];
        }
    }
}

// A reused graph is the caller's: it stays, whatever its load gave.
void ImageLoadJob(AsyncLoadRequest* async) {
    UnpackedLoad load{};
    UnpackImageLoad(async, &load);
    int result = RunImageLoadRequest(&load.request, 1);
    EndGraphLoad(load.request.graph, result == -1 && !load.request.reuse);
}

// A reuse has no base graph, and its cells are the caller's.
void DivImageLoadJob(AsyncLoadRequest* async) {
    UnpackedLoad load{};
    UnpackImageLoad(async, &load);
    const ImageLoadRequest& r = load.request;
    bool failed = RunDivImageLoadRequest(&load.request, 1) == -1;
    if (!r.reuse) {
        const GraphRecord* base = GetGraphRecord(r.baseGraph, 1);
        if (failed && base != nullptr && base->textureInfo != nullptr) {
            ReleaseTexturePieces(base->textureInfo, 1);
        }
        // The base graph goes while the cells are still pending, so that the program never
        // meets the worker on the texture set they share; the cells keep that set alive.
        EndHandleAsyncLoad(&gGraphRegistry, r.baseGraph, 1);
    }
    for (int i = 0; i < r.cellCount; ++i) EndGraphLoad(r.cells[i], failed && !r.reuse);
}

// Packs the request for a worker and queues it; the slot, or -1 when it could not be packed. A
// file name with no full form (too long) could not be opened: the line a direct load gives.
int QueueImageLoad(ImageLoadRequest* request, AsyncLoadJob job, int32_t heldHandles) {
    char full[kFullPathBytes];
    PackedLoad load = {request, nullptr};
    if (request->fileName != nullptr) {
        if (ToFullPath(request->fileName, full, sizeof full) != 0) {
            return LogUnreadImageFile(*request);
        }
        load.fullPath = full;
    }
    AsyncLoadRequest* async = PackAsyncLoadRequest(
        job, heldHandles,
        [&](uint8_t* buffer, uint32_t* offset) { return PackImageLoad(buffer, offset, load); });
    return async != nullptr ? QueueAsyncLoadRequest(async) : -1;
}

struct EmptyGraphLoad {
    GraphCreateSettings settings;
    Handle graph;
    int32_t width, height, flag, alphaChannel;
};

void EmptyGraphJob(AsyncLoadRequest* async) {
    uint32_t offset = 0;
    EmptyGraphLoad load{};
    std::memcpy(&load, UnpackAsyncArgBytes(AsyncLoadArguments(async), &offset, nullptr),
                sizeof load);
    int result = CreateGraphTextures(&load.settings, load.graph, load.width, load.height,
                                     load.alphaChannel, 0, 0, -1, 1);
    EndGraphLoad(load.graph, result == -1);
}

}  // namespace

void CaptureGraphCreateSettings(GraphCreateSettings* out) {
    *out = gDrawSettings.graphCreate;
}

void CaptureImageLoadSettings(ImageLoadRequest* request) {
    FillImageLoadContext(&request->context);
    if (gGraphMovieHooks.captureOpenSetting != nullptr) {
        gGraphMovieHooks.captureOpenSetting(&request->movieOpenSetting);
    }
    CaptureGraphCreateSettings(&request->create);
    request->load = gImageLoadSettings;
}

Handle LoadImageFileAsGraph(const char* fileName, int32_t flag) {
    if (fileName == nullptr) return -1;
    ImageLoadRequest request = MakeLoadRequest(flag);
    request.fileName = fileName;
    return SubmitImageLoadRequest(&request, IsAsyncLoadOn(), 0);
}

int LoadImageFileAsDivGraphs(const char* fileName, int32_t allNum, int32_t xNum, int32_t yNum,
                             int32_t width, int32_t height, Handle* out, int32_t flag) {
    if (fileName == nullptr) return -1;
    ImageLoadRequest request = MakeLoadRequest(flag);
    request.fileName = fileName;
    request.cellCount = allNum;
    request.cellsAcross = xNum;
    request.cellsDown = yNum;
    request.cellWidth = width;
    request.cellHeight = height;
    request.cells = out;
    return SubmitDivImageLoadRequest(&request, IsAsyncLoadOn());
}

Handle LoadImageMemoryAsGraph(const void* image, uint32_t size, const void* alphaImage,
                              uint32_t alphaSize, int32_t flag) {
    if (image == nullptr) return -1;
    ImageLoadRequest request = MakeLoadRequest(flag);
    request.memImage = image;
    request.memImageSize = size;
    request.alphaMemImage = alphaImage;
    request.alphaMemImageSize = alphaImage != nullptr ? alphaSize : 0;
    return SubmitImageLoadRequest(&request, IsAsyncLoadOn(), 0);
}

Handle LoadGraphImageAsGraph(GraphImage* image, GraphImage* alphaImage, int32_t flag) {
    if (image == nullptr) return -1;
    ImageLoadRequest request = MakeLoadRequest(flag);
    request.image = image;
    request.alphaImage = alphaImage;
    return SubmitImageLoadRequest(&request, IsAsyncLoadOn(), 0);
}

Handle SubmitImageLoadRequest(ImageLoadRequest* request, int async, int fromAsyncWorker) {
    if (!fromAsyncWorker) WaitWhileInactive();
    if (request->reuse) {
        // The graph must exist and have no load still running into it, which would write it at
        // the same time as this one.
        if (IsGraphLoading(request->graph) != 0) return -1;
    } else if ((request->graph = IssueGraphHandle()) == -1) {
        return -1;
    }
    Handle result = request->reuse ? 0 : request->graph;
    if (async && !fromAsyncWorker) {
        int slot = QueueImageLoad(request, ImageLoadJob, 1);
        if (slot != -1) {
            RaiseHandleAsyncCount(&gGraphRegistry, request->graph, slot);
            return result;
        }
    } else if (RunImageLoadRequest(request, fromAsyncWorker) == 0) {
        return result;
    }
    if (!request->reuse) {
        DisposeGraph(request->graph);
        request->graph = -1;
    }
    return -1;
}

int RunImageLoadRequest(ImageLoadRequest* request, int fromAsyncWorker) {
    ImageLoadSources sources{};
    if (AcquireLoadImages(&sources, request) == 0) {
        int result =
            BuildGraphFromImages(&request->create, &request->load, request->reuse, request->graph,
                                 sources.use, sources.useAlpha, request->flagWord, fromAsyncWorker);
        if (result == 0) {
            RecordRestoreSource(request, request->graph, sources, fromAsyncWorker);
        } else {
            LogGraphBuildFailure(*request);
        }
        ReleaseLoadImages(&sources);
        return result;
    }
    // A file that is there but holds no image may be a movie, which only a new graph can show.
    if (request->fileName == nullptr || request->reuse) return -1;
    StreamValue file = request->context.files.open(request->fileName, 0, 1, 0);
    if (file == 0) return LogUnreadImageFile(*request);
    request->context.files.close(file);
    if (gGraphMovieHooks.open == nullptr) {
        return EmitLogFormat("右記のグラフィックファイルのロードに失敗しました：%s ",
                             request->fileName);
    }
    return gGraphMovieHooks.open(request, request->graph, request->fileName, fromAsyncWorker);
}

int SubmitDivImageLoadRequest(ImageLoadRequest* request, int async) {
    if (!ValidDivision(*request)) return -1;
    request->baseGraph = -1;
    Handle* cells = request->cells;
    bool ready = true;
    if (request->reuse) {
        // Every cell must exist and have no load still running into it.
        for (int i = 0; i < request->cellCount && ready; ++i) {
            ready = IsGraphLoading(cells[i]) == 0;
        }
    } else {
        std::fill(cells, cells + request->cellCount, -1);
        for (int i = 0; i < request->cellCount && ready; ++i) {
            cells[i] = IssueGraphHandle();
            ready = cells[i] != -1;
        }
        if (ready) request->baseGraph = IssueGraphHandle();
        ready = request->baseGraph != -1;
    }
    if (ready && async) {
        int held = request->cellCount + (request->reuse ? 0 : 1);
        int slot = QueueImageLoad(request, DivImageLoadJob, held);
        if (slot != -1) {
            if (!request->reuse) RaiseHandleAsyncCount(&gGraphRegistry, request->baseGraph, slot);
            for (int i = 0; i < request->cellCount; ++i) {
                RaiseHandleAsyncCount(&gGraphRegistry, cells[i], slot);
            }
            return 0;
        }
    } else if (ready && RunDivImageLoadRequest(request, 0) == 0) {
        // The cells keep the shared textures alive.
        if (!request->reuse) DisposeGraph(request->baseGraph);
        return 0;
    }
    if (request->reuse) return -1;  // the caller's cells stay whatever happened
    for (int i = 0; i < request->cellCount; ++i) {
        if (cells[i] != -1) DisposeGraph(cells[i]);
        cells[i] = -1;
    }
    if (request->baseGraph != -1) DisposeGraph(request->baseGraph);
    request->baseGraph = -1;
    return -1;
}

int RunDivImageLoadRequest(ImageLoadRequest* request, int fromAsyncWorker) {
    ImageLoadSources sources{};
    if (AcquireLoadImages(&sources, request) == -1) {
        if (request->fileName != nullptr) LogUnreadImageFile(*request);
        return -1;
    }
    int result = CreateDivGraphFromGraphImage(
        &request->create, &request->load, request->reuse, request->baseGraph, sources.use,
        sources.useAlpha, request->cellCount, request->cellsAcross, request->cellsDown,
        request->cellWidth, request->cellHeight, request->cells, request->flagWord, request->mirror,
        fromAsyncWorker);
    if (result == 0) {
        Handle first = request->cells[0];
        RecordRestoreSource(request, first, sources, fromAsyncWorker);
        for (int i = 1; i < request->cellCount; ++i) {
            SetGraphRestoreInfo(request->load.noRestoreData, request->cells[i], nullptr, nullptr, 0,
                                nullptr, 0, nullptr, nullptr, request->mirror, first,
                                fromAsyncWorker);
        }
    } else {
        LogGraphBuildFailure(*request);
    }
    ReleaseLoadImages(&sources);
    return result;
}

int AcquireLoadImages(ImageLoadSources* sources, const ImageLoadRequest* r) {
    *sources = ImageLoadSources{};
    if (r->fileName != nullptr || r->memImage != nullptr) {
        bool memory = r->fileName == nullptr;
        // Alpha mode 0 reads the "_a" file beside the image, 1 the alpha memory image, 2 none.
        int alphaMode = !memory ? 0 : (r->alphaMemImage != nullptr ? 1 : 2);
        int read = ReadGraphImageAndAlphaWithSettings(
            &r->context, r->fileName, r->memImage, r->memImageSize, memory ? 1 : 0,
            r->alphaMemImage, r->alphaMemImageSize, alphaMode, &sources->color, &sources->alpha,
            r->mirror);
        if (read == -1) return -1;
        sources->owned = 1;
        sources->use = &sources->color;
        sources->useAlpha = read == 0 ? &sources->alpha : nullptr;
        return 0;
    }
    if (r->image == nullptr) return -1;
    sources->use = r->image;
    sources->useAlpha = r->alphaImage;
    if (r->mirror) {
        FlipGraphImageLeftRight(r->image);
        if (r->alphaImage != nullptr) FlipGraphImageLeftRight(r->alphaImage);
        sources->flipped = 1;
    }
    return 0;
}

void ReleaseLoadImages(ImageLoadSources* sources) {
    if (sources->owned) {
        FreeGraphImage(&sources->color);
        FreeGraphImage(&sources->alpha);
    } else if (sources->flipped) {
        FlipGraphImageLeftRight(sources->use);
        if (sources->useAlpha != nullptr) FlipGraphImageLeftRight(sources->useAlpha);
    }
    *sources = ImageLoadSources{};
}

int BuildGraphFromImages(const GraphCreateSettings* create, const ImageLoadSettings* load,
                         int reuse, Handle graph, GraphImage* image, GraphImage* alphaImage,
                         int32_t flag, int fromAsyncWorker) {
    GraphImage filled{};
    if (!reuse && load->edgeFill && !load->ignoreTransparentColor) {
        if (FillTransparentEdges(*image, alphaImage, create->transparentColor, &filled) == -1) {
            return -1;
        }
        // The copy carries the alpha image's alpha in its own.
        image = &filled;
        alphaImage = nullptr;
    }
    UpdateColorFormatSpareMask(&image->format);
    if (alphaImage != nullptr) UpdateColorFormatSpareMask(&alphaImage->format);
    GraphCreateSettings settings = *create;
    settings.transparentColor = LoadKeyColour(*create, *load, *image);
    int result = 0;
    if (reuse) {
        const GraphRecord* record = GetGraphRecord(graph, fromAsyncWorker);
        bool fits = record != nullptr && record->width == image->width &&
                    record->height == image->height && AlphaFits(*image, alphaImage);
        result = fits ? KeyExistingGraphs(&graph, 1, image->width, image->height,
                                          settings.transparentColor, fromAsyncWorker)
                      : -1;
    } else {
        result = SetupGraphFromGraphImage(&settings, graph, image, alphaImage, fromAsyncWorker);
    }
    if (result == 0) {
        result = TransferImageToGraphAt(image, alphaImage, 0, 0, graph,
                                        load->ignoreTransparentColor ? 0 : 1, fromAsyncWorker);
    }
    FreeGraphImage(&filled);
    return result;
}

int CreateDivGraphFromGraphImage(const GraphCreateSettings* create, const ImageLoadSettings* load,
                                 int reuse, Handle baseGraph, GraphImage* image,
                                 GraphImage* alphaImage, int allNum, int xNum, int yNum, int width,
                                 int height, Handle* cells, int32_t flag, int mirror,
                                 int fromAsyncWorker) {
    if (reuse) {
        UpdateColorFormatSpareMask(&image->format);
        if (alphaImage != nullptr) UpdateColorFormatSpareMask(&alphaImage->format);
        bool fits = int64_t{xNum} * width <= image->width &&
                    int64_t{yNum} * height <= image->height && AlphaFits(*image, alphaImage);
        if (!fits ||
            KeyExistingGraphs(cells, allNum, width, height, LoadKeyColour(*create, *load, *image),
                              fromAsyncWorker) == -1) {
            return -1;
        }
        return TransferGraphImageToDivGraphs(image, alphaImage, allNum, xNum, yNum, width, height,
                                             cells, mirror, load->ignoreTransparentColor ? 0 : 1,
                                             fromAsyncWorker);
    }
    if (BuildGraphFromImages(create, load, 0, baseGraph, image, alphaImage, flag,
                             fromAsyncWorker) == -1) {
        return -1;
    }
    for (int i = 0; i < allNum; ++i) {
        int column = i % xNum, row = i / xNum;
        int x = static_cast<int>(DivCellImageX(image->width, column, width, mirror));
        if (CutGraphRectInto(cells[i], x, row * height, width, height, baseGraph,
                             fromAsyncWorker) == -1) {
            return AppendLogText(
                "グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage\n");
        }
    }
    return 0;
}

Handle BuildGraphFromGraphImage(GraphImage* image, GraphImage* alphaImage, int32_t flag) {
    WaitWhileInactive();
    Handle graph = IssueGraphHandle();
    if (graph == -1) return -1;
    GraphCreateSettings create{};
    CaptureGraphCreateSettings(&create);
    ImageLoadSettings load = gImageLoadSettings;
    if (BuildGraphFromImages(&create, &load, 0, graph, image, alphaImage, flag, 0) == -1) {
        DisposeGraph(graph);
        return -1;
    }
    return graph;
}

Handle CreateEmptyGraph(const GraphCreateSettings* settings, int width, int height, int32_t flag,
                        int async, int fromAsyncWorker) {
    if (!fromAsyncWorker) WaitWhileInactive();
    Handle graph = IssueGraphHandle();
    if (graph == -1) return -1;
    if (async && !fromAsyncWorker) {
        EmptyGraphLoad load = {*settings, graph, width,
                               height,    flag,  settings->alphaChannelForEmpty};
        AsyncLoadRequest* request =
            PackAsyncLoadRequest(EmptyGraphJob, 1, [&](uint8_t* buffer, uint32_t* offset) {
                return PackAsyncArgBytes(buffer, offset, &load, sizeof load);
            });
        if (request == nullptr) {
            DisposeGraph(graph);
            return -1;
        }
        RaiseHandleAsyncCount(&gGraphRegistry, graph, QueueAsyncLoadRequest(request));
        return graph;
    }
    // A failed creation has deleted the handle.
    if (CreateGraphTextures(settings, graph, width, height, settings->alphaChannelForEmpty, 0, 0,
                            -1, fromAsyncWorker) == -1) {
        return -1;
    }
    return graph;
}
