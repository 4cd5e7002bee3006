// The game's generated assets, as the build wrote them into game_data/: every picture with
// the size, cells and colour key the game relies on, every sound as 16-bit PCM at its level in
// the mix and starting and ending at zero, the memory game's three tones at their pitches, the
// drone and the music looping cleanly, the mix's headroom; and the generator writing the same
// bytes again on a second run.
#include <gtest/gtest.h>
#include <mpg123.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mix_levels.h"

namespace {

namespace fs = std::filesystem;

const fs::path kData = BROVANE_DATA_DIR;
constexpr int kRate = 44100;

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Picture {
    int width = 0, height = 0, colorType = -1, bitDepth = 0, interlace = -1;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    bool Transparent(int x, int y) const {
        return At(x, y)[0] == 0 && At(x, y)[1] == 0 && At(x, y)[2] == 0;
    }
};

Picture ReadPng(const fs::path& path) {
    Picture picture;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return picture;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        picture.width = static_cast<int>(png_get_image_width(png, info));
        picture.height = static_cast<int>(png_get_image_height(png, info));
        picture.colorType = png_get_color_type(png, info);
        picture.bitDepth = png_get_bit_depth(png, info);
        picture.interlace = png_get_interlace_type(png, info);
        if (picture.colorType == PNG_COLOR_TYPE_RGB && picture.bitDepth == 8) {
            picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
            for (int y = 0; y < picture.height; ++y)
                png_read_row(png, &picture.rgb[static_cast<size_t>(y) * picture.width * 3],
                             nullptr);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return picture;
}

struct ExpectedPicture {
    const char* file;
    int width, height;
};

const ExpectedPicture kPictures[] = {
    {"size32.png", 128, 128},     {"explosion.png", 768, 192},
    {"explosion2.png", 768, 192}, {"title2.png", 610, 240},
    {"size16.png", 32, 16},       {"gameover.png", 350, 96},
    {"goal.png", 480, 64},        {"uzu.png", 192, 192},
    {"entry.png", 192, 192},      {"rank.png", 192, 192},
    {"board.png", 160, 480},      {"back1.png", 480, 480},
    {"back3.png", 480, 480},      {"back4.png", 480, 480},
    {"back5.png", 480, 480},      {"congratulations.png", 608, 150},
    {"end.png", 484, 200},
};

Picture Load(const char* file) {
    return ReadPng(kData / "graphics" / file);
}

TEST(GeneratedPictures, HaveTheirSizesAndOnlyKeyOrVisibleColours) {
    for (const ExpectedPicture& expected : kPictures) {
        SCOPED_TRACE(expected.file);
        Picture p = Load(expected.file);
        EXPECT_EQ(p.width, expected.width);
        EXPECT_EQ(p.height, expected.height);
        EXPECT_EQ(p.colorType, PNG_COLOR_TYPE_RGB);
        EXPECT_EQ(p.bitDepth, 8);
        EXPECT_EQ(p.interlace, PNG_INTERLACE_NONE);
        ASSERT_FALSE(p.rgb.empty());
        // Pure black is the colour key; anything else must stay visible after the 16-bit
        // screen's reduction to 5-6-5 bits, so no channel maximum below 16.
        int dim = 0, visible = 0;
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                if (p.Transparent(x, y)) continue;
                ++visible;
                const uint8_t* c = p.At(x, y);
                if (std::max({c[0], c[1], c[2]}) < 16) ++dim;
            }
        }
        EXPECT_EQ(dim, 0);
        EXPECT_GT(visible, p.width * p.height / 20);
    }
}

// Mean absolute difference of the colours of two rows (or columns) of pixels.
double LineDifference(const Picture& p, bool rows, int a, int b) {
    const int length = rows ? p.width : p.height;
    double sum = 0;
    for (int i = 0; i < length; ++i) {
        const uint8_t* ca = rows ? p.At(i, a) : p.At(a, i);
        const uint8_t* cb = rows ? p.At(i, b) : p.At(b, i);
        for (int k = 0; k < 3; ++k) sum += std::abs(ca[k] - cb[k]);
    }
    return sum / length;
}

// The seam between the last and the first line is no rougher than the picture's own lines.
void ExpectSeamless(const Picture& p, bool rows) {
    const int lines = rows ? p.height : p.width;
    double inside = 0;
    for (int i = 0; i + 1 < lines; ++i)
        inside = std::max(inside, LineDifference(p, rows, i, i + 1));
    EXPECT_LE(LineDifference(p, rows, lines - 1, 0), inside);
}

TEST(GeneratedPictures, StageBackgroundsRepeatWithoutSeams) {
    for (const char* file : {"back1.png", "back3.png", "back4.png", "back5.png"}) {
        SCOPED_TRACE(file);
        ExpectSeamless(Load(file), true);
    }
    // The ending roll also places back1 side by side.
    ExpectSeamless(Load("back1.png"), false);
}

TEST(GeneratedPictures, CellsAreFilledAsTheGameDrawsThem) {
    Picture sheet = Load("size32.png");
    ASSERT_FALSE(sheet.rgb.empty());
    // Boxes fill their whole cell (walls are grids of 32-pixel pitch); balls are discs about
    // 30 pixels across; the ship shows its centre, where it is hit.
    for (int cell : {1, 2, 3, 5, 6, 7}) {
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x)
                ASSERT_FALSE(sheet.Transparent(cell % 4 * 32 + x, cell / 4 * 32 + y)) << cell;
        }
    }
    for (int cell = 8; cell < 16; ++cell) {
        int left = cell % 4 * 32, top = cell / 4 * 32;
        EXPECT_FALSE(sheet.Transparent(left + 16, top + 16)) << cell;
        EXPECT_FALSE(sheet.Transparent(left + 2, top + 16)) << cell;
        EXPECT_TRUE(sheet.Transparent(left + 1, top + 1)) << cell;
    }
    for (int cell : {0, 4})
        EXPECT_GT(sheet.At(cell % 4 * 32 + 16, cell / 4 * 32 + 16)[2], 200) << cell;

    // The explosions are drawn additively with linear sampling: every cell's border is black,
    // so that no frame bleeds into its neighbour, and the last frame has faded out.
    for (const char* file : {"explosion.png", "explosion2.png"}) {
        SCOPED_TRACE(file);
        Picture p = Load(file);
        for (int cell = 0; cell < 16; ++cell) {
            int left = cell % 8 * 96, top = cell / 8 * 96;
            for (int i = 0; i < 96; ++i) {
                ASSERT_TRUE(p.Transparent(left + i, top) && p.Transparent(left + i, top + 95) &&
                            p.Transparent(left, top + i) && p.Transparent(left + 95, top + i))
                    << cell;
            }
        }
        EXPECT_GT(p.At(48, 48)[0], 200);
        int lit = 0;
        for (int y = 96; y < 192; ++y) {
            for (int x = 7 * 96; x < 768; ++x)
                lit += std::max({p.At(x, y)[0], p.At(x, y)[1], p.At(x, y)[2]}) >= 48;
        }
        EXPECT_EQ(lit, 0);
    }

    // The menu tiles turn inside 128x128 cells: whatever the angle, the cell (half diagonal
    // 90.5 pixels) is covered.
    for (const char* file : {"uzu.png", "entry.png", "rank.png"}) {
        Picture p = Load(file);
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                if (std::hypot(x + 0.5 - p.width / 2.0, y + 0.5 - p.height / 2.0) <= 91) {
                    ASSERT_FALSE(p.Transparent(x, y)) << file;
                }
            }
        }
    }
}

struct Wav {
    int channels = 0, rate = 0, bits = 0, format = 0;
    std::vector<int16_t> samples;
};

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int k = bytes - 1; k >= 0; --k) v = v << 8 | b[at + static_cast<size_t>(k)];
    return v;
}

// Reads the canonical 44-byte-header WAVE the generator writes.
Wav ReadWav(const char* file) {
    Wav wav;
    std::vector<uint8_t> b = ReadBytes(kData / "sound" / file);
    if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        std::string(b.begin() + 8, b.begin() + 16) != "WAVEfmt " ||
        std::string(b.begin() + 36, b.begin() + 40) != "data" || Le(b, 4, 4) != b.size() - 8 ||
        Le(b, 40, 4) != b.size() - 44) {
        return wav;
    }
    wav.format = static_cast<int>(Le(b, 20, 2));
    wav.channels = static_cast<int>(Le(b, 22, 2));
    wav.rate = static_cast<int>(Le(b, 24, 4));
    wav.bits = static_cast<int>(Le(b, 34, 2));
    for (size_t at = 44; at + 1 < b.size(); at += 2)
        wav.samples.push_back(static_cast<int16_t>(Le(b, at, 2)));
    return wav;
}

const char* const kWavFiles[] = {
    "loop04.wav",    "tm2_swing006.wav",     "bom01.wav",        "tm2_laser002.wav", "bosu03.wav",
    "mecha23_b.wav", "tm2_slidedoor000.wav", "smoke03.wav",      "jump00.wav",       "fm006.wav",
    "voice011.wav",  "swing41.wav",          "kachi39.wav",      "do.wav",           "mi.wav",
    "so.wav",        "alarm00.wav",          "tm2_sonic004.wav", "push10.wav",       "power19.wav",
};

int Peak(const std::vector<int16_t>& samples) {
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
}

TEST(GeneratedSounds, AreMono16BitPcmAtTheirLevelsStartingAndEndingAtZero) {
    for (const char* file : kWavFiles) {
        SCOPED_TRACE(file);
        Wav wav = ReadWav(file);
        EXPECT_EQ(wav.format, 1);
        EXPECT_EQ(wav.channels, 1);
        EXPECT_EQ(wav.rate, kRate);
        EXPECT_EQ(wav.bits, 16);
        ASSERT_GT(wav.samples.size(), static_cast<size_t>(kRate / 20));
        const double level = std::string(file) == "loop04.wav" ? kDronePeak : kEffectPeak;
        EXPECT_NEAR(Peak(wav.samples), level * 32767, 1);
        // Played from the top or to the end, nothing steps: within -60 dBFS of zero.
        EXPECT_LE(std::abs(wav.samples.front()), 32);
        EXPECT_LE(std::abs(wav.samples.back()), 32);
    }
}

// The strongest frequency between 200 and 2000 Hz over 50..250 ms, to 1 Hz.
double DominantFrequency(const std::vector<int16_t>& samples) {
    const size_t from = kRate / 20, to = kRate / 4;
    double best = 0, bestPower = 0;
    for (double f = 200; f <= 2000; f += 1) {
        double re = 0, im = 0;
        for (size_t i = from; i < to; ++i) {
            double phase = 2 * M_PI * f * i / kRate;
            re += samples[i] * std::cos(phase);
            im += samples[i] * std::sin(phase);
        }
        if (re * re + im * im > bestPower) {
            bestPower = re * re + im * im;
            best = f;
        }
    }
    return best;
}

TEST(GeneratedSounds, MemoryTonesAreC5E5AndG5) {
    EXPECT_NEAR(DominantFrequency(ReadWav("do.wav").samples), 523.25, 3);
    EXPECT_NEAR(DominantFrequency(ReadWav("mi.wav").samples), 659.26, 3);
    EXPECT_NEAR(DominantFrequency(ReadWav("so.wav").samples), 783.99, 3);
}

TEST(GeneratedSounds, DroneLoopsSeamlessly) {
    std::vector<int16_t> s = ReadWav("loop04.wav").samples;
    ASSERT_GT(s.size(), static_cast<size_t>(kRate));
    // The step from the last sample back to the first is like any step inside the loop.
    int steepest = 0;
    for (size_t i = 1; i < s.size(); ++i) steepest = std::max(steepest, std::abs(s[i] - s[i - 1]));
    EXPECT_LE(std::abs(s.front() - s.back()), steepest / 2);
    EXPECT_EQ(s.size(), static_cast<size_t>(2 * kRate));
}

struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
};

// Decodes every frame as the game does: no gapless trimming, an info frame would be silence.
Decoded DecodeMp3(const char* file) {
    Decoded out;
    std::vector<uint8_t> bytes = ReadBytes(kData / "sound" / file);
    mpg123_init();
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr) return out;
    mpg123_param(handle, MPG123_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
    mpg123_open_feed(handle);
    mpg123_feed(handle, bytes.data(), bytes.size());
    unsigned char buffer[1 << 16];
    for (;;) {
        size_t done = 0;
        int result = mpg123_read(handle, buffer, sizeof buffer, &done);
        if (result == MPG123_NEW_FORMAT) {
            int encoding = 0;
            mpg123_getformat(handle, &out.rate, &out.channels, &encoding);
        }
        auto* first = reinterpret_cast<int16_t*>(buffer);
        out.samples.insert(out.samples.end(), first, first + done / 2);
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) break;
    }
    mpg123_delete(handle);
    return out;
}

TEST(GeneratedMusic, LoopsOfWholeFramesAtTheirLengthsWithACleanSeam) {
    struct Piece {
        const char* file;
        double bpm;
        int bars;
    };
    const Piece pieces[] = {{"burst.mp3", 146, 112},
                            {"zombie_ghost.mp3", 132, 32},
                            {"tsudumi-japan.mp3", 124, 32},
                            {"a-pe-kamuy_mixv2.mp3", 140, 36},
                            {"White_Lovers_FreeBGM_ver.mp3", 78, 24}};
    constexpr size_t kFrame = 1152, kLeadIn = 1105;
    for (const Piece& piece : pieces) {
        SCOPED_TRACE(piece.file);
        Decoded d = DecodeMp3(piece.file);
        ASSERT_EQ(d.rate, kRate);
        ASSERT_EQ(d.channels, 2);
        // The bars at the tempo, rounded to whole frames: a player that loops the decoded
        // sound keeps the beat.
        const size_t frames = d.samples.size() / 2;
        const double seconds = piece.bars * 4 * 60.0 / piece.bpm;
        EXPECT_EQ(frames, static_cast<size_t>(std::lround(seconds * kRate / kFrame)) * kFrame);

        double energy = 0;
        for (int16_t s : d.samples) energy += static_cast<double>(s) * s;
        double rms = std::sqrt(energy / d.samples.size()) / 32768;
        EXPECT_GT(rms, 0.045);
        EXPECT_LT(rms, 0.07);
        // Encoding adds a little to the peaks the mix gave the music.
        EXPECT_LE(Peak(d.samples), kMusicPeak * 1.06 * 32767);
        // Around the loop point, in the decoder's lead-in and the encoder's padding, the music
        // rests: nothing clicks when the end runs into the start. (The lead-in's last granule
        // may carry the downbeat's pre-echo.)
        int seam = 0;
        for (size_t i = 0; i < (kLeadIn - kFrame / 2) * 2; ++i)
            seam = std::max(seam, std::abs(static_cast<int>(d.samples[i])));
        for (size_t i = d.samples.size() - 2 * 40; i < d.samples.size(); ++i)
            seam = std::max(seam, std::abs(static_cast<int>(d.samples[i])));
        EXPECT_LT(seam, 200);
    }
    // One stage piece is long enough (181 s) for the game to stream it.
    EXPECT_GE(DecodeMp3("burst.mp3").samples.size() / 2, static_cast<size_t>(181 * kRate));
}

// The game mixes without a limiter: the loudest music, the drone and three of the loudest
// effects at their peaks at once still add up to less than full scale.
TEST(GeneratedMix, LeavesRoomForTheDroneAndThreeEffectsOverTheLoudestMusic) {
    int music = 0, effects = 0;
    for (const char* file : {"burst.mp3", "zombie_ghost.mp3", "tsudumi-japan.mp3",
                             "a-pe-kamuy_mixv2.mp3", "White_Lovers_FreeBGM_ver.mp3"}) {
        music = std::max(music, Peak(DecodeMp3(file).samples));
    }
    for (const char* file : kWavFiles) {
        if (std::string(file) != "loop04.wav")
            effects = std::max(effects, Peak(ReadWav(file).samples));
    }
    const int drone = Peak(ReadWav("loop04.wav").samples);
    EXPECT_LT(music + drone + 3 * effects, 32767);
}

TEST(AssetGenerator, WritesTheSameBytesOnEveryRun) {
    char pattern[] = "/tmp/brovane_assets_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path again = pattern;
    // Appended piece by piece: GCC 12 warns falsely about concatenating a long literal onto a
    // temporary, and the generator's path is as long as the build folder's.
    std::string command = "\"";
    command.append(BROVANE_ASSET_GEN).append("\" \"").append(again.string()).append("\" > /dev/null");
    ASSERT_EQ(std::system(command.c_str()), 0);
    int files = 0;
    for (const char* folder : {"graphics", "sound"}) {
        for (const auto& entry : fs::directory_iterator(kData / folder)) {
            SCOPED_TRACE(entry.path().string());
            EXPECT_EQ(ReadBytes(entry.path()), ReadBytes(again / folder / entry.path().filename()));
            ++files;
        }
    }
    EXPECT_EQ(files, 17 + 25);
    fs::remove_all(again);
}

}  // namespace
