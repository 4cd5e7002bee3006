// Sound effects on request, and the one place where the game loads, plays, stops and deletes
// its sounds.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

constexpr int32_t kSoundRequestSlots = 256;
constexpr int32_t kSoundEffects = 19;

// Effects the modules request by number (SoundRequest[n] = 1): played once at the end of the
// frame.
enum SoundEffect : int32_t {
    kEffectStrike = 0,
    kEffectPlayerHit = 1,
    kEffectLaser = 2,
    kEffectThud = 3,
    kEffectMechanism = 4,
    kEffectSlide = 5,
    kEffectWhoosh = 6,
    kEffectJump = 7,
    kEffectRingBurst = 8,
    kEffectVoice = 9,
    kEffectSwing = 10,
    kEffectClick = 11,
    kEffectToneDo = 12,
    kEffectToneMi = 13,
    kEffectToneSo = 14,
    kEffectAlarm = 15,
    kEffectSonic = 16,
    kEffectPush = 17,
    kEffectExtraLife = 18,
};

extern int32_t SoundRequest[kSoundRequestSlots];

// Every sound with three buffers, so that an effect can overlap itself.
Handle LoadGameSound(const char* path);
void PlayGameSound(Handle sound, int32_t playType, int32_t fromTop);
void StopGameSound(Handle sound);
void DeleteGameSound(Handle sound);

// Loads effects 0 to 18 in table order into SoundEffectTable.
void LoadSoundEffects();
void ClearSoundRequests();
// Plays each requested effect once, from the top in the background, and clears its request.
void FlushSoundRequests();
