// The headless host: windows are records with a pixel surface, events come from tests
// (at once or when the clock reaches a given millisecond), the desktop, display modes,
// clipboard, audio device and joysticks are whatever the test set.
#include <platform/mmsystem.h>
#include <platform/testing_host.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "../win32/user/user_state.h"
#include "headless_host.h"

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
    std::map<uint32_t, HeadlessWindow> windows;
    uint32_t nextWindow = 1;
    std::deque<HostEvent> events;
    std::vector<ScheduledEvent> scheduled;
    HostDisplayMode desktop{1920, 1080, 32, 60};
    std::vector<HostDisplayMode> modes{
        {1920, 1080, 32, 60}, {1280, 720, 32, 60}, {1024, 768, 32, 60}, {800, 600, 32, 60}};
    bool cursorShown = true;
    bool screenSaver = true;
    std::string clipboard;
    HostAudioCallback audio = nullptr;
    void* audioUser = nullptr;
    std::vector<HostJoystickState> joysticks;
    std::vector<std::vector<uint32_t>> rumbles;
};

HeadlessState gHeadless;

HeadlessWindow* FindHeadless(uint32_t window) {
    auto found = gHeadless.windows.find(window);
    return found == gHeadless.windows.end() ? nullptr : &found->second;
}

uint32_t HostWindowOf(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    return record != nullptr ? record->hostWindow : 0;
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
    if (w == nullptr || w->width <= 0 || w->height <= 0) return nullptr;
    w->surface.resize(static_cast<size_t>(w->width) * static_cast<size_t>(w->height));
    *width = w->width;
    *height = w->height;
    *pitch = w->width * 4;
    return w->surface.data();
}

void UnlockSurface(uint32_t window) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (HeadlessWindow* w = FindHeadless(window)) {
        w->shown = w->surface;
        w->shownWidth = w->width;
        w->shownHeight = w->height;
        ++w->presents;
    }
}

bool PollEvent(HostEvent* event) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    DWORD now = timeGetTime();
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
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (gHeadless.audio != nullptr) return false;
    gHeadless.audio = callback;
    gHeadless.audioUser = user;
    return true;
}

void CloseAudio() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.audio = nullptr;
}

int CountJoysticks() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    return static_cast<int>(gHeadless.joysticks.size());
}

bool ReadJoystick(int index, HostJoystickState* state, std::string* name) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (index < 0 || index >= static_cast<int>(gHeadless.joysticks.size())) return false;
    *state = gHeadless.joysticks[static_cast<size_t>(index)];
    if (name != nullptr) *name = "Headless Pad " + std::to_string(index + 1);
    return true;
}

bool RumbleJoystick(int index, uint16_t low, uint16_t high, uint32_t milliseconds) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    if (index < 0 || index >= static_cast<int>(gHeadless.joysticks.size())) return false;
    gHeadless.rumbles.push_back({static_cast<uint32_t>(index), low, high, milliseconds});
    return true;
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
    PollEvent,
    DesktopMode,
    ListDisplayModes,
    ShowPointer,
    EnableScreenSaver,
    ClipboardText,
    SetClipboardText,
    OpenAudio,
    CloseAudio,
    CountJoysticks,
    ReadJoystick,
    RumbleJoystick,
};

void ResetHeadlessHost() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.failStart = false;
    gHeadless.windows.clear();
    gHeadless.nextWindow = 1;
    gHeadless.events.clear();
    gHeadless.scheduled.clear();
    gHeadless.desktop = {1920, 1080, 32, 60};
    gHeadless.modes = {
        {1920, 1080, 32, 60}, {1280, 720, 32, 60}, {1024, 768, 32, 60}, {800, 600, 32, 60}};
    gHeadless.cursorShown = true;
    gHeadless.screenSaver = true;
    gHeadless.clipboard.clear();
    gHeadless.audio = nullptr;
    gHeadless.joysticks.clear();
    gHeadless.rumbles.clear();
}

void TestHostPushEvent(HWND window, HostEvent event) {
    event.window = HostWindowOf(window);
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.events.push_back(std::move(event));
}

void TestHostScheduleEvent(HWND window, HostEvent event, uint32_t atMillisecond) {
    event.window = HostWindowOf(window);
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.scheduled.push_back({atMillisecond, std::move(event)});
}

void TestHostFailStart(bool fail) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.failStart = fail;
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

TestHostWindow TestHostReadWindow(HWND window) {
    uint32_t id = HostWindowOf(window);
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    HeadlessWindow* w = FindHeadless(id);
    if (w == nullptr) return {};
    return {true, w->visible, w->minimised, w->fullScreen, w->x,
            w->y, w->width,   w->height,    w->title,      w->presents};
}

std::vector<uint32_t> TestHostReadSurface(HWND window, int* width, int* height) {
    uint32_t id = HostWindowOf(window);
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    HeadlessWindow* w = FindHeadless(id);
    if (w == nullptr) return {};
    *width = w->shownWidth;
    *height = w->shownHeight;
    return w->shown;
}

bool TestHostCursorShown() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    return gHeadless.cursorShown;
}

bool TestHostScreenSaverEnabled() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    return gHeadless.screenSaver;
}

bool TestHostRenderAudio(int16_t* out, int32_t frames) {
    HostAudioCallback callback;
    void* user;
    {
        std::lock_guard<std::mutex> guard(gHeadless.mutex);
        callback = gHeadless.audio;
        user = gHeadless.audioUser;
    }
    if (callback == nullptr) return false;
    callback(user, out, frames);
    return true;
}

void TestHostSetJoysticks(const std::vector<HostJoystickState>& states) {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    gHeadless.joysticks = states;
}

std::vector<std::vector<uint32_t>> TestHostTakeRumbles() {
    std::lock_guard<std::mutex> guard(gHeadless.mutex);
    std::vector<std::vector<uint32_t>> rumbles;
    rumbles.swap(gHeadless.rumbles);
    return rumbles;
}
