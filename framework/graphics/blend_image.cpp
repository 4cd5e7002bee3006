#include "graphics/blend_image.h"

#include "core/log.h"
#include "graphics/draw_state.h"
#include "graphics/graph_creation.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "graphics/graph_transfer.h"
#include "graphics/screen_pixel_access.h"
#include "image/color_format.h"

namespace {

// The last blend image made: of which graph, and of its texture set at which write count.
struct MadeBlendImage {
    Handle image, source;
    const GraphTextureInfo* set;
    uint32_t writeCount;
};
MadeBlendImage gMadeBlendImage = {-1, -1, nullptr, 0};

// The graph's red channel, in every channel of a 32-bit image of its size.
int ReadBlendValues(Handle graph, int width, int height, GraphImage* out) {
    if (AllocGraphImageARGB32(width, height, out) == -1) return -1;
    RECT all = {0, 0, width, height};
    if (ReadGraphRectInto(graph, all, out) == -1) {
        FreeGraphImage(out);
        return -1;
    }
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(out->pixels) +
                                                static_cast<size_t>(y) * out->pitch);
        for (int x = 0; x < width; ++x) row[x] = ((row[x] >> 16) & 0xFF) * 0x01010101u;
    }
    return 0;
}

// A graph of the size made as a blend image, one texture level deep; -1 when it cannot be made.
Handle NewBlendImage(int width, int height) {
    Handle image = IssueGraphHandle();
    if (image == -1) return -1;
    GraphCreateSettings settings{};
    CaptureGraphCreateSettings(&settings);
    settings.blendImage = 1;
    settings.drawTarget = 0;
    settings.colorKeyAlpha = 0;
    settings.channelCount = 0;
    settings.floatChannels = 0;
    settings.mipLevels = 0;
    // On failure the handle is deleted already.
    return CreateGraphTextures(&settings, image, width, height, 1, 0, 0, -1, 0) == -1 ? -1 : image;
}

bool HasSize(Handle graph, int width, int height) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    return record != nullptr && record->width == width && record->height == height;
}

}  // namespace

Handle MakeBlendImageOfGraph(Handle graph, Handle reuse) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr || record->textureInfo == nullptr) return -1;
    const MadeBlendImage& made = gMadeBlendImage;
    const GraphTextureInfo* set = record->textureInfo;
    // A wipe sets its graph again every frame: nothing to copy while the pixels stay.
    if (reuse == made.image && graph == made.source && set == made.set &&
        set->writeCount == made.writeCount && GetGraphRecord(reuse, 0) != nullptr) {
        return reuse;
    }
    const int width = record->width, height = record->height;
    GraphImage values{};
    if (ReadBlendValues(graph, width, height, &values) == -1) {
        return AppendLogText("ブレンド画像の読み込みに失敗しました\n");
    }
    Handle image = HasSize(reuse, width, height) ? reuse : NewBlendImage(width, height);
    RECT all = {0, 0, width, height};
    // The copy it keeps refills it when the device was lost.
    bool filled = image != -1 &&
                  UploadImageToGraph(image, &all, 0, 0, &values, nullptr, 0, 0, 0) == 0 &&
                  SetGraphRestoreInfo(0, image, nullptr, nullptr, 0, nullptr, 0, &values, nullptr,
                                      0, -1, 0) == 0;
    FreeGraphImage(&values);
    if (filled) {
        gMadeBlendImage = {image, graph, set, set->writeCount};
        return image;
    }
    if (image != -1 && image != reuse) DisposeGraph(image);
    return AppendLogText("ブレンド画像の作成に失敗しました\n");
}
