// Music handles: the MCI notification, the current-music slot, stopping and status, and the
// kind's callbacks, with the commands MCI received.
#include "sound/music.h"

#include <gtest/gtest.h>
#include <platform/win32_user.h>

#include "core/handle_registry.h"
#include "core/tracked_memory.h"
#include "sound/sound_test_support.h"

namespace {

class MusicTest : public SoundFixture {
protected:
    void SetUp() override {
        SoundFixture::SetUp();
        gMusic = MusicState{};
        StartSound();
        TestTakeMciCommands();
    }

    void TearDown() override {
        gMusic = MusicState{};
        SoundFixture::TearDown();
    }

    MusicRecord* Record(Handle handle) {
        return reinterpret_cast<MusicRecord*>(FindHandleRecord(&gSound.music, handle));
    }
};

TEST_F(MusicTest, WithNothingPlayingTheServicingSendsNothing) {
    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_EQ(HandleMciMusicNotify(), 0);
    EXPECT_EQ(UpdateMusicPlayFlags(), 0);
    EXPECT_TRUE(TestTakeMciCommands().empty());
    EXPECT_EQ(gMusic.mciPlaying, 0);
}

TEST_F(MusicTest, TheNotificationReplaysWhileLoopingAndClosesOnceDone) {
    gMusic.deviceId = 7;
    gMusic.loop = 1;
    // MCI's notification reaches the window procedure as MM_MCINOTIFY.
    SendMessageA(GetMainHwnd(), MM_MCINOTIFY, 1, 7);
    std::vector<TestMciCommand> sent = TestTakeMciCommands();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].device, 7u);
    EXPECT_EQ(sent[0].message, MCI_PLAY);
    EXPECT_EQ(sent[0].flags, MCI_NOTIFY | MCI_FROM);
    EXPECT_EQ(sent[0].from, 0u);
    EXPECT_EQ(sent[0].callback, reinterpret_cast<DWORD_PTR>(GetMainHwnd()));
    EXPECT_EQ(gMusic.mciPlaying, 1);

    gMusic.loop = 0;
    EXPECT_EQ(HandleMciMusicNotify(), 0);
    sent = TestTakeMciCommands();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].message, MCI_CLOSE);
    EXPECT_EQ(gMusic.mciPlaying, 0);
}

TEST_F(MusicTest, StoppingMusicClosesTheDeviceDeletesTheTemporaryFileAndClearsTheRecord) {
    Handle music = IssueHandle(&gSound.music, -1);
    ASSERT_NE(music, -1);
    MusicRecord* record = Record(music);
    EXPECT_EQ(record->volume, 255);
    record->playing = 1;
    record->started = 1;
    gMusic.mciPlaying = 1;
    gMusic.loop = 1;
    std::string temporary = directory_ + "/music.mid";
    WriteFile(temporary, Bytes(16, 1));
    CopyStringMax(gMusic.temporaryFile, temporary.c_str(), sizeof gMusic.temporaryFile - 1);
    gMusic.temporaryFileExists = 1;
    EXPECT_EQ(IsMusicHandlePlaying(music), 1);

    EXPECT_EQ(StopMusicHandle(music), 0);
    EXPECT_EQ(gMusic.loop, 0);
    EXPECT_EQ(IsMusicHandlePlaying(music), 0);
    EXPECT_EQ(record->playing, 0);
    EXPECT_EQ(record->started, 0);
    EXPECT_EQ(gMusic.temporaryFileExists, 0);
    EXPECT_NE(access(temporary.c_str(), F_OK), 0) << "deleted";
    std::vector<TestMciCommand> sent = TestTakeMciCommands();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].message, MCI_CLOSE);
    EXPECT_EQ(StopMusicHandle(music + 1), -1);
    EXPECT_EQ(IsMusicHandlePlaying(-1), -1);
}

TEST_F(MusicTest, ASoundInTheCurrentMusicSlotIsAskedStoppedAndRetired) {
    Handle music = IssueHandle(&gSound.music, -1);
    Handle sound = LoadBytes("music.wav", PcmWave(2, 44100, 16, Bytes(4 * 44100, 1)), 1);
    ASSERT_EQ(PlaySoundHandle(sound, kPlayLoop, 1), 0);
    gMusic.current = sound;
    gMusic.currentIsSound = 1;
    EXPECT_EQ(IsMusicHandlePlaying(music), 1);
    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_EQ(gMusic.current, 0);
    EXPECT_EQ(IsSoundHandlePlaying(sound), -1) << "retired";
    EXPECT_TRUE(TestTakeMciCommands().empty());
}

TEST_F(MusicTest, RetiringMusicFreesItsDataAndShutdownLeavesNoMemoryBehind) {
    Handle music = IssueHandle(&gSound.music, -1);
    MusicRecord* record = Record(music);
    record->midiBytes = 64;
    record->midiData = static_cast<uint8_t*>(AllocMemory(64, __FILE__, __LINE__));
    ASSERT_EQ(RetireHandle(&gSound.music, music), 0);
    EXPECT_EQ(gSound.music.liveCount, 0);
    IssueHandle(&gSound.music, -1);
    ASSERT_EQ(ShutdownLibrary(), 0);
    EXPECT_EQ(UpdateMusicPlayFlags(), -1);
    EXPECT_TRUE(InOrder(Log(), {"Alloc memory dump", "Alloc num:0"}));
}

}  // namespace
