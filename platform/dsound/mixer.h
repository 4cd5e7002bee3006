// The software mixer behind DirectSound: the voices of the secondary buffers, resampled to the
// output rate (voices at that rate are copied sample for sample), with volume and pan, into the
// host's stereo 16-bit output.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "../host/host.h"
#include "platform/dsound.h"
#include "platform/mmsystem.h"

// The rate of the host output, whatever format the primary buffer is given.
constexpr int kMixerOutputRate = 44100;

// The resampler state of a voice whose frequency is not the output's (mixer.cpp).
struct VoiceResampler;
struct VoiceResamplerDeleter {
    void operator()(VoiceResampler* resampler) const;
};

// What the mixer reads of a secondary buffer. Every field is guarded by MixerLock().
struct MixerVoice {
    std::shared_ptr<std::vector<uint8_t>> samples;  // shared by a buffer and its duplicates
    WAVEFORMATEX format{};
    uint32_t frames = 0;    // whole frames in the samples
    uint64_t position = 0;  // frames in the high 32 bits, the fraction in the low 32
    bool playing = false;
    bool looping = false;
    uint32_t frequency = 0;  // Hz
    float leftGain = 1.0f;
    float rightGain = 1.0f;
    uintptr_t owner = 0;  // the device that made the buffer
    bool attached = false;
    // Made on the voice's first resampled mix; it starts over whenever the position or the
    // frequency was changed from outside.
    std::unique_ptr<VoiceResampler, VoiceResamplerDeleter> resampler;
};

std::mutex& MixerLock();
// Opens the host's audio output for `owner`: DS_OK; DSERR_ALLOCATED when another device holds
// it; DSERR_NODRIVER when the host cannot open one, as DirectSound answers on a machine without
// a sound device. Call without the mixer lock.
HRESULT OpenMixerOutput(uintptr_t owner);
// Closes the output if `owner` holds it and silences that owner's voices. Call without the
// mixer lock.
void CloseMixerOutput(uintptr_t owner);
// Lets a host that renders on the clock catch up to now, so that cursors and status are
// current. Call without the mixer lock.
void ServiceMixerOutput();
// The frames past the play cursor that the mixer has already read: the resampler's look-ahead,
// 0 at the output rate. Under the mixer lock.
uint32_t VoiceReadAheadFrames(const MixerVoice& voice);
// Both under the mixer lock.
void AttachVoice(MixerVoice* voice);
void DetachVoice(MixerVoice* voice);
int CountAttachedVoices();
// The name of the host driver in use, for the device enumeration.
const HostDriver& MixerHost();
