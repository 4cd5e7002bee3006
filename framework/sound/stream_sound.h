// Stream sounds: a sound record with the stream flag set plays through one looped buffer of
// one second that is refilled ahead of the play cursor from up to three sources, each played
// a number of times; several stream sounds may share one buffer, one playing at a time.
#pragma once

#include <cstdint>

#include "core/streams.h"
#include "sound/sound_state.h"

// Adds a source; the first one makes (or shares) the stream buffer. `callerMayClose` is 1 when
// the caller may close its stream, 0 when the sound keeps reading it (type 3).
int AddStreamSound(const SoundCreateSettings* settings, const StreamReader* reader,
                   int32_t loopCount, Handle handle, int32_t sourceType, int32_t* callerMayClose,
                   Handle shareSource, int32_t onWorker);
int AddStreamSoundFromFile(const SoundCreateSettings* settings, const char* path, int32_t loopCount,
                           Handle handle, int32_t sourceType, Handle shareSource, int32_t onWorker);
int AddStreamSoundFromMemory(const SoundCreateSettings* settings, const void* image,
                             uint32_t imageBytes, int32_t loopCount, Handle handle,
                             int32_t sourceType, Handle shareSource, int32_t onWorker);
// The WAVE file image of a format and its data, in a new tracked block.
int BuildWaveImage(const WAVEFORMATEX* format, uint32_t formatBytes, const void* data,
                   uint32_t dataBytes, uint8_t** image, uint32_t* imageBytes);
// Makes the first fill of a sound that is neither primed nor (unless on a worker) playing.
int RewindStreamSound(Handle handle, int32_t onWorker);
int PlayStreamSound(Handle handle, int32_t playType, int32_t fromTop);
int StopStreamSound(Handle handle);
int IsStreamSoundPlaying(Handle handle);
int GetStreamSoundCurrentTime(Handle handle);
// The slot of the buffer the sound plays through. With takeOver 1 a sound that uses the
// buffer now is stopped; with 0 the call then fails.
int GetStreamPlaybackSlot(Handle handle, SoundRecord* record, SoundBufferSlot** slot,
                          int32_t takeOver);
// One refill step of one sound; -1 when nothing could be written.
int FillStreamBuffer(Handle handle, int32_t onWorker);
// One refill step of every primed stream sound.
int RefillStreamSounds();
// The stream sounds' refill and the soft-sound players, once: the stream thread's pass, and
// the pump's while no stream thread runs; 0.
int ServiceStreamSounds();
// The stream part of the sound kind's terminate callback; 1 keeps the record (others still
// share its buffer).
int TerminateStreamSound(SoundRecord* record);
void StreamSoundThreadProc(ThreadRecord* thread, uintptr_t argument);
