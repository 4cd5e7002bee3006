// Sound handles: loading sounds into static buffers (or streams when too long); playing them
// through rotating buffers; stop, status, times, deletion and the system pause that the
// window's activation drives; and the kind's record callbacks.
#include "sound/sound.h"

#include <algorithm>
#include <cstring>

#include "core/async_load.h"
#include "core/fatal_error.h"
#include "core/file_access.h"
#include "core/log.h"
#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "core/tracked_memory.h"
#include "sound/sound_buffer_slot.h"
#include "sound/stream_sound.h"

namespace {

constexpr DWORD kStaticBufferFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                                     DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS;
constexpr DWORD kStaticBufferFallbackFlags = DSBCAPS_STATIC | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
constexpr DWORD kStreamBufferFlags = DSBCAPS_STATIC | DSBCAPS_GETCURRENTPOSITION2 |
                                     DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                                     DSBCAPS_CTRLVOLUME;

int ReadWholeDataFile(const char* path, uint8_t** image, uint32_t* bytes) {
    StreamValue file = OpenDataFile(path, 0, 1, 0);
    if (file == 0) return EmitLogFormat("右記のファイルのオープンに失敗しました：%s", path);
    SeekDataFile(file, 0, 2);
    int64_t size = TellDataFile(file);
    SeekDataFile(file, 0, 0);
    uint8_t* block = nullptr;
    // The tracked allocator takes 32-bit sizes with its header on top.
    if (size >= 0 && size <= UINT32_MAX / 2) {
        block = static_cast<uint8_t*>(
            AllocMemory(static_cast<uint32_t>(std::max<int64_t>(size, 1)), __FILE__, __LINE__));
    }
    if (block == nullptr) {
        CloseDataFile(file);
        return EmitLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
    }
    *bytes = static_cast<uint32_t>(ReadDataFile(block, 1, static_cast<size_t>(size), file));
    CloseDataFile(file);
    *image = block;
    return 0;
}

int LoadSoundFile(const SoundCreateSettings* settings, const char* path, int32_t bufferCount,
                  Handle shareSource, Handle handle, int32_t onWorker) {
    bufferCount = std::min(bufferCount, kMaxSoundBuffers);
    if (settings->sourceType == kStreamSourceWhole) {
        uint8_t* image = nullptr;
        uint32_t bytes = 0;
        if (ReadWholeDataFile(path, &image, &bytes) != 0) {
            return EmitLogFormat("右記の音声ファイルのロードに失敗しました_1：%s", path);
        }
        int result = LoadSoundFromMemoryImage(handle, settings, image, bytes, bufferCount,
                                              shareSource, onWorker);
        if (result != 0) EmitLogFormat("右記の音声ファイルのロードに失敗しました_2：%s", path);
        FreeMemory(image);
        return result;
    }
    if (AddStreamSoundFromFile(settings, path, 0, handle, settings->sourceType, shareSource,
                               onWorker) != 0) {
        return -1;
    }
    RewindStreamSound(handle, onWorker);
    return 0;
}

// Copies the PCM into every buffer; duplicates share memory, but each is written as its own.
int FillStaticBuffers(SoundRecord* record) {
    for (int32_t i = 0; i < record->bufferCount; ++i) {
        SoundBufferSlot* slot = &record->slots[i];
        void* part1;
        void* part2;
        DWORD bytes1, bytes2;
        if (SoundBufferLock(slot, 0, record->pcmBytes, &part1, &bytes1, &part2, &bytes2) != 0) {
            return EmitLogFormat("サウンドデータの転送に失敗しました_1");
        }
        CopyBytes(part1, record->pcm, bytes1);
        if (part2 != nullptr) CopyBytes(part2, record->pcm + bytes1, bytes2);
        if (SoundBufferUnlock(slot, part1, bytes1, part2, bytes2) != 0) {
            return EmitLogFormat("サウンドデータの転送に失敗しました_2");
        }
    }
    return 0;
}

// Buffer 0 of a sound that shares nothing, with the full controls, else without frequency.
int CreateFirstStaticBuffer(SoundBufferSlot* slot, const WAVEFORMATEX* format, uint32_t bytes) {
    WAVEFORMATEX copy = *format;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = kStaticBufferFlags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = &copy;
    if (SoundBufferCreate(slot, &desc) == 0) return 0;
    desc.dwFlags = kStaticBufferFallbackFlags;
    return SoundBufferCreate(slot, &desc);
}

// Makes the next buffer in turn ready to play; 1 when it plays on and nothing more is to be
// done, -1 when it is not usable.
int SelectNextSoundBuffer(SoundRecord* record, int32_t fromTop) {
    DWORD previousCursor = 0;
    if (record->slots[record->currentBuffer].valid != 0) {
        SoundBufferGetPosition(&record->slots[record->currentBuffer], &previousCursor, nullptr);
    }
    if (record->bufferCount > 0) {
        record->currentBuffer = (record->currentBuffer + 1) % record->bufferCount;
    }
    SoundBufferSlot* slot = &record->slots[record->currentBuffer];
    DWORD status = 0;
    if (slot->valid == 0 || SoundBufferGetStatus(slot, &status) != 0) return -1;
    if ((status & DSBSTATUS_PLAYING) != 0) {
        if (fromTop == 0) return 1;
        SoundBufferStop(slot);
    }
    SoundBufferSetPosition(slot, fromTop == 1 ? 0 : previousCursor);
    SoundBufferSetVolume(slot, record->volume);
    SoundBufferSetPan(slot, record->pan);
    SoundBufferSetFrequency(slot, record->frequency);
    return 0;
}

}  // namespace

int InitSoundRecord(HandleHeader* header) {
    SoundRecord* record = reinterpret_cast<SoundRecord*>(header);
    record->volume = 0;
    record->pan = 0;
    record->frequency = 0;
    record->sourceCount = 0;
    return 0;
}

int TerminateSoundRecord(HandleHeader* header) {
    SoundRecord* record = reinterpret_cast<SoundRecord*>(header);
    if (record->streamFlag != 0) return TerminateStreamSound(record);
    if (record->slots[0].valid != 0) StopSoundHandle(record->header.handle);
    for (SoundBufferSlot& slot : record->slots) {
        if (slot.valid != 0) SoundBufferRelease(&slot);
    }
    if (record->pcmReferences != nullptr && --*record->pcmReferences == 0) {
        FreeMemory(record->pcm);
        FreeMemory(record->pcmReferences);
    }
    record->pcm = nullptr;
    record->pcmReferences = nullptr;
    return 0;
}

void WaitForSoundEnd(Handle handle) {
    int pumped = PumpMessagesUnlocked();
    while (pumped == 0 && IsSoundHandlePlaying(handle) == 1) {
        SleepMilliseconds(1);
        pumped = PumpMessagesUnlocked();
    }
}

namespace {

constexpr uint32_t kFullPathBytes = 1024;

// A worker's load of a sound whose handle stays pending until it ends; a failed load retires it.
void LoadSoundHandleJob(AsyncLoadRequest* request) {
    const uint8_t* args = AsyncLoadArguments(request);
    uint32_t offset = 0;
    SoundCreateSettings settings{};
    std::memcpy(&settings, UnpackAsyncArgBytes(args, &offset, nullptr), sizeof settings);
    Handle handle = UnpackAsyncArgInt(args, &offset);
    const char* path = UnpackAsyncArgString(args, &offset);
    int32_t bufferCount = UnpackAsyncArgInt(args, &offset);
    Handle shareSource = UnpackAsyncArgInt(args, &offset);
    int result = LoadSoundFile(&settings, path, bufferCount, shareSource, handle, 1);
    EndHandleAsyncLoad(&gSound.sounds, handle, result != 0 ? 1 : 0);
}

// The slot of the queued load, or -1 when it could not be packed.
int QueueSoundLoad(const SoundCreateSettings* settings, const char* path, int32_t bufferCount,
                   Handle shareSource, Handle handle) {
    char full[kFullPathBytes];
    if (path == nullptr || ToFullPath(path, full, sizeof full) != 0) return -1;
    AsyncLoadRequest* request =
        PackAsyncLoadRequest(LoadSoundHandleJob, 1, [&](uint8_t* buffer, uint32_t* offset) {
            return PackAsyncArgBytes(buffer, offset, settings, sizeof *settings) |
                   PackAsyncArgInt(buffer, offset, handle) |
                   PackAsyncArgString(buffer, offset, full) |
                   PackAsyncArgInt(buffer, offset, bufferCount) |
                   PackAsyncArgInt(buffer, offset, shareSource);
        });
    return request != nullptr ? QueueAsyncLoadRequest(request) : -1;
}

}  // namespace

Handle LoadSoundHandle(const char* path, int32_t bufferCount, Handle shareSource) {
    return LoadSoundHandleWithSettings(&gSound.createSettings, path, bufferCount, shareSource,
                                       IsAsyncLoadOn(), 0);
}

Handle LoadSoundHandleWithSettings(const SoundCreateSettings* settings, const char* path,
                                   int32_t bufferCount, Handle shareSource, int32_t async,
                                   int32_t onWorker) {
    if (gSound.device == nullptr || path == nullptr) return -1;
    Handle handle = IssueHandle(&gSound.sounds, -1);
    if (handle == -1) return -1;
    if (async && !onWorker) {
        int slot = QueueSoundLoad(settings, path, bufferCount, shareSource, handle);
        if (slot == -1) {
            RetireHandle(&gSound.sounds, handle);
            return -1;
        }
        RaiseHandleAsyncCount(&gSound.sounds, handle, slot);
        return handle;
    }
    if (LoadSoundFile(settings, path, bufferCount, shareSource, handle, onWorker) != 0) {
        RetireHandle(&gSound.sounds, handle);
        return -1;
    }
    return handle;
}

int GetSoundCreateSettings(SoundCreateSettings* settings) {
    if (gSound.device == nullptr) return -1;
    *settings = gSound.createSettings;
    return 0;
}

int LoadSoundFromMemoryImage(Handle handle, const SoundCreateSettings* settings, const void* image,
                             uint32_t imageBytes, int32_t bufferCount, Handle shareSource,
                             int32_t onWorker) {
    if (gSound.device == nullptr || bufferCount < 0 || bufferCount > kMaxSoundBuffers) return -1;
    SoundCreateSettings own = *settings;
    if (own.sourceType == kStreamSourceWhole) {
        MemoryStream* stream = OpenMemoryStream(image, imageBytes);
        if (stream == nullptr) return EmitLogFormat("音声ファイルのＰＣＭへの変換に失敗しました");
        StreamReader reader = {*GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(stream)};
        SoundConverter converter;
        if (SetupSoundConverter(&converter, &reader, own.decoderMask, own.vorbisSampleWidth,
                                own.vorbisVariant) != 0) {
            CloseMemoryStream(stream);
            return EmitLogFormat("音声ファイルのＰＣＭへの変換に失敗しました");
        }
        WAVEFORMATEX format;
        uint8_t* pcm;
        uint32_t pcmBytes;
        int converted = ConvertWholeSound(&converter, &format, &pcm, &pcmBytes);
        ReleaseSoundConverter(&converter);
        CloseMemoryStream(stream);
        if (converted != 0)
            return EmitLogFormat("音声ファイルを格納するメモリ領域の確保に失敗しました");

        if (pcmBytes / format.nAvgBytesPerSec >= kStreamFromSeconds ||
            CreateSoundBuffers(-1, &format, pcmBytes, 0, bufferCount, handle, onWorker) != 0) {
            FreeMemory(pcm);
            own.sourceType = kStreamSourceMemory;
        } else {
            SoundRecord* record = FindSoundRecord(handle, onWorker);
            record->frequency = static_cast<int32_t>(format.nSamplesPerSec);
            int32_t* references =
                static_cast<int32_t*>(AllocMemory(sizeof(int32_t), __FILE__, __LINE__));
            if (references == nullptr) {
                FreeMemory(pcm);
                return EmitLogFormat(
                    "サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
            }
            *references = 1;
            record->format = format;
            record->pcm = pcm;
            record->pcmBytes = pcmBytes;
            record->pcmReferences = references;
            return FillStaticBuffers(record);
        }
    }
    if (AddStreamSoundFromMemory(&own, image, imageBytes, 0, handle, own.sourceType, shareSource,
                                 onWorker) != 0) {
        return -1;
    }
    RewindStreamSound(handle, onWorker);
    return 0;
}

int CreateSoundBuffers(Handle shareFrom, const WAVEFORMATEX* format, uint32_t dataBytes,
                       int32_t streamFlag, int32_t count, Handle handle, int32_t onWorker) {
    SoundRecord* record = FindSoundRecord(handle, onWorker);
    if (record == nullptr) return -1;
    SoundRecord* source = nullptr;
    if (shareFrom != -1) {
        source = FindSoundRecord(shareFrom, 0);
        if (source == nullptr || streamFlag != 0) return -1;
        format = &source->format;
        dataBytes = source->pcmBytes;
    }
    if (streamFlag == 0) {
        int32_t made = 0;
        for (; made < std::min(count, kMaxSoundBuffers); ++made) {
            SoundBufferSlot* slot = &record->slots[made];
            const SoundBufferSlot* original = made != 0           ? &record->slots[0]
                                              : source != nullptr ? &source->slots[0]
                                                                  : nullptr;
            if (original != nullptr && SoundBufferDuplicate(slot, original) == 0) continue;
            if (made != 0) break;  // a failed duplicate leaves the sound the buffers it has
            if (CreateFirstStaticBuffer(slot, format, dataBytes) != 0) {
                return AppendLogText("DirectSoundBuffer の作成に失敗しました\n");
            }
        }
        record->bufferCount = made;
    } else {
        WAVEFORMATEX copy = *format;
        DWORD second = copy.nAvgBytesPerSec & 0xFFFFFF;
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = kStreamBufferFlags;
        desc.dwBufferBytes = (second + copy.nBlockAlign - 1) / copy.nBlockAlign * copy.nBlockAlign;
        desc.lpwfxFormat = &copy;
        if (SoundBufferCreate(&record->slots[0], &desc) != 0) {
            ExitOnFatalError("ストリーム風サウンドバッファの作成に失敗しました");
        }
        record->bufferCount = 1;
        record->streamBufferBytes = static_cast<int32_t>(desc.dwBufferBytes);
    }
    record->streamFlag = streamFlag;
    if (streamFlag != 0) {
        EnterLock(&gSound.sounds.lock);
        InsertHandleNode(&gSound.streamHead, &record->streamNode, handle, record);
        LeaveLock(&gSound.sounds.lock);
    }
    return 0;
}

int PlaySoundHandle(Handle handle, int32_t playType, int32_t fromTop) {
    if (gSound.device == nullptr) return -1;
    if (IsAppActive() == 0) WaitForActivation();
    SoundRecord* record = FindSoundRecord(handle, 0);
    if (record == nullptr) return -1;
    if (record->streamFlag != 0) return PlayStreamSound(handle, playType, fromTop);
    if (SelectNextSoundBuffer(record, fromTop) == 1) return 0;
    if (SoundBufferPlay(&record->slots[record->currentBuffer], playType == kPlayLoop ? 1 : 0) !=
        0) {
        return -1;
    }
    if (playType == kPlayWait) WaitForSoundEnd(handle);
    return 0;
}

int StopSoundHandle(Handle handle) {
    SoundRecord* record = FindSoundRecord(handle, 0);
    if (record == nullptr) return -1;
    if (record->streamFlag != 0) return StopStreamSound(handle);
    for (int32_t i = 0; i < record->bufferCount; ++i) {
        record->systemPauseMark[i] = 0;
        record->wasPlayingMark[i] = 0;
        DWORD status = 0;
        if (SoundBufferGetStatus(&record->slots[i], &status) != 0) return -1;
        if ((status & DSBSTATUS_PLAYING) != 0) SoundBufferStop(&record->slots[i]);
    }
    return 0;
}

int IsSoundHandlePlaying(Handle handle) {
    SoundRecord* record = FindSoundRecord(handle, 0);
    if (record == nullptr) return -1;
    if (record->streamFlag != 0) return IsStreamSoundPlaying(handle);
    for (int32_t i = 0; i < record->bufferCount; ++i) {
        DWORD status = 0;
        if (SoundBufferGetStatus(&record->slots[i], &status) == 0 &&
            (status & DSBSTATUS_PLAYING) != 0) {
            return 1;
        }
    }
    return 0;
}

int IsSoundHandleLoading(Handle handle) {
    return IsHandleLoadPending(&gSound.sounds, handle);
}

int DeleteSoundHandle(Handle handle) {
    if (gSound.device == nullptr) return -1;
    return RetireHandle(&gSound.sounds, handle);
}

int GetSoundTotalTime(Handle handle) {
    SoundRecord* record = FindSoundRecord(handle, 0);
    if (record == nullptr) return -1;
    int64_t frames = record->streamFlag != 0 ? record->totalFrames
                     : record->format.nBlockAlign != 0
                         ? record->pcmBytes / record->format.nBlockAlign
                         : 0;
    return FramesToMilliseconds(frames, static_cast<int32_t>(record->format.nSamplesPerSec));
}

int GetSoundCurrentTime(Handle handle) {
    SoundRecord* record = FindSoundRecord(handle, 0);
    if (record == nullptr) return -1;
    if (record->streamFlag != 0) return GetStreamSoundCurrentTime(handle);
    SoundBufferSlot* slot = &record->slots[record->currentBuffer];
    DWORD cursor = 0;
    if (slot->valid == 0 || record->format.nBlockAlign == 0 ||
        SoundBufferGetPosition(slot, &cursor, nullptr) != 0) {
        return 0;
    }
    return FramesToMilliseconds(cursor / record->format.nBlockAlign,
                                static_cast<int32_t>(record->format.nSamplesPerSec));
}

int PauseAllSoundHandles(int32_t pause) {
    if (gSound.setUp == 0) return -1;
    EnterLock(&gSound.sounds.lock);
    for (HandleNode* node = gSound.sounds.head.next; node != &gSound.sounds.tail;
         node = node->next) {
        SoundRecord* record = static_cast<SoundRecord*>(node->data);
        for (int32_t i = 0; i < kMaxSoundBuffers; ++i) {
            SoundBufferSlot* slot = &record->slots[i];
            if (slot->valid == 0 || slot->buffer == nullptr) continue;
            if (pause != 0) {
                if (record->systemPauseMark[i] != 0) continue;
                record->systemPauseMark[i] = 1;
                DWORD status = 0;
                if (SoundBufferGetStatus(slot, &status) != 0) {
                    record->systemPauseMark[i] = 0;
                    continue;
                }
                record->wasPlayingMark[i] = (status & DSBSTATUS_PLAYING) != 0 ? 1 : 0;
                if (record->wasPlayingMark[i] != 0) SoundBufferStop(slot);
            } else {
                if (record->systemPauseMark[i] != 0 && record->wasPlayingMark[i] != 0) {
                    SoundBufferPlay(slot, slot->loop);
                }
                record->systemPauseMark[i] = 0;
            }
        }
    }
    LeaveLock(&gSound.sounds.lock);
    return 0;
}
