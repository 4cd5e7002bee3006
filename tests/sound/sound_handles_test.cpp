// Sound handles: device start-up and its log, loading, rotating buffers and play types, stop,
// deletion, times, the fall-back to streaming, and the pause that activation drives.
#include <gtest/gtest.h>

#include "app/message_pump.h"
#include "core/handle_registry.h"
#include "sound/soft_sound.h"
#include "sound/sound_buffer_slot.h"
#include "sound/sound_device.h"
#include "sound/sound_test_support.h"

namespace {

class SoundHandlesTest : public SoundFixture {
protected:
    // Stereo samples at 44.1 kHz whose left side counts up from `base`, so that any frame of
    // the output tells where in the sound it came from.
    static Bytes Counting(uint32_t frames, int16_t base = 1000) {
        std::vector<int16_t> samples;
        for (uint32_t i = 0; i < frames; ++i) {
            samples.push_back(static_cast<int16_t>(base + static_cast<int16_t>(i % 20000)));
            samples.push_back(-1000);
        }
        return AsBytes(samples);
    }

    SoundRecord* Record(Handle handle) { return FindSoundRecord(handle, 0); }

    static DWORD Cursor(SoundRecord* record, int slot) {
        DWORD play = 0;
        record->slots[slot].buffer->GetCurrentPosition(&play, nullptr);
        return play;
    }
};

TEST_F(SoundHandlesTest, StartUpWritesTheDeviceLogAndShutdownReleasesEveryBuffer) {
    StartSound();
    EXPECT_EQ(TestCountSoundBuffers(), 1) << "the silent buffer";
    SoundCreateSettings settings;
    ASSERT_EQ(GetSoundCreateSettings(&settings), 0);
    EXPECT_EQ(settings.sourceType, 0);
    EXPECT_EQ(settings.vorbisSampleWidth, 2);
    Handle sound = LoadBytes("a.wav", PcmWave(2, 44100, 16, Counting(441)));
    ASSERT_NE(sound, -1);
    EXPECT_EQ(TestCountSoundBuffers(), 4);
    EXPECT_EQ(PlaySoundHandle(sound, kPlayLoop, 1), 0);
    ASSERT_EQ(ShutdownLibrary(), 0);
    EXPECT_EQ(TestCountSoundBuffers(), 0);
    EXPECT_EQ(gSound.device, nullptr);
    EXPECT_EQ(LoadSoundHandle("a.wav", 1, -1), -1);
    EXPECT_TRUE(InOrder(
        Log(), {"DirectSound の初期化を行います\r\n",
                "DirectSound インターフェースの取得を行います....  成功\r\n",
                "引き続きインターフェースの初期化処理...  成功\r\n",
                "\tDirectSound デバイスを列挙します\r\n",
                "\t\tモジュール名:                 ドライバ記述:Primary Sound Driver "
                "モジュール名:       headless  ドライバ記述:Headless Audio Output ",
                "最大サンプリングレート:200.00KHz 最小サンプリングレート:0.10KHz "
                "総サウンドメモリ領域:0.00KB 空きサウンドメモリ領域:0.00KB \r\n",
                "\t利用可能サンプリング精度\r\n",
                " プライマリ １６bit = OK  ８bit = OK  セカンダリ １６bit = OK  ８bit = OK \r\n",
                "\t利用可能チャンネル\r\n",
                " プライマリ MONO = OK  STEREO = OK  セカンダリ MONO = OK  STEREO = OK \r\n",
                ":DirectSound の初期化は正常に終了しました\r\n",
                "DirectSound の終了処理は正常に終了しました\r\n", "Alloc num:0"}));
}

TEST_F(SoundHandlesTest, TheDeviceLogEndsEarlyWhenTheEnumerationIsMissingButStartUpSucceeds) {
    DSCAPS caps{};
    caps.dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARY8BIT;
    caps.dwMaxSecondarySampleRate = 22050;
    TestSetDirectSoundCaps(&caps);
    TestSetExportMissing("DSOUND.DLL", "DirectSoundEnumerateA", true);
    StartSound();
    std::string log = Log();
    EXPECT_TRUE(
        InOrder(log, {"\t\tDirectSound デバイスの列挙用関数のポインタ取得に失敗しました\r\n",
                      ":DirectSound の初期化は正常に終了しました"}));
    EXPECT_EQ(log.find("最大サンプリングレート"), std::string::npos);
    ASSERT_EQ(ShutdownLibrary(), 0);

    // Started again without the DLL: the log says so, and the indentation is whole again.
    gLibrary = LibraryState{};
    gMainWindow = MainWindowState{};
    gShell.windowed = 1;
    TestSetModuleMissing("DSOUND", true);
    StartSound();
    EXPECT_TRUE(InOrder(Log(), {"\t\tDSOUND.DLL のロードに失敗しました\r\n",
                                ":DirectSound の初期化は正常に終了しました"}));
}

TEST_F(SoundHandlesTest, EachFailingStartStepLogsItsMessageAndLeavesNoDevice) {
    struct Step {
        const char* function;
        int call;
        std::vector<std::string> log;
    };
    const Step steps[] = {
        {"CoCreateInstance", 1, {"DirectSoundインターフェースの作成に失敗しました\r\n"}},
        {"IDirectSound::Initialize", 1, {"初期化に失敗しました\r\n", "エラーコード 88780078\r\n"}},
        {"IDirectSound::SetCooperativeLevel",
         1,
         {"DirectSoundの協調レベルの設定に失敗しました\r\n"}},
        {"IDirectSound::CreateSoundBuffer",
         1,
         {"DirectSoundのプライマリサウンドバッファの作成に失敗しました\r\n"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.function);
        TestFailNthCall(step.function, step.call);
        gLibrary = LibraryState{};
        gMainWindow = MainWindowState{};
        gShell.windowed = 1;
        TestResetSoundLayer();
        gShell.noGraphics = 1;
        gLibrary.noInput = 1;
        ASSERT_EQ(SetupLibrary(), 0);
        EXPECT_EQ(gSound.device, nullptr);
        EXPECT_EQ(TestCountSoundBuffers(), 0);
        EXPECT_TRUE(InOrder(Log(), step.log));
        EXPECT_EQ(PlaySoundHandle(0, 1, 1), -1);
        EXPECT_EQ(PauseAllSoundHandles(1), -1);
        EXPECT_EQ(ShutdownDirectSound(), -1);
        ASSERT_EQ(ShutdownLibrary(), 0);
    }
}

TEST_F(SoundHandlesTest, LaterStartFailuresAreOnlyLogged) {
    TestFailNthCall("IDirectSoundBuffer::SetFormat", 1);
    TestFailNthCall("IDirectSound::CreateSoundBuffer", 2);
    StartSound();
    EXPECT_TRUE(InOrder(
        Log(),
        {"DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました",
         "無音バッファの作成に失敗しました\r\n", "DirectSound の初期化は正常に終了しました"}));
    EXPECT_EQ(gSound.silent, nullptr);
    EXPECT_EQ(TestCountSoundBuffers(), 0);
}

TEST_F(SoundHandlesTest, PlayingOnceIsHeardAtOnceAndEndsTheSound) {
    StartSound();
    Bytes samples = Counting(4410);
    Handle sound = LoadBytes("once.wav", PcmWave(2, 44100, 16, samples), 1);
    ASSERT_NE(sound, -1);
    EXPECT_EQ(GetSoundTotalTime(sound), 100);
    Advance(20);
    TakeLeft();
    ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 1), 0);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
    Advance(50);
    EXPECT_EQ(GetSoundCurrentTime(sound), 50);
    Advance(100);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
    std::vector<int16_t> heard = TakeLeft();
    ASSERT_GE(heard.size(), 4410u + 100);
    EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + 4410),
              LeftChannel(AsSamples(samples)));
    EXPECT_EQ(LastLoudFrame(heard, 0), 4409);
    EXPECT_EQ(PlaySoundHandle(sound + 1, 1, 1), -1);
    EXPECT_EQ(IsSoundHandlePlaying(sound + 1), -1);
    EXPECT_EQ(GetSoundTotalTime(-1), -1);
}

TEST_F(SoundHandlesTest, AFourthPlayOfAThreeBufferSoundRestartsTheOldestFromTheTop) {
    StartSound();
    Handle sound = LoadBytes("three.wav", PcmWave(2, 44100, 16, Counting(44100)), 3);
    SoundRecord* record = Record(sound);
    ASSERT_EQ(record->bufferCount, 3);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 1), 0);
        Advance(10);
    }
    // Buffers 1, 2, 0 started 30, 20 and 10 ms ago: the next in turn is the oldest.
    EXPECT_EQ(record->currentBuffer, 0);
    EXPECT_EQ(Cursor(record, 1), 441u * 4 * 3);
    ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 1), 0);
    EXPECT_EQ(record->currentBuffer, 1);
    EXPECT_EQ(Cursor(record, 1), 0u) << "from-top 1 restarts the oldest";
    ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 0), 0);
    EXPECT_EQ(record->currentBuffer, 2);
    EXPECT_EQ(Cursor(record, 2), 441u * 4 * 2) << "from-top 0 leaves a playing buffer alone";
    EXPECT_EQ(Cursor(record, 0), 441u * 4);
    EXPECT_EQ(StopSoundHandle(sound), 0);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
}

TEST_F(SoundHandlesTest, WithOneBufferFromTopZeroResumesWhereTheSoundStood) {
    StartSound();
    Handle sound = LoadBytes("one.wav", PcmWave(2, 44100, 16, Counting(44100)), 1);
    SoundRecord* record = Record(sound);
    ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 1), 0);
    Advance(30);
    EXPECT_EQ(PlaySoundHandle(sound, kPlayBackground, 0), 0);
    EXPECT_EQ(Cursor(record, 0), 441u * 4 * 3);
    ASSERT_EQ(StopSoundHandle(sound), 0);
    Advance(30);
    TakeLeft();
    ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 0), 0);
    Advance(10);
    std::vector<int16_t> heard = TakeLeft();
    EXPECT_EQ(heard[0], 1000 + 1323) << "resumed where it stopped";
    ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 1), 0);
    EXPECT_EQ(Cursor(record, 0), 0u);
}

TEST_F(SoundHandlesTest, OnlyPlayTypeThreeLoopsAndItsWrapIsSeamless) {
    StartSound();
    Bytes samples = Counting(300);
    Handle sound = LoadBytes("loop.wav", PcmWave(2, 44100, 16, samples), 1);
    TakeLeft();
    ASSERT_EQ(PlaySoundHandle(sound, 2, 1), 0);
    Advance(20);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0) << "type 2 plays once";
    TakeLeft();
    ASSERT_EQ(PlaySoundHandle(sound, kPlayLoop, 1), 0);
    Advance(30);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
    std::vector<int16_t> heard = TakeLeft();
    std::vector<int16_t> one = LeftChannel(AsSamples(samples));
    ASSERT_EQ(heard.size(), 1323u);
    for (size_t i = 0; i < heard.size(); ++i) ASSERT_EQ(heard[i], one[i % 300]) << i;
}

TEST_F(SoundHandlesTest, PlayTypeZeroReturnsOnceTheSoundHasEnded) {
    StartSound();
    Handle sound = LoadBytes("wait.wav", PcmWave(2, 44100, 16, Counting(4410)), 1);
    uint32_t before = timeGetTime();
    ASSERT_EQ(PlaySoundHandle(sound, kPlayWait, 1), 0);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
    EXPECT_GE(timeGetTime() - before, 100u);
    EXPECT_LT(timeGetTime() - before, 200u);
}

TEST_F(SoundHandlesTest, DeactivationPausesWhatPlaysAndActivationResumesIt) {
    StartSound();
    Handle looping = LoadBytes("loop.wav", PcmWave(2, 44100, 16, Counting(44100)), 1);
    Handle idle = LoadBytes("idle.wav", PcmWave(2, 44100, 16, Counting(4410)), 1);
    Handle stopped = LoadBytes("stop.wav", PcmWave(2, 44100, 16, Counting(44100, 5000)), 1);
    ASSERT_EQ(PlaySoundHandle(looping, kPlayLoop, 1), 0);
    ASSERT_EQ(PlaySoundHandle(stopped, kPlayLoop, 1), 0);
    Advance(20);
    HostEvent lost;
    lost.kind = HostEventKind::FocusLost;
    TestHostPushEvent(GetMainHwnd(), lost);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(IsSoundHandlePlaying(looping), 0);
    SoundRecord* record = Record(looping);
    EXPECT_EQ(record->systemPauseMark[0], 1);
    EXPECT_EQ(record->wasPlayingMark[0], 1);
    EXPECT_EQ(Record(idle)->wasPlayingMark[0], 0);
    // Stopped by the program meanwhile, it stays stopped.
    ASSERT_EQ(StopSoundHandle(stopped), 0);
    Advance(50);
    TakeLeft();
    HostEvent gained;
    gained.kind = HostEventKind::FocusGained;
    TestHostPushEvent(GetMainHwnd(), gained);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(IsSoundHandlePlaying(looping), 1);
    EXPECT_EQ(IsSoundHandlePlaying(idle), 0);
    EXPECT_EQ(IsSoundHandlePlaying(stopped), 0);
    EXPECT_EQ(record->systemPauseMark[0], 0);
    Advance(10);
    std::vector<int16_t> heard = TakeLeft();
    int64_t first = FirstLoudFrame(heard, 0);
    ASSERT_GE(first, 0);
    EXPECT_EQ(heard[static_cast<size_t>(first)], 1000 + 882) << "resumed where it was paused";
}

TEST_F(SoundHandlesTest, ASoundWithoutBuffersNeverPlaysAndBufferCountsAreBounded) {
    StartSound();
    Handle none = LoadBytes("none.wav", PcmWave(2, 44100, 16, Counting(441)), 0);
    ASSERT_NE(none, -1);
    EXPECT_EQ(Record(none)->bufferCount, 0);
    EXPECT_EQ(PlaySoundHandle(none, kPlayBackground, 1), -1);
    EXPECT_EQ(IsSoundHandlePlaying(none), 0);
    EXPECT_EQ(StopSoundHandle(none), 0);

    Handle many = LoadBytes("many.wav", PcmWave(2, 44100, 16, Counting(441)), 25);
    EXPECT_EQ(Record(many)->bufferCount, 10);
    Bytes image = PcmWave(2, 44100, 16, Counting(441));
    Handle direct = IssueHandle(&gSound.sounds, -1);
    EXPECT_EQ(LoadSoundFromMemoryImage(direct, &gSound.createSettings, image.data(),
                                       static_cast<uint32_t>(image.size()), 11, -1, 0),
              -1);
    EXPECT_EQ(LoadSoundFromMemoryImage(direct, &gSound.createSettings, image.data(),
                                       static_cast<uint32_t>(image.size()), -1, -1, 0),
              -1);
}

TEST_F(SoundHandlesTest, SoundsOf181SecondsOrMoreStreamAndShorterOnesStayStatic) {
    StartSound();
    Handle longer = LoadBytes("long.wav", PcmWave(1, 100, 8, Bytes(18100, 0x90)), 3);
    Handle shorter = LoadBytes("short.wav", PcmWave(1, 100, 8, Bytes(18090, 0x90)), 3);
    ASSERT_NE(longer, -1);
    ASSERT_NE(shorter, -1);
    EXPECT_EQ(Record(longer)->streamFlag, 1);
    EXPECT_EQ(Record(longer)->bufferCount, 1);
    EXPECT_EQ(Record(longer)->streamBufferBytes, 100);
    EXPECT_EQ(GetSoundTotalTime(longer), 181000);
    EXPECT_EQ(Record(shorter)->streamFlag, 0);
    EXPECT_EQ(Record(shorter)->bufferCount, 3);
    EXPECT_EQ(GetSoundTotalTime(shorter), 180900);
}

TEST_F(SoundHandlesTest, BufferCreationFallsBackAndDuplicatesThatFailLeaveFewerBuffers) {
    StartSound();
    TestFailNthCall("IDirectSound::CreateSoundBuffer", 1);
    Handle fallback = LoadBytes("f.wav", PcmWave(2, 44100, 16, Counting(441)), 1);
    ASSERT_NE(fallback, -1);
    SoundRecord* record = Record(fallback);
    EXPECT_EQ(record->streamFlag, 0);
    EXPECT_EQ(SoundBufferSetFrequency(&record->slots[0], 22050), -1) << "made without it";

    TestFailNthCall("IDirectSound::DuplicateSoundBuffer", 2);
    Handle fewer = LoadBytes("d.wav", PcmWave(2, 44100, 16, Counting(441)), 3);
    EXPECT_EQ(Record(fewer)->bufferCount, 2);

    // A size the device refuses fails both attempts.
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    Handle empty = IssueHandle(&gSound.sounds, -1);
    EXPECT_EQ(CreateSoundBuffers(-1, &format, 2, 0, 3, empty, 0), -1);
    EXPECT_TRUE(InOrder(Log(), {"DirectSoundBuffer の作成に失敗しました\r\n"}));
    EXPECT_EQ(Record(empty)->bufferCount, 0);

    // Sharing another sound's buffers duplicates its first.
    ASSERT_EQ(CreateSoundBuffers(fewer, nullptr, 0, 0, 2, empty, 0), 0);
    EXPECT_EQ(Record(empty)->bufferCount, 2);
    EXPECT_EQ(CreateSoundBuffers(fewer, nullptr, 0, 1, 1, empty, 0), -1);
}

TEST_F(SoundHandlesTest, LoadFailuresAreLoggedAndRetireTheHandle) {
    StartSound();
    EXPECT_EQ(LoadSoundHandle("missing.wav", 1, -1), -1);
    EXPECT_EQ(LoadBytes("junk.wav", Bytes(64, 0x11), 1), -1);
    TestFailNthCall("IDirectSoundBuffer::Lock", 1);
    EXPECT_EQ(LoadBytes("lock.wav", PcmWave(2, 44100, 16, Counting(441)), 1), -1);
    TestFailNthCall("IDirectSoundBuffer::Unlock", 1);
    EXPECT_EQ(LoadBytes("unlock.wav", PcmWave(2, 44100, 16, Counting(441)), 1), -1);
    EXPECT_EQ(gSound.sounds.liveCount, 0);
    EXPECT_EQ(TestCountSoundBuffers(), 1);
    EXPECT_TRUE(InOrder(Log(), {"右記のファイルのオープンに失敗しました：missing.wav\r\n",
                                "右記の音声ファイルのロードに失敗しました_1：missing.wav\r\n",
                                "音声ファイルのＰＣＭへの変換に失敗しました\r\n",
                                "右記の音声ファイルのロードに失敗しました_2：junk.wav\r\n",
                                "サウンドデータの転送に失敗しました_1\r\n",
                                "サウンドデータの転送に失敗しました_2\r\n"}));
}

TEST_F(SoundHandlesTest, DeletingAPlayingSoundStopsItAndFreesItsBuffers) {
    StartSound();
    Handle sound = LoadBytes("del.wav", PcmWave(2, 44100, 16, Counting(4410)), 2);
    ASSERT_EQ(PlaySoundHandle(sound, kPlayLoop, 1), 0);
    Advance(10);
    EXPECT_EQ(TestCountSoundBuffers(), 3);
    ASSERT_EQ(DeleteSoundHandle(sound), 0);
    EXPECT_EQ(TestCountSoundBuffers(), 1);
    EXPECT_EQ(IsSoundHandlePlaying(sound), -1);
    TakeLeft();
    Advance(10);
    EXPECT_EQ(LastLoudFrame(TakeLeft(), 0), -1);
    EXPECT_EQ(DeleteSoundHandle(sound), -1);
}

TEST_F(SoundHandlesTest, SoftSoundPlayersAreFedFromTheirRingAndPausedWithTheWindow) {
    StartSound();
    Handle handle = IssueHandle(&gSound.softSounds, -1);
    auto* player = reinterpret_cast<SoftSoundRecord*>(FindHandleRecord(&gSound.softSounds, handle));
    ASSERT_NE(player, nullptr);
    player->isPlayer = 1;
    player->format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    player->bufferBytes = 4410 * 4;
    player->leadBytes = 882 * 4;
    player->dataEnd = -1;
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0, static_cast<DWORD>(player->bufferBytes), 0,
                      &player->format,      {}};
    ASSERT_EQ(SoundBufferCreate(&player->slot, &desc), 0);
    InitRingBuffer(&player->ring);
    Bytes fed = Counting(441, 3000);
    ASSERT_EQ(ReserveRingBuffer(&player->ring, static_cast<int>(fed.size())), 0);
    std::copy(fed.begin(), fed.end(), player->ring.buffer + player->ring.end);
    player->ring.end += static_cast<int>(fed.size());
    player->ring.stored += static_cast<int>(fed.size());
    InsertHandleNode(&gSound.playerHead, &player->playerNode, handle, player);
    player->playing = 1;
    ASSERT_EQ(ProcessSoftSoundPlayers(), 0);
    EXPECT_EQ(player->writeCursor, 882 * 4);
    EXPECT_EQ(player->dataEnd, 441 * 4) << "the data ran out halfway";
    ASSERT_EQ(SoundBufferPlay(&player->slot, 1), 0);
    TakeLeft();
    Advance(5, 5);
    ProcessSoftSoundPlayers();
    EXPECT_EQ(player->endPassed, 0);
    Advance(20, 5);
    ProcessSoftSoundPlayers();
    EXPECT_EQ(player->endPassed, 1) << "the play cursor has passed where the data ran out";
    std::vector<int16_t> heard = TakeLeft();
    EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + 441),
              LeftChannel(AsSamples(fed)));
    EXPECT_EQ(heard[441], 0);

    ASSERT_EQ(PauseAllSoftSoundPlayers(1), 0);
    DWORD status = 0;
    SoundBufferGetStatus(&player->slot, &status);
    EXPECT_EQ(status & DSBSTATUS_PLAYING, 0u);
    ASSERT_EQ(PauseAllSoftSoundPlayers(0), 0);
    SoundBufferGetStatus(&player->slot, &status);
    EXPECT_NE(status & DSBSTATUS_PLAYING, 0u);
    ASSERT_EQ(ShutdownLibrary(), 0);
    EXPECT_EQ(TestCountSoundBuffers(), 0);
}

}  // namespace
