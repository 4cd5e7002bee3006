// MP3 through the DirectShow graph: the same PCM as the compression manager's path, the PCM
// block's growth, the message of each step that fails, files of other formats that no decoder
// takes, and MP3 files that only this path decodes, against mpg123 decoding the same bytes.
#include "sound/mp3_directshow.h"

#include <gtest/gtest.h>
#include <lame.h>
#include <mpg123.h>
#include <platform/testing.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "app/main_window.h"
#include "core/streams.h"
#include "core/tracked_memory.h"
#include "sound/sound.h"
#include "sound/sound_test_support.h"

namespace {

constexpr int32_t kOnlyMp3Acm = kSkipWavePcm | kSkipWaveAcm | kSkipVorbis | kSkipMp3DirectShow;
constexpr int32_t kOnlyDirectShow = kSkipWavePcm | kSkipWaveAcm | kSkipVorbis | kSkipMp3Acm;

class Mp3DirectShowTest : public SoundFixture {
protected:
    void SetUp() override {
        SoundFixture::SetUp();
        StartSound();
    }

    // The whole PCM of the file through the decoders the mask leaves; -1 in *result when none
    // accepts it.
    Bytes Decode(const Bytes& file, int32_t mask, WAVEFORMATEX* format, int* result) {
        MemoryStream* stream = OpenMemoryStream(file.data(), static_cast<uint32_t>(file.size()));
        StreamReader reader = {*GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(stream)};
        SoundConverter converter;
        *result = SetupSoundConverter(&converter, &reader, mask, 2, 0);
        Bytes pcm;
        if (*result == 0) {
            uint8_t* data = nullptr;
            uint32_t bytes = 0;
            EXPECT_EQ(ConvertWholeSound(&converter, format, &data, &bytes), 0);
            pcm.assign(data, data + bytes);
            FreeMemory(data);
            ReleaseSoundConverter(&converter);
        }
        CloseMemoryStream(stream);
        return pcm;
    }
};

TEST_F(Mp3DirectShowTest, GivesTheSamePcmAsTheCompressionManagerAndGrowsItsBlock) {
    for (const char* name : {"tone_mono_44k.mp3", "tone_stereo_22k.mp3"}) {
        Bytes mp3 = ReadFixture(name);
        WAVEFORMATEX acmFormat{}, graphFormat{};
        int acmResult, graphResult;
        Bytes viaAcm = Decode(mp3, kOnlyMp3Acm, &acmFormat, &acmResult);
        Bytes viaGraph = Decode(mp3, kOnlyDirectShow, &graphFormat, &graphResult);
        ASSERT_EQ(acmResult, 0) << name;
        ASSERT_EQ(graphResult, 0) << name;
        EXPECT_EQ(std::memcmp(&graphFormat, &acmFormat, sizeof acmFormat), 0) << name;
        EXPECT_EQ(viaGraph.size(), viaAcm.size()) << name;
        EXPECT_TRUE(viaGraph == viaAcm) << name;
    }
    // The tone decodes to more than ten times its size: the PCM block grows on the way.
    Bytes mp3 = ReadFixture("tone_mono_44k.mp3");
    WAVEFORMATEX format;
    int result;
    Bytes pcm = Decode(mp3, kOnlyDirectShow, &format, &result);
    ASSERT_EQ(result, 0);
    EXPECT_GT(pcm.size(), mp3.size() * 10);
    EXPECT_EQ(Log().find("ＰＣＭ"), std::string::npos);
}

TEST_F(Mp3DirectShowTest, EachStepThatFailsLogsItsMessageAndLeavesNoDecoder) {
    Bytes mp3 = ReadFixture("tone_mono_44k.mp3");
    struct Case {
        const char* function;
        int call;
        const char* message;
    };
    const Case cases[] = {
        {"CoCreateInstance", 1, "MP3変換用 NullRender の作成に失敗しました"},
        {"CoCreateInstance", 2, "MP3変換用 IGraphBuilder の作成に失敗しました"},
        {"ISampleGrabber::SetMediaType", 1,
         "サンプルグラバフィルタのメディアタイプの設定に失敗しました"},
        {"IGraphBuilder::AddFilter", 1, "サンプルグラバフィルタのグラフへの追加に失敗しました"},
        {"IGraphBuilder::AddFilter", 2, "メモリファイルフィルタのグラフへの追加に失敗しました"},
        {"IGraphBuilder::Render", 1, "グラフの構築に失敗しました"},
        {"IGraphBuilder::AddFilter", 3, "ヌルレンダラーフィルタのグラフへの追加に失敗しました"},
        {"IGraphBuilder::Connect", 1, "既存レンダラーをNullレンダラーと交換する処理が失敗しました"},
        {"ISampleGrabber::GetConnectedMediaType", 1,
         "音声が含まれていないか、オーディオフォーマットの取得に失敗しました。"},
        {"ISampleGrabber::SetCallback", 1, "コールバック関数を設定できません"},
        {"IGraphBuilder::QueryInterface(IMediaFilter)", 1, "IMediaFilter の取得に失敗しました"},
        {"IGraphBuilder::QueryInterface(IMediaControl)", 1, "IMediaControl の取得に失敗しました"},
        {"IGraphBuilder::QueryInterface(IMediaEvent)", 1, "IMediaEvent の取得に失敗しました"},
        {"MpegAudioDecoder::Deliver", 1, "MP3変換の途中でエラーが発生しました"},
    };
    for (const Case& c : cases) {
        size_t logged = Log().size();
        TestFailNthCall(c.function, c.call);
        WAVEFORMATEX format;
        int result;
        Decode(mp3, kOnlyDirectShow, &format, &result);
        EXPECT_EQ(result, -1) << c.message;
        EXPECT_NE(Log().find(c.message, logged), std::string::npos) << c.message;
        TestFailNthCall(c.function, 0);
    }
    // Data without MPEG audio cannot be rendered.
    size_t logged = Log().size();
    WAVEFORMATEX format;
    int result;
    Decode(PcmWave(1, 8000, 16, Bytes(4000)), kOnlyDirectShow, &format, &result);
    EXPECT_EQ(result, -1);
    EXPECT_NE(Log().find("グラフの構築に失敗しました", logged), std::string::npos);
}

TEST_F(Mp3DirectShowTest, TheProgramEndingDuringTheDecodeEndsIt) {
    gMainWindow.quit = 1;
    WAVEFORMATEX format;
    int result;
    Decode(ReadFixture("tone_mono_44k.mp3"), kOnlyDirectShow, &format, &result);
    gMainWindow.quit = 0;
    EXPECT_EQ(result, -1);
    EXPECT_NE(Log().find("MP3変換の途中でソフトが終了しました"), std::string::npos);
}

// A mono tone encoded by LAME at the given rate (8, 11.025 and 12 kHz give MPEG-2.5), without
// an info frame.
Bytes EncodeMp3(int rate, int kilobits, double seconds) {
    std::unique_ptr<lame_global_flags, int (*)(lame_global_flags*)> lame(lame_init(), lame_close);
    lame_set_in_samplerate(lame.get(), rate);
    lame_set_out_samplerate(lame.get(), rate);
    lame_set_num_channels(lame.get(), 1);
    lame_set_mode(lame.get(), MONO);
    lame_set_brate(lame.get(), kilobits);
    lame_set_bWriteVbrTag(lame.get(), 0);
    EXPECT_EQ(lame_init_params(lame.get()), 0);
    std::vector<int16_t> pcm = Sine(rate, static_cast<uint32_t>(rate * seconds), {440});
    Bytes out(pcm.size() * 5 / 4 + 7200 * 2);
    int bytes = lame_encode_buffer(lame.get(), pcm.data(), nullptr, static_cast<int>(pcm.size()),
                                   out.data(), static_cast<int>(out.size()));
    EXPECT_GE(bytes, 0);
    bytes +=
        lame_encode_flush(lame.get(), out.data() + bytes, static_cast<int>(out.size()) - bytes);
    out.resize(static_cast<size_t>(bytes));
    return out;
}

// mpg123 over the same bytes, with the flags the graph's decoder uses.
Bytes ReferenceDecode(const Bytes& file, long* rate) {
    mpg123_init();
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_param(handle, MPG123_ADD_FLAGS,
                 MPG123_QUIET | MPG123_NO_READAHEAD | MPG123_IGNORE_INFOFRAME, 0);
    mpg123_open_feed(handle);
    mpg123_feed(handle, file.data(), file.size());
    Bytes pcm;
    for (;;) {
        off_t frame;
        unsigned char* audio;
        size_t bytes;
        int result = mpg123_decode_frame(handle, &frame, &audio, &bytes);
        if (result == MPG123_NEW_FORMAT) {
            int channels, encoding;
            mpg123_getformat(handle, rate, &channels, &encoding);
            continue;
        }
        if (result != MPG123_OK) break;
        pcm.insert(pcm.end(), audio, audio + bytes);
    }
    mpg123_delete(handle);
    return pcm;
}

// Files that no decoder takes, although their bytes hold MPEG sync patterns: each is refused by
// the converter and by the loader with the graph's message, instead of playing as noise.
TEST_F(Mp3DirectShowTest, FilesOfOtherFormatsAreNotTakenForMpegAudio) {
    // A second of a loud two-tone chord: its samples are full of 0xFF bytes.
    Bytes pcm = AsBytes(Sine(44100, 44100, {440, 554}, 0.9));
    // An extensible format whose subformat no decoder here reads.
    Bytes extensible = ExtensibleFormatChunk(2, 44100, 16, 0x1234);
    Bytes ogg = ReadFixture("tone_mono_44k.ogg"), other = ReadFixture("tone_stereo_22k.ogg");
    Bytes chained = ogg;
    chained.insert(chained.end(), other.begin(), other.end());
    // The setup header's page damaged: its checksum fails and vorbisfile cannot open the file.
    Bytes damaged = ReadFixture("tone_stereo_22k.ogg");
    size_t secondPage = std::string(damaged.begin() + 4, damaged.end()).find("OggS") + 4;
    for (size_t i = secondPage + 40; i < secondPage + 80; ++i) damaged[i] ^= 0x5A;
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"extensible.wav", BuildWave({extensible, pcm, {}, {}})},
        {"junk_first.wav",
         BuildWave({FormatChunk(WAVE_FORMAT_PCM, 2, 44100, 16), pcm, {{"JUNK", Bytes(28)}}, {}})},
        {"chained.ogg", chained},
        {"damaged.ogg", damaged},
        {"truncated.ogg", Bytes(ogg.begin(), ogg.begin() + 2500)},
    };
    for (const Case& c : cases) {
        size_t logged = Log().size();
        WAVEFORMATEX format;
        int result;
        Decode(c.file, 0, &format, &result);
        EXPECT_EQ(result, -1) << c.name;
        EXPECT_NE(Log().find("グラフの構築に失敗しました", logged), std::string::npos) << c.name;

        logged = Log().size();
        EXPECT_EQ(LoadBytes(c.name, c.file), -1) << c.name;
        std::string log = Log().substr(logged);
        EXPECT_NE(log.find("グラフの構築に失敗しました"), std::string::npos) << c.name;
        EXPECT_NE(log.find("音声ファイルのＰＣＭへの変換に失敗しました"), std::string::npos)
            << c.name;
    }
}

// MPEG-2.5, and an MP3 behind bytes that the compression manager's scan refuses, decode only
// through the graph: they load, with what mpg123 makes of the same bytes.
TEST_F(Mp3DirectShowTest, Mp3FilesOnlyTheGraphDecodesLoadAsMpg123DecodesThem) {
    Bytes junkFirst = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    Bytes tone = EncodeMp3(22050, 32, 0.5);
    junkFirst.insert(junkFirst.end(), tone.begin(), tone.end());
    struct Case {
        const char* name;
        Bytes file;
        long rate;
    };
    const Case cases[] = {
        {"mpeg25_8k.mp3", EncodeMp3(8000, 16, 0.5), 8000},
        {"mpeg25_11k.mp3", EncodeMp3(11025, 32, 0.05), 11025},
        {"junk_first.mp3", junkFirst, 22050},
    };
    for (const Case& c : cases) {
        long rate = 0;
        Bytes reference = ReferenceDecode(c.file, &rate);
        ASSERT_EQ(rate, c.rate) << c.name;
        ASSERT_FALSE(reference.empty()) << c.name;
        WAVEFORMATEX format;
        int result;
        EXPECT_TRUE(Decode(c.file, kSkipMp3DirectShow, &format, &result).empty()) << c.name;
        Bytes pcm = Decode(c.file, 0, &format, &result);
        ASSERT_EQ(result, 0) << c.name;
        EXPECT_EQ(format.nSamplesPerSec, static_cast<DWORD>(c.rate)) << c.name;
        EXPECT_EQ(format.nChannels, 1) << c.name;
        EXPECT_TRUE(pcm == reference) << c.name;

        Handle sound = LoadBytes(c.name, c.file);
        ASSERT_NE(sound, -1) << c.name;
        EXPECT_EQ(GetSoundTotalTime(sound), static_cast<int>(reference.size() / 2 * 1000 / c.rate))
            << c.name;
        DeleteSoundHandle(sound);
    }
}

}  // namespace
