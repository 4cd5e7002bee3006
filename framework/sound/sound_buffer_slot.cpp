// The playback-buffer operations of the sound handles: thin wrappers that keep a slot's valid
// flag and its last loop flag beside the DirectSound buffer, and turn results into 0 / -1.
#include "sound/sound_buffer_slot.h"

namespace {

int Result(HRESULT result) {
    return SUCCEEDED(result) ? 0 : -1;
}

}  // namespace

int SoundBufferCreate(SoundBufferSlot* slot, const DSBUFFERDESC* desc) {
    if (slot->valid != 0 || gSound.device == nullptr) return -1;
    IDirectSoundBuffer* buffer = nullptr;
    if (FAILED(gSound.device->CreateSoundBuffer(desc, &buffer, nullptr))) return -1;
    slot->buffer = buffer;
    slot->valid = 1;
    return 0;
}

int SoundBufferDuplicate(SoundBufferSlot* slot, const SoundBufferSlot* source) {
    if (slot->valid != 0 || source->valid == 0 || gSound.device == nullptr) return -1;
    IDirectSoundBuffer* buffer = nullptr;
    if (FAILED(gSound.device->DuplicateSoundBuffer(source->buffer, &buffer))) return -1;
    slot->buffer = buffer;
    slot->valid = 1;
    return 0;
}

int SoundBufferRelease(SoundBufferSlot* slot) {
    if (slot->valid == 0) return -1;
    slot->buffer->Release();
    slot->buffer = nullptr;
    slot->valid = 0;
    return 0;
}

int SoundBufferPlay(SoundBufferSlot* slot, int32_t loop) {
    if (slot->valid == 0) return -1;
    slot->loop = loop;
    return Result(slot->buffer->Play(0, 0, loop != 0 ? DSBPLAY_LOOPING : 0));
}

int SoundBufferStop(SoundBufferSlot* slot) {
    if (slot->valid == 0) return -1;
    return Result(slot->buffer->Stop());
}

int SoundBufferGetStatus(SoundBufferSlot* slot, DWORD* status) {
    if (slot->valid == 0) return -1;
    return Result(slot->buffer->GetStatus(status));
}

int SoundBufferLock(SoundBufferSlot* slot, uint32_t offset, uint32_t bytes, void** part1,
                    DWORD* bytes1, void** part2, DWORD* bytes2) {
    if (slot->valid == 0) return -1;
    return Result(slot->buffer->Lock(offset, bytes, part1, bytes1, part2, bytes2, 0));
}

int SoundBufferUnlock(SoundBufferSlot* slot, void* part1, DWORD bytes1, void* part2, DWORD bytes2) {
    if (slot->valid == 0) return -1;
    return Result(slot->buffer->Unlock(part1, bytes1, part2, bytes2));
}

int SoundBufferSetFrequency(SoundBufferSlot* slot, int32_t hz) {
    if (slot->valid == 0) return -1;
    return Result(slot->buffer->SetFrequency(static_cast<DWORD>(hz)));
}

int SoundBufferSetPan(SoundBufferSlot* slot, int32_t pan) {
    if (slot->valid == 0) return -1;
    return Result(slot->buffer->SetPan(pan));
}

int SoundBufferSetVolume(SoundBufferSlot* slot, int32_t volume) {
    if (slot->valid == 0) return -1;
    return Result(slot->buffer->SetVolume(volume));
}

int SoundBufferGetPosition(SoundBufferSlot* slot, DWORD* play, DWORD* write) {
    if (slot->valid == 0) return -1;
    return Result(slot->buffer->GetCurrentPosition(play, write));
}

int SoundBufferSetPosition(SoundBufferSlot* slot, uint32_t bytes) {
    if (slot->valid == 0) return -1;
    return Result(slot->buffer->SetCurrentPosition(bytes));
}
