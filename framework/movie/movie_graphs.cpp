// Graphs that show a movie: the graph is made at the movie's size when the movie opens, and
// the movie's frame callback copies each new frame into it.
#include "movie/movie_graphs.h"

#include <algorithm>

#include "core/log.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/graph_creation.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "graphics/graph_transfer.h"
#include "graphics/screen_state.h"
#include "movie/movies.h"

namespace {

// Shows a Theora frame through the player's YUV surface: the device converts the visible
// picture while it copies it onto the graph's texture. False when the frame has to go through
// the player's image instead (no surface, a frame not written into it, a graph of several
// pieces, or a copy the device refuses).
bool StretchMovieSurfaceOntoGraph(MovieRecord* record, GraphRecord* graph) {
    if (record->isTheora == 0 || graph->textureInfo == nullptr ||
        !graph->textureInfo->flags.useTexture || graph->pieceCount != 1 || !HasDirect3DDevice()) {
        return false;
    }
    TheoraPlayer* player = record->theora;
    ConvertTheoraFrame(player, 0, 1, 0);
    IDirect3DSurface9* surface = GetTheoraYUVSurface(player);
    if (surface == nullptr || player->surfaceConverted.load() == 0) return false;
    const GraphPiece& piece = GraphPieces(graph)[0];
    LONG left = static_cast<LONG>(player->info.offset_x);
    LONG top = static_cast<LONG>(player->info.offset_y);
    RECT source = {left, top, left + piece.w, top + piece.h};
    RECT dest = {piece.texOffX, piece.texOffY, piece.texOffX + piece.w, piece.texOffY + piece.h};
    return SUCCEEDED(
        DeviceStretchRect(surface, &source, piece.texPiece->surface, &dest, D3DTEXF_NONE));
}

}  // namespace

int OpenMovieAsGraph(const ImageLoadRequest* request, Handle graph, const char* fileName,
                     int fromAsyncWorker) {
    int width = 0, height = 0;
    Handle movie = LoadMovieHandle(&request->movieOpenSetting, fileName, &width, &height,
                                   request->movieMode, 0);
    if (movie == -1) {
        return EmitLogFormat("右記のグラフィックファイルのロードに失敗しました：%s ", fileName);
    }
    MovieRecord* movieRecord = GetMovieRecord(movie);
    GraphCreateSettings settings = request->create;
    settings.colorBits = gScreen.colorBits != 0 ? gScreen.colorBits : 16;
    settings.channelBits = 0;
    settings.colorKeyAlpha = 0;
    settings.managedPool = 0;
    // Theora frames may be stretched onto the graph, which needs a draw target.
    settings.drawTarget = movieRecord->isTheora != 0 ? 1 : 0;
    settings.movie = 1;
    if (CreateGraphTextures(&settings, graph, width, height, 0, 0, 0, 1, fromAsyncWorker) != 0) {
        DeleteMovieHandle(movie);
        return EmitLogFormat(
            "右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s", fileName);
    }
    GraphRecord* graphRecord = GetGraphRecord(graph, 1);
    graphRecord->movie = movie;
    // The software renderer's memory image comes uncleared, and a movie read through the filter
    // graph shows no frame before it first plays: black until then, as the device's texture.
    if (!graphRecord->textureInfo->flags.useTexture) ColorFillGraph(graph, 0, 0, 0, 255, 1);
    SetMovieFrameCallback(
        movie,
        [](MovieRecord* record, void* data) {
            CopyMovieFrameToGraph(record, static_cast<Handle>(reinterpret_cast<intptr_t>(data)));
        },
        reinterpret_cast<void*>(static_cast<intptr_t>(graph)));
    return 0;
}

int CopyMovieFrameToGraph(MovieRecord* record, Handle graph) {
    GraphRecord* graphRecord = GetGraphRecord(graph, 0);
    if (graphRecord == nullptr) return -1;
    if (StretchMovieSurfaceOntoGraph(record, graphRecord)) return 0;
    const GraphImage* frame = GetMovieFrameImage(record);
    if (frame == nullptr || frame->pixels == nullptr) return -1;
    RECT source = {0, 0, std::min(frame->width, graphRecord->width),
                   std::min(frame->height, graphRecord->height)};
    return UploadImageToGraph(graph, &source, 0, 0, frame, nullptr, 0, 0, 0);
}

Handle GetGraphMovie(Handle graph) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    return record != nullptr ? record->movie : -1;
}

void ReleaseMovieDeviceObjects(Handle movie) {
    MovieRecord* record = GetMovieRecord(movie);
    if (record == nullptr || record->isTheora == 0) return;
    ReleaseTheoraYUVSurface(record->theora, 0);
    MarkTheoraSurfaceLost(record->theora);
}
