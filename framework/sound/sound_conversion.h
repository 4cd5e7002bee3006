// Sound data conversion: a SoundConverter recognises a WAVE (PCM, float or compressed), Ogg
// Vorbis or MP3 source read through a StreamReader and hands it out as PCM, in pieces, by
// frame, or whole. Also the run-time loading of the audio compression manager.
#pragma once

// vorbisfile's default callback tables are static objects in its header; none is used here.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <platform/msacm.h>
#include <vorbis/vorbisfile.h>

#include <cstdint>

#include "core/streams.h"

// Decoder kinds.
constexpr int32_t kSoundDecodeWave = 0;    // WAVE holding PCM or IEEE float samples
constexpr int32_t kSoundDecodeAcm = 1;     // compressed WAVE or MP3 through the ACM
constexpr int32_t kSoundDecodeVorbis = 2;  // Ogg Vorbis
constexpr int32_t kSoundDecodeMemory = 3;  // PCM held in memory

// Bits of the decoder mask: a set bit skips that decoder.
constexpr int32_t kSkipWavePcm = 1 << 0;
constexpr int32_t kSkipWaveAcm = 1 << 1;
constexpr int32_t kSkipVorbis = 1 << 2;
constexpr int32_t kSkipMp3Acm = 1 << 3;
constexpr int32_t kSkipMp3DirectShow = 1 << 4;

constexpr uint32_t kConverterFormatCopyBytes = 1012;

struct SoundConverter {
    int32_t setUp;
    int32_t endReached;  // 1 once the source has no more data
    int32_t kind;
    StreamReader reader;  // a copy of the source's reader
    int64_t formatPosition;
    uint32_t formatBytes;
    int64_t dataPosition;
    uint32_t dataBytes;         // the data chunk (bounded by the stream), or the MP3 frames
    WAVEFORMATEX outputFormat;  // always PCM, cbSize 0

    // Kind 0.
    uint8_t* floatBuffer;  // one second of float source data; null for PCM
    uint32_t floatBufferBytes;
    uint32_t sourceRate;
    uint8_t sourceFormat[kConverterFormatCopyBytes];  // the first bytes of the "fmt " chunk
    // Kind 1.
    WAVEFORMATEX* acmSourceFormat;
    HACMSTREAM mainStream;
    HACMSTREAM spareStream;  // kept freshly opened, to restart from the beginning
    uint8_t* compressed;
    uint32_t compressedBytes;
    uint32_t compressedPosition;
    int64_t totalFrames;  // -1 when unknown
    // Kind 2.
    OggVorbis_File vorbis;
    int32_t vorbisOpen;
    // Kind 3.
    uint8_t* pcm;
    uint32_t pcmCapacity;
    uint32_t pcmBytes;
    uint32_t pcmPosition;

    uint8_t* block;
    uint32_t blockBytes;
    uint32_t blockWaiting;    // bytes of the block not yet handed out
    uint32_t blockOffset;     // where they start
    uint64_t outputPosition;  // bytes handed out since the start

    int32_t decoderMask;
    int32_t vorbisSampleWidth;  // bytes per sample of Ogg Vorbis output, 1 or 2
    int32_t vorbisVariant;      // one vorbisfile serves both variants
};

// Reads through a converter's stream: position, seek (origin 0, 1, 2; true on success), bytes
// read, and the whole size (leaving the stream at its start).
int64_t TellStream(const StreamReader& reader);
bool SeekStream(const StreamReader& reader, int64_t offset, int32_t origin);
uint32_t ReadStream(const StreamReader& reader, void* buffer, uint32_t bytes);
int64_t StreamSize(const StreamReader& reader);

// Loads "msacm32.dll" and its eight functions; -1 when already loaded or on any failure.
int OpenAcmLibrary();
int CloseAcmLibrary();

// Tries the decoders in order over the reader's stream; 0 once one accepts it.
int SetupSoundConverter(SoundConverter* converter, const StreamReader* reader, int32_t decoderMask,
                        int32_t vorbisSampleWidth, int32_t vorbisVariant);
int ReleaseSoundConverter(SoundConverter* converter);
// The bytes written: short at the end of the data, 0 afterwards; -1 when not set up.
int32_t ConvertSoundBlock(SoundConverter* converter, void* destination, uint32_t bytes);
int SeekSoundConverter(SoundConverter* converter, uint64_t frame);
uint64_t GetSoundPcmSize(SoundConverter* converter);
// The whole PCM in a new tracked block that the caller frees; -1 also for a sound without
// any PCM.
int ConvertWholeSound(SoundConverter* converter, WAVEFORMATEX* format, uint8_t** pcm,
                      uint32_t* bytes);
int GetConverterFormat(const SoundConverter* converter, WAVEFORMATEX* format);

// True for a PCM layout that the sound device plays (8 to 32 bits, 1 to 8 channels, 100 Hz to
// 200 kHz); the converters produce no other.
bool IsPlayablePcmFormat(const WAVEFORMATEX* format);
