// The Theora movie player: opens an Ogg file that carries a Theora stream, indexes its pages
// and frames once, and runs one decode thread per movie that keeps a small stock of decoded
// YUV frames ahead of the frame the owner shows. The owner moves the current frame and asks
// for it as a 32-bit image (cropped to the visible picture) or, for 4:2:0 movies on a device
// that offers one, in an off-screen YUV surface that the device converts while it copies.
#pragma once

#include <platform/d3d9.h>
#include <theora/theora.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "core/file_access.h"
#include "image/color_format.h"
#include "movie/yuv_to_rgb.h"

// Decode thread states.
constexpr int32_t kTheoraStockFull = 0;
constexpr int32_t kTheoraDecoding = 1;
constexpr int32_t kTheoraSeeking = 2;
constexpr int32_t kTheoraEnded = 3;
constexpr int32_t kTheoraIdle = 4;

// One Ogg page that begins a new frame.
struct TheoraPageEntry {
    uint32_t offset;
    uint32_t firstFrame;
    uint32_t hasKeyFrame;
    uint32_t frameCount;  // frames that the page completes
};

struct TheoraStockEntry {
    std::atomic<int32_t> valid;  // set last, after the planes are written
    std::atomic<int32_t> frame;
    uint8_t* y;
    uint8_t* u;
    uint8_t* v;
    int32_t yWidth, yHeight, yStride;
    int32_t uvWidth, uvHeight, uvStride;
};

struct TheoraPlayer {
    // Shared with the decode thread: the owner writes the requests and currentFrame, the
    // thread its state, decodedFrame, atEnd and the stock.
    std::atomic<int32_t> threadState;
    std::atomic<int32_t> pauseRequest;
    std::atomic<int32_t> stopRequest;
    std::atomic<int32_t> seekRequest;
    std::atomic<int32_t> seekTarget;
    std::atomic<int32_t> atEnd;
    std::thread thread;
    FileAccessFunctions files;
    StreamValue file;
    ogg_sync_state sync;
    ogg_stream_state stream;
    int32_t streamOpen;
    ogg_page page;
    ogg_packet packet;
    theora_info info;
    theora_comment comment;
    theora_state decoder;
    int32_t decoderOpen;
    int32_t serial;
    TheoraPageEntry* pageTable;
    int32_t pageCount;
    int32_t pageCapacity;
    uint8_t* keyFrameTable;
    int64_t keyFrameCapacity;
    int64_t frameCount;
    std::atomic<int32_t> currentFrame;
    std::atomic<int32_t> decodedFrame;  // -1 before the first frame of a pass
    int32_t headerCount;
    TheoraStockEntry* stock;
    int32_t stockCount;
    GraphImage image;     // the visible picture, X8R8G8B8
    int32_t surfaceLost;  // the surface went with the device: make it again
    IDirect3DSurface9* surface;
    D3DFORMAT surfaceFormat;  // YV12, YUY2 or UYVY; 0 without a surface
    std::atomic<int32_t> imageConverted;
    std::atomic<int32_t> surfaceConverted;
    std::atomic<int32_t> converting;  // the stock entry the owner reads, -1 for none
};

struct TheoraMovieInfo {
    double framesPerSecond;
    int64_t frameCount;
    int32_t width;  // visible picture
    int32_t height;
};

// Null when the file is no Ogg Theora movie (refused without a log line when it does not start
// with an Ogg page) or when the player cannot be made (logged).
TheoraPlayer* OpenTheoraPlayer(const FileAccessFunctions* files, StreamValue file,
                               int32_t stockCount, int32_t async);
int CloseTheoraPlayer(TheoraPlayer* player);
int SeekTheoraFrame(TheoraPlayer* player, int32_t frame);
int AdvanceTheoraFrames(TheoraPlayer* player, int32_t count);
// 1 when the current frame was converted, else 0.
int ConvertTheoraFrame(TheoraPlayer* player, int32_t toImage, int32_t toSurface, int32_t async);
int GetTheoraMovieInfo(const TheoraPlayer* player, TheoraMovieInfo* info);
int32_t GetTheoraCurrentFrame(const TheoraPlayer* player);
GraphImage* GetTheoraFrameImage(TheoraPlayer* player);
IDirect3DSurface9* GetTheoraYUVSurface(const TheoraPlayer* player);
void MarkTheoraSurfaceLost(TheoraPlayer* player);
// With async set the device calls are made on the main thread.
int CreateTheoraYUVSurface(TheoraPlayer* player, int32_t async);
int ReleaseTheoraYUVSurface(TheoraPlayer* player, int32_t async);
