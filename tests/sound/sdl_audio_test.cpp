// The program's own host: DirectSound opens SDL2's audio device (the dummy driver unless one is
// chosen), and a sound plays through it to its end, paced by the device; without a device,
// sound set-up fails as on a machine without a sound card.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "app/message_pump.h"
#include "sound/sound_test_support.h"

namespace {

class SdlAudioTest : public SoundFixture {};

TEST_F(SdlAudioTest, ASoundPlaysToItsEndThroughTheSdlAudioDevice) {
    if (std::getenv("SDL_VIDEODRIVER") == nullptr) setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
    TestUseHeadlessHost(false);
    TestUseVirtualClock(false);
    TestSetProcessorCount(2);
    gShell.noGraphics = 1;
    gLibrary.noInput = 1;
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_NE(gSound.device, nullptr) << "SDL2 opened no audio device";
    EXPECT_TRUE(InOrder(Log(), {"ドライバ記述:Primary Sound Driver ", "利用可能チャンネル"}));

    Handle once =
        LoadBytes("sdl.wav", PcmWave(2, 44100, 16, AsBytes(Sine(44100, 8820, {440, 660}))));
    Handle stream = LoadBytes("long.wav", PcmWave(1, 100, 8, Bytes(18100, 0x90)));
    ASSERT_NE(once, -1);
    ASSERT_NE(stream, -1);
    ASSERT_EQ(PlaySoundHandle(once, kPlayBackground, 1), 0);
    ASSERT_EQ(PlaySoundHandle(stream, kPlayLoop, 1), 0);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (IsSoundHandlePlaying(once) == 1 && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(PumpMessages(), 0);
        std::this_thread::yield();
    }
    EXPECT_EQ(IsSoundHandlePlaying(once), 0) << "the device pulled the whole sound";
    EXPECT_EQ(IsSoundHandlePlaying(stream), 1);
    EXPECT_GT(GetSoundCurrentTime(stream), 0) << "the stream thread refilled as it played";
    ASSERT_EQ(ShutdownLibrary(), 0);
    EXPECT_EQ(TestCountSoundBuffers(), 0);
}

// SDL opens no audio output (here: a driver it does not know), so DirectSound's Initialize
// answers DSERR_NODRIVER; the start-up logs that and goes on without sound.
TEST_F(SdlAudioTest, WithoutAnAudioDeviceSoundSetUpFailsAsWithoutASoundCard) {
    if (std::getenv("SDL_VIDEODRIVER") == nullptr) setenv("SDL_VIDEODRIVER", "dummy", 1);
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    const std::string previous = driver != nullptr ? driver : "";
    setenv("SDL_AUDIODRIVER", "orbek-no-such-driver", 1);
    TestUseHeadlessHost(false);
    TestUseVirtualClock(false);
    gShell.noGraphics = 1;
    gLibrary.noInput = 1;
    int started = SetupLibrary();
    if (driver != nullptr) {
        setenv("SDL_AUDIODRIVER", previous.c_str(), 1);
    } else {
        unsetenv("SDL_AUDIODRIVER");
    }
    ASSERT_EQ(started, 0);
    EXPECT_EQ(gSound.device, nullptr);
    EXPECT_TRUE(InOrder(Log(), {"引き続きインターフェースの初期化処理...  初期化に失敗しました\r\n",
                                "エラーコード 88780078\r\n"}));
    EXPECT_EQ(LoadBytes("none.wav", PcmWave(1, 44100, 16, Bytes(64))), -1);
}

}  // namespace
