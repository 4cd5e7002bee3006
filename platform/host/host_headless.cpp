// The headless host: windows are records with a pixel surface, events come from tests
// (at once or when the clock reaches a given millisecond), the desktop, display modes,
// clipboard, pointer and joysticks are whatever the test set, and the audio output renders on
// the clock.
#include <platform/testing_host.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "../base/clock.h"
#include "../keyboard/keyboard.h"
#include "headless_host.h"
#include "host.h"
#include "host_pixels.h"

namespace {

struct HeadlessWindow {
    std::string title;
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false, minimised = false, fullScreen = false;
    std::vector<uint32_t> surface;
    std::vector<uint32_t> shown;
    int shownWidth = 0, shownHeight = 0;
    int presents = 0;
};

struct ScheduledEvent {
    uint32_t at;
    HostEvent event;
};

struct HeadlessState {
    std::mutex mutex;
    bool failStart = false;
    bool keepSurfaces = true;
    std::map<uint32_t, HeadlessWindow> windows;
    uint32_t nextWindow = 1;
    std::deque<HostEvent> events;
    std::vector<ScheduledEvent> scheduled;
    HostDisplayMode desktop{1920, 1080, 32, 60};
    std::vector<HostDisplayMode> modes{
        {1920, 1080, 32, 60}, {1280, 720, 32, 60}, {1024, 768, 32, 60}, {800, 600, 32, 60}};
    bool cursorShown = true;
    int pointerX = 0, pointerY = 0;  // on the display
    bool screenSaver = true;
    std::string clipboard;
    std::vector<TestHostJoystick> joysticks;
    std::vector<TestHostEffectCall> effects;
};

HeadlessState gHeadless;

// The output renders on the clock: whenever the layer asks, it mixes the frames due since it
// last mixed, so a test that moves the virtual clock by up to a second hears exactly that span.
struct HeadlessAudio {
    std::mutex mutex;  // taken before the mixer's lock, never after it
    HostAudioCallback callback = nullptr;
    void* user = nullptr;
    int frequency = 0;
    unsigned long long openedAt = 0;  // clock microseconds
    unsigned long long framesRendered = 0;
    bool capturing = false;
    std::vector<int16_t> captured;
    std::vector<int16_t> scratch;
};

HeadlessAudio gHeadlessAudio;

// A service mixes at most this span: the rest of a longer wait (a program that stalled, a clock
// moved on by seconds) is dropped, as a device resumes after a stall rather than replaying it.
// So a service costs at most a second's mixing, however long the wait.
constexpr unsigned long long kLongestRenderMilliseconds = 1000;
constexpr int32_t kRenderChunkFrames = 4096;

void RenderAudioToNow() {
    HeadlessAudio& audio = gHeadlessAudio;
    if (audio.callback == nullptr) return;
    unsigned long long now = ClockPeekMicroseconds();
    if (now < audio.openedAt) return;
    unsigned long long due =
        static_cast<unsigned long long>(static_cast<unsigned __int128>(now - audio.openedAt) *
                                        static_cast<unsigned>(audio.frequency) / 1000000);
    if (due <= audio.framesRendered) return;
    const unsigned long long longest =
        kLongestRenderMilliseconds * static_cast<unsigned long long>(audio.frequency) / 1000;
    if (due - audio.framesRendered > longest) audio.framesRendered = due - longest;
    while (audio.framesRendered < due) {
        int32_t frames = static_cast<int32_t>(
            std::min<unsigned long long>(due - audio.framesRendered, kRenderChunkFrames));
        audio.scratch.resize(static_cast<size_t>(frames) * 2);
        audio.callback(audio.user, audio.scratch.data(), frames);
        if (audio.capturing) {
            audio.captured.insert(audio.captured.end(), audio.scratch.begin(), audio.scratch.end());
        }
        audio.framesRendered += static_cast<unsigned long long>(frames);
    }
}

HeadlessWindow* FindHeadless(uint32_t window) {
    auto found = gHeadless.windows.find(window);
    return found == gHeadless.windows.end() ? nullptr : &found->second;
}

bool Start() {
    return !gHeadless.failStart;
}

void Stop() {}

uint32_t CreateHostWindow(const char* title, int x, int y, int width, int height) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    uint32_t id = gHeadless.nextWindow++;
    HeadlessWindow& window = gHeadless.windows[id];
    window.title = title;
    window.x = x;
    window.y = y;
    window.width = width;
    window.height = height;
    return id;
}

void DestroyHostWindow(uint32_t window) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.windows.erase(window);
}

void SetTitle(uint32_t window, const char* title) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (HeadlessWindow* w = FindHeadless(window)) w->title = title;
}

void ShowHostWindow(uint32_t window, bool show) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (HeadlessWindow* w = FindHeadless(window)) w->visible = show;
}

void MinimiseWindow(uint32_t window) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (HeadlessWindow* w = FindHeadless(window)) w->minimised = true;
}

void RestoreWindow(uint32_t window) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (HeadlessWindow* w = FindHeadless(window)) w->minimised = false;
}

void RaiseWindow(uint32_t window) {}

void PlaceHostWindow(uint32_t window, int x, int y, int width, int height) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (HeadlessWindow* w = FindHeadless(window)) {
        w->x = x;
        w->y = y;
        w->width = width;
        w->height = height;
    }
}

void SetFullScreen(uint32_t window, bool on) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (HeadlessWindow* w = FindHeadless(window)) w->fullScreen = on;
}

uint32_t* LockSurface(uint32_t window, int* width, int* height, int* pitch) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    HeadlessWindow* w = FindHeadless(window);
    if (w == nullptr || w->width <= 0 || w->height <= 0 || !gHeadless.keepSurfaces) return nullptr;
    w->surface.resize(static_cast<size_t>(w->width) * static_cast<size_t>(w->height));
    *width = w->width;
    *height = w->height;
    *pitch = w->width * 4;
    return w->surface.data();
}

// The surface becomes what the window shows. Call with the lock held.
void ShowSurface(HeadlessWindow& w) {
    w.shown = w.surface;
    w.shownWidth = w.width;
    w.shownHeight = w.height;
    ++w.presents;
}

void UnlockSurface(uint32_t window) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (HeadlessWindow* w = FindHeadless(window)) ShowSurface(*w);
}

// The surface stays in 0x00RRGGBB, the layout tests read.
bool ShowImage(uint32_t window, const HostImage& image, int x, int y) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    HeadlessWindow* w = FindHeadless(window);
    if (w == nullptr || w->width <= 0 || w->height <= 0 || !gHeadless.keepSurfaces) return false;
    w->surface.resize(static_cast<size_t>(w->width) * static_cast<size_t>(w->height));
    const HostImageClip clip = ClipHostImage(image, x, y, w->width, w->height);
    for (int row = 0; row < clip.height; ++row) {
        ConvertRowToXrgb(image.format, clip.first + int64_t{row} * image.pitchBytes, clip.width,
                         &w->surface[static_cast<size_t>(clip.y + row) * w->width + clip.x]);
    }
    ShowSurface(*w);
    return true;
}

// origin + offset, kept within int's range whatever place a test names.
int OffsetWithin(int origin, int offset) {
    return static_cast<int>(std::clamp<int64_t>(int64_t{origin} + offset, INT32_MIN, INT32_MAX));
}

// What an event tells of the display, as a real host would have seen it happen: a window moved
// (by a window manager) stands at its new place, and a mouse event puts the pointer at its
// place in the window. Call with the lock held.
void FollowEvent(const HostEvent& event) {
    HeadlessWindow* w = FindHeadless(event.window);
    if (w == nullptr) return;
    switch (event.kind) {
        case HostEventKind::Moved:
            w->x = event.x;
            w->y = event.y;
            break;
        case HostEventKind::MouseMove:
        case HostEventKind::MouseButtonDown:
        case HostEventKind::MouseButtonUp:
            gHeadless.pointerX = OffsetWithin(w->x, event.x);
            gHeadless.pointerY = OffsetWithin(w->y, event.y);
            break;
        default:
            break;
    }
}

bool PollEvent(HostEvent* event) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    // The millisecond time, as timeGetTime reads it.
    DWORD now = static_cast<DWORD>(ClockReadMicroseconds() / 1000);
    std::stable_sort(gHeadless.scheduled.begin(), gHeadless.scheduled.end(),
                     [](const ScheduledEvent& a, const ScheduledEvent& b) { return a.at < b.at; });
    while (!gHeadless.scheduled.empty() &&
           static_cast<int32_t>(now - gHeadless.scheduled.front().at) >= 0) {
        gHeadless.events.push_back(gHeadless.scheduled.front().event);
        gHeadless.scheduled.erase(gHeadless.scheduled.begin());
    }
    if (gHeadless.events.empty()) return false;
    *event = gHeadless.events.front();
    gHeadless.events.pop_front();
    FollowEvent(*event);
    return true;
}

HostDisplayMode DesktopMode() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    return gHeadless.desktop;
}

int ListDisplayModes(HostDisplayMode* modes, int capacity) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    int count = static_cast<int>(gHeadless.modes.size());
    for (int i = 0; i < std::min(count, capacity); ++i) modes[i] = gHeadless.modes[i];
    return count;
}

void ShowPointer(bool show) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.cursorShown = show;
}

bool PointerPosition(int* x, int* y) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    *x = gHeadless.pointerX;
    *y = gHeadless.pointerY;
    return true;
}

bool PlacePointer(int x, int y) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.pointerX = x;
    gHeadless.pointerY = y;
    return true;
}

void EnableScreenSaver(bool enable) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.screenSaver = enable;
}

std::string ClipboardText() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    return gHeadless.clipboard;
}

bool SetClipboardText(const char* text) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.clipboard = text;
    return true;
}

bool OpenAudio(int frequency, HostAudioCallback callback, void* user) {
    std::lock_guard<std::mutex> guard(gHeadlessAudio.mutex);
    if (gHeadlessAudio.callback != nullptr || frequency <= 0) return false;
    gHeadlessAudio.callback = callback;
    gHeadlessAudio.user = user;
    gHeadlessAudio.frequency = frequency;
    gHeadlessAudio.openedAt = ClockPeekMicroseconds();
    gHeadlessAudio.framesRendered = 0;
    return true;
}

void CloseAudio() {
    std::lock_guard<std::mutex> guard(gHeadlessAudio.mutex);
    RenderAudioToNow();
    gHeadlessAudio.callback = nullptr;
}

void ServiceAudio() {
    std::lock_guard<std::mutex> guard(gHeadlessAudio.mutex);
    RenderAudioToNow();
}

std::vector<std::string> AudioDeviceNames() {
    return {"Headless Audio Output"};
}

int CountJoysticks() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    return static_cast<int>(gHeadless.joysticks.size());
}

// The joystick at `index`, or null. Call with the lock held.
TestHostJoystick* FindJoystick(int index) {
    if (index < 0 || index >= static_cast<int>(gHeadless.joysticks.size())) return nullptr;
    return &gHeadless.joysticks[static_cast<size_t>(index)];
}

bool DescribeJoystick(int index, HostJoystickInfo* info) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    TestHostJoystick* joystick = FindJoystick(index);
    if (joystick == nullptr) return false;
    *info = joystick->info;
    return true;
}

bool ReadJoystick(int index, HostJoystickState* state) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    TestHostJoystick* joystick = FindJoystick(index);
    if (joystick == nullptr) return false;
    *state = joystick->state;
    return true;
}

bool PlayJoystickEffect(int index, int slot, const HostJoystickEffect* effect) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    TestHostJoystick* joystick = FindJoystick(index);
    if (joystick == nullptr || !joystick->info.forceFeedback) return false;
    gHeadless.effects.push_back(
        {index, slot, effect != nullptr, effect != nullptr ? *effect : HostJoystickEffect{}});
    return true;
}

// A key event names both codes, as a keyboard reports them; a test may give either.
void CompleteKeyCodes(HostEvent* event) {
    if (event->kind != HostEventKind::KeyDown && event->kind != HostEventKind::KeyUp) return;
    if (event->scanCode == 0) event->scanCode = ScanCodeOfVirtualKey(event->virtualKey);
    if (event->virtualKey == 0) event->virtualKey = VirtualKeyOfScanCode(event->scanCode);
}

}  // namespace

const HostDriver kHeadlessHost = {
    "headless",
    Start,
    Stop,
    CreateHostWindow,
    DestroyHostWindow,
    SetTitle,
    ShowHostWindow,
    MinimiseWindow,
    RestoreWindow,
    RaiseWindow,
    PlaceHostWindow,
    SetFullScreen,
    LockSurface,
    UnlockSurface,
    ShowImage,
    PollEvent,
    DesktopMode,
    ListDisplayModes,
    ShowPointer,
    PointerPosition,
    PlacePointer,
    EnableScreenSaver,
    ClipboardText,
    SetClipboardText,
    OpenAudio,
    CloseAudio,
    ServiceAudio,
    AudioDeviceNames,
    CountJoysticks,
    DescribeJoystick,
    ReadJoystick,
    PlayJoystickEffect,
};

void ResetHeadlessHost() {
    {
        // An open output stays open: its device owns it.
        std::lock_guard<std::mutex> guard(gHeadlessAudio.mutex);
        gHeadlessAudio.capturing = false;
        gHeadlessAudio.captured.clear();
    }
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.failStart = false;
    gHeadless.keepSurfaces = true;
    gHeadless.windows.clear();
    gHeadless.nextWindow = 1;
    gHeadless.events.clear();
    gHeadless.scheduled.clear();
    gHeadless.desktop = {1920, 1080, 32, 60};
    gHeadless.modes = {
        {1920, 1080, 32, 60}, {1280, 720, 32, 60}, {1024, 768, 32, 60}, {800, 600, 32, 60}};
    gHeadless.cursorShown = true;
    gHeadless.pointerX = gHeadless.pointerY = 0;
    gHeadless.screenSaver = true;
    gHeadless.clipboard.clear();
    gHeadless.joysticks.clear();
    gHeadless.effects.clear();
}

void HeadlessPushEvent(HostEvent event) {
    CompleteKeyCodes(&event);
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.events.push_back(std::move(event));
}

void HeadlessScheduleEvent(HostEvent event, uint32_t atMillisecond) {
    CompleteKeyCodes(&event);
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.scheduled.push_back({atMillisecond, std::move(event)});
}

void TestHostFailStart(bool fail) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.failStart = fail;
}

void TestHostKeepSurfaces(bool on) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.keepSurfaces = on;
}

void TestHostSetDesktopMode(HostDisplayMode mode) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.desktop = mode;
}

void TestHostSetDisplayModes(const std::vector<HostDisplayMode>& modes) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.modes = modes;
}

void TestHostSetClipboardText(const char* utf8) {
    SetClipboardText(utf8);
}

std::string TestHostClipboardText() {
    return ClipboardText();
}

TestHostWindow HeadlessReadWindow(uint32_t window) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    HeadlessWindow* w = FindHeadless(window);
    if (w == nullptr) return {};
    return {true, w->visible, w->minimised, w->fullScreen, w->x,
            w->y, w->width,   w->height,    w->title,      w->presents};
}

std::vector<uint32_t> HeadlessReadSurface(uint32_t window, int* width, int* height) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    HeadlessWindow* w = FindHeadless(window);
    if (w == nullptr) return {};
    *width = w->shownWidth;
    *height = w->shownHeight;
    return w->shown;
}

void TestHostPlacePointer(int x, int y) {
    PlacePointer(x, y);
}

bool TestHostCursorShown() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    return gHeadless.cursorShown;
}

bool TestHostScreenSaverEnabled() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    return gHeadless.screenSaver;
}

void TestHostCaptureAudio(bool on) {
    std::lock_guard<std::mutex> guard(gHeadlessAudio.mutex);
    RenderAudioToNow();
    gHeadlessAudio.capturing = on;
    gHeadlessAudio.captured.clear();
}

std::vector<int16_t> TestHostTakeAudio() {
    std::lock_guard<std::mutex> guard(gHeadlessAudio.mutex);
    RenderAudioToNow();
    std::vector<int16_t> taken;
    taken.swap(gHeadlessAudio.captured);
    return taken;
}

unsigned long long TestHostAudioFrames() {
    std::lock_guard<std::mutex> guard(gHeadlessAudio.mutex);
    RenderAudioToNow();
    return gHeadlessAudio.framesRendered;
}

void TestHostSetJoysticks(const std::vector<TestHostJoystick>& joysticks) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.joysticks = joysticks;
}

void TestHostSetJoystickState(int index, const HostJoystickState& state) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (TestHostJoystick* joystick = FindJoystick(index)) joystick->state = state;
}

std::vector<TestHostEffectCall> TestHostTakeJoystickEffects() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    std::vector<TestHostEffectCall> effects;
    effects.swap(gHeadless.effects);
    return effects;
}
