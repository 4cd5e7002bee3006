// Stream sounds: sources added to a sound record, a one-second buffer primed with three
// quarters of a second and kept topped up ahead of the play cursor (by the stream thread, or by
// the pump on one processor), source ends that repeat, move on, wrap or end the data, the play
// position tracked across wraps, and buffers shared between stream sounds.
#include "sound/stream_sound.h"

#include <platform/win32.h>

#include <algorithm>
#include <cstring>

#include "core/file_access.h"
#include "core/log.h"
#include "core/string_functions.h"
#include "core/tracked_memory.h"
#include "sound/soft_sound.h"
#include "sound/sound.h"
#include "sound/sound_buffer_slot.h"

namespace {

constexpr int32_t kNotFilled = -800;
constexpr uint8_t kLoopForever = 255;
// The lead refills aim at, in 512ths of a second: 0.375 s.
constexpr int64_t kLeadTarget = 192;
constexpr int64_t kLeadUnits = 512;
constexpr uint32_t kWaveImageOverhead = 28;
constexpr int kStreamPassMilliseconds = 10;

int32_t BlockAlign(const SoundRecord* record) {
    return record->format.nBlockAlign;
}

// Fractions of a second of the sound's format, in whole blocks.
int32_t FloorToBlocks(const SoundRecord* record, int64_t numerator, int64_t denominator) {
    int64_t block = BlockAlign(record);
    return static_cast<int32_t>(numerator / (denominator * block) * block);
}

int32_t CeilToBlocks(const SoundRecord* record, int64_t numerator, int64_t denominator) {
    int64_t block = BlockAlign(record);
    return static_cast<int32_t>((numerator + denominator * block - 1) / (denominator * block) *
                                block);
}

int64_t BytesPerSecond(const SoundRecord* record) {
    return record->format.nAvgBytesPerSec;
}

int32_t ThreeQuartersDown(const SoundRecord* record) {
    return FloorToBlocks(record, BytesPerSecond(record) * 3, 4);
}

int32_t ThreeQuartersUp(const SoundRecord* record) {
    return CeilToBlocks(record, BytesPerSecond(record) * 3, 4);
}

int32_t OneEighth(const SoundRecord* record) {
    return FloorToBlocks(record, BytesPerSecond(record), 8);
}

int32_t Wrap(int32_t value, int32_t size) {
    value %= size;
    return value < 0 ? value + size : value;
}

// True when `point` lies strictly inside the arc running forward from `from` to `to`.
bool StrictlyInside(int32_t point, int32_t from, int32_t to, int32_t size) {
    int32_t offset = Wrap(point - from, size);
    return offset > 0 && offset < Wrap(to - from, size);
}

// True when `point` lies in the arc [from, to).
bool InsideFromStart(int32_t point, int32_t from, int32_t to, int32_t size) {
    return Wrap(point - from, size) < Wrap(to - from, size);
}

// The two parts of a locked stretch of the buffer, filled from the front.
struct LockedSpan {
    uint8_t* part[2];
    uint32_t bytes[2];
    uint32_t filled;

    uint32_t Room() const { return bytes[0] + bytes[1] - filled; }

    // The free stretch in the part where filling stands.
    uint8_t* Free(uint32_t* contiguous) const {
        if (filled < bytes[0]) {
            *contiguous = bytes[0] - filled;
            return part[0] + filled;
        }
        *contiguous = bytes[0] + bytes[1] - filled;
        return part[1] + (filled - bytes[0]);
    }
};

// Reads up to `limit` bytes of PCM from the converter into the span; what was read.
uint32_t ReadStreamPcm(LockedSpan* span, SoundConverter* converter, uint32_t limit) {
    uint32_t total = 0;
    while (total < limit && span->Room() > 0) {
        uint32_t contiguous;
        uint8_t* free = span->Free(&contiguous);
        uint32_t want = std::min(contiguous, limit - total);
        int32_t got = ConvertSoundBlock(converter, free, want);
        if (got <= 0) break;
        span->filled += static_cast<uint32_t>(got);
        total += static_cast<uint32_t>(got);
        if (static_cast<uint32_t>(got) < want) break;
    }
    return total;
}

void WriteSilence(LockedSpan* span, uint32_t bytes, uint8_t value) {
    bytes = std::min(bytes, span->Room());
    while (bytes > 0) {
        uint32_t contiguous;
        uint8_t* free = span->Free(&contiguous);
        uint32_t count = std::min(contiguous, bytes);
        FillBytes(free, value, count);
        span->filled += count;
        bytes -= count;
    }
}

// The record that owns the buffer the sound plays through, null when that owner is gone.
SoundRecord* BufferOwner(SoundRecord* record) {
    return record->shareOwner == -1 ? record : FindSoundRecord(record->shareOwner, 1);
}

// Back to the start of the first source: nothing played, nothing primed.
void RewindToStart(SoundRecord* record) {
    record->allSourcesEnded = 0;
    record->repeatCount = 0;
    record->bytesPlayed = 0;
    record->wrapped = 0;
    record->sourcePosition = 0;
    record->currentSource = 0;
    record->primed = 0;
}

void UpdateStreamPlayPosition(SoundRecord* record, int32_t cursor) {
    if (record->primed == 0 || cursor == record->lastPlayCursor) return;
    int32_t size = record->streamBufferBytes;
    int32_t last = record->lastPlayCursor;
    if (record->wrapped != 0 &&
        Wrap(record->wrapOffset - last, size) <= Wrap(cursor - last, size)) {
        record->bytesPlayed = record->loopStartPosition +
                              static_cast<uint32_t>(Wrap(cursor - record->wrapOffset, size));
        record->wrapped = 0;
    } else {
        record->bytesPlayed += static_cast<uint32_t>(Wrap(cursor - last, size));
    }
    record->lastPlayCursor = cursor;
}

int32_t ReadPlayCursor(SoundBufferSlot* slot) {
    DWORD play = 0;
    SoundBufferGetPosition(slot, &play, nullptr);
    return static_cast<int32_t>(play);
}

// A source has given all its PCM: repeat it, move to the next, wrap to the loop start, or end
// the data (silence follows, and the stop waits until the end has been heard).
void AdvanceStreamSource(SoundRecord* record, SoundBufferSlot* slot, LockedSpan* span,
                         int32_t spanStart) {
    const int32_t size = record->streamBufferBytes;
    const int32_t fillOffset = Wrap(spanStart + static_cast<int32_t>(span->filled), size);
    record->repeatCount++;
    SoundStreamSource* source = &record->sources[record->currentSource];
    if (source->loopCount == kLoopForever) {
        if (record->wrapped == 0) {
            record->sourcePosition =
                static_cast<uint32_t>(source->loopStartFrame * BlockAlign(record));
            record->loopStartPosition = record->sourcePosition;
            record->wrapped = 1;
            record->wrapOffset = fillOffset;
        }
    } else if (record->repeatCount <= static_cast<int8_t>(source->loopCount)) {
        record->sourcePosition = 0;
    } else {
        bool last = record->currentSource == record->sourceCount - 1;
        bool looping = record->streamPlayType == kPlayLoop;
        if (!(last && looping && record->wrapped != 0)) {
            record->repeatCount = 0;
            if (!last) {
                record->currentSource++;
                record->sourcePosition = 0;
            } else {
                record->allSourcesEnded = 1;
                if (!looping) {
                    record->stopPending = 1;
                    record->dataEndOffset = fillOffset;
                    record->dataEndPlayCursor = ReadPlayCursor(slot);
                    WriteSilence(span, static_cast<uint32_t>(OneEighth(record)),
                                 SilenceByteOf(record->format));
                } else {
                    record->currentSource = 0;
                    record->sourcePosition = 0;
                    record->loopStartPosition = 0;
                    record->wrapped = 1;
                    record->wrapOffset = fillOffset;
                }
            }
        }
    }
    SeekSoundConverter(&record->sources[record->currentSource].converter,
                       record->sourcePosition / static_cast<uint32_t>(BlockAlign(record)));
}

// Fills the span from the sources until it is full or the data has ended.
void FillFromSources(SoundRecord* record, SoundBufferSlot* slot, LockedSpan* span,
                     int32_t spanStart) {
    while (span->Room() > 0 && record->stopPending == 0) {
        SoundConverter* converter = &record->sources[record->currentSource].converter;
        uint32_t got = ReadStreamPcm(span, converter, span->Room());
        record->sourcePosition += got;
        if (span->Room() == 0) break;
        int32_t source = record->currentSource;
        uint32_t position = record->sourcePosition;
        AdvanceStreamSource(record, slot, span, spanStart);
        // A source that gave nothing and did not move (a loop waiting for the play cursor to
        // pass its wrap) would give nothing again: the rest waits for a later step.
        if (got == 0 && source == record->currentSource && position == record->sourcePosition) {
            break;
        }
    }
}

// Locks `amount` bytes at the write cursor, fills them (from the sources, or with silence),
// and moves the write cursor and the refill boundary on by what was written.
int WriteAtCursor(SoundRecord* record, SoundBufferSlot* slot, int32_t at, int32_t amount,
                  bool silence) {
    if (amount <= 0) return 0;
    LockedSpan span{};
    void* part1;
    void* part2;
    DWORD bytes1, bytes2;
    if (SoundBufferLock(slot, static_cast<uint32_t>(at), static_cast<uint32_t>(amount), &part1,
                        &bytes1, &part2, &bytes2) != 0) {
        return -1;
    }
    span.part[0] = static_cast<uint8_t*>(part1);
    span.bytes[0] = bytes1;
    span.part[1] = static_cast<uint8_t*>(part2);
    span.bytes[1] = part2 != nullptr ? bytes2 : 0;
    if (silence) {
        WriteSilence(&span, static_cast<uint32_t>(amount), SilenceByteOf(record->format));
    } else {
        FillFromSources(record, slot, &span, at);
    }
    uint32_t written1 = std::min(span.filled, span.bytes[0]);
    SoundBufferUnlock(slot, part1, written1, part2, span.filled - written1);
    const int32_t size = record->streamBufferBytes;
    record->writeCursor = Wrap(at + static_cast<int32_t>(span.filled), size);
    record->refillBoundary = Wrap(record->writeCursor - ThreeQuartersUp(record), size);
    return 0;
}

// One refill step, under the sound lock, for a sound that holds its playback slot.
int FillLocked(SoundRecord* record, SoundBufferSlot* slot) {
    const int32_t size = record->streamBufferBytes;
    int32_t cursor = ReadPlayCursor(slot);
    UpdateStreamPlayPosition(record, cursor);
    if (record->stopPending != 0) {
        if (!InsideFromStart(cursor, record->dataEndPlayCursor, record->dataEndOffset, size)) {
            // The end has been heard.
            SoundBufferStop(slot);
            record->stopPending = 0;
            record->sourcePosition = 0;
            record->bytesPlayed = 0;
            record->wrapped = 0;
            record->repeatCount = 0;
            record->currentSource = 0;
            record->primed = 0;
            return 0;
        }
        // Silence only ever goes where the play cursor is not about to read: written further
        // ahead, it would overwrite the data still to be heard.
        if (record->writeCursor == kNotFilled ||
            StrictlyInside(cursor, record->writeCursor, record->refillBoundary, size)) {
            return -1;
        }
        return WriteAtCursor(record, slot, record->writeCursor, OneEighth(record), true);
    }
    DWORD status = 0;
    SoundBufferGetStatus(slot, &status);
    if ((status & DSBSTATUS_PLAYING) == 0) {
        if (record->writeCursor != kNotFilled) return 0;
        int result = WriteAtCursor(record, slot, 0, ThreeQuartersDown(record), false);
        record->refillBoundary = 0;
        return result;
    }
    if (record->writeCursor == kNotFilled ||
        StrictlyInside(cursor, record->writeCursor, record->refillBoundary, size)) {
        return -1;
    }
    int64_t lead = static_cast<int64_t>(Wrap(record->writeCursor - cursor, size)) * kLeadUnits /
                   BytesPerSecond(record);
    int32_t amount =
        lead < kLeadTarget
            ? FloorToBlocks(record, (kLeadTarget - lead) * BytesPerSecond(record), kLeadUnits)
            : OneEighth(record);
    return WriteAtCursor(record, slot, record->writeCursor, amount, false);
}

int ReadWholeStream(const StreamReader* reader, uint8_t** image, uint32_t* bytes) {
    reader->functions.seek(reader->value, 0, 2);
    int64_t size = reader->functions.tell(reader->value);
    reader->functions.seek(reader->value, 0, 0);
    uint8_t* block = nullptr;
    // The tracked allocator takes 32-bit sizes with its header on top.
    if (size >= 0 && size <= UINT32_MAX / 2) {
        block = static_cast<uint8_t*>(
            AllocMemory(static_cast<uint32_t>(std::max<int64_t>(size, 1)), __FILE__, __LINE__));
    }
    if (block == nullptr) {
        return EmitLogFormat("ストリームの読み込みに必要なメモリの確保に失敗しました");
    }
    if (reader->functions.read(block, 1, static_cast<size_t>(size), reader->value) !=
        static_cast<size_t>(size)) {
        FreeMemory(block);
        return -1;
    }
    *image = block;
    *bytes = static_cast<uint32_t>(size);
    return 0;
}

// Sets up the source's converter over its own memory stream on its image.
int OpenImageSource(SoundStreamSource* source, const SoundCreateSettings* settings) {
    MemoryStream* stream = OpenMemoryStream(source->image, source->imageBytes);
    if (stream == nullptr) return -1;
    source->ownStream = {*GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(stream)};
    if (SetupSoundConverter(&source->converter, &source->ownStream, settings->decoderMask,
                            settings->vorbisSampleWidth, settings->vorbisVariant) != 0) {
        CloseMemoryStream(stream);
        source->ownStream = {};
        return -1;
    }
    return 0;
}

// Type 0: the stream converted to PCM at once and kept as a WAVE image of that PCM.
int ConvertSourceToWaveImage(SoundStreamSource* source, const SoundCreateSettings* settings,
                             const StreamReader* reader) {
    uint8_t* copy;
    uint32_t copyBytes;
    if (ReadWholeStream(reader, &copy, &copyBytes) != 0) {
        return EmitLogFormat("音声データの読み込みに失敗しました");
    }
    int converted = -1;
    WAVEFORMATEX format;
    uint8_t* pcm = nullptr;
    uint32_t pcmBytes = 0;
    if (MemoryStream* stream = OpenMemoryStream(copy, copyBytes)) {
        StreamReader copyReader = {*GetMemoryStreamFunctions(),
                                   reinterpret_cast<StreamValue>(stream)};
        SoundConverter converter;
        if (SetupSoundConverter(&converter, &copyReader, settings->decoderMask,
                                settings->vorbisSampleWidth, settings->vorbisVariant) == 0) {
            converted = ConvertWholeSound(&converter, &format, &pcm, &pcmBytes);
            ReleaseSoundConverter(&converter);
        }
        CloseMemoryStream(stream);
    }
    FreeMemory(copy);
    if (converted != 0) return EmitLogFormat("音声データの変換に失敗しました");
    int built =
        BuildWaveImage(&format, sizeof format, pcm, pcmBytes, &source->image, &source->imageBytes);
    FreeMemory(pcm);
    if (built != 0) return -1;
    if (OpenImageSource(source, settings) != 0) {
        FreeMemory(source->image);
        source->image = nullptr;
        return EmitLogFormat("音声データのオープンに失敗しました");
    }
    return 0;
}

void ReleaseSource(SoundRecord* record, int32_t index) {
    SoundStreamSource* source = &record->sources[index];
    StreamReader fileStream = source->converter.reader;
    ReleaseSoundConverter(&source->converter);
    FreeMemory(source->image);
    source->image = nullptr;
    if (source->sourceType == kStreamSourceFile && record->ownerClosesStream[index] != 0) {
        fileStream.functions.close(fileStream.value);
    }
    if (source->ownStream.value != 0) source->ownStream.functions.close(source->ownStream.value);
    source->ownStream = {};
}

}  // namespace

int BuildWaveImage(const WAVEFORMATEX* format, uint32_t formatBytes, const void* data,
                   uint32_t dataBytes, uint8_t** image, uint32_t* imageBytes) {
    uint64_t total = static_cast<uint64_t>(formatBytes) + dataBytes + kWaveImageOverhead;
    uint8_t* out = nullptr;
    if (total <= UINT32_MAX / 2) {
        out = static_cast<uint8_t*>(AllocMemory(static_cast<uint32_t>(total), __FILE__, __LINE__));
    }
    if (out == nullptr)
        return AppendLogText("仮WAVEファイルイメージ用のメモリ確保に失敗しました\n");
    auto put32 = [](uint8_t* at, uint32_t value) {
        for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
    };
    CopyBytes(out, "RIFF", 4);
    put32(out + 4, static_cast<uint32_t>(total - 8));
    CopyBytes(out + 8, "WAVEfmt ", 8);
    put32(out + 16, formatBytes);
    CopyBytes(out + 20, format, formatBytes);
    CopyBytes(out + 20 + formatBytes, "data", 4);
    put32(out + 24 + formatBytes, dataBytes);
    CopyBytes(out + 28 + formatBytes, data, dataBytes);
    *image = out;
    *imageBytes = static_cast<uint32_t>(total);
    return 0;
}

int AddStreamSound(const SoundCreateSettings* settings, const StreamReader* reader,
                   int32_t loopCount, Handle handle, int32_t sourceType, int32_t* callerMayClose,
                   Handle shareSource, int32_t onWorker) {
    SoundRecord* record = FindSoundRecord(handle, onWorker);
    if (record == nullptr) return -1;
    if (record->sourceCount > 0) {
        if (record->streamFlag == 0) {
            return AppendLogText(
                "ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
        }
        if (IsStreamSoundPlaying(handle) == 1) {
            return AppendLogText(
                "既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
        }
        if (record->sourceCount >= kMaxStreamSources) {
            return AppendLogText("ストリーム風サウンドの制御データ領域がいっぱいです\n");
        }
    }
    const int32_t index = record->sourceCount;
    SoundStreamSource* source = &record->sources[index];
    FillBytes(source, 0, sizeof *source);
    source->sourceType = sourceType;
    source->endFrame = -1;
    reader->functions.seek(reader->value, 0, 0);
    switch (sourceType) {
        case kStreamSourceMemory:
            if (ReadWholeStream(reader, &source->image, &source->imageBytes) != 0) {
                return EmitLogFormat("音声データの読み込みに失敗しました");
            }
            if (OpenImageSource(source, settings) != 0) {
                FreeMemory(source->image);
                source->image = nullptr;
                return EmitLogFormat("音声データのオープンに失敗しました");
            }
            *callerMayClose = 1;
            break;
        case kStreamSourceFile:
            if (SetupSoundConverter(&source->converter, reader, settings->decoderMask,
                                    settings->vorbisSampleWidth, settings->vorbisVariant) != 0) {
                return EmitLogFormat("音声データのオープンに失敗しました");
            }
            *callerMayClose = 0;
            break;
        case kStreamSourceWhole:
            if (ConvertSourceToWaveImage(source, settings, reader) != 0) return -1;
            *callerMayClose = 1;
            break;
        default:
            return EmitLogFormat("音声データのオープンに失敗しました");
    }

    const WAVEFORMATEX& format = source->converter.outputFormat;
    if (index > 0) {
        if (std::memcmp(&format, &record->format, sizeof format) != 0) {
            ReleaseSource(record, index);
            return EmitLogFormat("フォーマットの違う音声データは同時に使うことは出来ません");
        }
        // A first fill made before this source came may have ended the data already: the
        // sound is primed afresh when it plays.
        if (record->primed != 0) RewindToStart(record);
    } else {
        record->format = format;
        SoundRecord* owner = shareSource != -1 ? FindSoundRecord(shareSource, 0) : nullptr;
        if (owner != nullptr && owner->streamFlag != 0 && owner->shareOwner == -1 &&
            std::memcmp(&owner->format, &format, sizeof format) == 0) {
            record->streamFlag = 1;
            record->bufferCount = 1;
            record->shareOwner = shareSource;
            record->streamBufferBytes = owner->streamBufferBytes;
            owner->shareCount++;
            EnterLock(&gSound.sounds.lock);
            InsertHandleNode(&gSound.streamHead, &record->streamNode, handle, record);
            LeaveLock(&gSound.sounds.lock);
        } else {
            CreateSoundBuffers(-1, &record->format, 0, 1, 1, handle, onWorker);
            record->shareOwner = -1;
            record->frequency = static_cast<int32_t>(format.nSamplesPerSec);
        }
        record->shareCount = 0;
        record->currentUser = -1;
        record->deletePending = 0;
    }
    source->loopCount = static_cast<uint8_t>(loopCount);
    record->sourceCount++;
    record->totalFrames = 0;
    for (int32_t i = 0; i < record->sourceCount; ++i) {
        record->totalFrames += static_cast<int64_t>(GetSoundPcmSize(&record->sources[i].converter) /
                                                    BlockAlign(record));
    }
    return 0;
}

int AddStreamSoundFromFile(const SoundCreateSettings* settings, const char* path, int32_t loopCount,
                           Handle handle, int32_t sourceType, Handle shareSource,
                           int32_t onWorker) {
    StreamValue file = OpenDataFile(path, 0, 1, 0);
    if (file == 0) return EmitLogFormat("右記のＷＡＶファイルのロードに失敗しました：%s ", path);
    StreamReader reader = {*GetFileStreamFunctions(), file};
    int32_t callerMayClose = 1;
    if (AddStreamSound(settings, &reader, loopCount, handle, sourceType, &callerMayClose,
                       shareSource, onWorker) != 0) {
        CloseDataFile(file);
        return EmitLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s ", path);
    }
    if (callerMayClose != 0) CloseDataFile(file);
    SoundRecord* record = FindSoundRecord(handle, onWorker);
    record->ownerClosesStream[record->sourceCount - 1] = 1;
    return 0;
}

int AddStreamSoundFromMemory(const SoundCreateSettings* settings, const void* image,
                             uint32_t imageBytes, int32_t loopCount, Handle handle,
                             int32_t sourceType, Handle shareSource, int32_t onWorker) {
    MemoryStream* stream = OpenMemoryStream(image, imageBytes);
    if (stream == nullptr) {
        return AppendLogText("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
    }
    StreamReader reader = {*GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(stream)};
    // The caller's image may go: the sound keeps a copy of its own instead of reading it.
    if (sourceType == kStreamSourceFile) sourceType = kStreamSourceMemory;
    int32_t callerMayClose = 1;
    int result = AddStreamSound(settings, &reader, loopCount, handle, sourceType, &callerMayClose,
                                shareSource, onWorker);
    CloseMemoryStream(stream);
    if (result != 0) {
        return AppendLogText("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
    }
    return 0;
}

int GetStreamPlaybackSlot(Handle handle, SoundRecord* record, SoundBufferSlot** slot,
                          int32_t takeOver) {
    if (record->streamFlag == 0) {
        *slot = &record->slots[0];
        return 0;
    }
    SoundRecord* owner = BufferOwner(record);
    if (owner == nullptr) return -1;
    *slot = &owner->slots[0];
    if (owner->currentUser == -1) {
        owner->currentUser = handle;
    } else if (owner->currentUser != handle) {
        if (takeOver == 0) return -1;
        StopStreamSound(owner->currentUser);
        owner->currentUser = handle;
    }
    return 0;
}

int RewindStreamSound(Handle handle, int32_t onWorker) {
    SoundRecord* record = FindSoundRecord(handle, onWorker);
    if (record == nullptr || record->streamFlag == 0) return -1;
    EnterLock(&gSound.sounds.lock);
    SoundBufferSlot* slot;
    DWORD status = 0;
    if (record->primed == 0 && GetStreamPlaybackSlot(handle, record, &slot, 0) == 0 &&
        (onWorker != 0 || SoundBufferGetStatus(slot, &status) != 0 ||
         (status & DSBSTATUS_PLAYING) == 0)) {
        SoundBufferSetPosition(slot, 0);
        SeekSoundConverter(&record->sources[record->currentSource].converter,
                           record->sourcePosition / static_cast<uint32_t>(BlockAlign(record)));
        record->writeCursor = kNotFilled;
        record->refillBoundary = -1;
        record->lastPlayCursor = 0;
        record->stopPending = 0;
        record->primed = 1;
        FillStreamBuffer(handle, onWorker);
    }
    LeaveLock(&gSound.sounds.lock);
    return 0;
}

int FillStreamBuffer(Handle handle, int32_t onWorker) {
    SoundRecord* record = FindSoundRecord(handle, onWorker);
    if (record == nullptr || record->streamFlag == 0 || record->primed == 0) return -1;
    EnterLock(&gSound.sounds.lock);
    SoundBufferSlot* slot;
    int result = -1;
    if (GetStreamPlaybackSlot(handle, record, &slot, 0) == 0) result = FillLocked(record, slot);
    LeaveLock(&gSound.sounds.lock);
    return result;
}

int PlayStreamSound(Handle handle, int32_t playType, int32_t fromTop) {
    SoundRecord* record = FindSoundRecord(handle, 0);
    if (record == nullptr || record->streamFlag == 0) return -1;
    EnterLock(&gSound.sounds.lock);
    SoundRecord* owner = BufferOwner(record);
    // A sound that was not its buffer's user may find another sound's data in it, so it
    // starts over from its beginning.
    bool wasUser = owner != nullptr && owner->currentUser == handle;
    SoundBufferSlot* slot;
    if (owner == nullptr || GetStreamPlaybackSlot(handle, record, &slot, 1) != 0) {
        LeaveLock(&gSound.sounds.lock);
        return -1;
    }
    DWORD status = 0;
    if (fromTop == 0 && SoundBufferGetStatus(slot, &status) == 0 &&
        (status & DSBSTATUS_PLAYING) != 0) {
        LeaveLock(&gSound.sounds.lock);
        return -1;
    }
    StopStreamSound(handle);
    if (((playType ^ record->streamPlayType) & 2) != 0 && record->allSourcesEnded != 0) {
        RewindToStart(record);
    }
    if (fromTop != 0) {
        record->allSourcesEnded = 0;
        if (record->bytesPlayed != 0) RewindToStart(record);
    }
    if (!wasUser) RewindToStart(record);
    record->streamPlayType = playType;
    RewindStreamSound(handle, 0);
    SoundBufferSetVolume(slot, record->volume);
    SoundBufferSetPan(slot, record->pan);
    SoundBufferSetFrequency(slot, record->frequency);
    int played = SoundBufferPlay(slot, 1);
    LeaveLock(&gSound.sounds.lock);
    if (played != 0) return -1;
    if (playType == kPlayWait) WaitForSoundEnd(handle);
    return 0;
}

int StopStreamSound(Handle handle) {
    SoundRecord* record = FindSoundRecord(handle, 0);
    if (record == nullptr || record->streamFlag == 0) return -1;
    EnterLock(&gSound.sounds.lock);
    SoundBufferSlot* slot;
    int result = 0;
    // A sound that does not hold the buffer has nothing playing.
    if (GetStreamPlaybackSlot(handle, record, &slot, 0) == 0) {
        UpdateStreamPlayPosition(record, ReadPlayCursor(slot));
        SoundRecord* owner = BufferOwner(record);
        if (owner != record) owner->currentUser = -1;
        DWORD status = 0;
        if (SoundBufferGetStatus(slot, &status) != 0) {
            result = -1;
        } else {
            if ((status & DSBSTATUS_PLAYING) != 0) SoundBufferStop(slot);
            owner->systemPauseMark[0] = 0;
            owner->wasPlayingMark[0] = 0;
        }
    }
    LeaveLock(&gSound.sounds.lock);
    return result;
}

int IsStreamSoundPlaying(Handle handle) {
    SoundRecord* record = FindSoundRecord(handle, 0);
    if (record == nullptr || record->streamFlag == 0) return -1;
    EnterLock(&gSound.sounds.lock);
    SoundBufferSlot* slot;
    DWORD status = 0;
    int playing = GetStreamPlaybackSlot(handle, record, &slot, 0) == 0 &&
                          SoundBufferGetStatus(slot, &status) == 0 &&
                          (status & DSBSTATUS_PLAYING) != 0
                      ? 1
                      : 0;
    LeaveLock(&gSound.sounds.lock);
    return playing;
}

int GetStreamSoundCurrentTime(Handle handle) {
    SoundRecord* record = FindSoundRecord(handle, 0);
    if (record == nullptr || record->streamFlag == 0) return -1;
    EnterLock(&gSound.sounds.lock);
    SoundBufferSlot* slot;
    if (GetStreamPlaybackSlot(handle, record, &slot, 0) == 0) {
        UpdateStreamPlayPosition(record, ReadPlayCursor(slot));
    }
    int32_t time =
        FramesToMilliseconds(record->bytesPlayed / static_cast<uint32_t>(BlockAlign(record)),
                             static_cast<int32_t>(record->format.nSamplesPerSec));
    LeaveLock(&gSound.sounds.lock);
    return std::min(time, GetSoundTotalTime(handle));
}

int RefillStreamSounds() {
    if (gSound.setUp == 0) return -1;
    EnterLock(&gSound.sounds.lock);
    for (HandleNode* node = gSound.streamHead.next; node != &gSound.streamTail; node = node->next) {
        if (static_cast<SoundRecord*>(node->data)->primed != 0) FillStreamBuffer(node->handle, 0);
    }
    LeaveLock(&gSound.sounds.lock);
    return 0;
}

int TerminateStreamSound(SoundRecord* record) {
    Handle handle = record->header.handle;
    StopStreamSound(handle);
    if (record->shareOwner != -1) {
        Handle ownerHandle = record->shareOwner;
        record->shareOwner = -1;
        SoundRecord* owner = FindSoundRecord(ownerHandle, 1);
        if (owner != nullptr) {
            owner->shareCount--;
            if (owner->deletePending != 0 && owner != record) {
                RetireHandle(&gSound.sounds, ownerHandle);
            }
        }
    }
    if (record->shareCount != 0) {
        record->deletePending = 1;
        return 1;
    }
    EnterLock(&gSound.sounds.lock);
    RemoveHandleNode(&record->streamNode);
    LeaveLock(&gSound.sounds.lock);
    for (int32_t i = 0; i < record->sourceCount; ++i) ReleaseSource(record, i);
    record->sourceCount = 0;
    if (record->slots[0].valid != 0) SoundBufferRelease(&record->slots[0]);
    return 0;
}

int ServiceStreamSounds() {
    RefillStreamSounds();
    ProcessSoftSoundPlayers();
    return 0;
}

// The pause between passes is real time: it must not move a test's virtual clock, and a stop
// request cuts it short.
void StreamSoundThreadProc(ThreadRecord* thread, uintptr_t argument) {
    while (gSound.streamStop.load() != 1 && gSound.setUp != 0) {
        ServiceStreamSounds();
        std::unique_lock lock(gSound.streamPauseMutex);
        gSound.streamPause.wait_for(lock, std::chrono::milliseconds(kStreamPassMilliseconds),
                                    [] { return gSound.streamStop.load() == 1; });
    }
    {
        std::lock_guard guard(gSound.streamPauseMutex);
        gSound.streamStop = 2;
    }
    gSound.streamPause.notify_all();
}
