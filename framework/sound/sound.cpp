// Sound handles and DirectSound playback: the device with its primary format, silent looping
// buffer, device log and stream thread; loading sounds into static buffers (or streams when too
// long); playing them through rotating buffers; stop, status, times, deletion and the system
// pause that the window's activation drives.
#include "sound/sound.h"

#include <platform/com.h>
#include <platform/win32.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "core/async_load.h"
#include "core/fatal_error.h"
#include "core/file_access.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/pump_services.h"
#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "core/system_info.h"
#include "core/tracked_memory.h"
#include "sound/music.h"
#include "sound/soft_sound.h"
#include "sound/sound_buffer_slot.h"
#include "sound/stream_sound.h"

SoundState gSound;

namespace {

constexpr DWORD kStaticBufferFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                                     DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS;
constexpr DWORD kStaticBufferFallbackFlags = DSBCAPS_STATIC | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
constexpr DWORD kStreamBufferFlags = DSBCAPS_STATIC | DSBCAPS_GETCURRENTPOSITION2 |
                                     DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                                     DSBCAPS_CTRLVOLUME;
constexpr DWORD kSilentBufferBytes = 400;
constexpr DWORD kHighestPrimaryRate = 44100;
constexpr int32_t kMaxSounds = 32768;
constexpr int32_t kMaxSoftSounds = 8192;
constexpr int32_t kMaxMusic = 256;
constexpr uint32_t kLogLineBytes = 1024;
constexpr int kStreamStopSliceMilliseconds = 2;

// Appends a formatted text as it is, without the line end that EmitLogFormat adds.
void AppendLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
void AppendLogFormat(const char* format, ...) {
    char text[kLogLineBytes];
    va_list args;
    va_start(args, format);
    FormatStringArgsN(text, sizeof text, format, args);
    va_end(args);
    AppendLogText(text);
}

const char* CapsMark(const DSCAPS& caps, DWORD flag) {
    return (caps.dwFlags & flag) != 0 ? "OK" : "NO";
}

BOOL LogSoundDevice(GUID* device, LPCSTR description, LPCSTR module, LPVOID context) {
    AppendLogFormat("モジュール名:%15s  ドライバ記述:%s ", module, description);
    return TRUE;
}

DSCAPS ReadDeviceCaps() {
    DSCAPS caps{};
    caps.dwSize = sizeof caps;
    gSound.device->GetCaps(&caps);
    return caps;
}

// The enumeration of "DSOUND.DLL" and the device's caps, one indentation level deeper.
void WriteDeviceLog() {
    RaiseLogIndent();
    DSCAPS caps = ReadDeviceCaps();
    AppendLogText("DirectSound デバイスを列挙します\n");
    RaiseLogIndent();
    HMODULE dll = LoadLibraryA("DSOUND.DLL");
    if (dll == nullptr) {
        AppendLogText("DSOUND.DLL のロードに失敗しました\n");
        LowerLogIndent();
        LowerLogIndent();
        return;
    }
    auto enumerate = reinterpret_cast<decltype(&DirectSoundEnumerateA)>(
        GetProcAddress(dll, "DirectSoundEnumerateA"));
    if (enumerate == nullptr) {
        FreeLibrary(dll);
        AppendLogText("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
        LowerLogIndent();
        LowerLogIndent();
        return;
    }
    enumerate(LogSoundDevice, nullptr);
    LowerLogIndent();
    AppendLogFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                    static_cast<double>(caps.dwMaxSecondarySampleRate) / 1000,
                    static_cast<double>(caps.dwMinSecondarySampleRate) / 1000);
    AppendLogFormat("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n",
                    static_cast<double>(caps.dwTotalHwMemBytes) / 1024,
                    static_cast<double>(caps.dwFreeHwMemBytes) / 1024);
    AppendLogText("利用可能サンプリング精度\n");
    AppendLogFormat(" プライマリ １６bit = %s  ８bit = %s ", CapsMark(caps, DSCAPS_PRIMARY16BIT),
                    CapsMark(caps, DSCAPS_PRIMARY8BIT));
    AppendLogFormat(" セカンダリ １６bit = %s  ８bit = %s \n",
                    CapsMark(caps, DSCAPS_SECONDARY16BIT), CapsMark(caps, DSCAPS_SECONDARY8BIT));
    AppendLogText("利用可能チャンネル\n");
    AppendLogFormat(" プライマリ MONO = %s  STEREO = %s ", CapsMark(caps, DSCAPS_PRIMARYMONO),
                    CapsMark(caps, DSCAPS_PRIMARYSTEREO));
    AppendLogFormat(" セカンダリ MONO = %s  STEREO = %s \n", CapsMark(caps, DSCAPS_SECONDARYMONO),
                    CapsMark(caps, DSCAPS_SECONDARYSTEREO));
    LowerLogIndent();
    FreeLibrary(dll);
}

// The richest format the caps allow, at most 44,100 Hz; a failure is only logged.
void SetPrimaryFormat() {
    DSCAPS caps = ReadDeviceCaps();
    WORD channels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) != 0 ? 2 : 1;
    WORD bits = (caps.dwFlags & DSCAPS_PRIMARY16BIT) != 0 ? 16 : 8;
    DWORD rate = std::min(caps.dwMaxSecondarySampleRate, kHighestPrimaryRate);
    WORD blockAlign = static_cast<WORD>(bits / 8 * channels);
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, channels, rate, blockAlign * rate, blockAlign, bits, 0};
    if (FAILED(gSound.primary->SetFormat(&format))) {
        AppendLogText("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
    }
}

// A short buffer of silence that loops until shutdown, keeping the device running.
void StartSilentBuffer() {
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_STATIC | DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = kSilentBufferBytes;
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* silent = nullptr;
    if (FAILED(gSound.device->CreateSoundBuffer(&desc, &silent, nullptr))) {
        EmitLogFormat("無音バッファの作成に失敗しました");
        return;
    }
    void* part1;
    void* part2;
    DWORD bytes1, bytes2;
    if (FAILED(silent->Lock(0, kSilentBufferBytes, &part1, &bytes1, &part2, &bytes2, 0))) {
        EmitLogFormat("無音バッファのロックに失敗しました");
        silent->Release();
        return;
    }
    FillBytes(part1, 0, bytes1);
    if (part2 != nullptr) FillBytes(part2, 0, bytes2);
    silent->Unlock(part1, bytes1, part2, bytes2);
    silent->Play(0, 0, DSBPLAY_LOOPING);
    gSound.silent = silent;
}

void StartStreamThread() {
    gSound.streamStop = 0;
    if (CreateParkedThread(&gSound.streamThread, StreamSoundThreadProc, 0) != 0) return;
    SetThreadPriority(gSound.streamThread.thread, THREAD_PRIORITY_TIME_CRITICAL);
    // The thread parks itself first; it runs once it has parked and been resumed.
    while (ResumeParkedThread(&gSound.streamThread) == 0) SleepMilliseconds(0);
}

// Waits until the thread has left, whatever the pump reports, so that nothing it uses is
// freed under it; it needs nothing from this thread to leave.
void StopStreamThread() {
    if (HasThreadHandle(&gSound.streamThread) == 0) return;
    {
        std::lock_guard guard(gSound.streamPauseMutex);
        gSound.streamStop = 1;
    }
    gSound.streamPause.notify_all();
    while (gSound.streamStop.load() != 2) {
        PumpMessagesUnlocked();
        std::unique_lock lock(gSound.streamPauseMutex);
        gSound.streamPause.wait_for(lock, std::chrono::milliseconds(kStreamStopSliceMilliseconds),
                                    [] { return gSound.streamStop.load() == 2; });
    }
    WaitForSingleObject(gSound.streamThread.thread, INFINITE);
    CloseThreadHandle(&gSound.streamThread);
}

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

int ReturnZero(HandleHeader* record) {
    return 0;
}

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

int32_t FramesToMilliseconds(int64_t frames, int32_t sampleRate) {
    if (sampleRate <= 0) return 0;
    return static_cast<int32_t>(frames * 1000 / sampleRate);
}

SoundRecord* FindSoundRecord(Handle handle, int32_t acceptPending) {
    if (gSound.device == nullptr) return nullptr;
    return reinterpret_cast<SoundRecord*>(acceptPending != 0
                                              ? FindHandleRecord(&gSound.sounds, handle)
                                              : FindUsableHandleRecord(&gSound.sounds, handle));
}

uint8_t SilenceByteOf(const WAVEFORMATEX& format) {
    return format.wBitsPerSample == 8 ? 0x7F : 0;
}

void WaitForSoundEnd(Handle handle) {
    int pumped = PumpMessagesUnlocked();
    while (pumped == 0 && IsSoundHandlePlaying(handle) == 1) {
        SleepMilliseconds(1);
        pumped = PumpMessagesUnlocked();
    }
}

int SetupDirectSound() {
    if (gSound.setUp != 0 || gSound.device != nullptr) return -1;
    AppendLogText("DirectSound の初期化を行います\n");
    AppendLogText("DirectSound インターフェースの取得を行います....  ");
    IDirectSound* device = nullptr;
    if (gPlatformDlls.CoCreateInstance == nullptr ||
        FAILED(gPlatformDlls.CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL,
                                              IID_IDirectSound,
                                              reinterpret_cast<void**>(&device)))) {
        return AppendLogText("DirectSoundインターフェースの作成に失敗しました\n");
    }
    AppendLogText("成功\n");
    AppendLogText("引き続きインターフェースの初期化処理...  ");
    HRESULT result = device->Initialize(nullptr);
    if (FAILED(result)) {
        AppendLogText("初期化に失敗しました\n");
        EmitLogFormat("エラーコード %x", static_cast<unsigned>(result));
        device->Release();
        return -1;
    }
    AppendLogText("成功\n");
    // The layer has no desktop window handle; the cooperative level does not depend on it.
    if (FAILED(device->SetCooperativeLevel(GetMainHwnd(), DSSCL_PRIORITY))) {
        AppendLogText("DirectSoundの協調レベルの設定に失敗しました\n");
        device->Release();
        return -1;
    }
    DSBUFFERDESC primaryDesc{};
    primaryDesc.dwSize = sizeof primaryDesc;
    primaryDesc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (FAILED(device->CreateSoundBuffer(&primaryDesc, &gSound.primary, nullptr))) {
        AppendLogText("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
        device->Release();
        return -1;
    }
    gSound.device = device;
    SetPrimaryFormat();
    StartSilentBuffer();
    gSound.createSettings = {kStreamSourceWhole, 0, 2, 0};
    WriteDeviceLog();

    SetupHandleRegistry(&gSound.sounds, HandleKindBits(kHandleKindSound), sizeof(SoundRecord),
                        kMaxSounds, InitSoundRecord, TerminateSoundRecord, "サウンド");
    SetupHandleRegistry(&gSound.softSounds, HandleKindBits(kHandleKindSoftSound),
                        sizeof(SoftSoundRecord), kMaxSoftSounds, ReturnZero,
                        TerminateSoftSoundRecord, "ソフトサウンド");
    SetupHandleRegistry(&gSound.music, HandleKindBits(kHandleKindMusic), sizeof(MusicRecord),
                        kMaxMusic, InitMusicRecord, TerminateMusicRecord, "ミュージック");
    InitHandleNodeChain(&gSound.streamHead, &gSound.streamTail);
    InitHandleNodeChain(&gSound.playerHead, &gSound.playerTail);
    gSound.setUp = 1;

    if (gSystemInfo.processorCount > 1) {
        StartStreamThread();
    } else {
        SetPumpService(kPumpStreamSounds, ServiceStreamSounds);
    }
    SetPumpService(kPumpMusic, UpdateMusicPlayFlags);
    AppendLogText("DirectSound の初期化は正常に終了しました\n");
    return 0;
}

int ShutdownDirectSound() {
    if (gSound.setUp == 0 || gSound.device == nullptr) return -1;
    SetPumpService(kPumpStreamSounds, nullptr);
    SetPumpService(kPumpMusic, nullptr);
    StopStreamThread();
    RetireAllHandles(&gSound.sounds, nullptr);
    RetireAllHandles(&gSound.softSounds, IsSoftSoundPlayer);
    RetireAllHandles(&gSound.softSounds, nullptr);
    RetireAllHandles(&gSound.music, nullptr);
    DeleteMusicTemporaryFile();
    ShutdownHandleRegistry(&gSound.sounds);
    ShutdownHandleRegistry(&gSound.softSounds);
    ShutdownHandleRegistry(&gSound.music);
    for (IDirectSoundBuffer** buffer : {&gSound.primary, &gSound.silent}) {
        if (*buffer == nullptr) continue;
        (*buffer)->Stop();
        (*buffer)->Release();
        *buffer = nullptr;
    }
    gSound.device->Release();
    gSound.device = nullptr;
    AppendLogText("DirectSound の終了処理は正常に終了しました\n");
    gSound.setUp = 0;
    return 0;
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
    if (gSound.device == nullptr) return -1;
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
