// MP3 through the DirectShow graph: the same PCM as the compression manager's path, the PCM
// block's growth, and the message of each step that fails.
#include "media/mp3_directshow.h"

#include <gtest/gtest.h>
#include <platform/testing.h>

#include <cstring>

#include "app/main_window.h"
#include "core/streams.h"
#include "core/tracked_memory.h"
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

}  // namespace
