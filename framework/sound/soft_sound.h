// Soft sounds (handle kind 4): PCM held by the framework, and players that feed such PCM into a
// looping buffer of their own. No call of the system creates either; the pause, feeding and
// deletion below are what exists of them.
#pragma once

#include <cstdint>

#include "core/handle_registry.h"
#include "core/ring_buffer.h"
#include "sound/sound_state.h"

struct SoftSoundRecord {
    HandleHeader header;
    int32_t isPlayer;
    WAVEFORMATEX format;
    HandleNode playerNode;  // a non-player keeps its data pointer in playerNode.data instead
    int32_t framesWaiting;  // whole frames in the ring
    RingBuffer ring;        // PCM waiting to be fed
    int32_t systemPauseMark;
    int32_t wasPlayingMark;
    SoundBufferSlot slot;
    int32_t bufferBytes;
    int32_t writeCursor;
    int32_t dataEnd;  // buffer offset where the fed data ran out, -1 none
    int32_t lastPlayCursor;
    int32_t endPassed;  // 1 once the play cursor has passed dataEnd
    int32_t leadBytes;  // how far the write cursor stays ahead of the play cursor
    int32_t playing;    // 1 while the player is fed
};

// The kind's terminate callback.
int TerminateSoftSoundRecord(HandleHeader* record);
// Non-zero for players: the filter of the first retire pass at shutdown, which keeps them.
int IsSoftSoundPlayer(HandleHeader* record);
// 1 stops what plays and marks it, 0 restarts what was marked.
int PauseAllSoftSoundPlayers(int32_t pause);
// Feeds every playing soft-sound player once; the pump calls it when no stream thread runs.
int ProcessSoftSoundPlayers();
