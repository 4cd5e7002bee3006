// Keyboard, mouse and joypad input through DirectInput 7, else 8, else the Win32 keyboard
// state and winmm's joystick calls: the key table refreshed at most once per millisecond,
// pads as JoypadBits with their keyboard assignment, vibration, and re-acquiring devices.
#include "input/input.h"

#include <platform/mmsystem.h>
#include <platform/win32.h>
#include <platform/win32_user.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/shell_hooks.h"
#include "core/clocks.h"
#include "core/fatal_error.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/pump_services.h"
#include "core/string_functions.h"
#include "core/system_info.h"

InputState gInput = {};

// clang-format off
const VkToDikRow VkToDikTable[] = {
    {0x41, 0x1E, 0}, {0x42, 0x30, 0}, {0x43, 0x2E, 0}, {0x44, 0x20, 0}, {0x45, 0x12, 0},
    {0x46, 0x21, 0}, {0x47, 0x22, 0}, {0x48, 0x23, 0}, {0x49, 0x17, 0}, {0x4A, 0x24, 0},
    {0x4B, 0x25, 0}, {0x4C, 0x26, 0}, {0x4D, 0x32, 0}, {0x4E, 0x31, 0}, {0x4F, 0x18, 0},
    {0x50, 0x19, 0}, {0x51, 0x10, 0}, {0x52, 0x13, 0}, {0x53, 0x1F, 0}, {0x54, 0x14, 0},
    {0x55, 0x16, 0}, {0x56, 0x2F, 0}, {0x57, 0x11, 0}, {0x58, 0x2D, 0}, {0x59, 0x15, 0},
    {0x5A, 0x2C, 0},
    {0x30, 0x0B, 0}, {0x31, 0x02, 0}, {0x32, 0x03, 0}, {0x33, 0x04, 0}, {0x34, 0x05, 0},
    {0x35, 0x06, 0}, {0x36, 0x07, 0}, {0x37, 0x08, 0}, {0x38, 0x09, 0}, {0x39, 0x0A, 0},
    {0x25, 0xCB, 0}, {0x26, 0xC8, 0}, {0x27, 0xCD, 0}, {0x28, 0xD0, 0},
    {0xBB, 0x27, 0}, {0xBA, 0x92, 0}, {0xDB, 0x1A, 0}, {0xDD, 0x1B, 0}, {0xC0, 0x91, 0},
    {0xE2, 0x2B, 0}, {0xBC, 0x33, 0}, {0xDE, 0x90, 0}, {0xBD, 0x0C, 0}, {0xDC, 0x7D, 0},
    {0xBE, 0x34, 0}, {0xBF, 0x35, 0},
    {0x2E, 0xD3, 0}, {0x1B, 0x01, 0}, {0x20, 0x39, 0}, {0x08, 0x0E, 0}, {0x09, 0x0F, 0},
    {0x0D, 0x1C, 0},
    {0x60, 0x52, 0}, {0x61, 0x4F, 0}, {0x62, 0x50, 0}, {0x63, 0x51, 0}, {0x64, 0x4B, 0},
    {0x65, 0x4C, 0}, {0x66, 0x4D, 0}, {0x67, 0x47, 0}, {0x68, 0x48, 0}, {0x69, 0x49, 0},
    {0x6A, 0x37, 0}, {0x6B, 0x4E, 0}, {0x6D, 0x4A, 0}, {0x6E, 0x53, 0}, {0x6F, 0xB5, 0},
    {0x0D, 0x9C, 0},
    {0xA0, 0x2A, 0}, {0xA1, 0x36, 0}, {0xA2, 0x1D, 0}, {0xA3, 0x9D, 0}, {0x21, 0xC9, 0},
    {0x22, 0xD1, 0}, {0x23, 0xCF, 0}, {0x24, 0xC7, 0}, {0x2D, 0xD2, 0}, {0xA4, 0x38, 0},
    {0xA5, 0xB8, 0}, {0x91, 0x46, 0}, {0x14, 0x3A, 0}, {0x13, 0xC5, 0},
    {0x70, 0x3B, 0}, {0x71, 0x3C, 0}, {0x72, 0x3D, 0}, {0x73, 0x3E, 0}, {0x74, 0x3F, 0},
    {0x75, 0x40, 0}, {0x76, 0x41, 0}, {0x77, 0x42, 0}, {0x78, 0x43, 0}, {0x79, 0x44, 0},
    {0x7A, 0x57, 0}, {0x7B, 0x58, 0},
    {0xFFFF, 0, 0},
};
// clang-format on

namespace {

constexpr int32_t kKeyboardBufferSize = 100;
constexpr LONG kAxisRange = 1000;
constexpr DWORD kDeadZone = 3500;
constexpr LONG kFullForce = 10000;
constexpr DWORD kSinePeriodUs = 1500000;
constexpr DWORD kSineAttackUs = 500000;
constexpr DWORD kSineFadeUs = 1000000;
constexpr int32_t kSineAbovePower = 5000;
constexpr DWORD kRightShiftDik = 0x36;
constexpr int32_t kMultimediaAxisMax = 65535;

// Pad 1's keys at the first set-up, by bit: the numeric pad and arrows for the directions,
// then Z X C A S D Q W Esc Space for buttons 0 to 9.
constexpr int32_t kDefaultPadKeys[][2] = {
    {80, 208}, {75, 203}, {77, 205}, {72, 200}, {44, 0}, {45, 0}, {46, 0},
    {30, 0},   {31, 0},   {32, 0},   {16, 0},   {17, 0}, {1, 0},  {57, 0},
};

bool HasDirectInput() {
    return gInput.directInput7 != nullptr || gInput.directInput8 != nullptr;
}

bool IsSignalled(HANDLE event) {
    return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

template <class T>
void ReleaseObject(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

void CloseEvent(HANDLE& event) {
    if (event != nullptr) CloseHandle(event);
    event = nullptr;
}

// Pads are exclusive in the foreground while the application is active, else shared.
DWORD PadCooperativeLevel() {
    return IsAppActive() != 0 ? DISCL_EXCLUSIVE | DISCL_FOREGROUND
                              : DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
}

// Every DirectInput notification event is a manual-reset one, reset once read.
HANDLE CreateNotificationEvent() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

bool NotificationAccepted(HRESULT result) {
    return result == DI_OK || result == DI_POLLEDDEVICE;
}

HRESULT CreateDirectInputDevice(REFGUID guid, IDirectInputDevice7A** device) {
    *device = nullptr;
    if (gInput.directInput7 != nullptr) {
        return gInput.directInput7->CreateDeviceEx(guid, IID_IDirectInputDevice7A,
                                                   reinterpret_cast<LPVOID*>(device), nullptr);
    }
    IDirectInputDevice8A* created = nullptr;
    HRESULT result = gInput.directInput8->CreateDevice(guid, &created, nullptr);
    *device = created;
    return result;
}

// The input state cleared, keeping its settings.
void ClearInputState() {
    InputSettings kept = gInput.settings;
    gInput = InputState{};
    gInput.settings = kept;
}

void FillDefaultKeyMap() {
    for (auto& pad : gInput.settings.keyMap) {
        for (auto& row : pad) row[0] = row[1] = -1;
    }
    for (size_t bit = 0; bit < std::size(kDefaultPadKeys); ++bit) {
        gInput.settings.keyMap[0][bit][0] = kDefaultPadKeys[bit][0];
        gInput.settings.keyMap[0][bit][1] =
            kDefaultPadKeys[bit][1] != 0 ? kDefaultPadKeys[bit][1] : -1;
    }
    gInput.settings.keyMapInitialised = 1;
}

// DirectInput 7, else 8; false when neither can be had, which switches DirectInput off.
bool CreateDirectInput() {
    HINSTANCE module = gShell.module;
    AppendLogText("DirectInput関係初期化処理\n");
    AppendLogText("DirectInput7 の取得中... ");
    void* object = nullptr;
    HRESULT result =
        gPlatformDlls.CoCreateInstance != nullptr
            ? gPlatformDlls.CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IDirectInput7A, &object)
            : REGDB_E_CLASSNOTREG;
    if (FAILED(result)) {
        AppendLogText("取得に失敗。\n");
        EmitLogFormat("エラーコード 0x%x", static_cast<unsigned>(result));
    } else {
        gInput.directInput7 = static_cast<IDirectInput7A*>(object);
        AppendLogText("成功\n");
        AppendLogText("引き続き初期化処理... ");
        if (FAILED(gInput.directInput7->Initialize(module, 0x0700))) {
            AppendLogText("初期化に失敗。");
            ReleaseObject(gInput.directInput7);
        }
    }
    if (gInput.directInput7 != nullptr) return true;

    AppendLogText("DirectInput8 の取得を試みます...");
    object = nullptr;
    if (gPlatformDlls.CoCreateInstance != nullptr &&
        SUCCEEDED(gPlatformDlls.CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER,
                                                 IID_IDirectInput8A, &object))) {
        gInput.directInput8 = static_cast<IDirectInput8A*>(object);
        if (FAILED(gInput.directInput8->Initialize(module, 0x0800))) {
            ReleaseObject(gInput.directInput8);
        }
    }
    if (gInput.directInput8 != nullptr) return true;
    AppendLogText("取得に失敗。");
    AppendLogText("DirectInput を使用しません。\n");
    gInput.settings.NoDirectInputSwitch = 1;
    return false;
}

// A failed step of the mouse or keyboard: the device goes and the program ends.
[[noreturn]] void FailDevice(IDirectInputDevice7A*& device, const char* message) {
    ReleaseObject(device);
    ExitOnFatalError(message);
}

// The mouse or the keyboard with its data format and a shared, background cooperative level.
IDirectInputDevice7A* CreateSystemDevice(REFGUID guid, LPCDIDATAFORMAT format,
                                         const char* const failures[3]) {
    IDirectInputDevice7A* device = nullptr;
    if (FAILED(CreateDirectInputDevice(guid, &device))) FailDevice(device, failures[0]);
    if (FAILED(device->SetDataFormat(format))) FailDevice(device, failures[1]);
    if (FAILED(device->SetCooperativeLevel(GetMainHwnd(), DISCL_NONEXCLUSIVE | DISCL_BACKGROUND))) {
        FailDevice(device, failures[2]);
    }
    return device;
}

void ReleaseKeyboardAndMouse() {
    if (gInput.keyboard != nullptr) gInput.keyboard->Unacquire();
    ReleaseObject(gInput.keyboard);
    CloseEvent(gInput.keyboardEvent);
    if (gInput.mouse != nullptr) gInput.mouse->Unacquire();
    ReleaseObject(gInput.mouse);
}

void ReleaseDirectInput() {
    ReleaseJoypads();
    ReleaseKeyboardAndMouse();
    ReleaseObject(gInput.directInput7);
    ReleaseObject(gInput.directInput8);
}

// The devices of DirectInput after it was had: pads, mouse, keyboard. -1 when the keyboard's
// event cannot be set up.
int SetupDirectInputDevices() {
    AppendLogText("初期化成功\n");
    PumpMessagesUnlocked();
    SetupJoypads();

    static const char* const kMouseFailures[3] = {"マウスデバイスの取得に失敗しました",
                                                  "マウスデバイスのデータ形式の設定に失敗しました",
                                                  "マウスデバイスの協調レベルの設定に失敗しました"};
    AppendLogText("マウスデバイスの初期化... ");
    gInput.mouse = CreateSystemDevice(GUID_SysMouse, &c_dfDIMouse, kMouseFailures);

    if (gInput.settings.KeyboardByWin32Switch != 0) return 0;
    static const char* const kKeyboardFailures[3] = {
        "キーボードデバイスの取得に失敗しました",
        "キーボードデバイスのデータ形式の設定に失敗しました",
        "キーボードデバイスの協調レベルの設定に失敗しました"};
    AppendLogText("キーボードデバイスの初期化... ");
    gInput.keyboard = CreateSystemDevice(GUID_SysKeyboard, &c_dfDIKeyboard, kKeyboardFailures);
    DIPROPDWORD buffer = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE},
                          kKeyboardBufferSize};
    if (FAILED(gInput.keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph))) {
        AppendLogText("キーボードのプロパティ設定に失敗しました\n");
    }
    gInput.keyboardEvent = CreateNotificationEvent();
    if (!NotificationAccepted(gInput.keyboard->SetEventNotification(gInput.keyboardEvent))) {
        return AppendLogText("キーボードイベントのセットアップが失敗しました\n");
    }
    gInput.keyboard->Acquire();
    AppendLogText("DirectInput 関連の初期化は正常に終了しました\n");
    return 0;
}

// Without DirectInput: the winmm pads, counted up to the first id that does not answer.
void SetupMultimediaJoypads() {
    int32_t count = 0;
    for (; count < kMaxJoypads && gPlatformDlls.joyGetDevCapsA != nullptr; ++count) {
        JOYCAPSA caps;
        if (gPlatformDlls.joyGetDevCapsA(static_cast<UINT_PTR>(count), &caps, sizeof caps) !=
            JOYERR_NOERROR) {
            break;
        }
        const UINT both = JOYCAPS_HASZ | JOYCAPS_HASR;
        gInput.joypads[count].hasZAndR = (caps.wCaps & both) == both ? 1 : 0;
    }
    gInput.joypadCount = count;
    EmitLogFormat("パッドの数は %d 個です", count);
    gInput.multimediaFallback = 1;
}

void ReleaseJoypad(JoypadRecord& pad) {
    if (pad.device != nullptr) pad.device->Unacquire();
    for (IDirectInputEffect*& effect : pad.effects) {
        if (effect != nullptr) effect->Stop();
        ReleaseObject(effect);
    }
    ReleaseObject(pad.device);
    CloseEvent(pad.event);
    pad = JoypadRecord{};
}

bool SetAxisRange(IDirectInputDevice7A* device, DWORD axis) {
    DIPROPRANGE range = {
        {sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), axis, DIPH_BYOFFSET}, -kAxisRange, kAxisRange};
    return SUCCEEDED(device->SetProperty(DIPROP_RANGE, &range.diph));
}

bool SetAxisDeadZone(IDirectInputDevice7A* device, DWORD axis) {
    DIPROPDWORD zone = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), axis, DIPH_BYOFFSET},
                        kDeadZone};
    return SUCCEEDED(device->SetProperty(DIPROP_DEADZONE, &zone.diph));
}

// The constant push on X and Y, and the sine that swells over half a second and fades over
// one; a missing constant force is logged, the pad goes on without it.
void CreateJoypadEffects(JoypadRecord& pad) {
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG direction[2] = {0, 0};
    DICONSTANTFORCE force = {kFullForce};
    DIEFFECT effect = {};
    effect.dwSize = sizeof effect;
    effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    effect.dwDuration = INFINITE;
    effect.dwGain = DI_FFNOMINALMAX;
    effect.dwTriggerButton = DIEB_NOTRIGGER;
    effect.cAxes = 2;
    effect.rgdwAxes = axes;
    effect.rglDirection = direction;
    effect.cbTypeSpecificParams = sizeof force;
    effect.lpvTypeSpecificParams = &force;
    if (FAILED(pad.device->CreateEffect(GUID_ConstantForce, &effect, &pad.effects[0], nullptr))) {
        AppendLogText("周期的エフェクトの作成に失敗しました。\n");
    }

    DIPERIODIC wave = {DI_FFNOMINALMAX, 0, 0, kSinePeriodUs};
    DIENVELOPE envelope = {sizeof(DIENVELOPE), 0, kSineAttackUs, 0, kSineFadeUs};
    effect.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
    effect.lpEnvelope = &envelope;
    effect.cbTypeSpecificParams = sizeof wave;
    effect.lpvTypeSpecificParams = &wave;
    pad.device->CreateEffect(GUID_Sine, &effect, &pad.effects[1], nullptr);
}

// Adds one enumerated game controller as the next pad; a pad that fails a step is dropped with
// the step's message.
BOOL AddJoypadDevice(LPCDIDEVICEINSTANCEA instance, LPVOID context) {
    if (gInput.joypadCount >= kMaxJoypads) return DIENUM_CONTINUE;
    JoypadRecord& pad = gInput.joypads[gInput.joypadCount];
    AppendLogText("入力装置を見つけました\n");
    EmitLogFormat("デバイスの登録名:%s", instance->tszInstanceName);
    EmitLogFormat("デバイスの製品登録名:%s", instance->tszProductName);
    auto drop = [&pad](const char* message) {
        AppendLogText(message);
        ReleaseJoypad(pad);
        return DIENUM_CONTINUE;
    };
    if (FAILED(CreateDirectInputDevice(instance->guidInstance, &pad.device))) {
        return drop("入力装置の取得に失敗しました\n");
    }
    if (FAILED(pad.device->SetDataFormat(&c_dfDIJoystick))) {
        return drop("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
    }
    if (FAILED(pad.device->SetCooperativeLevel(GetMainHwnd(), PadCooperativeLevel()))) {
        return drop("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
    }
    if (!SetAxisRange(pad.device, DIJOFS_X)) {
        return drop("ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n");
    }
    if (!SetAxisRange(pad.device, DIJOFS_Y)) {
        return drop("ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
    }
    if (!SetAxisDeadZone(pad.device, DIJOFS_X)) {
        return drop("ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n");
    }
    if (!SetAxisDeadZone(pad.device, DIJOFS_Y)) {
        return drop("ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
    }
    if (gInput.settings.noForceFeedback == 0) CreateJoypadEffects(pad);
    pad.vibrationOn = 0;
    pad.vibrationPower = kFullForce;
    pad.event = CreateNotificationEvent();
    if (!NotificationAccepted(pad.device->SetEventNotification(pad.event))) {
        return drop("ジョイパッドイベントのセットアップが失敗しました\n");
    }
    CopyStringMax(pad.instanceName, instance->tszInstanceName, sizeof pad.instanceName - 1);
    CopyStringMax(pad.productName, instance->tszProductName, sizeof pad.productName - 1);
    AppendLogText("ジョイパッドの追加は正常に終了しました\n");
    gInput.joypadCount++;
    return DIENUM_CONTINUE;
}

// A winmm axis (0..65535) in -1000..1000, with the middle half of the travel as a dead zone.
LONG MapMultimediaAxis(DWORD raw) {
    int32_t v = static_cast<int32_t>(std::min<DWORD>(raw, kMultimediaAxisMax));
    if (v == 0) return -kAxisRange;
    if (v == 32767) return 0;
    if (v == kMultimediaAxisMax) return kAxisRange;
    if (v >= 16384 && v <= 49152) return 0;
    return v < 16384 ? (v - 16384) * kAxisRange / 16384 : (v - 49152) * kAxisRange / 16384;
}

int ReadMultimediaJoypad(int32_t index) {
    JoypadRecord& pad = gInput.joypads[index];
    uint32_t now = GetMillisecondCount();
    if (now == pad.lastPoll) return 0;
    pad.lastPoll = now;
    JOYINFOEX info = {};
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    pad.state = DIJOYSTATE{};
    if (gPlatformDlls.joyGetPosEx == nullptr ||
        gPlatformDlls.joyGetPosEx(static_cast<UINT>(index), &info) != JOYERR_NOERROR) {
        return -1;
    }
    pad.state.lX = MapMultimediaAxis(info.dwXpos);
    pad.state.lY = MapMultimediaAxis(info.dwYpos);
    if (pad.hasZAndR != 0) {
        pad.state.lZ = MapMultimediaAxis(info.dwZpos);
        pad.state.lRz = MapMultimediaAxis(info.dwRpos);
    }
    for (int32_t button = 0; button < kJoypadButtons; ++button) {
        pad.state.rgbButtons[button] = (info.dwButtons >> button & 1) != 0 ? 0x80 : 0;
    }
    return 0;
}

int ReadDirectInputJoypad(int32_t index) {
    JoypadRecord& pad = gInput.joypads[index];
    if (pad.device == nullptr) return -1;
    uint32_t now = GetMillisecondCount();
    if (now == pad.lastPoll && !IsSignalled(pad.event)) return 0;
    pad.lastPoll = now;
    pad.device->Poll();
    DIJOYSTATE state;
    HRESULT result = pad.device->GetDeviceState(sizeof state, &state);
    if (FAILED(result)) {
        // The pump may end the program or input itself.
        if (PumpMessagesUnlocked() != 0 || !HasDirectInput() || pad.device == nullptr) return -1;
        pad.device->Acquire();
        result = pad.device->GetDeviceState(sizeof state, &state);
    }
    if (SUCCEEDED(result)) pad.state = state;
    if (IsSignalled(pad.event)) ResetEvent(pad.event);
    return 0;
}

// The DirectInput keyboard, used before Windows Vista unless told otherwise.
int RefreshDirectInputKeyboard(int32_t pumpFirst) {
    uint32_t now = GetMillisecondCount();
    if (now == gInput.keyboardUpdated && !IsSignalled(gInput.keyboardEvent)) return 0;
    if (pumpFirst != 0 && PumpMessagesUnlocked() != 0) return 0;
    if (gInput.keyboard == nullptr) return 0;
    if (FAILED(gInput.keyboard->GetDeviceState(sizeof gInput.keys, gInput.keys))) {
        gInput.keyboard->Acquire();
        if (FAILED(gInput.keyboard->GetDeviceState(sizeof gInput.keys, gInput.keys))) return 0;
    }
    gInput.keyboardUpdated = now;
    if (IsSignalled(gInput.keyboardEvent)) ResetEvent(gInput.keyboardEvent);
    gInput.keys[kRightShiftDik] = (GetKeyState(VK_RSHIFT) & 0x8000) != 0 ? 0x80 : 0;
    return 1;
}

// The Win32 keyboard state through VkToDikTable, on the main thread only.
int RefreshWin32Keyboard(int32_t pumpFirst) {
    if (GetCurrentThreadId() != gShell.mainThreadId) return 0;
    uint32_t now = GetMillisecondCount();
    if (now == gInput.keyboardUpdated) return 0;
    if (pumpFirst != 0 && PumpMessagesUnlocked() != 0) return 0;
    BYTE state[256];
    if (!GetKeyboardState(state)) return 0;
    std::memset(gInput.keys, 0, sizeof gInput.keys);
    for (const VkToDikRow* row = VkToDikTable; row->virtualKey != 0xFFFF; ++row) {
        gInput.keys[row->dik] = state[row->virtualKey];
    }
    const BYTE buttons[3] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    for (int i = 0; i < 3; ++i) gInput.mouseButtons[i] = (state[buttons[i]] & 0x80) != 0 ? 1 : 0;
    gInput.keyboardUpdated = now;
    return 1;
}

// What every public query does first. False when the query must return `*result` instead of
// answering: input was not set up, and this call set it up.
bool PrepareQuery(int* result) {
    if (IsAppActive() == 0) WaitForActivation();
    if (gInput.setUp != 0 || IsCloseRequested() != 0) return true;
    *result = SetupInput();
    return false;
}

bool IsKeyDown(int32_t key) {
    return key >= 0 && key < 256 && (gInput.keys[key] & 0x80) != 0;
}

// A pad number 1..count as an index; -1 for any other number (checked before the subtraction,
// which INT_MIN would overflow).
int32_t PadIndex(int32_t pad) {
    return pad >= 1 && pad <= gInput.joypadCount ? pad - 1 : -1;
}

// A pad number 1..count whose pad can vibrate, as an index; -1 otherwise.
int32_t VibratingPadIndex(int32_t pad) {
    int32_t index = PadIndex(pad);
    if (index < 0) return -1;
    const JoypadRecord& record = gInput.joypads[index];
    bool hasEffect = record.effects[0] != nullptr || record.effects[1] != nullptr;
    return record.device != nullptr && hasEffect ? index : -1;
}

void StopRumble(JoypadRecord& pad) {
    pad.vibrationOn = 0;
    pad.vibrationPower = kFullForce;
    ApplyJoypadVibration();
}

void PlayEffect(JoypadRecord& pad, int which, bool play) {
    IDirectInputEffect* effect = pad.effects[which];
    if (effect == nullptr || (pad.effectPlaying[which] != 0) == play) return;
    if (play) {
        effect->Start(1, 0);
    } else {
        effect->Stop();
    }
    pad.effectPlaying[which] = play ? 1 : 0;
}

}  // namespace

int SetupInput() {
    if (gInput.setUp != 0) return 0;
    ClearInputState();
    if (gInput.settings.NoDirectInputSwitch == 0 && CreateDirectInput()) {
        if (SetupDirectInputDevices() == -1) {
            ReleaseDirectInput();
            return -1;
        }
    } else {
        SetupMultimediaJoypads();
    }
    AppendLogText("入力関連の初期化をしました\n");
    if (gInput.settings.keyMapInitialised == 0) FillDefaultKeyMap();
    SetPumpService(kPumpKeyboard, [] { return UpdateKeyboardState(0); });
    SetPumpService(kPumpJoypadRumble, TickJoypadRumble);
    gInput.setUp = 1;
    return 0;
}

int ShutdownInput() {
    if (gInput.setUp == 0) return 0;
    SetPumpService(kPumpKeyboard, nullptr);
    SetPumpService(kPumpJoypadRumble, nullptr);
    if (HasDirectInput()) {
        AppendLogText("DirectInput 関連の終了処理... 完了\n");
        ReleaseDirectInput();
    } else {
        AppendLogText("入力関連の終了処理... 完了\n");
        for (JoypadRecord& pad : gInput.joypads) pad = JoypadRecord{};
        gInput.joypadCount = 0;
    }
    gInput.multimediaFallback = 0;
    gInput.setUp = 0;
    return 0;
}

int SetupJoypads() {
    if (!HasDirectInput()) return -1;
    AppendLogText("ジョイパッドの初期化... \n");
    ReleaseJoypads();
    if (gInput.directInput7 != nullptr) {
        gInput.directInput7->EnumDevices(DIDEVTYPE_JOYSTICK, AddJoypadDevice, nullptr,
                                         DIEDFL_ATTACHEDONLY);
    } else {
        gInput.directInput8->EnumDevices(DI8DEVCLASS_GAMECTRL, AddJoypadDevice, nullptr,
                                         DIEDFL_ATTACHEDONLY);
    }
    AppendLogText("ジョイパッドの初期化は正常に終了しました\n");
    return 0;
}

int ReleaseJoypads() {
    if (!HasDirectInput()) return -1;
    for (JoypadRecord& pad : gInput.joypads) ReleaseJoypad(pad);
    gInput.joypadCount = 0;
    return 0;
}

int UpdateKeyboardState(int32_t pumpFirst) {
    if (gInput.updatingKeyboard != 0) return 0;
    gInput.updatingKeyboard = 1;
    bool directInputKeyboard = HasDirectInput() && gInput.settings.KeyboardByWin32Switch == 0 &&
                               gInput.keyboard != nullptr &&
                               (gInput.settings.DirectInputKeyboardOnNewerWindows != 0 ||
                                gSystemInfo.osCode < kOsCodeWindowsVista);
    int refreshed = directInputKeyboard ? RefreshDirectInputKeyboard(pumpFirst)
                                        : RefreshWin32Keyboard(pumpFirst);
    gInput.updatingKeyboard = 0;
    return refreshed;
}

int TestKeyDown(int32_t key) {
    int result;
    if (!PrepareQuery(&result)) return result;
    UpdateKeyboardState(1);
    return IsKeyDown(key) ? 1 : 0;
}

int CopyAllKeyStates(uint8_t out[256]) {
    if (out == nullptr) return -1;
    int result;
    if (!PrepareQuery(&result)) {
        // No key has been read: none is down, rather than what the buffer held.
        std::memset(out, 0, 256);
        return result;
    }
    UpdateKeyboardState(1);
    for (int key = 0; key < 256; ++key) out[key] = IsKeyDown(key) ? 1 : 0;
    return 0;
}

int GetMouseButtonBits() {
    int ignored;
    // Whatever the set-up gave, no button has been read: none rather than its -1.
    if (!PrepareQuery(&ignored)) return 0;
    UpdateKeyboardState(1);
    return (gInput.mouseButtons[0] != 0 ? kMouseLeft : 0) |
           (gInput.mouseButtons[1] != 0 ? kMouseRight : 0) |
           (gInput.mouseButtons[2] != 0 ? kMouseMiddle : 0);
}

int CountJoypads() {
    int result;
    if (!PrepareQuery(&result)) return result;
    return gInput.joypadCount;
}

JoypadBits GetJoypadBits(int32_t pad) {
    int ignored;
    // Whatever the set-up gave, no pad has been read: no bits rather than its -1.
    if (!PrepareQuery(&ignored)) return 0;
    // The number less one, held to -1..16 so that INT_MIN is not decremented: at most 0 stands
    // for pad 1's keys, above 16 for no pad at all.
    const int32_t number = pad & ~kJoypadWithKeys;
    const int32_t index = number < 1 ? -1 : std::min(number, kMaxJoypads + 1) - 1;
    bool withKeys = (pad & kJoypadWithKeys) != 0;
    JoypadBits bits = 0;
    if (index >= 0 && index < gInput.joypadCount) {
        UpdateJoypadState(index);
        const DIJOYSTATE& state = gInput.joypads[index].state;
        if (state.lX < 0) bits |= kJoypadLeft;
        if (state.lX > 0) bits |= kJoypadRight;
        if (state.lY < 0) bits |= kJoypadUp;
        if (state.lY > 0) bits |= kJoypadDown;
        for (int32_t button = 0; button < kJoypadButtons; ++button) {
            if ((state.rgbButtons[button] & 0x80) != 0) {
                bits |= 1u << (kJoypadFirstButtonBit + button);
            }
        }
    } else if (!withKeys) {
        return 0;
    }
    int32_t keyPad = std::max(index, 0);
    if (!withKeys || keyPad >= kMaxJoypads) return bits;
    UpdateKeyboardState(1);
    for (int32_t bit = 0; bit < 32; ++bit) {
        for (int32_t key : gInput.settings.keyMap[keyPad][bit]) {
            if (key > 0 && IsKeyDown(key)) bits |= 1u << bit;
        }
    }
    return bits;
}

int UpdateJoypadState(int32_t index) {
    if (index < 0 || index >= kMaxJoypads) return -1;
    if (HasDirectInput()) return ReadDirectInputJoypad(index);
    return gInput.multimediaFallback != 0 ? ReadMultimediaJoypad(index) : -1;
}

int StartJoypadRumble(int32_t pad, int32_t power, int32_t durationMs) {
    int result;
    if (!PrepareQuery(&result)) return result;
    int32_t index = VibratingPadIndex(pad);
    if (index < 0) return -1;
    JoypadRecord& record = gInput.joypads[index];
    record.vibrationOn = 1;
    record.vibrationPower = std::clamp(power, 0, static_cast<int32_t>(kFullForce));
    record.vibrationDuration = durationMs;
    record.vibrationElapsed = 0;
    record.lastVibrationTick = GetMillisecondCount();
    return ApplyJoypadVibration();
}

int StopJoypadRumble(int32_t pad) {
    int result;
    if (!PrepareQuery(&result)) return result;
    int32_t index = VibratingPadIndex(pad);
    if (index >= 0) StopRumble(gInput.joypads[index]);
    return 0;
}

int TickJoypadRumble() {
    uint32_t now = GetMillisecondCount();
    for (int32_t index = 0; index < gInput.joypadCount; ++index) {
        JoypadRecord& pad = gInput.joypads[index];
        if (VibratingPadIndex(index + 1) < 0 || pad.vibrationDuration < 0) continue;
        // A clock that went backwards adds nothing; a rumble of INT_MAX ms saturates.
        int64_t step = now >= pad.lastVibrationTick ? now - pad.lastVibrationTick : 0;
        pad.vibrationElapsed =
            static_cast<int32_t>(std::min<int64_t>(INT32_MAX, pad.vibrationElapsed + step));
        pad.lastVibrationTick = now;
        // Stopped here without the public call's wait for activation: the pump runs this.
        if (pad.vibrationElapsed >= pad.vibrationDuration) StopRumble(pad);
    }
    return ApplyJoypadVibration();
}

int ApplyJoypadVibration() {
    bool active = IsAppActive() != 0;
    for (int32_t index = 0; index < gInput.joypadCount; ++index) {
        JoypadRecord& pad = gInput.joypads[index];
        if (!active) {
            for (int which = 0; which < 2; ++which) {
                if (pad.effects[which] != nullptr) pad.effects[which]->Stop();
                pad.effectPlaying[which] = 0;
            }
            continue;
        }
        if (pad.device == nullptr) continue;
        PlayEffect(pad, 0, pad.vibrationOn != 0);
        PlayEffect(pad, 1, pad.vibrationOn != 0 && pad.vibrationPower > kSineAbovePower);
    }
    return 0;
}

int ReacquireInputDevices() {
    for (int32_t index = 0; index < gInput.joypadCount; ++index) {
        IDirectInputDevice7A* device = gInput.joypads[index].device;
        if (device == nullptr) continue;
        device->Unacquire();
        device->SetCooperativeLevel(GetMainHwnd(), PadCooperativeLevel());
        device->Acquire();
    }
    if (gInput.keyboard != nullptr) {
        gInput.keyboard->Unacquire();
        gInput.keyboard->Acquire();
    }
    return 0;
}
