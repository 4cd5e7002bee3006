// Image files whose headers claim far more than they hold: each decoder refuses them without
// taking memory for what the file claims.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/image_loaders.h"
#include "image_writers.h"
#include "support/heap_bound.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Far below every claim below, far above what refusing a small file takes.
constexpr size_t kHeapBound = 1 << 20;

void PutBig32(Bytes* out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<uint8_t>(value >> shift));
}

void PutLittle32(Bytes* out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A PNG chunk: its length, type and data, and the CRC of type and data.
void PutPngChunk(Bytes* out, const char* type, const Bytes& data) {
    PutBig32(out, static_cast<uint32_t>(data.size()));
    size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data.begin(), data.end());
    PutBig32(out, static_cast<uint32_t>(crc32(0, out->data() + start, out->size() - start)));
}

// A 1 x 1 RGB PNG whose first chunk after the header is a text chunk that claims `claimed`
// bytes and has nine.
Bytes PngWithLongText(uint32_t claimed) {
    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBig32(&header, 1);
    PutBig32(&header, 1);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PutPngChunk(&file, "IHDR", header);
    PutBig32(&file, claimed);
    file.insert(file.end(), {'t', 'E', 'X', 't', 'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'});
    return file;
}

// The head of a JPEG up to its first scan: a frame of the given kind (0xC0 baseline, 0xC2
// progressive) with `components` full-size components, and a scan of the first one.
Bytes JpegHead(uint8_t frame, int width, int height, int components) {
    Bytes file;
    file.reserve(64);  // GCC 12 -O3 misjudges the growth
    auto put = [&file](std::initializer_list<int> values) {
        for (int value : values) file.push_back(static_cast<uint8_t>(value));
    };
    put({0xFF, 0xD8, 0xFF, frame, 0, 8 + 3 * components, 8, height >> 8, height & 0xFF, width >> 8,
         width & 0xFF, components});
    for (int c = 1; c <= components; ++c) put({c, 0x11, 0});
    put({0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0, 0, 0x12, 0x34});
    return file;
}

bool IsRefused(const Bytes& file) {
    GraphImage image{};
    if (ReadGraphImage(nullptr, file.data(), static_cast<uint32_t>(file.size()), 1, &image, 0) ==
        0) {
        FreeGraphImage(&image);
        return false;
    }
    return true;
}

bool RefusedWithinBound(const Bytes& file) {
    return StaysUnderHeapBound(kHeapBound, [&] { return IsRefused(file); });
}

class ImageByteLimit : public ::testing::Test {
protected:
    void TearDown() override { SetGraphImageByteLimit(kDefaultGraphImageByteLimit); }
};

}  // namespace

TEST(PngDecoderBounds, ChunkLongerThanTheFileIsRefusedUnread) {
    Bytes reported = PngWithLongText(2000000000);
    EXPECT_EQ(reported.size(), 50u);
    EXPECT_TRUE(RefusedWithinBound(reported));
    // Just under the library's own default chunk limit.
    EXPECT_TRUE(RefusedWithinBound(PngWithLongText(7999999)));

    // Text that is all there is skipped, and the picture decodes.
    Bytes file = MakePngFile(PngOptions{}, 2, 2, std::vector<uint16_t>(12, 9), {}, {});
    Bytes text;
    PutPngChunk(&text, "tEXt", {'T', 'i', 't', 'l', 'e', 0, 'x'});
    file.insert(file.begin() + 33, text.begin(), text.end());
    GraphImage image{};
    ASSERT_EQ(
        ReadGraphImage(nullptr, file.data(), static_cast<uint32_t>(file.size()), 1, &image, 0), 0);
    EXPECT_EQ(image.width, 2);
    FreeGraphImage(&image);
}

TEST_F(ImageByteLimit, JpegBuffersForTheWholePictureStayWithinTheLimit) {
    SetGraphImageByteLimit(4 << 20);
    // Ten components: a picture the decoder refuses, whose coefficients would come first.
    EXPECT_TRUE(RefusedWithinBound(JpegHead(0xC2, 1000, 1000, 10)));
    // Three progressive components: the picture fits the limit, its coefficients do not.
    EXPECT_TRUE(RefusedWithinBound(JpegHead(0xC2, 1000, 1000, 3)));
}

TEST_F(ImageByteLimit, RawFormatsAreRefusedBeforeTakingWhatTheHeaderClaims) {
    SetGraphImageByteLimit(64 << 20);
    Bytes bgra(64);
    std::memcpy(bgra.data(), "BGRA", 4);
    PutLittle32(&bgra, 4, 0x08080808);
    PutLittle32(&bgra, 8, 2048);
    PutLittle32(&bgra, 12, 2048);
    EXPECT_TRUE(RefusedWithinBound(bgra));

    // Uncompressed and run-length TGA of 4096 x 4096 at 32 bits, with a few bytes of data.
    for (uint8_t type : {2, 10}) {
        Bytes tga(64, 0xFF);
        const uint8_t header[18] = {0, 0, type, 0, 0,    0, 0,    0,  0,
                                    0, 0, 0,    0, 0x10, 0, 0x10, 32, 0x20};
        std::memcpy(tga.data(), header, sizeof header);
        EXPECT_TRUE(RefusedWithinBound(tga)) << int{type};
    }

    Bytes dds(200);
    std::memcpy(dds.data(), "DDS ", 4);
    PutLittle32(&dds, 4, 124);
    PutLittle32(&dds, 12, 2048);  // height
    PutLittle32(&dds, 16, 2048);  // width
    PutLittle32(&dds, 80, 0x40);  // masks follow
    PutLittle32(&dds, 88, 32);    // bits
    PutLittle32(&dds, 92, 0xFF0000);
    PutLittle32(&dds, 96, 0xFF00);
    PutLittle32(&dds, 100, 0xFF);
    EXPECT_TRUE(RefusedWithinBound(dds));
}
