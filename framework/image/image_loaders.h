// The image reader: a file (through the file access layer) or a memory block is offered to a
// list of decoders until one accepts it, then optionally mirrored, turned into a DIB, or read
// together with an "_a" alpha image. Holds the BMP, "BGRA", TGA and DDS decoders.
#pragma once

#include <platform/win32_gdi.h>

#include <cstddef>
#include <cstdint>

#include "core/file_access.h"
#include "core/streams.h"
#include "image/color_format.h"

// A decoder: 0 when it decoded the data (the image then holds its pixels), non-zero when the
// data is not its format or cannot be decoded; a refusing decoder frees what it took.
using ImageLoader = int (*)(StreamReader* reader, GraphImage* image);

constexpr int kMaxUserImageLoaders = 10;

// The settings of one read.
struct ImageLoadContext {
    ImageLoader userLoaders[kMaxUserImageLoaders];
    int32_t userLoaderCount;
    FileAccessFunctions files;
    StreamFunctions fileStreams;
    StreamFunctions memoryStreams;
};

// The default decoders in the order they are tried, ended by null.
extern const ImageLoader ImageLoaderList[];

int FillImageLoadContext(ImageLoadContext* context);
int CopyUserImageLoaders(ImageLoadContext* context);
// Offers the stream to every decoder from its start; 0 when one accepted, else -1.
int TryImageLoaders(const ImageLoadContext* context, StreamReader* reader, GraphImage* image);

// Reads a file, or with fromMemory the block (memImage, memSize). With asDIB the result is a
// DIB: *bitmapInfo a kDibInfoBytes block and *bits the pixels, both from AllocMemory; else
// *image. The outputs are untouched on failure (-1).
int ReadGraphImageOrDIBWithSettings(const ImageLoadContext* context, const char* fileName,
                                    const void* memImage, uint32_t memSize, int fromMemory,
                                    int asDIB, int mirror, GraphImage* image,
                                    BITMAPINFO** bitmapInfo, void** bits);
int ReadGraphImageOrDIB(const char* fileName, const void* memImage, uint32_t memSize,
                        int fromMemory, int asDIB, int mirror, GraphImage* image,
                        BITMAPINFO** bitmapInfo, void** bits);
int ReadGraphImage(const char* fileName, const void* memImage, uint32_t memSize, int fromMemory,
                   GraphImage* image, int mirror);

// Reads the main image and an alpha image beside it: alphaMode 0 the file named by
// MakeAlphaImageFileName, 1 the block (alphaMem, alphaSize), else none. -1 when the main
// image cannot be read, 0 when the alpha image was read too, 1 when not.
int ReadGraphImageAndAlphaWithSettings(const ImageLoadContext* context, const char* fileName,
                                       const void* memImage, uint32_t memSize, int fromMemory,
                                       const void* alphaMem, uint32_t alphaSize, int alphaMode,
                                       GraphImage* image, GraphImage* alphaImage, int mirror);
int ReadGraphImageAndAlpha(const char* fileName, const void* memImage, uint32_t memSize,
                           int fromMemory, const void* alphaMem, uint32_t alphaSize, int alphaMode,
                           GraphImage* image, GraphImage* alphaImage, int mirror);

// "title.png" gives "title_a.png", "title" gives "title_a". -1 when out cannot hold it.
int MakeAlphaImageFileName(const char* fileName, char* out, size_t outBytes);

// Reads exactly `bytes` bytes; false on a short read.
bool ReadStreamBytes(StreamReader* reader, void* buffer, size_t bytes);
// The position of the stream's end; the current position is kept.
int64_t MeasureStreamEnd(StreamReader* reader);

int LoadBMPImage(StreamReader* reader, GraphImage* image);
int LoadBGRAImage(StreamReader* reader, GraphImage* image);
int LoadTGAImage(StreamReader* reader, GraphImage* image);
int LoadDDSImage(StreamReader* reader, GraphImage* image);
