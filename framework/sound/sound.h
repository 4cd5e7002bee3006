// Sound handles: loading sounds into static buffers (or streams when too long), playing them
// through rotating buffers, the system pause, and the kind's callbacks that the sound device
// registers.
#pragma once

#include <orbek/orbek.h>
#include <platform/dsound.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "sound/sound_state.h"

int InitSoundRecord(HandleHeader* header);
int TerminateSoundRecord(HandleHeader* header);

Handle LoadSoundHandleWithSettings(const SoundCreateSettings* settings, const char* path,
                                   int32_t bufferCount, Handle shareSource, int32_t async,
                                   int32_t onWorker);
int GetSoundCreateSettings(SoundCreateSettings* settings);
// 1 stops what plays and marks it, 0 restarts what was marked.
int PauseAllSoundHandles(int32_t pause);

// Used by the stream sounds and the movie player.
int CreateSoundBuffers(Handle shareFrom, const WAVEFORMATEX* format, uint32_t dataBytes,
                       int32_t streamFlag, int32_t count, Handle handle, int32_t onWorker);
int LoadSoundFromMemoryImage(Handle handle, const SoundCreateSettings* settings, const void* image,
                             uint32_t imageBytes, int32_t bufferCount, Handle shareSource,
                             int32_t onWorker);
// Waits, pumping messages, until the sound stops or the program must end.
void WaitForSoundEnd(Handle handle);
