// The program's own host: DirectSound opens SDL2's audio device (the dummy driver unless one is
// chosen), and a sound plays through it to its end, paced by the device.
#include <gtest/gtest.h>

#include <cstdlib>
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

}  // namespace
