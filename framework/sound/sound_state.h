// The records and module state that the sound kinds share: the settings a load copies, a
// sound's playback slots and stream sources, the sound record, and the device, registries and
// stream thread of the module; with the small look-ups that only read them.
#pragma once

#include <orbek/orbek.h>
#include <platform/dsound.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "core/handle_registry.h"
#include "core/threads.h"
#include "sound/sound_conversion.h"

constexpr int32_t kMaxSoundBuffers = 10;
constexpr int32_t kMaxStreamSources = 3;
// Sounds this long (in whole seconds) or longer stream instead of filling static buffers.
constexpr uint32_t kStreamFromSeconds = 181;

// How LoadSoundHandle makes sounds, copied by value into every load.
struct SoundCreateSettings {
    int32_t sourceType;  // 0 static buffers; else the stream source type (2 memory, 3 file)
    int32_t decoderMask;
    int32_t vorbisSampleWidth;
    int32_t vorbisVariant;
};

// Stream source types.
constexpr int32_t kStreamSourceWhole = 0;
constexpr int32_t kStreamSourceMemory = 2;
constexpr int32_t kStreamSourceFile = 3;

struct SoundBufferSlot {
    int32_t valid;
    IDirectSoundBuffer* buffer;
    int32_t loop;  // of the slot's last play, for the restart after a system pause
};

struct SoundStreamSource {
    uint8_t loopCount;  // repeats after the first play; 255 forever
    int32_t sourceType;
    uint8_t* image;  // types 0 and 2
    uint32_t imageBytes;
    StreamReader ownStream;  // the memory stream over the image; empty for type 3
    int32_t loopStartFrame;
    int32_t endFrame;  // -1: the source's end
    SoundConverter converter;
};

struct SoundRecord {
    HandleHeader header;
    int32_t systemPauseMark[kMaxSoundBuffers];
    int32_t wasPlayingMark[kMaxSoundBuffers];
    SoundBufferSlot slots[kMaxSoundBuffers];
    WAVEFORMATEX format;
    int32_t streamFlag;
    // Stream sounds (see stream_sound.h).
    int32_t streamPlayType;
    Handle shareOwner;  // -1 while the sound owns its stream buffer
    int32_t shareCount;
    Handle currentUser;  // of this sound's buffer; -1 none
    int32_t deletePending;
    int32_t streamBufferBytes;
    int32_t writeCursor;  // -800 before the first fill
    int32_t refillBoundary;
    SoundStreamSource sources[kMaxStreamSources + 1];
    uint8_t ownerClosesStream[kMaxStreamSources + 1];
    int32_t sourceCount;
    int32_t currentSource;
    int32_t repeatCount;
    uint32_t sourcePosition;  // bytes into the current source
    int64_t totalFrames;
    uint32_t bytesPlayed;
    int32_t lastPlayCursor;
    uint8_t primed;
    uint8_t stopPending;
    uint8_t wrapped;
    uint8_t allSourcesEnded;
    uint32_t loopStartPosition;
    int32_t dataEndOffset;
    int32_t dataEndPlayCursor;
    int32_t wrapOffset;
    HandleNode streamNode;
    // Static sounds.
    uint32_t pcmBytes;
    uint8_t* pcm;
    int32_t* pcmReferences;
    int32_t bufferCount;
    int32_t currentBuffer;
    int32_t volume;     // hundredths of a decibel, 0 full
    int32_t pan;        // 0 centre
    int32_t frequency;  // Hz
};

// The module state, shared with the stream, soft-sound and music modules.
struct SoundState {
    int32_t setUp;
    IDirectSound* device;  // null while there is none: every call then fails
    IDirectSoundBuffer* primary;
    IDirectSoundBuffer* silent;
    HandleRegistry sounds;
    HandleRegistry softSounds;
    HandleRegistry music;
    HandleNode streamHead;
    HandleNode streamTail;
    HandleNode playerHead;
    HandleNode playerTail;
    SoundCreateSettings createSettings;
    ThreadRecord streamThread;        // with the thread's id
    std::atomic<int32_t> streamStop;  // 0 running, 1 asked to stop, 2 stopped
    // The stream thread's pause between passes, cut short by a stop request.
    std::mutex streamPauseMutex;
    std::condition_variable streamPause;
};
extern SoundState gSound;

int32_t FramesToMilliseconds(int64_t frames, int32_t sampleRate);
// The record of a valid sound handle; one whose load is pending only when `acceptPending`.
SoundRecord* FindSoundRecord(Handle handle, int32_t acceptPending);
// What silence is written as: 0x7F for 8-bit data, the value the buffers have always been
// silenced with, and 0 for wider samples.
uint8_t SilenceByteOf(const WAVEFORMATEX& format);
