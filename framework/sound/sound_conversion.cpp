// Sound data conversion: five decoders tried in order (WAVE PCM and float, WAVE through the
// audio compression manager, Ogg Vorbis, MP3 through the ACM after a frame scan, MP3 through
// DirectShow), then PCM handed out block by block, by frame or whole. Every header field and
// length is checked against what the stream holds; a decoder that refuses frees what it took.
#include "sound/sound_conversion.h"

#include <platform/mpeg_audio.h>
#include <platform/win32.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "core/string_functions.h"
#include "core/tracked_memory.h"
#include "sound/mp3_directshow.h"

namespace {

struct AcmLibraryState {
    int32_t loaded;
    HMODULE module;
    decltype(&::acmFormatSuggest) acmFormatSuggest;
    decltype(&::acmStreamOpen) acmStreamOpen;
    decltype(&::acmStreamClose) acmStreamClose;
    decltype(&::acmMetrics) acmMetrics;
    decltype(&::acmStreamPrepareHeader) acmStreamPrepareHeader;
    decltype(&::acmStreamConvert) acmStreamConvert;
    decltype(&::acmStreamUnprepareHeader) acmStreamUnprepareHeader;
    decltype(&::acmStreamSize) acmStreamSize;
};

AcmLibraryState gAcmLibrary = {};

constexpr uint32_t kRiffHeaderBytes = 12;
constexpr uint32_t kChunkHeaderBytes = 8;
constexpr uint32_t kMinFormatChunkBytes = 16;
constexpr uint32_t kAcmSliceBytes = 2048;
constexpr uint32_t kVorbisBlockBytes = 4096;
// Output positions this close to a seek's target count as already there.
constexpr uint64_t kSeekSlackBytes = 15;
constexpr uint32_t kMp3FormatFallbackBytes = 30;
constexpr WORD kMp3CodecDelay = 700;
constexpr int kMaxPlayableChannels = 8;
constexpr DWORD kMinPlayableRate = 100;
constexpr DWORD kMaxPlayableRate = 200000;

// Little-endian fields of a byte image.
uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

int64_t TellStream(const StreamReader& reader) {
    return reader.functions.tell(reader.value);
}

bool SeekStream(const StreamReader& reader, int64_t offset, int32_t origin) {
    return reader.functions.seek(reader.value, offset, origin) == 0;
}

uint32_t ReadStream(const StreamReader& reader, void* buffer, uint32_t bytes) {
    return static_cast<uint32_t>(reader.functions.read(buffer, 1, bytes, reader.value));
}

int64_t StreamSize(const StreamReader& reader) {
    SeekStream(reader, 0, 2);
    int64_t size = TellStream(reader);
    SeekStream(reader, 0, 0);
    return size;
}

namespace {

void* Allocate(uint32_t bytes) {
    return AllocMemory(bytes, __FILE__, __LINE__);
}

// A PCM format whose fields agree: channels x bytes per sample is the block, and the rate times
// the block is the byte rate.
WAVEFORMATEX PcmFormat(WORD channels, DWORD rate, WORD bits) {
    // Both fields come from the file: their product can pass an int.
    WORD blockAlign = static_cast<WORD>(uint32_t{channels} * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * blockAlign, blockAlign, bits, 0};
}

// Frees every decoder's state the converter holds; fields left null are skipped.
void ClearDecoderState(SoundConverter* c) {
    FreeMemory(c->floatBuffer);
    FreeMemory(c->acmSourceFormat);
    // Streams exist only while the library is loaded: shutdown releases sounds before it.
    if (c->mainStream != nullptr) gAcmLibrary.acmStreamClose(c->mainStream, 0);
    if (c->spareStream != nullptr) gAcmLibrary.acmStreamClose(c->spareStream, 0);
    FreeMemory(c->compressed);
    if (c->vorbisOpen != 0) ov_clear(&c->vorbis);
    FreeMemory(c->pcm);
    FreeMemory(c->block);
    c->floatBuffer = nullptr;
    c->acmSourceFormat = nullptr;
    c->mainStream = nullptr;
    c->spareStream = nullptr;
    c->compressed = nullptr;
    c->vorbisOpen = 0;
    c->pcm = nullptr;
    c->block = nullptr;
}

// Where a WAVE's "fmt " and "data" chunks are.
struct WaveChunks {
    int64_t formatPosition;
    uint32_t formatBytes;
    int64_t dataPosition;
    uint32_t dataBytes;
};

bool ReadChunkHeader(const StreamReader& reader, uint8_t header[kChunkHeaderBytes]) {
    return ReadStream(reader, header, kChunkHeaderBytes) == kChunkHeaderBytes;
}

// Chunks are padded to an even length.
bool SkipChunk(const StreamReader& reader, uint32_t bytes) {
    return SeekStream(reader, static_cast<int64_t>(bytes) + (bytes & 1), 1);
}

// The RIFF header, an optional "bext", the "fmt " chunk, then any chunks up to "data". Chunk
// lengths are bounded by the stream: a "fmt " chunk that does not fit refuses the file, and a
// "data" chunk is cut to what the stream holds.
bool FindWaveChunks(const StreamReader& reader, WaveChunks* chunks) {
    int64_t size = StreamSize(reader);
    uint8_t riff[kRiffHeaderBytes];
    if (ReadStream(reader, riff, kRiffHeaderBytes) != kRiffHeaderBytes ||
        std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return false;
    }
    uint8_t header[kChunkHeaderBytes];
    if (!ReadChunkHeader(reader, header)) return false;
    if (std::memcmp(header, "bext", 4) == 0) {
        if (!SkipChunk(reader, Read32(header + 4)) || !ReadChunkHeader(reader, header)) {
            return false;
        }
    }
    if (std::memcmp(header, "fmt ", 4) != 0) return false;
    chunks->formatPosition = TellStream(reader);
    chunks->formatBytes = Read32(header + 4);
    if (chunks->formatBytes < kMinFormatChunkBytes ||
        chunks->formatPosition + chunks->formatBytes > size) {
        return false;
    }
    if (!SkipChunk(reader, chunks->formatBytes)) return false;
    for (;;) {
        if (TellStream(reader) >= size || !ReadChunkHeader(reader, header)) return false;
        if (std::memcmp(header, "data", 4) == 0) break;
        if (!SkipChunk(reader, Read32(header + 4))) return false;
    }
    chunks->dataPosition = TellStream(reader);
    chunks->dataBytes =
        static_cast<uint32_t>(std::min<int64_t>(Read32(header + 4), size - chunks->dataPosition));
    return true;
}

// The first 16 bytes of a format chunk, with cbSize 0.
WAVEFORMATEX ParseFormatHeader(const uint8_t* chunk) {
    return {Read16(chunk),
            Read16(chunk + 2),
            Read32(chunk + 4),
            Read32(chunk + 8),
            Read16(chunk + 12),
            Read16(chunk + 14),
            0};
}

// The extensible format: the plain header, cbSize 22, valid bits, channel mask and a subformat
// GUID whose last twelve bytes are these and whose first four hold the plain format tag.
constexpr uint32_t kExtensibleFormatBytes = 40;
constexpr uint8_t kSubFormatGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                            0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The plain tag that an extensible format chunk stands for (encoders write one for samples
// wider than 16 bits, more than two channels or rates above 48 kHz), or 0 when its subformat
// names none.
WORD ExtensibleSubFormatTag(const uint8_t* chunk, uint32_t chunkBytes) {
    if (chunkBytes < kExtensibleFormatBytes || Read16(chunk + 16) < 22 ||
        std::memcmp(chunk + 28, kSubFormatGuidTail, sizeof kSubFormatGuidTail) != 0) {
        return 0;
    }
    uint32_t tag = Read32(chunk + 24);
    return tag <= 0xFFFF ? static_cast<WORD>(tag) : 0;
}

// None of the fields that later divide may be 0.
bool HasNonZeroLayout(const WAVEFORMATEX& format) {
    return format.nChannels != 0 && format.nSamplesPerSec != 0 && format.nBlockAlign != 0 &&
           format.nAvgBytesPerSec != 0;
}

// Decoder 1: WAVE with PCM (tag 1) or IEEE float (tag 3) samples, also as the subformat of an
// extensible format.
int OpenWavePcm(SoundConverter* c) {
    WaveChunks chunks;
    if (!FindWaveChunks(c->reader, &chunks)) return -1;
    uint32_t copyBytes = std::min(chunks.formatBytes, kConverterFormatCopyBytes);
    if (!SeekStream(c->reader, chunks.formatPosition, 0) ||
        ReadStream(c->reader, c->sourceFormat, copyBytes) != copyBytes) {
        return -1;
    }
    WAVEFORMATEX source = ParseFormatHeader(c->sourceFormat);
    if (!HasNonZeroLayout(source)) return -1;
    if (source.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        source.wFormatTag = ExtensibleSubFormatTag(c->sourceFormat, copyBytes);
    }
    if (source.wFormatTag == WAVE_FORMAT_PCM) {
        if (chunks.formatBytes == kMinFormatChunkBytes) {
            source.wBitsPerSample = static_cast<WORD>(source.nBlockAlign / source.nChannels * 8);
        }
        c->outputFormat = PcmFormat(source.nChannels, source.nSamplesPerSec, source.wBitsPerSample);
        if (c->outputFormat.nBlockAlign != source.nBlockAlign) return -1;
    } else if (source.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        if ((source.wBitsPerSample != 32 && source.wBitsPerSample != 64) ||
            source.nBlockAlign != source.nChannels * source.wBitsPerSample / 8) {
            return -1;
        }
        c->outputFormat = PcmFormat(source.nChannels, source.nSamplesPerSec, 16);
    } else {
        return -1;
    }
    if (!IsPlayablePcmFormat(&c->outputFormat)) return -1;
    if (source.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        // One second of samples, or the whole data when that is shorter.
        uint32_t wholeBlocks = chunks.dataBytes - chunks.dataBytes % source.nBlockAlign;
        c->floatBufferBytes = std::clamp<uint32_t>(wholeBlocks, source.nBlockAlign,
                                                   source.nSamplesPerSec * source.nBlockAlign);
        c->floatBuffer = static_cast<uint8_t*>(Allocate(c->floatBufferBytes));
        if (c->floatBuffer == nullptr) return -1;
    }
    c->sourceRate = source.nSamplesPerSec;
    c->formatPosition = chunks.formatPosition;
    c->formatBytes = chunks.formatBytes;
    c->dataPosition = chunks.dataPosition;
    c->dataBytes = chunks.dataBytes - chunks.dataBytes % source.nBlockAlign;
    c->blockBytes = c->outputFormat.nAvgBytesPerSec;
    c->kind = kSoundDecodeWave;
    return SeekStream(c->reader, c->dataPosition, 0) ? 0 : -1;
}

// The size of the compressed slices: at least 2,048 bytes and always whole source blocks, so
// that a format with large blocks still converts.
uint32_t AcmSliceBytes(const SoundConverter* c) {
    uint32_t blockAlign = std::max<uint32_t>(c->acmSourceFormat->nBlockAlign, 1);
    uint32_t slice = std::max(kAcmSliceBytes, blockAlign);
    return slice - slice % blockAlign;
}

// The PCM format the compression manager suggests for the source, and the main and the spare
// stream from the source to it.
bool OpenAcmStreams(SoundConverter* c) {
    if (gAcmLibrary.loaded == 0) return false;
    WAVEFORMATEX suggested{};
    suggested.wFormatTag = WAVE_FORMAT_PCM;
    if (gAcmLibrary.acmFormatSuggest(nullptr, c->acmSourceFormat, &suggested, sizeof suggested,
                                     ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR ||
        suggested.wFormatTag != WAVE_FORMAT_PCM || !HasNonZeroLayout(suggested)) {
        return false;
    }
    c->outputFormat =
        PcmFormat(suggested.nChannels, suggested.nSamplesPerSec, suggested.wBitsPerSample);
    if (c->outputFormat.nBlockAlign != suggested.nBlockAlign ||
        !IsPlayablePcmFormat(&c->outputFormat)) {
        return false;
    }
    for (HACMSTREAM* stream : {&c->mainStream, &c->spareStream}) {
        if (gAcmLibrary.acmStreamOpen(stream, nullptr, c->acmSourceFormat, &c->outputFormat,
                                      nullptr, 0, 0,
                                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) {
            *stream = nullptr;
            return false;
        }
    }
    return true;
}

// Decoder 2: WAVE in any other format, through the compression manager.
int OpenWaveAcm(SoundConverter* c) {
    WaveChunks chunks;
    if (!FindWaveChunks(c->reader, &chunks)) return -1;
    uint32_t formatBytes = std::max<uint32_t>(chunks.formatBytes, sizeof(WAVEFORMATEX));
    c->acmSourceFormat =
        static_cast<WAVEFORMATEX*>(AllocClearedMemory(formatBytes, __FILE__, __LINE__));
    if (c->acmSourceFormat == nullptr || !SeekStream(c->reader, chunks.formatPosition, 0) ||
        ReadStream(c->reader, c->acmSourceFormat, chunks.formatBytes) != chunks.formatBytes) {
        return -1;
    }
    if (chunks.formatBytes == kMinFormatChunkBytes) c->acmSourceFormat->cbSize = 0;
    if (c->acmSourceFormat->cbSize > formatBytes - sizeof(WAVEFORMATEX) ||
        !HasNonZeroLayout(*c->acmSourceFormat)) {
        return -1;
    }
    if (!OpenAcmStreams(c)) return -1;
    c->compressedBytes = chunks.dataBytes;
    c->compressed = static_cast<uint8_t*>(Allocate(std::max<uint32_t>(chunks.dataBytes, 1)));
    if (c->compressed == nullptr || !SeekStream(c->reader, chunks.dataPosition, 0) ||
        ReadStream(c->reader, c->compressed, chunks.dataBytes) != chunks.dataBytes ||
        !SeekStream(c->reader, chunks.dataPosition, 0)) {
        return -1;
    }
    c->formatPosition = chunks.formatPosition;
    c->formatBytes = chunks.formatBytes;
    c->dataPosition = chunks.dataPosition;
    c->dataBytes = chunks.dataBytes;
    c->totalFrames = -1;
    // One second of output, and never less than what one slice converts to.
    DWORD sliceOutput = 0;
    gAcmLibrary.acmStreamSize(c->mainStream, AcmSliceBytes(c), &sliceOutput,
                              ACM_STREAMSIZEF_SOURCE);
    c->blockBytes = std::max<uint32_t>(c->outputFormat.nAvgBytesPerSec, sliceOutput);
    c->kind = kSoundDecodeAcm;
    return 0;
}

size_t ReadVorbisSource(void* buffer, size_t size, size_t count, void* source) {
    const StreamReader* reader = static_cast<const StreamReader*>(source);
    return reader->functions.read(buffer, size, count, reader->value);
}

int SeekVorbisSource(void* source, ogg_int64_t offset, int origin) {
    const StreamReader* reader = static_cast<const StreamReader*>(source);
    return reader->functions.seek(reader->value, offset, origin) == 0 ? 0 : -1;
}

long TellVorbisSource(void* source) {
    const StreamReader* reader = static_cast<const StreamReader*>(source);
    return static_cast<long>(reader->functions.tell(reader->value));
}

// The source's owner closes the stream.
int CloseVorbisSource(void* source) {
    return 0;
}

// Decoder 3: Ogg Vorbis.
int OpenOggVorbis(SoundConverter* c) {
    if (c->vorbisSampleWidth != 1 && c->vorbisSampleWidth != 2) return -1;
    ov_callbacks callbacks = {ReadVorbisSource, SeekVorbisSource, CloseVorbisSource,
                              TellVorbisSource};
    if (ov_open_callbacks(&c->reader, &c->vorbis, nullptr, 0, callbacks) != 0) return -1;
    c->vorbisOpen = 1;
    vorbis_info* info = ov_info(&c->vorbis, -1);
    if (info == nullptr || info->channels < 1 || info->channels > kMaxPlayableChannels ||
        info->rate < kMinPlayableRate || info->rate > kMaxPlayableRate ||
        ov_pcm_total(&c->vorbis, -1) < 0) {
        return -1;
    }
    // ov_read hands out each link of a chain in that link's own format, which the output
    // format cannot follow: every link must have the same rate and channels.
    long links = ov_streams(&c->vorbis);
    for (long i = 0; i < links; ++i) {
        vorbis_info* link = ov_info(&c->vorbis, static_cast<int>(i));
        if (link == nullptr || link->channels != info->channels || link->rate != info->rate) {
            return -1;
        }
    }
    // vorbisfile leaves a chain at its last link once opened; the sound starts at the first.
    if (links > 1 && ov_pcm_seek(&c->vorbis, 0) != 0) return -1;
    c->outputFormat = PcmFormat(static_cast<WORD>(info->channels), static_cast<DWORD>(info->rate),
                                static_cast<WORD>(8 * c->vorbisSampleWidth));
    c->blockBytes = kVorbisBlockBytes;
    c->kind = kSoundDecodeVorbis;
    return 0;
}

// Decoder 4: MP3 through the compression manager, after a scan that finds the first run of
// frames and counts the samples of every whole frame from there.
int OpenMp3Acm(SoundConverter* c) {
    int64_t size = StreamSize(c->reader);
    if (size <= 0 || size > UINT32_MAX / 2) return -1;
    uint32_t fileBytes = static_cast<uint32_t>(size);
    c->compressed = static_cast<uint8_t*>(Allocate(fileBytes));
    if (c->compressed == nullptr || ReadStream(c->reader, c->compressed, fileBytes) != fileBytes) {
        return -1;
    }
    size_t start, end;
    if (!FindMpegAudioExtent(c->compressed, fileBytes, &start, &end)) return -1;
    const uint8_t* audio = c->compressed;
    int64_t first = -1;
    size_t lastEnd = 0;
    int64_t totalFrames = 0;
    MpegAudioFrame firstHeader{};
    for (size_t at = start; at + kMpegHeaderBytes <= end;) {
        if (audio[at] != 0xFF || (audio[at + 1] & 0xF0) != 0xF0) {
            ++at;
            continue;
        }
        MpegAudioFrame header;
        if (!ParseMpegAudioFrame(audio + at, &header)) return -1;
        // A header where the last frame ended goes on with the stream. Anywhere else it counts
        // only where a run of frames starts: other bytes may hold the sync pattern too.
        bool continues = first >= 0 && at == lastEnd && IsSameMpegStream(header, firstHeader);
        if (!continues && CheckMpegAudioRun(audio, end, at, first >= 0 ? &firstHeader : nullptr) !=
                              MpegAudioRun::kFound) {
            ++at;
            continue;
        }
        // A frame cut off by the end of the audio is not counted.
        if (header.bytes > end - at) break;
        if (first < 0) {
            first = static_cast<int64_t>(at);
            firstHeader = header;
        }
        totalFrames += header.samples;
        at += header.bytes;
        lastEnd = at;
    }
    if (first < 0) return -1;

    DWORD formatBytes = 0;
    if (gAcmLibrary.loaded == 0 || gAcmLibrary.acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT,
                                                          &formatBytes) != MMSYSERR_NOERROR) {
        formatBytes = kMp3FormatFallbackBytes;
    }
    formatBytes = std::max<DWORD>(formatBytes, sizeof(MPEGLAYER3WAVEFORMAT));
    auto* format =
        static_cast<MPEGLAYER3WAVEFORMAT*>(AllocClearedMemory(formatBytes, __FILE__, __LINE__));
    if (format == nullptr) return -1;
    c->acmSourceFormat = &format->wfx;
    format->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    format->wfx.nChannels = static_cast<WORD>(firstHeader.channels);
    format->wfx.nSamplesPerSec = firstHeader.rate;
    format->wfx.nAvgBytesPerSec = firstHeader.bitrate * 1000 / 8;
    format->wfx.nBlockAlign = 1;
    format->wfx.wBitsPerSample = 0;
    format->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    format->wID = MPEGLAYER3_ID_MPEG;
    format->fdwFlags = firstHeader.padding;
    format->nBlockSize = static_cast<WORD>(firstHeader.bytes);
    format->nFramesPerBlock = 1;
    format->nCodecDelay = kMp3CodecDelay;

    c->compressedBytes = static_cast<uint32_t>(lastEnd - static_cast<size_t>(first));
    MoveBytes(c->compressed, c->compressed + first, c->compressedBytes);
    c->dataPosition = first;
    c->dataBytes = c->compressedBytes;
    if (!OpenAcmStreams(c)) return -1;
    c->totalFrames = totalFrames;
    c->blockBytes = c->outputFormat.nAvgBytesPerSec * 4 / 3;
    c->blockBytes -= c->blockBytes % c->outputFormat.nBlockAlign;
    c->kind = kSoundDecodeAcm;
    return 0;
}

uint16_t SourceBlockAlign(const SoundConverter* c) {
    return Read16(c->sourceFormat + 12);
}

// Float samples of whole frames to 16 bits: x 32,768, truncated toward zero, clamped.
uint32_t ConvertFloatFrames(const SoundConverter* c, uint32_t frames) {
    const WORD bits = Read16(c->sourceFormat + 14);
    const uint32_t samples = frames * c->outputFormat.nChannels;
    int16_t* out = reinterpret_cast<int16_t*>(c->block);
    for (uint32_t i = 0; i < samples; ++i) {
        double value;
        if (bits == 32) {
            float f;
            std::memcpy(&f, c->floatBuffer + 4 * i, 4);
            value = f;
        } else {
            std::memcpy(&value, c->floatBuffer + 8 * i, 8);
        }
        value = std::trunc(value * 32768.0);
        if (std::isnan(value)) value = 0;
        out[i] = static_cast<int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
    return samples * 2;
}

bool DecodeWaveBlock(SoundConverter* c) {
    int64_t rest = c->dataPosition + c->dataBytes - TellStream(c->reader);
    if (rest <= 0) return false;
    if (c->floatBuffer == nullptr) {
        uint32_t got = ReadStream(c->reader, c->block,
                                  static_cast<uint32_t>(std::min<int64_t>(rest, c->blockBytes)));
        got -= got % c->outputFormat.nBlockAlign;
        c->blockWaiting = got;
        return got != 0;
    }
    uint32_t got = ReadStream(c->reader, c->floatBuffer,
                              static_cast<uint32_t>(std::min<int64_t>(rest, c->floatBufferBytes)));
    uint32_t frames = got / SourceBlockAlign(c);
    c->blockWaiting = ConvertFloatFrames(c, frames);
    return frames != 0;
}

bool DecodeAcmBlock(SoundConverter* c) {
    if (c->compressedPosition >= c->compressedBytes || c->mainStream == nullptr) return false;
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = c->compressed + c->compressedPosition;
    header.cbSrcLength = std::min(AcmSliceBytes(c), c->compressedBytes - c->compressedPosition);
    header.pbDst = c->block;
    header.cbDstLength = c->blockBytes;
    if (gAcmLibrary.acmStreamPrepareHeader(c->mainStream, &header, 0) != MMSYSERR_NOERROR) {
        return false;
    }
    MMRESULT converted =
        gAcmLibrary.acmStreamConvert(c->mainStream, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
    gAcmLibrary.acmStreamUnprepareHeader(c->mainStream, &header, 0);
    if (converted != MMSYSERR_NOERROR || header.cbDstLengthUsed == 0) {
        c->compressedPosition = c->compressedBytes;
        return false;
    }
    c->compressedPosition += header.cbSrcLengthUsed;
    c->blockWaiting = header.cbDstLengthUsed;
    return true;
}

// A hole in the stream is skipped; any other error ends the data.
bool DecodeVorbisBlock(SoundConverter* c) {
    for (;;) {
        int bitstream = 0;
        long got = ov_read(&c->vorbis, reinterpret_cast<char*>(c->block), kVorbisBlockBytes, 0,
                           c->vorbisSampleWidth, c->vorbisSampleWidth != 1 ? 1 : 0, &bitstream);
        if (got == OV_HOLE) continue;
        if (got <= 0) return false;
        c->blockWaiting = static_cast<uint32_t>(got);
        return true;
    }
}

bool DecodeMemoryBlock(SoundConverter* c) {
    uint32_t bytes = std::min(c->pcmBytes - c->pcmPosition, c->blockBytes);
    if (bytes == 0) return false;
    CopyBytes(c->block, c->pcm + c->pcmPosition, bytes);
    c->pcmPosition += bytes;
    c->blockWaiting = bytes;
    return true;
}

// Decodes the next block into the block buffer; false at the end of the data.
bool DecodeNextBlock(SoundConverter* c) {
    c->blockOffset = 0;
    c->blockWaiting = 0;
    switch (c->kind) {
        case kSoundDecodeWave:
            return DecodeWaveBlock(c);
        case kSoundDecodeAcm:
            return DecodeAcmBlock(c);
        case kSoundDecodeVorbis:
            return DecodeVorbisBlock(c);
        default:
            return DecodeMemoryBlock(c);
    }
}

// Decodes on from the output position until `target` lies inside the waiting block.
void AdvanceAcmOutput(SoundConverter* c, uint64_t target) {
    while (c->outputPosition + c->blockWaiting <= target) {
        c->outputPosition += c->blockWaiting;
        if (!DecodeNextBlock(c)) {
            c->endReached = 1;
            return;
        }
    }
    uint32_t skip = static_cast<uint32_t>(target - c->outputPosition);
    c->blockOffset += skip;
    c->blockWaiting -= skip;
    c->outputPosition = target;
}

// Starts decoding over from the beginning on the spare stream, which is fresh, and makes the
// used stream the new spare.
void RestartAcmStream(SoundConverter* c) {
    std::swap(c->mainStream, c->spareStream);
    if (c->spareStream != nullptr) {
        gAcmLibrary.acmStreamClose(c->spareStream, 0);
        c->spareStream = nullptr;
        if (gAcmLibrary.acmStreamOpen(&c->spareStream, nullptr, c->acmSourceFormat,
                                      &c->outputFormat, nullptr, 0, 0,
                                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) {
            c->spareStream = nullptr;
        }
    }
    c->compressedPosition = 0;
    c->outputPosition = 0;
    c->blockWaiting = 0;
    c->blockOffset = 0;
}

}  // namespace

bool IsPlayablePcmFormat(const WAVEFORMATEX* f) {
    WORD bits = f->wBitsPerSample;
    return f->wFormatTag == WAVE_FORMAT_PCM &&
           (bits == 8 || bits == 16 || bits == 24 || bits == 32) && f->nChannels >= 1 &&
           f->nChannels <= kMaxPlayableChannels && f->nBlockAlign == f->nChannels * bits / 8 &&
           f->nSamplesPerSec >= kMinPlayableRate && f->nSamplesPerSec <= kMaxPlayableRate;
}

int OpenAcmLibrary() {
    if (gAcmLibrary.loaded != 0) return -1;
    if (gAcmLibrary.module == nullptr) {
        gAcmLibrary.module = LoadLibraryA("msacm32.dll");
        if (gAcmLibrary.module == nullptr) return -1;
    }
    HMODULE module = gAcmLibrary.module;
    auto fetch = [module](auto& slot, const char* name) {
        slot =
            reinterpret_cast<std::remove_reference_t<decltype(slot)>>(GetProcAddress(module, name));
        return slot != nullptr;
    };
    if (!fetch(gAcmLibrary.acmFormatSuggest, "acmFormatSuggest") ||
        !fetch(gAcmLibrary.acmStreamOpen, "acmStreamOpen") ||
        !fetch(gAcmLibrary.acmStreamClose, "acmStreamClose") ||
        !fetch(gAcmLibrary.acmMetrics, "acmMetrics") ||
        !fetch(gAcmLibrary.acmStreamPrepareHeader, "acmStreamPrepareHeader") ||
        !fetch(gAcmLibrary.acmStreamConvert, "acmStreamConvert") ||
        !fetch(gAcmLibrary.acmStreamUnprepareHeader, "acmStreamUnprepareHeader") ||
        !fetch(gAcmLibrary.acmStreamSize, "acmStreamSize")) {
        return -1;
    }
    gAcmLibrary.loaded = 1;
    return 0;
}

int CloseAcmLibrary() {
    if (gAcmLibrary.loaded == 0) return -1;
    FreeLibrary(gAcmLibrary.module);
    gAcmLibrary = {};
    return 0;
}

int SetupSoundConverter(SoundConverter* converter, const StreamReader* reader, int32_t decoderMask,
                        int32_t vorbisSampleWidth, int32_t vorbisVariant) {
    using Decoder = int (*)(SoundConverter*);
    static const Decoder kDecoders[] = {OpenWavePcm, OpenWaveAcm, OpenOggVorbis, OpenMp3Acm,
                                        DecodeMp3WithDirectShow};
    FillBytes(converter, 0, sizeof *converter);
    converter->reader = *reader;
    converter->decoderMask = decoderMask;
    converter->vorbisSampleWidth = vorbisSampleWidth;
    converter->vorbisVariant = vorbisVariant;
    SeekStream(converter->reader, 0, 0);
    bool accepted = false;
    for (size_t i = 0; i < std::size(kDecoders) && !accepted; ++i) {
        if ((decoderMask & (1 << i)) != 0) continue;
        accepted = kDecoders[i](converter) == 0;
        if (!accepted) {
            ClearDecoderState(converter);
            SeekStream(converter->reader, 0, 0);
        }
    }
    if (!accepted) return -1;
    converter->block =
        static_cast<uint8_t*>(Allocate(std::max<uint32_t>(converter->blockBytes, 1)));
    if (converter->block == nullptr) {
        ClearDecoderState(converter);
        return -1;
    }
    converter->blockWaiting = 0;
    converter->blockOffset = 0;
    converter->outputPosition = 0;
    converter->endReached = 0;
    converter->setUp = 1;
    return 0;
}

int ReleaseSoundConverter(SoundConverter* converter) {
    if (converter->setUp == 0) return -1;
    ClearDecoderState(converter);
    converter->setUp = 0;
    return 0;
}

int32_t ConvertSoundBlock(SoundConverter* converter, void* destination, uint32_t bytes) {
    if (converter->setUp == 0) return -1;
    if (converter->endReached != 0) return 0;
    uint8_t* out = static_cast<uint8_t*>(destination);
    uint32_t written = 0;
    while (written < bytes) {
        if (converter->blockWaiting == 0 && !DecodeNextBlock(converter)) {
            converter->endReached = 1;
            break;
        }
        uint32_t copy = std::min(converter->blockWaiting, bytes - written);
        CopyBytes(out + written, converter->block + converter->blockOffset, copy);
        converter->blockOffset += copy;
        converter->blockWaiting -= copy;
        converter->outputPosition += copy;
        written += copy;
    }
    return static_cast<int32_t>(written);
}

int SeekSoundConverter(SoundConverter* converter, uint64_t frame) {
    if (converter->setUp == 0) return -1;
    SoundConverter* c = converter;
    uint64_t target = frame * c->outputFormat.nBlockAlign;
    uint64_t distance =
        target > c->outputPosition ? target - c->outputPosition : c->outputPosition - target;
    if (distance <= kSeekSlackBytes) return 0;
    c->endReached = 0;
    switch (c->kind) {
        case kSoundDecodeWave:
            SeekStream(c->reader,
                       c->dataPosition + static_cast<int64_t>(frame * SourceBlockAlign(c)), 0);
            break;
        case kSoundDecodeAcm:
            if (target < c->outputPosition) RestartAcmStream(c);
            AdvanceAcmOutput(c, target);
            return 0;
        case kSoundDecodeVorbis:
            if (ov_pcm_seek(&c->vorbis, static_cast<ogg_int64_t>(frame)) != 0) c->endReached = 1;
            break;
        default:
            c->pcmPosition = static_cast<uint32_t>(std::min<uint64_t>(target, c->pcmBytes));
            break;
    }
    c->outputPosition = target;
    c->blockWaiting = 0;
    c->blockOffset = 0;
    return 0;
}

uint64_t GetSoundPcmSize(SoundConverter* converter) {
    SoundConverter* c = converter;
    switch (c->kind) {
        case kSoundDecodeWave:
            if (c->floatBuffer == nullptr) return c->dataBytes;
            return static_cast<uint64_t>(c->dataBytes) * 16 / Read16(c->sourceFormat + 14);
        case kSoundDecodeAcm: {
            if (c->totalFrames >= 0) {
                return static_cast<uint64_t>(c->totalFrames) * c->outputFormat.nBlockAlign;
            }
            DWORD bytes = 0;
            gAcmLibrary.acmStreamSize(c->mainStream, c->compressedBytes, &bytes,
                                      ACM_STREAMSIZEF_SOURCE);
            return bytes;
        }
        case kSoundDecodeVorbis:
            return static_cast<uint64_t>(ov_pcm_total(&c->vorbis, -1)) * c->outputFormat.nChannels *
                   static_cast<uint64_t>(c->vorbisSampleWidth);
        default:
            return c->pcmBytes;
    }
}

int ConvertWholeSound(SoundConverter* converter, WAVEFORMATEX* format, uint8_t** pcm,
                      uint32_t* bytes) {
    if (converter->setUp == 0) return -1;
    uint64_t size = GetSoundPcmSize(converter);
    // The tracked allocator takes 32-bit sizes with its header on top.
    if (size == 0 || size > UINT32_MAX / 2) return -1;
    uint8_t* block = static_cast<uint8_t*>(Allocate(static_cast<uint32_t>(size)));
    if (block == nullptr) return -1;
    SeekSoundConverter(converter, 0);
    uint32_t produced;
    if (converter->kind == kSoundDecodeWave && converter->floatBuffer == nullptr) {
        SeekStream(converter->reader, converter->dataPosition, 0);
        produced = ReadStream(converter->reader, block, static_cast<uint32_t>(size));
        produced -= produced % converter->outputFormat.nBlockAlign;
        converter->outputPosition += produced;
    } else {
        produced = static_cast<uint32_t>(
            std::max(ConvertSoundBlock(converter, block, static_cast<uint32_t>(size)), 0));
    }
    if (produced == 0) {
        FreeMemory(block);
        return -1;
    }
    *format = converter->outputFormat;
    *pcm = block;
    *bytes = produced;
    return 0;
}

int GetConverterFormat(const SoundConverter* converter, WAVEFORMATEX* format) {
    *format = converter->outputFormat;
    return 0;
}
