// The Theora movie player over libogg and libtheora's older decoder interface. The owner and
// the decode thread share the player through atomic request and state words; every wait on
// the other side is bounded, so a stuck decoder shows an older frame instead of hanging.
#include "movie/theora_player.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "core/log.h"
#include "core/tracked_memory.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_marshal.h"
#include "graphics/screen_state.h"

namespace {

constexpr int32_t kReadPiece = 4096;
constexpr int32_t kTableGrowth = 1000;
// How long the owner waits for the decode thread before it gives up on a frame or a seek.
constexpr auto kOwnerWaitLimit = std::chrono::seconds(5);

void* Allocate(uint32_t bytes) {
    return AllocMemory(bytes, __FILE__, __LINE__);
}

// Reads the next piece of the file into the sync state; 0 at the end.
size_t ReadMore(TheoraPlayer* p) {
    char* buffer = ogg_sync_buffer(&p->sync, kReadPiece);
    if (buffer == nullptr) return 0;
    size_t got = p->files.read(buffer, 1, kReadPiece, p->file);
    ogg_sync_wrote(&p->sync, static_cast<long>(got));
    return got;
}

// The next page out of the sync state, reading as needed; false at the end of the file.
bool NextPage(TheoraPlayer* p) {
    for (;;) {
        int result = ogg_sync_pageout(&p->sync, &p->page);
        if (result == 1) return true;
        if (result == 0 && ReadMore(p) == 0) return false;
    }
}

// The next packet of the Theora stream; false at the end of the file.
bool NextPacket(TheoraPlayer* p) {
    for (;;) {
        int result = ogg_stream_packetout(&p->stream, &p->packet);
        if (result == 1) return true;
        if (result < 0) continue;  // a gap: take what follows
        if (!NextPage(p)) return false;
        ogg_stream_pagein(&p->stream, &p->page);
    }
}

void RestartFile(TheoraPlayer* p, uint32_t offset) {
    ogg_sync_reset(&p->sync);
    ogg_stream_reset(&p->stream);
    p->files.seek(p->file, offset, 0);
}

// Decodes the next n frames of the stream; packets before a key frame that lies inside the n
// are not decoded, as their pictures would be replaced. 1 when the last packet taken is a key
// frame, 0 when not, -1 at the end of the file.
int DecodeTheoraPackets(TheoraPlayer* p, int32_t n) {
    int32_t from = p->decodedFrame.load() + 1;
    int64_t key = -1;
    for (int64_t f = std::max(from, 0); f < int64_t{from} + n && f < p->frameCount; ++f) {
        if (p->keyFrameTable[f] != 0) key = f;
    }
    int last = 0;
    for (int32_t taken = 0; taken < n;) {
        if (!NextPacket(p)) return -1;
        int isKey = theora_packet_iskeyframe(&p->packet);
        if (isKey < 0) continue;  // a header packet
        int32_t frame = p->decodedFrame.load() + 1;
        if (key < 0 || frame >= key) theora_decode_packetin(&p->decoder, &p->packet);
        p->decodedFrame.store(frame);
        last = isKey;
        ++taken;
    }
    return last;
}

int32_t FindStock(const TheoraPlayer* p, int32_t frame) {
    for (int32_t i = 0; i < p->stockCount; ++i) {
        if (p->stock[i].valid.load(std::memory_order_acquire) != 0 && p->stock[i].frame == frame) {
            return i;
        }
    }
    return -1;
}

// Copies a plane row by row into a tight buffer of width x height bytes.
bool CopyPlane(uint8_t** plane, int32_t* width, int32_t* height, int32_t* stride,
               const unsigned char* from, int32_t fromWidth, int32_t fromHeight,
               int32_t fromStride) {
    if (*plane == nullptr || *width != fromWidth || *height != fromHeight) {
        FreeMemory(*plane);
        *plane = static_cast<uint8_t*>(
            Allocate(static_cast<uint32_t>(std::max(fromWidth * fromHeight, 1))));
        if (*plane == nullptr) return false;
        *width = fromWidth;
        *height = fromHeight;
        *stride = fromWidth;
    }
    for (int32_t row = 0; row < fromHeight; ++row) {
        std::memcpy(*plane + static_cast<ptrdiff_t>(row) * fromWidth,
                    from + static_cast<ptrdiff_t>(row) * fromStride, fromWidth);
    }
    return true;
}

// Stores the decoder's picture as decodedFrame in the first free stock entry.
void StorePicture(TheoraPlayer* p) {
    int32_t freeEntry = -1;
    for (int32_t i = 0; i < p->stockCount && freeEntry < 0; ++i) {
        if (p->stock[i].valid.load(std::memory_order_acquire) == 0) freeEntry = i;
    }
    if (freeEntry < 0) return;
    yuv_buffer yuv;
    if (theora_decode_YUVout(&p->decoder, &yuv) != 0) return;
    TheoraStockEntry& e = p->stock[freeEntry];
    if (!CopyPlane(&e.y, &e.yWidth, &e.yHeight, &e.yStride, yuv.y, yuv.y_width, yuv.y_height,
                   yuv.y_stride)) {
        return;
    }
    int32_t uWidth = e.uvWidth, uHeight = e.uvHeight, uStride = e.uvStride;
    if (!CopyPlane(&e.u, &uWidth, &uHeight, &uStride, yuv.u, yuv.uv_width, yuv.uv_height,
                   yuv.uv_stride) ||
        !CopyPlane(&e.v, &e.uvWidth, &e.uvHeight, &e.uvStride, yuv.v, yuv.uv_width, yuv.uv_height,
                   yuv.uv_stride)) {
        return;
    }
    e.frame = p->decodedFrame.load();
    e.valid.store(1, std::memory_order_release);
}

// Positions the decoder so that it holds seekTarget's picture: from a page before the nearest
// key frame, every packet up to the target is decoded.
void RunSeek(TheoraPlayer* p) {
    int32_t target = p->seekTarget.load();
    int32_t entry = 0;
    while (entry < p->pageCount - 1 &&
           int64_t{p->pageTable[entry].firstFrame} + p->pageTable[entry].frameCount <= target) {
        ++entry;
    }
    entry = std::max(entry - 1, 0);
    while (entry > 0 && p->pageTable[entry].hasKeyFrame == 0) --entry;
    if (entry > 0) --entry;
    RestartFile(p, p->pageTable[entry].offset);
    // The packet that a continued page finishes was begun before it: it never comes out.
    int32_t next = static_cast<int32_t>(p->pageTable[entry].firstFrame);
    while (NextPage(p)) {
        if (ogg_stream_pagein(&p->stream, &p->page) == 0) {
            if (ogg_page_continued(&p->page) != 0) ++next;
            break;
        }
    }
    p->decodedFrame.store(next - 1);
    int32_t count = target - (next - 1);
    if (count > 0) DecodeTheoraPackets(p, count);
    for (int32_t i = 0; i < p->stockCount; ++i) p->stock[i].valid.store(0);
    p->decodedFrame.store(target);
    p->seekRequest.store(0);
    p->atEnd.store(0);
}

// Takes an entry out of the stock unless the owner is reading it. The owner claims an entry
// before it checks the entry's flag, and the thread clears the flag before it checks the
// claim, so one of them always sees the other.
bool DropEntry(TheoraPlayer* p, int32_t i) {
    p->stock[i].valid.store(0);
    if (p->converting.load() != i) return true;
    p->stock[i].valid.store(1);
    return false;
}

// One pass of normal running: drops what the window no longer needs, then decodes and stores
// one picture when an entry is free.
void RunDecodePass(TheoraPlayer* p) {
    int32_t current = p->currentFrame.load();
    int32_t decoded = p->decodedFrame.load();
    int64_t window = int64_t{current} + p->stockCount;
    for (int32_t i = 0; i < p->stockCount; ++i) {
        TheoraStockEntry& e = p->stock[i];
        if (e.valid.load(std::memory_order_acquire) == 0) continue;
        bool keep = true;
        if (e.frame < current) {
            keep = window >= p->frameCount && e.frame < window - p->frameCount;
        } else if (e.frame > decoded && e.frame > window) {
            keep = false;
        }
        if (!keep) DropEntry(p, i);
    }
    bool hasFree = false;
    for (int32_t i = 0; i < p->stockCount && !hasFree; ++i) {
        hasFree = p->stock[i].valid.load(std::memory_order_acquire) == 0;
    }
    if (!hasFree && FindStock(p, current) < 0) {
        // A stock full of frames the owner has moved away from would never make room.
        for (int32_t i = 0; i < p->stockCount; ++i) hasFree = DropEntry(p, i) || hasFree;
    }
    if (!hasFree) {
        p->threadState.store(kTheoraStockFull);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
    }
    p->threadState.store(kTheoraDecoding);
    int32_t advance = 0;
    if (FindStock(p, decoded) >= 0 || decoded < current) {
        advance = FindStock(p, current) < 0 && current > decoded ? current - decoded : 1;
    }
    if (advance > 0) {
        int64_t target = int64_t{decoded} + advance;
        bool hitEnd;
        if (target >= p->frameCount) {
            // Past the last frame: the next pass starts from the beginning of the file.
            target -= p->frameCount;
            RestartFile(p, 0);
            p->decodedFrame.store(-1);
            hitEnd = DecodeTheoraPackets(p, static_cast<int32_t>(target + 1)) < 0;
        } else {
            hitEnd = DecodeTheoraPackets(p, advance) < 0;
        }
        // Frames that the data ends before show the last picture decoded.
        p->atEnd.store(hitEnd ? 1 : 0);
        p->decodedFrame.store(static_cast<int32_t>(target));
    }
    if (FindStock(p, p->decodedFrame.load()) < 0) StorePicture(p);
}

void TheoraDecodeThreadProc(TheoraPlayer* p) {
    while (p->stopRequest.load() == 0) {
        if (p->pauseRequest.load() != 0) {
            p->threadState.store(kTheoraIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else if (p->seekRequest.load() != 0) {
            p->threadState.store(kTheoraSeeking);
            RunSeek(p);
        } else {
            RunDecodePass(p);
            std::this_thread::yield();
        }
    }
    p->threadState.store(kTheoraEnded);
}

// Reads pages until the three Theora headers are in; false when the file has no Theora
// stream or its headers are damaged.
bool ReadHeaders(TheoraPlayer* p) {
    while (p->headerCount < 3) {
        if (!NextPage(p)) {
            EmitLogText("End of file while searching for codec headers.\n");
            return false;
        }
        if (ogg_page_bos(&p->page) != 0) {
            if (p->streamOpen != 0) continue;
            ogg_stream_state trial;
            ogg_stream_init(&trial, ogg_page_serialno(&p->page));
            ogg_stream_pagein(&trial, &p->page);
            if (ogg_stream_packetout(&trial, &p->packet) == 1 &&
                theora_decode_header(&p->info, &p->comment, &p->packet) >= 0) {
                p->stream = trial;
                p->streamOpen = 1;
                p->serial = ogg_page_serialno(&p->page);
                p->headerCount = 1;
            } else {
                ogg_stream_clear(&trial);
            }
            continue;
        }
        if (p->streamOpen == 0) continue;
        ogg_stream_pagein(&p->stream, &p->page);
        int result;
        while (p->headerCount < 3 && (result = ogg_stream_packetout(&p->stream, &p->packet)) != 0) {
            if (result < 0 || theora_decode_header(&p->info, &p->comment, &p->packet) < 0) {
                return false;
            }
            ++p->headerCount;
        }
    }
    return true;
}

template <class T>
bool GrowTable(T** table, int64_t* capacity, int64_t needed) {
    if (needed <= *capacity) return true;
    int64_t bigger = *capacity + kTableGrowth;
    if (bigger * static_cast<int64_t>(sizeof(T)) > INT32_MAX) return false;
    void* grown =
        ReallocMemory(*table, static_cast<uint32_t>(bigger * sizeof(T)), __FILE__, __LINE__);
    if (grown == nullptr) return false;
    *table = static_cast<T*>(grown);
    *capacity = bigger;
    return true;
}

// Indexes every page that begins a frame and every frame's key flag.
bool IndexFile(TheoraPlayer* p) {
    int64_t pageCapacity = 0;
    if (!GrowTable(&p->pageTable, &pageCapacity, 1)) {
        EmitLogText("Theora ページ情報格納用メモリの確保に失敗しました\n");
        return false;
    }
    if (!GrowTable(&p->keyFrameTable, &p->keyFrameCapacity, 1)) {
        EmitLogText("Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
        return false;
    }
    RestartFile(p, 0);
    int64_t offset = 0;
    for (;;) {
        long result = ogg_sync_pageseek(&p->sync, &p->page);
        if (result == 0) {
            if (ReadMore(p) == 0) break;
            continue;
        }
        if (result < 0) {  // bytes skipped before a page
            offset -= result;
            continue;
        }
        int64_t pageOffset = offset;
        offset += result;
        if (ogg_stream_pagein(&p->stream, &p->page) != 0) continue;
        if (pageOffset > UINT32_MAX) break;
        bool newPage = true;
        int got;
        while ((got = ogg_stream_packetout(&p->stream, &p->packet)) != 0) {
            if (got < 0) continue;
            int isKey = theora_packet_iskeyframe(&p->packet);
            if (isKey < 0) continue;
            if (p->frameCount >= INT32_MAX - kTableGrowth) return false;
            if (newPage) {
                if (!GrowTable(&p->pageTable, &pageCapacity, p->pageCount + 1)) {
                    EmitLogText("Theora ページ情報格納用メモリの確保に失敗しました\n");
                    return false;
                }
                p->pageTable[p->pageCount++] = {static_cast<uint32_t>(pageOffset),
                                                static_cast<uint32_t>(p->frameCount), 0, 0};
                newPage = false;
            }
            if (!GrowTable(&p->keyFrameTable, &p->keyFrameCapacity, p->frameCount + 1)) {
                EmitLogText("Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
                return false;
            }
            p->keyFrameTable[p->frameCount] = static_cast<uint8_t>(isKey);
            TheoraPageEntry& entry = p->pageTable[p->pageCount - 1];
            if (isKey != 0) entry.hasKeyFrame = 1;
            ++entry.frameCount;
            ++p->frameCount;
        }
    }
    if (p->pageCount > 0) p->pageTable[0].offset = 0;
    p->pageCapacity = static_cast<int32_t>(pageCapacity);
    return true;
}

void FreePlayer(TheoraPlayer* p) {
    if (p->thread.joinable()) {
        p->stopRequest.store(1);
        p->thread.join();
    }
    if (p->stock != nullptr) {
        for (int32_t i = 0; i < p->stockCount; ++i) {
            FreeMemory(p->stock[i].y);
            FreeMemory(p->stock[i].u);
            FreeMemory(p->stock[i].v);
        }
        FreeMemory(p->stock);
    }
    ReleaseTheoraYUVSurface(p, 0);
    FreeMemory(p->pageTable);
    FreeMemory(p->keyFrameTable);
    if (p->image.pixels != nullptr) FreeGraphImage(&p->image);
    if (p->streamOpen != 0) ogg_stream_clear(&p->stream);
    if (p->decoderOpen != 0) theora_clear(&p->decoder);
    theora_comment_clear(&p->comment);
    theora_info_clear(&p->info);
    ogg_sync_clear(&p->sync);
    p->~TheoraPlayer();
    FreeMemory(p);
}

// Converts the stock entry's picture, cropped to the visible region, into the image.
void ConvertToImage(TheoraPlayer* p, const TheoraStockEntry& e) {
    YuvPicture picture{e.y,       e.u,       e.v,        e.yWidth,  e.yHeight,
                       e.yStride, e.uvWidth, e.uvHeight, e.uvStride};
    ConvertYUVPictureToImage(picture, static_cast<int32_t>(p->info.offset_x),
                             static_cast<int32_t>(p->info.offset_y), &p->image);
}

// Writes the stock entry's 4:2:0 picture into the surface in its format: YV12 as the Y rows,
// then the V rows and the U rows at half the pitch; YUY2 and UYVY as pixel pairs with the U and
// V of their 2x2 block. False when the surface cannot be locked or does not fit the picture.
bool WriteSurface(TheoraPlayer* p, const TheoraStockEntry& e, int32_t async) {
    // The surface was made at the coded size.
    bool fits = e.yWidth == e.uvWidth * 2 && e.yHeight == e.uvHeight * 2 &&
                e.yWidth == static_cast<int32_t>(p->info.width) &&
                e.yHeight == static_cast<int32_t>(p->info.height);
    if (!fits) return false;
    D3DLOCKED_RECT locked;
    if (FAILED(MarshalSurfaceLockRect(p->surface, &locked, nullptr, 0, async))) return false;
    uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
    ptrdiff_t pitch = locked.Pitch;
    if (p->surfaceFormat == D3DFMT_YV12) {
        uint8_t* vPlane = bits + pitch * e.yHeight;
        uint8_t* uPlane = vPlane + pitch / 2 * e.uvHeight;
        for (int32_t row = 0; row < e.yHeight; ++row) {
            std::memcpy(bits + row * pitch, e.y + ptrdiff_t{row} * e.yStride, e.yWidth);
        }
        for (int32_t row = 0; row < e.uvHeight; ++row) {
            std::memcpy(vPlane + row * (pitch / 2), e.v + ptrdiff_t{row} * e.uvStride, e.uvWidth);
            std::memcpy(uPlane + row * (pitch / 2), e.u + ptrdiff_t{row} * e.uvStride, e.uvWidth);
        }
    } else {
        // Byte offsets of Y0, U, Y1 and V inside a pair.
        bool yuy2 = p->surfaceFormat == D3DFMT_YUY2;
        int y0 = yuy2 ? 0 : 1, u = yuy2 ? 1 : 0, y1 = yuy2 ? 2 : 3, v = yuy2 ? 3 : 2;
        for (int32_t row = 0; row < e.yHeight; ++row) {
            const uint8_t* luma = e.y + ptrdiff_t{row} * e.yStride;
            const uint8_t* us = e.u + ptrdiff_t{row / 2} * e.uvStride;
            const uint8_t* vs = e.v + ptrdiff_t{row / 2} * e.uvStride;
            uint8_t* out = bits + row * pitch;
            for (int32_t pair = 0; pair < e.uvWidth; ++pair, out += 4) {
                out[y0] = luma[2 * pair];
                out[u] = us[pair];
                out[y1] = luma[2 * pair + 1];
                out[v] = vs[pair];
            }
        }
    }
    MarshalSurfaceUnlockRect(p->surface, async);
    return true;
}

bool WaitUntil(auto condition) {
    auto deadline = std::chrono::steady_clock::now() + kOwnerWaitLimit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

}  // namespace

TheoraPlayer* OpenTheoraPlayer(const FileAccessFunctions* files, StreamValue file,
                               int32_t stockCount, int32_t async) {
    char magic[4] = {};
    if (files->read(magic, 1, 4, file) != 4 || std::memcmp(magic, "OggS", 4) != 0) return nullptr;
    files->seek(file, 0, 0);
    void* memory = AllocClearedMemory(sizeof(TheoraPlayer), __FILE__, __LINE__);
    if (memory == nullptr) {
        EmitLogText("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
        return nullptr;
    }
    TheoraPlayer* p = new (memory) TheoraPlayer();
    ogg_sync_init(&p->sync);
    theora_info_init(&p->info);
    theora_comment_init(&p->comment);
    p->files = *files;
    p->file = file;
    p->pauseRequest.store(1);
    p->threadState.store(kTheoraStockFull);
    p->converting.store(-1);
    bool ok = ReadHeaders(p);
    // A movie without frames or without a frame rate cannot be timed: it is refused.
    ok = ok && p->info.fps_numerator != 0 && p->info.fps_denominator != 0 &&
         p->info.frame_width > 0 && p->info.frame_height > 0 &&
         p->info.offset_x + p->info.frame_width <= p->info.width &&
         p->info.offset_y + p->info.frame_height <= p->info.height &&
         uint64_t{p->info.width} * p->info.height * 4 <= GetGraphImageByteLimit();
    // The headers alone may claim any picture: the decoder, which takes memory for it, is made
    // only for a file that has frames.
    ok = ok && IndexFile(p) && p->frameCount > 0;
    if (ok) {
        ok = theora_decode_init(&p->decoder, &p->info) == 0;
        p->decoderOpen = ok ? 1 : 0;
    }
    if (ok) {
        CreateTheoraYUVSurface(p, async);
        if (AllocGraphImageXRGB32(static_cast<int>(p->info.frame_width),
                                  static_cast<int>(p->info.frame_height), &p->image) != 0) {
            EmitLogText(
                "Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
            ok = false;
        }
    }
    if (ok) {
        p->stockCount = std::max(stockCount, 1);
        void* stock = AllocClearedMemory(
            static_cast<uint32_t>(sizeof(TheoraStockEntry) * p->stockCount), __FILE__, __LINE__);
        if (stock == nullptr) {
            EmitLogText("Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
            ok = false;
        } else {
            p->stock = new (stock) TheoraStockEntry[p->stockCount]();
        }
    }
    if (ok) {
        try {
            p->thread = std::thread(TheoraDecodeThreadProc, p);
        } catch (const std::system_error&) {
            EmitLogText("Theora ムービーデコード用スレッドの作成に失敗しました\n");
            ok = false;
        }
    }
    if (!ok) {
        ReleaseTheoraYUVSurface(p, async);
        FreePlayer(p);
        return nullptr;
    }
    // The first seek releases the thread, which starts parked.
    p->currentFrame.store(-1);
    SeekTheoraFrame(p, 0);
    ConvertTheoraFrame(p, 1, 1, async);
    return p;
}

int CloseTheoraPlayer(TheoraPlayer* player) {
    FreePlayer(player);
    return 0;
}

int SeekTheoraFrame(TheoraPlayer* p, int32_t frame) {
    if (frame == p->currentFrame.load()) return 0;
    p->imageConverted.store(0);
    p->surfaceConverted.store(0);
    p->pauseRequest.store(1);
    WaitUntil([p] { return p->threadState.load() == kTheoraIdle; });
    frame = static_cast<int32_t>(std::clamp<int64_t>(frame, 0, p->frameCount - 1));
    p->currentFrame.store(frame);
    p->seekTarget.store(frame);
    p->seekRequest.store(1);
    p->pauseRequest.store(0);
    return 0;
}

int AdvanceTheoraFrames(TheoraPlayer* p, int32_t count) {
    if (count < 1) return 0;
    int64_t frame = int64_t{p->currentFrame.load()} + count;
    if (frame >= p->frameCount) frame -= p->frameCount;
    p->currentFrame.store(static_cast<int32_t>(std::clamp<int64_t>(frame, 0, p->frameCount - 1)));
    p->imageConverted.store(0);
    p->surfaceConverted.store(0);
    return 0;
}

int ConvertTheoraFrame(TheoraPlayer* p, int32_t toImage, int32_t toSurface, int32_t async) {
    bool imageDone = toImage == 0 || p->imageConverted.load() != 0;
    // A lost surface is made again below, after the frame.
    bool surfaceDone = toSurface == 0 || p->surfaceConverted.load() != 0 ||
                       (p->surface == nullptr && p->surfaceLost == 0);
    if (imageDone && surfaceDone) return 0;
    if (!WaitUntil([p] {
            return p->seekRequest.load() == 0 && p->threadState.load() != kTheoraSeeking;
        })) {
        return 0;
    }
    int32_t current = p->currentFrame.load();
    int32_t entry = -1;
    auto claim = [&] {
        entry = FindStock(p, current);
        if (entry < 0) return false;
        p->converting.store(entry);
        if (p->stock[entry].valid.load() != 0 && p->stock[entry].frame == current) return true;
        p->converting.store(-1);
        return false;
    };
    if (!WaitUntil(claim)) return 0;
    if (!imageDone) {
        ConvertToImage(p, p->stock[entry]);
        p->imageConverted.store(1);
    }
    if (!surfaceDone && p->surface != nullptr && p->surfaceLost == 0 &&
        WriteSurface(p, p->stock[entry], async)) {
        p->surfaceConverted.store(1);
    }
    p->converting.store(-1);
    if (p->surfaceLost != 0) CreateTheoraYUVSurface(p, async);
    return 1;
}

int GetTheoraMovieInfo(const TheoraPlayer* p, TheoraMovieInfo* info) {
    info->framesPerSecond = static_cast<double>(p->info.fps_numerator) / p->info.fps_denominator;
    info->frameCount = p->frameCount;
    info->width = static_cast<int32_t>(p->info.frame_width);
    info->height = static_cast<int32_t>(p->info.frame_height);
    return 0;
}

int32_t GetTheoraCurrentFrame(const TheoraPlayer* p) {
    return p->currentFrame.load();
}

GraphImage* GetTheoraFrameImage(TheoraPlayer* p) {
    return &p->image;
}

IDirect3DSurface9* GetTheoraYUVSurface(const TheoraPlayer* p) {
    return p->surface;
}

void MarkTheoraSurfaceLost(TheoraPlayer* p) {
    p->surfaceLost = 1;
}

// Only 4:2:0 pictures are written into a surface; other layouts show through the image.
int CreateTheoraYUVSurface(TheoraPlayer* p, int32_t async) {
    int32_t lost = p->surfaceLost;
    ReleaseTheoraYUVSurface(p, async);
    p->surfaceConverted.store(0);
    if (p->info.pixelformat != OC_PF_420 || !IsDirect3DMode()) return 0;
    if (!HasDirect3DDevice()) {
        p->surfaceLost = lost;  // tried again once the device is back
        return 0;
    }
    for (D3DFORMAT format : {D3DFMT_YV12, D3DFMT_YUY2, D3DFMT_UYVY}) {
        IDirect3DSurface9* surface = nullptr;
        if (SUCCEEDED(MarshalCreateOffscreenPlainSurface(p->info.width, p->info.height, format,
                                                         D3DPOOL_DEFAULT, &surface, nullptr,
                                                         async))) {
            p->surface = surface;
            p->surfaceFormat = format;
            break;
        }
    }
    return 0;
}

int ReleaseTheoraYUVSurface(TheoraPlayer* p, int32_t async) {
    p->surfaceLost = 0;
    if (p->surface != nullptr) MarshalReleaseComObject(p->surface, async);
    p->surface = nullptr;
    p->surfaceFormat = static_cast<D3DFORMAT>(0);
    p->surfaceConverted.store(0);
    return 0;
}
