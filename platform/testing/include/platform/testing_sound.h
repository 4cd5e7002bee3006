// Hooks for tests only, for the sound interfaces: DirectSound's reported caps and its live
// buffers, and the commands MCI received. The audio heard is read through testing_host.h.
//
// Calls that TestFailNthCall can make fail: "IDirectSound::Initialize" (DSERR_NODRIVER),
// "IDirectSound::SetCooperativeLevel", "IDirectSound::CreateSoundBuffer",
// "IDirectSound::DuplicateSoundBuffer", "IDirectSoundBuffer::SetFormat",
// "IDirectSoundBuffer::Lock", "IDirectSoundBuffer::Unlock", "IDirectSoundBuffer::GetStatus"
// (DSERR_GENERIC unless named), and "acmStreamOpen", "acmStreamPrepareHeader",
// "acmStreamConvert" (MMSYSERR_NOMEM).
#pragma once

#include <vector>

#include "platform/dsound.h"
#include "platform/mmsystem.h"

// Caps and the MCI record back to their defaults.
void TestResetSoundLayer();
// The caps every device reports from now on; null restores the defaults.
void TestSetDirectSoundCaps(const DSCAPS* caps);
// Secondary buffers that exist (made and not yet released), over every device.
int TestCountSoundBuffers();
// DirectSound objects made and not yet released: devices and buffers.
int TestCountDirectSoundObjects();

struct TestMciCommand {
    MCIDEVICEID device;
    UINT message;
    DWORD_PTR flags;
    DWORD_PTR callback;  // of the parameter block, 0 without one
    DWORD from;          // MCI_PLAY with MCI_FROM only
};
// The commands sent since the last take, oldest first.
std::vector<TestMciCommand> TestTakeMciCommands();
