// The operations on one playback buffer of a sound, each over its DirectSound buffer method.
// Create and duplicate refuse a slot that is already valid; every other operation refuses a
// slot that is not.
#pragma once

#include <platform/dsound.h>

#include <cstdint>

#include "sound/sound_state.h"

int SoundBufferCreate(SoundBufferSlot* slot, const DSBUFFERDESC* desc);
// The new buffer shares the source's samples.
int SoundBufferDuplicate(SoundBufferSlot* slot, const SoundBufferSlot* source);
int SoundBufferRelease(SoundBufferSlot* slot);
// Stores the loop flag first; the method's result.
int SoundBufferPlay(SoundBufferSlot* slot, int32_t loop);
int SoundBufferStop(SoundBufferSlot* slot);
// Bit 0 of the status is set while the buffer plays.
int SoundBufferGetStatus(SoundBufferSlot* slot, DWORD* status);
int SoundBufferLock(SoundBufferSlot* slot, uint32_t offset, uint32_t bytes, void** part1,
                    DWORD* bytes1, void** part2, DWORD* bytes2);
int SoundBufferUnlock(SoundBufferSlot* slot, void* part1, DWORD bytes1, void* part2, DWORD bytes2);
int SoundBufferSetFrequency(SoundBufferSlot* slot, int32_t hz);
int SoundBufferSetPan(SoundBufferSlot* slot, int32_t pan);
int SoundBufferSetVolume(SoundBufferSlot* slot, int32_t volume);
int SoundBufferGetPosition(SoundBufferSlot* slot, DWORD* play, DWORD* write);
int SoundBufferSetPosition(SoundBufferSlot* slot, uint32_t bytes);
