// The seams through which the tests replay the game. The program is built without
// BROVANE_TEST_HOOKS and every hook is an empty inline call; the tests build the game's modules
// again with it and define the hooks in their replay driver (tests/game/replay.cpp).
#pragma once

#include <orbek/orbek.h>

enum class GameSoundCall { Play, Stop, Delete };

#ifdef BROVANE_TEST_HOOKS

// Before every PumpMessages of the game's loops: the replay moves its clock and feeds the keys
// and pad of the next pass.
void TestHookBeforePump();
// True while the player cannot be hit.
bool TestHookPlayerInvincible();
// Each sound the game loads, and each play, stop and delete of one.
void TestHookSoundLoaded(const char* path, Handle sound);
void TestHookSoundCall(GameSoundCall call, Handle sound, int32_t playType, int32_t fromTop);
// Asked before each operation of a save-file write; true makes that operation fail.
bool TestHookSaveOperationFails();
// Every text the game draws, at the place of the white text.
void TestHookTextDrawn(int x, int y, const char* text);

#else

inline void TestHookBeforePump() {}
inline bool TestHookPlayerInvincible() {
    return false;
}
inline void TestHookSoundLoaded(const char*, Handle) {}
inline void TestHookSoundCall(GameSoundCall, Handle, int32_t, int32_t) {}
inline bool TestHookSaveOperationFails() {
    return false;
}
inline void TestHookTextDrawn(int, int, const char*) {}

#endif
