// The module state the sound kinds share, and the look-ups that only read it.
#include "sound/sound_state.h"

SoundState gSound;

int32_t FramesToMilliseconds(int64_t frames, int32_t sampleRate) {
    if (sampleRate <= 0) return 0;
    return static_cast<int32_t>(frames * 1000 / sampleRate);
}

SoundRecord* FindSoundRecord(Handle handle, int32_t acceptPending) {
    if (gSound.device == nullptr) return nullptr;
    return reinterpret_cast<SoundRecord*>(acceptPending != 0
                                              ? FindHandleRecord(&gSound.sounds, handle)
                                              : FindUsableHandleRecord(&gSound.sounds, handle));
}

uint8_t SilenceByteOf(const WAVEFORMATEX& format) {
    return format.wBitsPerSample == 8 ? 0x7F : 0;
}
