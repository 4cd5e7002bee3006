// The sound device: DirectSound with its primary format, silent looping buffer and device log;
// the registries of the sound, soft-sound and music kinds; and the stream thread (or, on one
// processor, the pump) that keeps stream sounds fed. Shutdown retires every kind's handles.
#include "sound/sound_device.h"

#include <platform/com.h>
#include <platform/win32.h>

#include <algorithm>
#include <cstdarg>

#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/pump_services.h"
#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "core/system_info.h"
#include "sound/music.h"
#include "sound/soft_sound.h"
#include "sound/sound.h"
#include "sound/stream_sound.h"

namespace {

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

int ReturnZero(HandleHeader* record) {
    return 0;
}

}  // namespace

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
