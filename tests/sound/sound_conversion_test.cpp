// The sound converter: WAVE parsing and its refusals, float and compressed WAVE, the MP3 frame
// scan, Ogg Vorbis, block conversion, seeks and the decoder mask.
#include "sound/sound_conversion.h"

#include <gtest/gtest.h>
#include <platform/mpeg_audio.h>
#include <platform/testing.h>

#include <cmath>
#include <cstring>

#include "core/streams.h"
#include "core/tracked_memory.h"
#include "sound/sound_test_support.h"
#include "support/heap_bound.h"

namespace {

constexpr int32_t kOnlyWave = kSkipWaveAcm | kSkipVorbis | kSkipMp3Acm | kSkipMp3DirectShow;
constexpr int32_t kOnlyWaveDecoders = kSkipVorbis | kSkipMp3Acm | kSkipMp3DirectShow;
constexpr int32_t kOnlyMp3Acm = kSkipWavePcm | kSkipWaveAcm | kSkipVorbis | kSkipMp3DirectShow;
constexpr int32_t kOnlyVorbis = kSkipWavePcm | kSkipWaveAcm | kSkipMp3Acm | kSkipMp3DirectShow;

// Seeks through the memory stream functions, counted.
int gSeekCalls = 0;
int CountedSeek(StreamValue stream, int64_t offset, int32_t origin) {
    ++gSeekCalls;
    return GetMemoryStreamFunctions()->seek(stream, offset, origin);
}

class SoundConversionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        ASSERT_EQ(OpenAcmLibrary(), 0);
    }

    void TearDown() override {
        if (converter_.setUp != 0) ReleaseSoundConverter(&converter_);
        if (stream_ != nullptr) CloseMemoryStream(stream_);
        EXPECT_EQ(CloseAcmLibrary(), 0);
        TestResetPlatform();
    }

    int Setup(const Bytes& file, int32_t mask = 0, int32_t width = 2) {
        if (converter_.setUp != 0) ReleaseSoundConverter(&converter_);
        if (stream_ != nullptr) CloseMemoryStream(stream_);
        file_ = file;
        stream_ = OpenMemoryStream(file_.data(), static_cast<uint32_t>(file_.size()));
        reader_ = {*GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(stream_)};
        reader_.functions.seek = CountedSeek;
        return SetupSoundConverter(&converter_, &reader_, mask, width, 0);
    }

    // Everything the converter gives, and its format.
    Bytes Whole(WAVEFORMATEX* format = nullptr) {
        WAVEFORMATEX local;
        uint8_t* pcm = nullptr;
        uint32_t bytes = 0;
        EXPECT_EQ(ConvertWholeSound(&converter_, format != nullptr ? format : &local, &pcm, &bytes),
                  0);
        Bytes out(pcm, pcm + bytes);
        FreeMemory(pcm);
        return out;
    }

    Bytes file_;
    MemoryStream* stream_ = nullptr;
    StreamReader reader_{};
    SoundConverter converter_{};
};

TEST_F(SoundConversionTest, PcmWaveConvertsUnchangedWithItsOwnFormat) {
    Bytes data;
    for (int i = 0; i < 300; ++i) data.push_back(static_cast<uint8_t>(i * 7));
    ASSERT_EQ(Setup(PcmWave(1, 8000, 8, data)), 0);
    EXPECT_EQ(converter_.kind, kSoundDecodeWave);
    EXPECT_EQ(GetSoundPcmSize(&converter_), 300u);
    WAVEFORMATEX format;
    EXPECT_EQ(Whole(&format), data);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.nSamplesPerSec, 8000u);
    EXPECT_EQ(format.wBitsPerSample, 8);
    EXPECT_EQ(format.cbSize, 0);

    // 24-bit samples pass as they are.
    Bytes wide(3 * 2 * 10, 0x5A);
    ASSERT_EQ(Setup(PcmWave(2, 48000, 24, wide)), 0);
    EXPECT_EQ(Whole(&format), wide);
    EXPECT_EQ(format.nBlockAlign, 6);
}

TEST_F(SoundConversionTest, ASixteenByteFormatHasItsSampleWidthTakenFromTheBlockAlign) {
    Bytes format = FormatChunk(WAVE_FORMAT_PCM, 2, 22050, 16);
    format[14] = 0;  // a writer that left the field empty
    ASSERT_EQ(Setup(BuildWave({format, Bytes(40, 1), {}, {}})), 0);
    WAVEFORMATEX out;
    GetConverterFormat(&converter_, &out);
    EXPECT_EQ(out.wBitsPerSample, 16);
    EXPECT_EQ(out.nAvgBytesPerSec, 88200u);
}

TEST_F(SoundConversionTest, FloatWaveBecomesSixteenBitsAtHalfOrAQuarterTheSize) {
    const float values[] = {0.5f, -1.0f, 1.0f, 0.99999f, -0.00003f, -2.0f, NAN, 0.25f};
    Bytes data(sizeof values);
    std::memcpy(data.data(), values, sizeof values);
    const std::vector<int16_t> expected = {16384, -32768, 32767, 32767, 0, -32768, 0, 8192};
    ASSERT_EQ(Setup(BuildWave({FormatChunk(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32), data, {}, {}})),
              0);
    EXPECT_EQ(GetSoundPcmSize(&converter_), data.size() / 2);
    WAVEFORMATEX format;
    EXPECT_EQ(AsSamples(Whole(&format)), expected);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nBlockAlign, 4);

    const double doubles[] = {0.5, -1.0, 1.0, 0.99999, -0.00003, -2.0, NAN, 0.25};
    Bytes wide(sizeof doubles);
    std::memcpy(wide.data(), doubles, sizeof doubles);
    ASSERT_EQ(Setup(BuildWave({FormatChunk(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 64), wide, {}, {}})),
              0);
    EXPECT_EQ(GetSoundPcmSize(&converter_), wide.size() / 4);
    EXPECT_EQ(AsSamples(Whole()), expected);

    // Other float widths are not floats this converter reads.
    EXPECT_EQ(
        Setup(BuildWave({FormatChunk(WAVE_FORMAT_IEEE_FLOAT, 1, 44100, 16), Bytes(8), {}, {}}),
              kOnlyWave),
        -1);
}

// The extensible format that encoders write for 24-bit samples, float samples, or rates above
// 48 kHz reads as the plain format its subformat names; another subformat is refused.
TEST_F(SoundConversionTest, AnExtensibleWaveReadsAsItsSubformat) {
    Bytes wide(3 * 2 * 10);
    for (size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<uint8_t>(i * 13);
    ASSERT_EQ(Setup(BuildWave({ExtensibleFormatChunk(2, 48000, 24, WAVE_FORMAT_PCM), wide, {}, {}}),
                    kOnlyWave),
              0);
    WAVEFORMATEX format;
    EXPECT_EQ(Whole(&format), wide);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.wBitsPerSample, 24);
    EXPECT_EQ(format.nChannels, 2);

    const float values[] = {0.5f, -1.0f, 0.25f, 0.0f};
    Bytes floats(sizeof values);
    std::memcpy(floats.data(), values, sizeof values);
    ASSERT_EQ(Setup(BuildWave({ExtensibleFormatChunk(1, 96000, 32, WAVE_FORMAT_IEEE_FLOAT), floats,
                               {}, {}}),
                    kOnlyWave),
              0);
    EXPECT_EQ(AsSamples(Whole(&format)), (std::vector<int16_t>{16384, -32768, 8192, 0}));
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nSamplesPerSec, 96000u);

    Bytes foreign = ExtensibleFormatChunk(2, 44100, 16, WAVE_FORMAT_PCM);
    foreign.back() ^= 1;  // not the subformat family of the plain tags
    Bytes shortened = ExtensibleFormatChunk(2, 44100, 16, WAVE_FORMAT_PCM);
    shortened.resize(24);
    for (const Bytes& chunk : {foreign, shortened, ExtensibleFormatChunk(2, 44100, 16, 0x10001)}) {
        EXPECT_EQ(Setup(BuildWave({chunk, Bytes(40), {}, {}}), kOnlyWave), -1);
    }
}

TEST_F(SoundConversionTest, ChunksAroundTheFormatAreSkippedWherePermitted) {
    Bytes data = AsBytes({1, 2, 3, 4});
    Bytes format = FormatChunk(WAVE_FORMAT_PCM, 1, 44100, 16);
    // A "bext" first, and chunks (one of odd length) between "fmt " and "data".
    ASSERT_EQ(Setup(BuildWave({format,
                               data,
                               {{"bext", Bytes(603, 'b')}},
                               {{"LIST", Bytes(5, 'l')}, {"fact", Bytes(4, 0)}}})),
              0);
    EXPECT_EQ(Whole(), data);
    // Anything else before "fmt " is refused by both WAVE decoders.
    EXPECT_EQ(Setup(BuildWave({format, data, {{"junk", Bytes(4, 0)}}, {}}), kOnlyWaveDecoders), -1);
    EXPECT_EQ(Setup(BuildWave({format, data, {{"bext", Bytes(4, 0)}, {"bext", Bytes(4, 0)}}, {}}),
                    kOnlyWaveDecoders),
              -1);
}

TEST_F(SoundConversionTest, DegenerateWaveFilesAreRefusedCleanly) {
    auto withField = [](size_t offset, uint32_t value, int bytes) {
        Bytes format = FormatChunk(WAVE_FORMAT_PCM, 2, 44100, 16);
        for (int i = 0; i < bytes; ++i) format[offset + i] = static_cast<uint8_t>(value >> (8 * i));
        return BuildWave({format, Bytes(64, 0), {}, {}});
    };
    EXPECT_EQ(Setup(withField(2, 0, 2)), -1) << "no channels";
    EXPECT_EQ(Setup(withField(4, 0, 4)), -1) << "no rate";
    EXPECT_EQ(Setup(withField(8, 0, 4)), -1) << "no byte rate";
    EXPECT_EQ(Setup(withField(12, 0, 2)), -1) << "no block";
    EXPECT_EQ(Setup(withField(12, 3, 2)), -1) << "a block that is not channels x width";
    EXPECT_EQ(Setup(withField(4, 99, 4)), -1) << "a rate the device cannot play";
    // An 18-byte chunk keeps its width (a 16-byte one has it recomputed from the block).
    EXPECT_EQ(
        Setup(BuildWave({FormatChunk(WAVE_FORMAT_PCM, 1, 44100, 12, true), Bytes(8), {}, {}})), -1);
    EXPECT_EQ(Setup(BuildWave({FormatChunk(WAVE_FORMAT_PCM, 9, 44100, 16), Bytes(36), {}, {}})),
              -1);
    Bytes huge = FormatChunk(WAVE_FORMAT_PCM, 2, 44100, 16, true);
    huge[2] = huge[3] = huge[14] = huge[15] = 0xFF;
    EXPECT_EQ(Setup(BuildWave({huge, Bytes(64), {}, {}})), -1) << "65,535 channels of 65,535 bits";
    Bytes shortFormat = FormatChunk(WAVE_FORMAT_PCM, 1, 44100, 16);
    shortFormat.resize(14);
    EXPECT_EQ(Setup(BuildWave({shortFormat, Bytes(8), {}, {}})), -1);
    // A format chunk longer than the file.
    Bytes file = PcmWave(1, 44100, 16, Bytes(8));
    file[16] = 0xF0;
    file[17] = 0xFF;
    EXPECT_EQ(Setup(file), -1);
    // No "data" before the end.
    Bytes noData = PcmWave(1, 44100, 16, Bytes(8));
    noData.resize(noData.size() - 16);
    EXPECT_EQ(Setup(noData), -1);
    EXPECT_EQ(Setup(Bytes{'R', 'I', 'F', 'F'}), -1);
    EXPECT_EQ(Setup(Bytes{}), -1);
}

TEST_F(SoundConversionTest, ADataChunkLongerThanTheFileIsCutToTheWholeFramesPresent) {
    Bytes file = PcmWave(2, 44100, 16, Bytes(4 * 100 + 2, 9));
    size_t size = file.size() - (4 * 100 + 2) - 4;  // the data chunk's size field
    file[size] = 0xFF;
    file[size + 1] = 0xFF;
    file[size + 2] = 0xFF;
    file[size + 3] = 0x7F;
    ASSERT_EQ(Setup(file), 0);
    EXPECT_EQ(GetSoundPcmSize(&converter_), 4u * 100);
    EXPECT_EQ(Whole().size(), 4u * 100);
}

TEST_F(SoundConversionTest, BlocksComeOutShortAtTheEndAndNothingAfter) {
    std::vector<int16_t> samples(44100 + 50);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i);
    ASSERT_EQ(Setup(PcmWave(1, 44100, 16, AsBytes(samples))), 0);
    Bytes block(30000);
    Bytes all;
    int32_t got;
    while ((got = ConvertSoundBlock(&converter_, block.data(), 30000)) > 0) {
        all.insert(all.end(), block.begin(), block.begin() + got);
    }
    EXPECT_EQ(AsSamples(all), samples);
    EXPECT_EQ(ConvertSoundBlock(&converter_, block.data(), 30000), 0);
    SoundConverter idle{};
    EXPECT_EQ(ConvertSoundBlock(&idle, block.data(), 10), -1);
}

TEST_F(SoundConversionTest, SeekingToWhereTheConverterStandsLeavesTheSourceAlone) {
    std::vector<int16_t> samples(1000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 3);
    ASSERT_EQ(Setup(PcmWave(1, 44100, 16, AsBytes(samples))), 0);
    Bytes block(200);
    ASSERT_EQ(ConvertSoundBlock(&converter_, block.data(), 200), 200);
    gSeekCalls = 0;
    EXPECT_EQ(SeekSoundConverter(&converter_, 100), 0);
    EXPECT_EQ(SeekSoundConverter(&converter_, 105), 0);  // within 15 bytes
    EXPECT_EQ(gSeekCalls, 0);
    EXPECT_EQ(SeekSoundConverter(&converter_, 500), 0);
    EXPECT_EQ(gSeekCalls, 1);
    ASSERT_EQ(ConvertSoundBlock(&converter_, block.data(), 4), 4);
    EXPECT_EQ(AsSamples(Bytes(block.begin(), block.begin() + 4)),
              (std::vector<int16_t>{1500, 1503}));
}

TEST_F(SoundConversionTest, CompressedWaveGoesThroughTheCompressionManager) {
    ASSERT_EQ(Setup(ReadFixture("tone_ima_adpcm.wav")), 0);
    EXPECT_EQ(converter_.kind, kSoundDecodeAcm);
    uint64_t bound = GetSoundPcmSize(&converter_);
    WAVEFORMATEX format;
    std::vector<int16_t> pcm = AsSamples(Whole(&format));
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_GE(bound, pcm.size() * 2);
    std::vector<int16_t> sine = Sine(44100, 8820, {440});
    ASSERT_GE(pcm.size(), sine.size());
    EXPECT_LT(RmsDifference(pcm, sine), 0.03 * 16384);
}

TEST_F(SoundConversionTest, AdpcmBlocksLargerThanAnInputSliceStillConvert) {
    // One IMA block of 4,096 bytes: a header sample of 1000 at step index 0 and zero codes,
    // which keep the sample where it is.
    Bytes format = FormatChunk(WAVE_FORMAT_IMA_ADPCM, 1, 8000, 4);
    format[9] = 0x10;  // 4,096 bytes a second
    format[12] = 0x00;
    format[13] = 0x10;  // block align 4,096
    const uint32_t frames = (4096 - 4) * 2 + 1;
    format.push_back(2);  // cbSize
    format.push_back(0);
    format.push_back(static_cast<uint8_t>(frames));
    format.push_back(static_cast<uint8_t>(frames >> 8));
    Bytes block(4096, 0);
    block[0] = 0xE8;  // 1000
    block[1] = 0x03;
    ASSERT_EQ(Setup(BuildWave({format, block, {}, {}})), 0);
    std::vector<int16_t> pcm = AsSamples(Whole());
    ASSERT_EQ(pcm.size(), frames);
    EXPECT_EQ(pcm.front(), 1000);
    EXPECT_EQ(pcm.back(), 1000);
}

// The MP3 fixture with the given tags around it.
Bytes TaggedMp3(const Bytes& front, const Bytes& back) {
    Bytes out = front;
    Bytes mp3 = ReadFixture("tone_mono_44k.mp3");
    out.insert(out.end(), mp3.begin(), mp3.end());
    out.insert(out.end(), back.begin(), back.end());
    return out;
}

TEST_F(SoundConversionTest, TheMp3ScanCountsEveryWholeFrameBetweenTheTags) {
    ASSERT_EQ(Setup(ReadFixture("tone_mono_44k.mp3"), kOnlyMp3Acm), 0);
    const uint64_t plain = GetSoundPcmSize(&converter_);
    EXPECT_EQ(plain % (1152 * 2), 0u);
    EXPECT_EQ(Whole().size(), plain);
    WAVEFORMATEX* source = converter_.acmSourceFormat;
    EXPECT_EQ(source->wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(source->nAvgBytesPerSec, 8000u);
    EXPECT_EQ(source->cbSize, 12);
    auto* layer3 = reinterpret_cast<MPEGLAYER3WAVEFORMAT*>(source);
    EXPECT_EQ(layer3->nCodecDelay, 700);
    EXPECT_EQ(layer3->nFramesPerBlock, 1);

    // An ID3v2.4 tag with a footer: the bytes of the footer would be a refused header.
    Bytes tag = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 6};
    tag.reserve(26);  // GCC 12 -O3 misjudges the growth
    tag.insert(tag.end(), {0, 0, 0, 0, 0, 0});
    tag.insert(tag.end(), {'3', 'D', 'I', 4, 0, 0x10, 0xFF, 0xFF, 0xFF, 0xFF});
    Bytes trailing(128, 0xFF);  // as audio, a refused header
    std::memcpy(trailing.data(), "TAG", 3);
    ASSERT_EQ(Setup(TaggedMp3(tag, trailing), kOnlyMp3Acm), 0);
    EXPECT_EQ(GetSoundPcmSize(&converter_), plain);
    EXPECT_EQ(converter_.dataPosition, static_cast<int64_t>(tag.size()));

    // Without the footer flag the footer is read as audio, and its header is refused.
    tag[5] = 0;
    EXPECT_EQ(Setup(TaggedMp3(tag, {}), kOnlyMp3Acm), -1);
}

TEST_F(SoundConversionTest, AFrameCutOffByTheEndIsNotCounted) {
    Bytes mp3 = ReadFixture("tone_mono_44k.mp3");
    ASSERT_EQ(Setup(mp3, kOnlyMp3Acm), 0);
    const uint64_t whole = GetSoundPcmSize(&converter_);
    mp3.resize(mp3.size() - 50);
    ASSERT_EQ(Setup(mp3, kOnlyMp3Acm), 0);
    EXPECT_EQ(GetSoundPcmSize(&converter_), whole - 1152 * 2);
    EXPECT_EQ(Whole().size(), whole - 1152 * 2);
    EXPECT_EQ(Setup(Bytes(500, 0), kOnlyMp3Acm), -1) << "no frame at all";
}

// A frame header alone among other bytes between two frames: the scan passes over it and the
// compression manager decodes around it, so the sound is the same as without those bytes.
TEST_F(SoundConversionTest, AFrameHeaderOutsideARunOfFramesIsNotTakenForAFrame) {
    Bytes mp3 = ReadFixture("tone_stereo_22k.mp3");
    ASSERT_EQ(Setup(mp3, kOnlyMp3Acm), 0);
    const uint64_t plainSize = GetSoundPcmSize(&converter_);
    const Bytes plain = Whole();
    size_t boundary = 0;
    for (int i = 0; i < 8; ++i) {
        MpegAudioFrame frame;
        ASSERT_TRUE(ParseMpegAudioFrame(mp3.data() + boundary, &frame));
        boundary += frame.bytes;
    }
    Bytes stray(1200, 0);
    std::copy(mp3.begin(), mp3.begin() + 4, stray.begin() + 5);
    mp3.insert(mp3.begin() + static_cast<ptrdiff_t>(boundary), stray.begin(), stray.end());
    ASSERT_EQ(Setup(mp3, kOnlyMp3Acm), 0);
    EXPECT_EQ(GetSoundPcmSize(&converter_), plainSize);
    EXPECT_TRUE(Whole() == plain);
    // Ahead of the first frame too: the audio starts at the run.
    Bytes front(stray.begin(), stray.begin() + 600);
    mp3 = ReadFixture("tone_stereo_22k.mp3");
    mp3.insert(mp3.begin(), front.begin(), front.end());
    ASSERT_EQ(Setup(mp3, kOnlyMp3Acm), 0);
    EXPECT_EQ(converter_.dataPosition, 600);
    EXPECT_TRUE(Whole() == plain);
}

TEST_F(SoundConversionTest, ABackwardSeekRestartsTheCompressedStreamFromTheBeginning) {
    ASSERT_EQ(Setup(ReadFixture("tone_stereo_22k.mp3"), kOnlyMp3Acm), 0);
    WAVEFORMATEX format;
    GetConverterFormat(&converter_, &format);
    EXPECT_EQ(format.nSamplesPerSec, 22050u);
    EXPECT_EQ(format.nChannels, 2);
    Bytes fresh(4000);
    ASSERT_EQ(ConvertSoundBlock(&converter_, fresh.data(), 4000), 4000);
    Bytes later(30000);
    ASSERT_EQ(ConvertSoundBlock(&converter_, later.data(), 30000), 30000);
    ASSERT_EQ(SeekSoundConverter(&converter_, 200), 0);
    Bytes again(3200);
    ASSERT_EQ(ConvertSoundBlock(&converter_, again.data(), 3200), 3200);
    EXPECT_EQ(again, Bytes(fresh.begin() + 800, fresh.end()));
}

TEST_F(SoundConversionTest, OggVorbisDecodesCloseToTheSineInEitherSampleWidth) {
    Bytes ogg = ReadFixture("tone_mono_44k.ogg");
    ASSERT_EQ(Setup(ogg), 0);
    EXPECT_EQ(converter_.kind, kSoundDecodeVorbis);
    EXPECT_EQ(GetSoundPcmSize(&converter_), 22050u * 2);
    std::vector<int16_t> pcm = AsSamples(Whole());
    EXPECT_EQ(pcm.size(), 22050u);
    EXPECT_LT(RmsDifference(pcm, Sine(44100, 22050, {440})), 0.05 * 16384);

    ASSERT_EQ(Setup(ogg, 0, 1), 0);
    WAVEFORMATEX format;
    Bytes bytes = Whole(&format);
    EXPECT_EQ(format.wBitsPerSample, 8);
    ASSERT_EQ(bytes.size(), 22050u);
    EXPECT_NEAR(bytes[25], 128 + 0.5 * 127 * std::sin(2 * M_PI * 440 * 25 / 44100), 8);
    EXPECT_EQ(Setup(ogg, kOnlyVorbis, 3), -1) << "a width vorbisfile does not write";

    // Seeking by frame lands on the same samples.
    ASSERT_EQ(Setup(ogg), 0);
    ASSERT_EQ(SeekSoundConverter(&converter_, 10000), 0);
    Bytes block(200);
    ASSERT_EQ(ConvertSoundBlock(&converter_, block.data(), 200), 200);
    EXPECT_EQ(AsSamples(block), std::vector<int16_t>(pcm.begin() + 10000, pcm.begin() + 10100));
}

// A float WAVE's rate and width may claim a second of samples far longer than its data: the
// claim is not taken as memory.
TEST_F(SoundConversionTest, AFloatWaveTakesNoMoreMemoryForItsSamplesThanTheDataHolds) {
    Bytes file = BuildWave({FormatChunk(WAVE_FORMAT_IEEE_FLOAT, 8, 200000, 64), Bytes(64), {}, {}});
    EXPECT_TRUE(StaysUnderHeapBound(
        6 << 20, [&] { return Setup(file, kOnlyWave) == 0 && Whole().size() == 16u; }));
}

// Chained Ogg Vorbis: links of one format play one after the other; links that differ in rate
// or channels are refused, whichever link comes first.
TEST_F(SoundConversionTest, OggVorbisChainsDecodeWholeOrAreRefusedWhenTheirFormatsDiffer) {
    Bytes first = ReadFixture("tone_mono_44k.ogg"), second = ReadFixture("tone2_mono_44k.ogg");
    Bytes other = ReadFixture("tone_stereo_22k.ogg");
    ASSERT_EQ(Setup(first), 0);
    Bytes expected = Whole();
    ASSERT_EQ(Setup(second), 0);
    Bytes secondPcm = Whole();
    expected.insert(expected.end(), secondPcm.begin(), secondPcm.end());
    auto chain = [](std::initializer_list<const Bytes*> links) {
        Bytes out;
        for (const Bytes* link : links) out.insert(out.end(), link->begin(), link->end());
        return out;
    };
    ASSERT_EQ(Setup(chain({&first, &second})), 0);
    EXPECT_EQ(GetSoundPcmSize(&converter_), expected.size());
    EXPECT_EQ(Whole(), expected);
    EXPECT_EQ(Setup(chain({&first, &other})), -1);
    EXPECT_EQ(Setup(chain({&other, &first})), -1);
    EXPECT_EQ(Setup(chain({&first, &second, &other})), -1);
}

TEST_F(SoundConversionTest, TheMaskSkipsDecoders) {
    Bytes ogg = ReadFixture("tone_mono_44k.ogg");
    EXPECT_EQ(Setup(ogg, kSkipVorbis), -1);
    EXPECT_EQ(Setup(ReadFixture("tone_mono_44k.mp3"), 31), -1);
    EXPECT_EQ(Setup(PcmWave(1, 8000, 8, Bytes(8)), 31), -1);
    EXPECT_EQ(Setup(PcmWave(1, 8000, 8, Bytes(8)), kSkipWavePcm), -1);
}

TEST(AcmLibraryTest, OpeningFailsOnTheFirstMissingFunctionAndLoadsOnlyOnce) {
    TestResetPlatform();
    TestSetExportMissing("msacm32.dll", "acmMetrics", true);
    EXPECT_EQ(OpenAcmLibrary(), -1);
    EXPECT_EQ(CloseAcmLibrary(), -1);
    TestSetExportMissing("msacm32.dll", "acmMetrics", false);
    EXPECT_EQ(OpenAcmLibrary(), 0);
    EXPECT_EQ(OpenAcmLibrary(), -1);
    EXPECT_EQ(CloseAcmLibrary(), 0);
    EXPECT_EQ(CloseAcmLibrary(), -1);
    TestSetModuleMissing("msacm32", true);
    EXPECT_EQ(OpenAcmLibrary(), -1);
    TestResetPlatform();
}

}  // namespace
