// The layer's audio compression manager: G.711 expansion, ADPCM blocks, MPEG frames, and the
// header and size rules the converter's block loop relies on.
#include <gtest/gtest.h>
#include <platform/msacm.h>
#include <platform/testing.h>

#include <cstring>
#include <vector>

#include "sound/sound_test_support.h"

namespace {

// The format block and the data of a WAVE fixture.
struct WaveFixture {
    Bytes format;
    Bytes data;
};

WaveFixture SplitWave(const Bytes& file) {
    WaveFixture out;
    for (size_t at = 12; at + 8 <= file.size();) {
        uint32_t size = file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 | file[at + 7] << 24;
        Bytes body(file.begin() + static_cast<long>(at) + 8,
                   file.begin() + static_cast<long>(at + 8 + size));
        if (std::memcmp(&file[at], "fmt ", 4) == 0) out.format = body;
        if (std::memcmp(&file[at], "data", 4) == 0) out.data = body;
        at += 8 + size + (size & 1);
    }
    return out;
}

WAVEFORMATEX* AsFormat(Bytes& block) {
    if (block.size() < sizeof(WAVEFORMATEX)) block.resize(sizeof(WAVEFORMATEX));
    return reinterpret_cast<WAVEFORMATEX*>(block.data());
}

class AcmTest : public ::testing::Test {
protected:
    void SetUp() override { TestResetPlatform(); }
    void TearDown() override {
        if (stream_ != nullptr) {
            EXPECT_EQ(acmStreamClose(stream_, 0), MMSYSERR_NOERROR);
        }
        TestResetPlatform();
    }

    // Opens a stream to the suggested PCM format.
    void Open(WAVEFORMATEX* source) {
        output_ = {};
        output_.wFormatTag = WAVE_FORMAT_PCM;
        ASSERT_EQ(acmFormatSuggest(nullptr, source, &output_, sizeof output_,
                                   ACM_FORMATSUGGESTF_WFORMATTAG),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(acmStreamOpen(&stream_, nullptr, source, &output_, nullptr, 0, 0,
                                ACM_STREAMOPENF_NONREALTIME),
                  MMSYSERR_NOERROR);
    }

    // One conversion of `source` into `room` bytes; a canary after the room must survive.
    MMRESULT Convert(const Bytes& source, uint32_t room, uint32_t* used, Bytes* out) {
        Bytes input = source;
        out->assign(room + 16, 0xEE);
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof header;
        header.pbSrc = input.data();
        header.cbSrcLength = static_cast<DWORD>(input.size());
        header.pbDst = out->data();
        header.cbDstLength = room;
        EXPECT_EQ(acmStreamPrepareHeader(stream_, &header, 0), MMSYSERR_NOERROR);
        MMRESULT result = acmStreamConvert(stream_, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
        EXPECT_EQ(acmStreamUnprepareHeader(stream_, &header, 0), MMSYSERR_NOERROR);
        for (uint32_t i = room; i < room + 16; ++i) EXPECT_EQ((*out)[i], 0xEE) << "overrun";
        out->resize(header.cbDstLengthUsed);
        *used = header.cbSrcLengthUsed;
        return result;
    }

    // Converts everything in slices of `sliceBytes` bytes, as the block loop does.
    std::vector<int16_t> ConvertAll(const Bytes& data, uint32_t sliceBytes, uint32_t room) {
        Bytes pcm;
        for (size_t at = 0; at < data.size();) {
            Bytes slice(data.begin() + static_cast<long>(at),
                        data.begin() + static_cast<long>(std::min(data.size(), at + sliceBytes)));
            uint32_t used = 0;
            Bytes out;
            EXPECT_EQ(Convert(slice, room, &used, &out), MMSYSERR_NOERROR);
            if (out.empty()) break;
            pcm.insert(pcm.end(), out.begin(), out.end());
            at += used;
        }
        return AsSamples(pcm);
    }

    HACMSTREAM stream_ = nullptr;
    WAVEFORMATEX output_{};
};

TEST_F(AcmTest, ALawAndULawExpandToTheStandardValues) {
    struct Case {
        WORD tag;
        uint8_t code;
        int16_t value;
    };
    const Case cases[] = {
        {WAVE_FORMAT_ALAW, 0xD5, 8},      {WAVE_FORMAT_ALAW, 0x55, -8},
        {WAVE_FORMAT_ALAW, 0xAA, 32256},  {WAVE_FORMAT_ALAW, 0x2A, -32256},
        {WAVE_FORMAT_MULAW, 0xFF, 0},     {WAVE_FORMAT_MULAW, 0x7F, 0},
        {WAVE_FORMAT_MULAW, 0x80, 32124}, {WAVE_FORMAT_MULAW, 0x00, -32124},
        {WAVE_FORMAT_MULAW, 0xEF, 132},   {WAVE_FORMAT_ALAW, 0xC5, 264},
    };
    for (const Case& c : cases) {
        WAVEFORMATEX source = {c.tag, 1, 8000, 8000, 1, 8, 0};
        Open(&source);
        EXPECT_EQ(output_.wBitsPerSample, 16);
        EXPECT_EQ(output_.nAvgBytesPerSec, 16000u);
        uint32_t used = 0;
        Bytes out;
        ASSERT_EQ(Convert({c.code}, 2, &used, &out), MMSYSERR_NOERROR);
        EXPECT_EQ(used, 1u);
        EXPECT_EQ(AsSamples(out), std::vector<int16_t>{c.value}) << std::hex << int(c.code);
        acmStreamClose(stream_, 0);
        stream_ = nullptr;
    }
}

TEST_F(AcmTest, AdpcmConvertsWholeBlocksOnlyAndNeverWritesPastTheDestination) {
    WaveFixture ima = SplitWave(ReadFixture("tone_ima_adpcm.wav"));
    WAVEFORMATEX* format = AsFormat(ima.format);
    Open(format);
    const uint32_t block = format->nBlockAlign;
    const uint32_t blockOutput = (ima.format[18] | ima.format[19] << 8) * 2u;
    Bytes oneAndAHalf(ima.data.begin(), ima.data.begin() + block * 3 / 2);
    uint32_t used = 0;
    Bytes out;
    ASSERT_EQ(Convert(oneAndAHalf, 100000, &used, &out), MMSYSERR_NOERROR);
    EXPECT_EQ(used, block);
    EXPECT_EQ(out.size(), blockOutput);
    // A destination too small for one block's output takes nothing.
    ASSERT_EQ(Convert(oneAndAHalf, blockOutput - 2, &used, &out), MMSYSERR_NOERROR);
    EXPECT_EQ(used, 0u);
    EXPECT_TRUE(out.empty());
    DWORD bound = 0;
    ASSERT_EQ(acmStreamSize(stream_, block * 3 / 2, &bound, ACM_STREAMSIZEF_SOURCE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(bound, blockOutput * 2);
}

TEST_F(AcmTest, MicrosoftAdpcmDecodesCloseToTheSineItWasMadeFrom) {
    WaveFixture ms = SplitWave(ReadFixture("tone_ms_adpcm.wav"));
    Open(AsFormat(ms.format));
    EXPECT_EQ(output_.nChannels, 2);
    EXPECT_EQ(output_.nSamplesPerSec, 22050u);
    std::vector<int16_t> decoded = ConvertAll(ms.data, 2048, 1 << 16);
    std::vector<int16_t> sine = Sine(22050, 4410, {440, 660});
    ASSERT_GE(decoded.size(), sine.size());
    EXPECT_LT(RmsDifference(decoded, sine), 0.03 * 16384);
}

// A block that only ever grows the step: the step stays bounded (no overflow), so the decoder
// swings from the bottom to the top once the codes turn positive.
TEST_F(AcmTest, MicrosoftAdpcmStepStaysBoundedOnHostileBlocks) {
    WaveFixture ms = SplitWave(ReadFixture("tone_ms_adpcm.wav"));
    WAVEFORMATEX* format = AsFormat(ms.format);
    Open(format);
    const uint32_t channels = format->nChannels;
    Bytes block(format->nBlockAlign, 0x77);
    // Predictor 0 (coefficients 256, 0), step 16, both samples 0; then 40 frames of code 8.
    std::fill(block.begin(), block.begin() + 7 * channels, 0);
    for (uint32_t c = 0; c < channels; ++c) block[channels + 2 * c] = 16;
    std::memset(block.data() + 7 * channels, 0x88, 40 * channels / 2);
    uint32_t used = 0;
    Bytes out;
    ASSERT_EQ(Convert(block, 1 << 16, &used, &out), MMSYSERR_NOERROR);
    std::vector<int16_t> samples = AsSamples(out);
    ASSERT_GT(samples.size(), 50 * channels);
    for (size_t i = 12 * channels; i < 42 * channels; ++i) EXPECT_EQ(samples[i], -32768) << i;
    for (size_t i = 42 * channels; i < samples.size(); ++i) EXPECT_EQ(samples[i], 32767) << i;
}

TEST_F(AcmTest, MpegFramesAreUsedWholeAndEachGivesItsFullSampleCount) {
    Bytes mp3 = ReadFixture("tone_mono_44k.mp3");
    MPEGLAYER3WAVEFORMAT format{};
    format.wfx = {WAVE_FORMAT_MPEGLAYER3, 1, 44100, 8000, 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES};
    format.wID = MPEGLAYER3_ID_MPEG;
    format.nBlockSize = 208;
    format.nFramesPerBlock = 1;
    Open(&format.wfx);
    // 64 kbit/s at 44.1 kHz: frames of 208 or 209 bytes, 1,152 samples each.
    Bytes slice(mp3.begin(), mp3.begin() + 1000);
    uint32_t used = 0;
    Bytes out;
    ASSERT_EQ(Convert(slice, 1 << 16, &used, &out), MMSYSERR_NOERROR);
    EXPECT_GE(used, 4u * 208);
    EXPECT_LE(used, 4u * 209);
    EXPECT_EQ(out.size(), 4u * 1152 * 2);

    acmStreamClose(stream_, 0);
    Open(&format.wfx);
    EXPECT_EQ(ConvertAll(mp3, 2048, 1 << 16).size() % 1152, 0u);
}

TEST_F(AcmTest, UnsupportedFormatsAndMisusedHandlesAreRefused) {
    WAVEFORMATEX unknown = {0x1234, 1, 8000, 8000, 1, 8, 0};
    WAVEFORMATEX pcm = {WAVE_FORMAT_PCM, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(acmFormatSuggest(nullptr, &unknown, &pcm, sizeof pcm, ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX alaw = {WAVE_FORMAT_ALAW, 1, 8000, 8000, 1, 8, 0};
    WAVEFORMATEX wrong = {WAVE_FORMAT_PCM, 2, 8000, 32000, 4, 16, 0};
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, &alaw, &wrong, nullptr, 0, 0, 0), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamClose(reinterpret_cast<HACMSTREAM>(&alaw), 0), MMSYSERR_INVALHANDLE);
    DWORD size = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
    EXPECT_GE(size, sizeof(MPEGLAYER3WAVEFORMAT));

    Open(&alaw);
    uint8_t in[4] = {0xD5, 0xD5, 0xD5, 0xD5};
    uint8_t out[8];
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = in;
    header.cbSrcLength = 4;
    header.pbDst = out;
    header.cbDstLength = 8;
    EXPECT_EQ(acmStreamConvert(stream_, &header, ACM_STREAMCONVERTF_BLOCKALIGN), ACMERR_UNPREPARED);
    TestFailNthCall("acmStreamOpen", 1);
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, &alaw, &output_, nullptr, 0, 0, 0), MMSYSERR_NOMEM);
}

}  // namespace
