// The sound-effect table and its requests, and the game's sound calls with their replay hook.
#include "game_sounds.h"

#include "game_assets.h"
#include "test_hooks.h"

int32_t SoundRequest[kSoundRequestSlots];

namespace {

constexpr int32_t kSoundBuffers = 3;

const char* const kSoundEffectFiles[kSoundEffects] = {
    "sound/tm2_swing006.wav", "sound/bom01.wav",        "sound/tm2_laser002.wav",
    "sound/bosu03.wav",       "sound/mecha23_b.wav",    "sound/tm2_slidedoor000.wav",
    "sound/smoke03.wav",      "sound/jump00.wav",       "sound/fm006.wav",
    "sound/voice011.wav",     "sound/swing41.wav",      "sound/kachi39.wav",
    "sound/do.wav",           "sound/mi.wav",           "sound/so.wav",
    "sound/alarm00.wav",      "sound/tm2_sonic004.wav", "sound/push10.wav",
    "sound/power19.wav",
};

}  // namespace

Handle LoadGameSound(const char* path) {
    Handle sound = LoadSoundHandle(path, kSoundBuffers, -1);
    TestHookSoundLoaded(path, sound);
    return sound;
}

void PlayGameSound(Handle sound, int32_t playType, int32_t fromTop) {
    TestHookSoundCall(GameSoundCall::Play, sound, playType, fromTop);
    PlaySoundHandle(sound, playType, fromTop);
}

void StopGameSound(Handle sound) {
    TestHookSoundCall(GameSoundCall::Stop, sound, 0, 0);
    StopSoundHandle(sound);
}

void DeleteGameSound(Handle sound) {
    TestHookSoundCall(GameSoundCall::Delete, sound, 0, 0);
    DeleteSoundHandle(sound);
}

void LoadSoundEffects() {
    for (int32_t n = 0; n < kSoundEffects; ++n) {
        gAssets.SoundEffectTable[n] = LoadGameSound(kSoundEffectFiles[n]);
    }
}

void ClearSoundRequests() {
    for (int32_t& request : SoundRequest) request = 0;
}

void FlushSoundRequests() {
    for (int32_t n = 0; n < kSoundRequestSlots; ++n) {
        if (SoundRequest[n] != 1) continue;
        // Numbers without an effect are cleared but never played.
        if (n < kSoundEffects) PlayGameSound(gAssets.SoundEffectTable[n], kPlayBackground, 1);
        SoundRequest[n] = 0;
    }
}
