// PNG and JPEG decoding: libpng and libjpeg read the framework's streams through a read
// callback and a source manager of our own, report every error by a long jump back into the
// decoder (which then frees what it took and refuses), and print nothing.
#include "image/png_jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
#include <png.h>

#include "core/tracked_memory.h"
#include "image/image_loaders.h"

namespace {

struct PngReadState {
    StreamReader* reader;
    int64_t size;  // the stream's end
};

void ReadPNGData(png_structp png, png_bytep buffer, size_t length) {
    auto* state = static_cast<PngReadState*>(png_get_io_ptr(png));
    int64_t position = state->reader->functions.tell(state->reader->value);
    if (state->size - position < static_cast<int64_t>(length) ||
        !ReadStreamBytes(state->reader, buffer, length)) {
        png_error(png, "Read Error");
    }
}

void SetPNGReadSource(png_structp png, PngReadState* state, StreamReader* reader) {
    state->reader = reader;
    state->size = MeasureStreamEnd(reader);
    png_set_read_fn(png, state, ReadPNGData);
}

// Chunks the decoder does not use whose data the library would read whole into memory: they
// are skipped unread instead, as some versions of the library only warn when a chunk claims
// more than the chunk size limit and then take the claimed size before they find the data
// shorter.
constexpr png_byte kPNGSkippedChunks[] = "iCCP\0iTXt\0pCAL\0sCAL\0sPLT\0tEXt\0zTXt\0eXIf";

// The library's limits: no chunk longer than the data or an image may be, no row wider than
// the library's two row buffers of eight-byte pixels can hold within the image limit.
void SetPNGLimits(png_structp png, int64_t dataBytes) {
    uint32_t imageLimit = GetGraphImageByteLimit();
    int64_t chunkLimit = std::clamp<int64_t>(dataBytes, 1, imageLimit);
    png_set_chunk_malloc_max(png, static_cast<png_alloc_size_t>(chunkLimit));
    png_set_user_limits(png, std::max<png_uint_32>(imageLimit / 16, 1), imageLimit);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kPNGSkippedChunks,
                                sizeof(kPNGSkippedChunks) / 5);
}

void PNGErrorExit(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PNGWarning(png_structp, png_const_charp) {}

// Sets the image's format from what the transformations left of the file's colour type.
void SetPNGFormat(png_structp png, png_infop info, bool paletteKept, int channels,
                  GraphImage* image) {
    ColorFormat& f = image->format;
    if (channels == 1 && paletteKept) {
        SetColorFormatPalette8(&f);
        std::memset(f.palette, 0, sizeof(f.palette));
        png_colorp entries = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &entries, &count);
        for (int i = 0; i < count && i < 256; ++i) {
            f.palette[i] = {entries[i].blue, entries[i].green, entries[i].red, 0};
        }
    } else if (channels == 1) {
        SetColorFormatGrey8(&f);
    } else if (channels == 2) {
        // Grey, then an alpha byte that is carried but not used.
        f.bitsPerPixel = 16;
        f.pixelBytes = 2;
        f.redMask = f.greenMask = f.blueMask = 0xFF;
        f.redWidth = f.greenWidth = f.blueWidth = 8;
        f.spareMask = 0xFF00;
    } else {
        SetColorFormatRGB24(&f);
        if (channels == 4) {
            f.pixelBytes = 4;
            f.bitsPerPixel = 32;
            f.alphaWidth = 8;
            f.alphaShift = 24;
            f.alphaMask = 0xFF000000;
        }
    }
}

struct JPEGSource {
    jpeg_source_mgr pub;
    JOCTET* buffer;
    boolean startOfFile;
    boolean atEnd;  // the data is used up and an end-of-image marker was handed over
    StreamReader* reader;
    int64_t size;  // the stream's end
};

struct JPEGError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

constexpr size_t kJPEGBufferBytes = 4096;

void InitJPEGSource(j_decompress_ptr cinfo) {
    reinterpret_cast<JPEGSource*>(cinfo->src)->startOfFile = TRUE;
}

boolean FillJPEGInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<JPEGSource*>(cinfo->src);
    int64_t remaining = src->size - src->reader->functions.tell(src->reader->value);
    size_t wanted = remaining <= 0 ? 0 : static_cast<size_t>(remaining < 4096 ? remaining : 4096);
    size_t got =
        wanted > 0 ? src->reader->functions.read(src->buffer, 1, wanted, src->reader->value) : 0;
    if (got == 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A file that ends early is completed with an end-of-image marker.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        got = 2;
        src->atEnd = TRUE;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = got;
    src->startOfFile = FALSE;
    return TRUE;
}

void SkipJPEGInputData(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<JPEGSource*>(cinfo->src);
    if (count <= 0) return;
    // Past the end there is only the inserted marker, which a skip does not consume.
    while (count > static_cast<long>(src->pub.bytes_in_buffer) && !src->atEnd) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        FillJPEGInputBuffer(cinfo);
    }
    if (count > static_cast<long>(src->pub.bytes_in_buffer)) return;
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= count;
}

void TermJPEGSource(j_decompress_ptr) {}

void SetJPEGSource(j_decompress_ptr cinfo, StreamReader* reader) {
    auto* src = static_cast<JPEGSource*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JPEGSource)));
    src->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kJPEGBufferBytes));
    src->pub.init_source = InitJPEGSource;
    src->pub.fill_input_buffer = FillJPEGInputBuffer;
    src->pub.skip_input_data = SkipJPEGInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermJPEGSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->startOfFile = TRUE;
    src->atEnd = FALSE;
    src->reader = reader;
    src->size = MeasureStreamEnd(reader);
    cinfo->src = &src->pub;
}

void JPEGErrorExit(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    longjmp(reinterpret_cast<JPEGError*>(cinfo->err)->jump, 1);
}

void JPEGSilentMessage(j_common_ptr) {}

}  // namespace

int LoadPNGImage(StreamReader* reader, GraphImage* image) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PNGErrorExit, PNGWarning);
    if (png == nullptr) return -1;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return -1;
    }
    PngReadState state;
    // Blocks taken before a library error are freed after the jump back.
    uint8_t* volatile pixels = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        FreeMemory(rows);
        FreeMemory(pixels);
        png_destroy_read_struct(&png, &info, nullptr);
        return -1;
    }
    SetPNGReadSource(png, &state, reader);
    SetPNGLimits(png, state.size);
    png_set_sig_bytes(png, 0);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);

    png_set_strip_16(png);
    png_set_packing(png);
    png_set_packswap(png);
    bool expand = (colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) ||
                  png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (expand) png_set_expand(png);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    int channels = png_get_channels(png, info);
    if (uint64_t{rowBytes} * height > GetGraphImageByteLimit()) png_error(png, "Too Large");

    pixels = static_cast<uint8_t*>(AllocMemory(static_cast<uint32_t>(rowBytes * height), "", 0));
    rows = static_cast<png_bytep*>(AllocMemory(height * sizeof(png_bytep), "", 0));
    if (pixels == nullptr || rows == nullptr) png_error(png, "Out Of Memory");
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + y * rowBytes;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    FreeMemory(rows);
    rows = nullptr;

    SetPNGFormat(png, info, colorType == PNG_COLOR_TYPE_PALETTE && !expand, channels, image);
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->pitch = static_cast<int32_t>(rowBytes);
    image->pixels = pixels;
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
}

int LoadJPEGImage(StreamReader* reader, GraphImage* image) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof(cinfo));
    JPEGError error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = JPEGErrorExit;
    error.pub.output_message = JPEGSilentMessage;
    uint8_t* volatile pixels = nullptr;
    if (setjmp(error.jump)) {
        FreeMemory(pixels);
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    jpeg_create_decompress(&cinfo);
    SetJPEGSource(&cinfo, reader);
    jpeg_read_header(&cinfo, TRUE);
    // Refused before the library allocates for the whole picture: grey or RGB only (four
    // components (CMYK) do not fit the three-byte rows), within the image limit. The library's
    // own buffers (a progressive file's coefficients) are held to the same limit.
    jpeg_calc_output_dimensions(&cinfo);
    int components = cinfo.output_components;
    uint64_t stride = uint64_t{static_cast<uint32_t>(components)} * cinfo.output_width;
    if ((components != 1 && components != 3) ||
        stride * cinfo.output_height > GetGraphImageByteLimit()) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    cinfo.mem->max_memory_to_use = GetGraphImageByteLimit();
    jpeg_start_decompress(&cinfo);
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                static_cast<JDIMENSION>(stride), 1);
    pixels = static_cast<uint8_t*>(
        AllocMemory(static_cast<uint32_t>(stride * cinfo.output_height), "", 0));
    if (pixels == nullptr) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* out = pixels + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, row, 1);
        if (components == 1) {
            std::memcpy(out, row[0], stride);
        } else {
            // RGB becomes blue, green, red in memory.
            for (uint64_t i = 0; i < stride; i += 3) {
                out[i] = row[0][i + 2];
                out[i + 1] = row[0][i + 1];
                out[i + 2] = row[0][i];
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    if (components == 1) {
        SetColorFormatGrey8(&image->format);
    } else {
        SetColorFormatRGB24(&image->format);
    }
    image->width = static_cast<int32_t>(cinfo.output_width);
    image->height = static_cast<int32_t>(cinfo.output_height);
    image->pitch = static_cast<int32_t>(stride);
    image->pixels = pixels;
    jpeg_destroy_decompress(&cinfo);
    return 0;
}
