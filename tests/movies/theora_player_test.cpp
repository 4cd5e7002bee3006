// The Theora player: frames against an independent decode, seeking, the wrap of the frame
// window, and files that are not movies, cut short or damaged.
#include "movie/theora_player.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <cstdlib>

#include "core/log.h"
#include "movies/memory_file.h"
#include "movies/movie_writers.h"
#include "support/heap_bound.h"

namespace {

// The player's 14-bit tables against the reference's floating-point formula: both truncate,
// so a channel may differ by the rounding of the fixed-point coefficients.
constexpr int kConversionTolerance = 2;

class TheoraPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        gLog.logOff = 1;
        BuildYUVToRGBTables();
    }
    void TearDown() override {
        if (player_ != nullptr) CloseTheoraPlayer(player_);
        gLog.logOff = 0;
    }

    TheoraPlayer* Open(const Bytes& file) {
        file_ = file;
        const FileAccessFunctions* functions = MemoryFileFunctions(file_.data(), file_.size());
        player_ = OpenTheoraPlayer(functions, 1, 10, 0);
        return player_;
    }

    // The largest channel difference between the player's image and a reference frame.
    int Difference(const std::vector<uint32_t>& expected) {
        GraphImage* image = GetTheoraFrameImage(player_);
        int worst = 0;
        for (int y = 0; y < image->height; ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(
                static_cast<const uint8_t*>(image->pixels) + y * image->pitch);
            for (int x = 0; x < image->width; ++x) {
                uint32_t a = row[x], b = expected[y * image->width + x];
                for (int shift = 0; shift < 32; shift += 8) {
                    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                                     static_cast<int>((b >> shift) & 0xFF)));
                }
            }
        }
        return worst;
    }

    Bytes file_;
    TheoraPlayer* player_ = nullptr;
};

TEST_F(TheoraPlayerTest, FramesInOrderMatchAnIndependentDecode) {
    Bytes movie = WriteTheoraMovie({});
    int width = 0, height = 0;
    auto reference = DecodeTheoraReference(movie, &width, &height);
    ASSERT_EQ(reference.size(), 30u);
    ASSERT_NE(Open(movie), nullptr);
    TheoraMovieInfo info;
    GetTheoraMovieInfo(player_, &info);
    EXPECT_DOUBLE_EQ(info.framesPerSecond, 30.0);
    EXPECT_EQ(info.frameCount, 30);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_EQ(width, info.width);
    EXPECT_EQ(height, info.height);
    // The first frame is there as an image as soon as the player is open.
    EXPECT_LE(Difference(reference[0]), kConversionTolerance);
    for (int frame = 1; frame < 30; ++frame) {
        AdvanceTheoraFrames(player_, 1);
        ASSERT_EQ(ConvertTheoraFrame(player_, 1, 0, 0), 1) << frame;
        EXPECT_LE(Difference(reference[frame]), kConversionTolerance) << frame;
    }
    EXPECT_EQ(ConvertTheoraFrame(player_, 1, 0, 0), 0);  // already converted
    EXPECT_EQ(GetTheoraYUVSurface(player_), nullptr);
}

TEST_F(TheoraPlayerTest, SeekingAndSkippingReachExactlyTheFrameAsked) {
    TheoraMovieSettings settings;
    settings.frames = 40;
    settings.keyInterval = 12;
    Bytes movie = WriteTheoraMovie(settings);
    int width, height;
    auto reference = DecodeTheoraReference(movie, &width, &height);
    ASSERT_NE(Open(movie), nullptr);
    for (int frame : {17, 3, 39, 0, 11, 12, 13, 25, 1, 38}) {
        SeekTheoraFrame(player_, frame);
        EXPECT_EQ(GetTheoraCurrentFrame(player_), frame);
        ASSERT_EQ(ConvertTheoraFrame(player_, 1, 0, 0), 1) << frame;
        EXPECT_LE(Difference(reference[frame]), kConversionTolerance) << frame;
    }
    SeekTheoraFrame(player_, 2);
    for (int frame : {7, 20, 33}) {  // forward jumps across key frames
        AdvanceTheoraFrames(player_, frame - GetTheoraCurrentFrame(player_));
        ASSERT_EQ(ConvertTheoraFrame(player_, 1, 0, 0), 1) << frame;
        EXPECT_LE(Difference(reference[frame]), kConversionTolerance) << frame;
    }
    SeekTheoraFrame(player_, 1000);  // limited to the last frame
    EXPECT_EQ(GetTheoraCurrentFrame(player_), 39);
}

TEST_F(TheoraPlayerTest, AdvancingPastTheEndWrapsOnceAndLoopsKeepDecoding) {
    TheoraMovieSettings settings;
    settings.frames = 20;
    Bytes movie = WriteTheoraMovie(settings);
    int width, height;
    auto reference = DecodeTheoraReference(movie, &width, &height);
    ASSERT_NE(Open(movie), nullptr);
    SeekTheoraFrame(player_, 18);
    AdvanceTheoraFrames(player_, 3);
    EXPECT_EQ(GetTheoraCurrentFrame(player_), 1);
    ASSERT_EQ(ConvertTheoraFrame(player_, 1, 0, 0), 1);
    EXPECT_LE(Difference(reference[1]), kConversionTolerance);
    for (int step = 0; step < 45; ++step) {
        AdvanceTheoraFrames(player_, 1);
        int frame = GetTheoraCurrentFrame(player_);
        ASSERT_EQ(frame, (2 + step) % 20);
        ASSERT_EQ(ConvertTheoraFrame(player_, 1, 0, 0), 1) << step;
        EXPECT_LE(Difference(reference[frame]), kConversionTolerance) << step;
    }
}

TEST_F(TheoraPlayerTest, FilesThatAreNoTheoraMovieAreRefused) {
    EXPECT_EQ(Open(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0}), nullptr);
    EXPECT_EQ(Open(Bytes{}), nullptr);
    Bytes movie = WriteTheoraMovie({});
    // Cut inside the headers: no player.
    EXPECT_EQ(Open(Bytes(movie.begin(), movie.begin() + 200)), nullptr);
    // An Ogg file whose only stream is not Theora.
    Bytes other = movie;
    for (size_t i = 0; i + 7 < other.size(); ++i) {
        if (other[i] == 0x80 &&
            std::equal(other.begin() + i + 1, other.begin() + i + 7, "theora")) {
            other[i + 1] = 'X';
        }
    }
    EXPECT_EQ(Open(other), nullptr);
}

// The pages of a movie that carry only headers (granule position 0), with the picture the
// first header describes made width x height, its checksum made again.
Bytes HeadersOnly(const Bytes& movie, int width, int height) {
    Bytes out;
    for (size_t at = 0; at + 27 <= movie.size();) {
        ogg_page page{};
        page.header = const_cast<uint8_t*>(movie.data() + at);
        page.header_len = 27 + page.header[26];
        page.body = page.header + page.header_len;
        page.body_len = 0;
        for (int i = 0; i < page.header[26]; ++i) page.body_len += page.header[27 + i];
        if (ogg_page_granulepos(&page) != 0) break;
        out.insert(out.end(), page.header, page.body + page.body_len);
        at += page.header_len + page.body_len;
    }
    // The identification header, first packet of the first page: the size in macroblocks
    // (16 bits each), the picture (24 bits each) and its offset (8 bits each), big-endian.
    uint8_t* ident = out.data() + 27 + out[26];
    const int fields[][3] = {{10, 2, width / 16}, {12, 2, height / 16}, {14, 3, width},
                             {17, 3, height},     {20, 1, 0},           {21, 1, 0}};
    for (const auto& [offset, bytes, value] : fields) {
        for (int i = 0; i < bytes; ++i) {
            ident[offset + i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
        }
    }
    ogg_page first{};
    first.header = out.data();
    first.header_len = 27 + out[26];
    first.body = ident;
    first.body_len = out[27];
    ogg_page_checksum_set(&first);
    return out;
}

// A file of headers alone may claim a picture of any size; without a frame to show it is
// refused before the decoder takes memory for that picture.
TEST_F(TheoraPlayerTest, HeadersWithoutFramesAreRefusedBeforeTheDecoderIsMade) {
    Bytes headers = HeadersOnly(WriteTheoraMovie({}), 4096, 4096);
    EXPECT_TRUE(StaysUnderHeapBound(8 << 20, [&] { return Open(headers) == nullptr; }));
}

TEST_F(TheoraPlayerTest, ACutOrDamagedMoviePlaysWhatIsThereWithoutCrashing) {
    TheoraMovieSettings settings;
    settings.frames = 24;
    settings.width = 160;
    settings.height = 120;
    Bytes movie = WriteTheoraMovie(settings);
    Bytes cut(movie.begin(), movie.begin() + movie.size() * 2 / 3);
    ASSERT_NE(Open(cut), nullptr);
    TheoraMovieInfo info;
    GetTheoraMovieInfo(player_, &info);
    EXPECT_GT(info.frameCount, 0);
    EXPECT_LT(info.frameCount, 24);
    for (int i = 0; i < 2 * info.frameCount; ++i) {
        AdvanceTheoraFrames(player_, 1);
        EXPECT_EQ(ConvertTheoraFrame(player_, 1, 0, 0), 1) << i;
    }
    CloseTheoraPlayer(player_);
    player_ = nullptr;

    srand(24);
    for (int round = 0; round < 8; ++round) {
        Bytes damaged = movie;
        for (int i = 0; i < 20; ++i) damaged[400 + rand() % (damaged.size() - 400)] ^= 0x5A;
        if (Open(damaged) == nullptr) continue;
        GetTheoraMovieInfo(player_, &info);
        for (int i = 0; i < info.frameCount + 3; ++i) {
            AdvanceTheoraFrames(player_, 1);
            ConvertTheoraFrame(player_, 1, 0, 0);
        }
        SeekTheoraFrame(player_, static_cast<int32_t>(info.frameCount / 2));
        ConvertTheoraFrame(player_, 1, 0, 0);
        CloseTheoraPlayer(player_);
        player_ = nullptr;
    }
}

}  // namespace
