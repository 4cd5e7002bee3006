// Music handles: the MCI notification (replay while looping, else close), the stop and status
// of music and of the current-music slot, and the kind's callbacks. No call creates music, so
// over an empty table these do nothing visible.
#include "sound/music.h"

#include <orbek/orbek.h>
#include <platform/win32.h>

#include "core/platform_dlls.h"
#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "core/tracked_memory.h"
#include "sound/sound_state.h"

MusicState gMusic = {};

namespace {

constexpr int32_t kPumpsAfterClose = 5;

void SendMciCommand(UINT message, DWORD_PTR flags, void* parameters) {
    if (gPlatformDlls.mciSendCommandA == nullptr) return;
    gPlatformDlls.mciSendCommandA(gMusic.deviceId, message, flags,
                                  reinterpret_cast<DWORD_PTR>(parameters));
}

MusicRecord* FindMusicRecord(Handle handle) {
    if (gSound.device == nullptr) return nullptr;
    return reinterpret_cast<MusicRecord*>(FindUsableHandleRecord(&gSound.music, handle));
}

}  // namespace

int InitMusicRecord(HandleHeader* record) {
    reinterpret_cast<MusicRecord*>(record)->volume = 255;
    return 0;
}

int TerminateMusicRecord(HandleHeader* header) {
    MusicRecord* record = reinterpret_cast<MusicRecord*>(header);
    if (IsMusicHandlePlaying(record->header.handle) == 1) StopMusicHandle(record->header.handle);
    if (record->midiData != nullptr) {
        FillBytes(record->midiData, 0, record->midiBytes);
        FreeMemory(record->midiData);
        record->midiData = nullptr;
    }
    return 0;
}

int HandleMciMusicNotify() {
    if (gMusic.loop == 1) {
        MCI_PLAY_PARMS play{};
        play.dwCallback = reinterpret_cast<DWORD_PTR>(GetMainHwnd());
        play.dwFrom = 0;
        SendMciCommand(MCI_PLAY, MCI_NOTIFY | MCI_FROM, &play);
        gMusic.mciPlaying = 1;
    } else if (gMusic.mciPlaying != 0) {
        SendMciCommand(MCI_CLOSE, 0, nullptr);
        gMusic.mciPlaying = 0;
    }
    return 0;
}

int HandleMciNotify(WPARAM wParam, LPARAM lParam) {
    return HandleMciMusicNotify();
}

// Only the music engine's segments have play flags to update; MCI music has none.
int UpdateMusicPlayFlags() {
    return gSound.device == nullptr || gSound.music.setUp == 0 ? -1 : 0;
}

int StopMusicHandle(Handle handle) {
    if (FindMusicRecord(handle) == nullptr) return -1;
    if (gMusic.current != 0 && gMusic.currentIsSound != 0) {
        StopSoundHandle(gMusic.current);
        RetireHandle(&gSound.sounds, gMusic.current);
        gMusic.current = 0;
        return 0;
    }
    gMusic.loop = 0;
    HandleMciMusicNotify();
    for (int32_t i = 0; i < kPumpsAfterClose; ++i) PumpMessagesUnlocked();
    DeleteMusicTemporaryFile();
    // The pumping may have run code that retired the handle.
    if (MusicRecord* record = FindMusicRecord(handle)) {
        record->playing = 0;
        record->started = 0;
    }
    return 0;
}

int IsMusicHandlePlaying(Handle handle) {
    if (FindMusicRecord(handle) == nullptr) return -1;
    if (gMusic.current != 0 && gMusic.currentIsSound != 0) {
        return IsSoundHandlePlaying(gMusic.current);
    }
    return gMusic.mciPlaying;
}

int StopCurrentMusic() {
    if (gMusic.current != 0) {
        if (gMusic.currentIsSound != 0) {
            StopSoundHandle(gMusic.current);
            RetireHandle(&gSound.sounds, gMusic.current);
        } else {
            StopMusicHandle(gMusic.current);
            RetireHandle(&gSound.music, gMusic.current);
        }
    }
    gMusic.current = 0;
    gMusic.currentIsSound = 0;
    return 0;
}

int DeleteMusicTemporaryFile() {
    if (gMusic.temporaryFileExists != 0) {
        DeleteFileA(gMusic.temporaryFile);
        gMusic.temporaryFileExists = 0;
    }
    return 0;
}
