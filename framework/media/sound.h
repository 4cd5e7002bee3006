// Sound handles and DirectSound playback.
#pragma once

#include <cstdint>

int SetupDirectSound();
int ShutdownDirectSound();
// 1 stops what plays and marks it, 0 restarts what was marked.
int PauseAllSoundHandles(int32_t pause);
int PauseAllSoftSoundPlayers(int32_t pause);
int ProcessSoftSoundPlayers();
