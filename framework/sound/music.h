// Music handles (kind 5): MIDI music through MCI, and the current-music slot that can name a
// sound or a music handle started on the caller's behalf. Nothing in the system creates music;
// what runs is the servicing that the window, the pump and shutdown call.
#pragma once

#include <platform/mmsystem.h>
#include <platform/win32_user.h>

#include <cstdint>

#include "core/handle_registry.h"

struct MusicRecord {
    HandleHeader header;
    int32_t playing;
    int32_t started;
    int32_t volume;  // 255 when issued
    uint8_t* midiData;
    uint32_t midiBytes;
    // The loaded segment of the music engine. The layer has no DirectMusic, so it stays null.
    void* segment;
};

// MCI playback and the current-music slot. Whatever starts MIDI playback keeps to these: the
// loop flag drives the replay on notification, the temporary file goes on stop and shutdown.
struct MusicState {
    MCIDEVICEID deviceId;
    int32_t loop;  // 1: replay when MCI reports the end
    int32_t mciPlaying;
    Handle current;  // 0: none
    int32_t currentIsSound;
    char temporaryFile[260];
    int32_t temporaryFileExists;
};
extern MusicState gMusic;

int InitMusicRecord(HandleHeader* record);
int TerminateMusicRecord(HandleHeader* record);
// MCI's notification: replays when looping, else closes the device once it has played.
int HandleMciMusicNotify();
// MM_MCINOTIFY as the window procedure receives it.
int HandleMciNotify(WPARAM wParam, LPARAM lParam);
int UpdateMusicPlayFlags();
int StopMusicHandle(Handle handle);
int IsMusicHandlePlaying(Handle handle);
int StopCurrentMusic();
// Deletes the temporary MIDI file when one was written.
int DeleteMusicTemporaryFile();
