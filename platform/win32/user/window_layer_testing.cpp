// Hooks for tests only on the window layer: a fresh start of the layer, the modules it hands
// messages to (input contexts, sockets) and its host, and the host hooks that name a window,
// resolved here to the window's host window.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "../../host/headless_host.h"
#include "../../host/sdl_test_input.h"
#include "user_state.h"

namespace {

std::string TestLockDirectory() {
    return "/tmp/orbek-test-locks-" + std::to_string(getpid());
}

// Tests keep their window lock files apart from other processes' and remove them at exit.
void RemoveTestLockDirectory() {
    std::string directory = TestLockDirectory();
    if (DIR* listing = opendir(directory.c_str())) {
        while (dirent* entry = readdir(listing)) {
            if (entry->d_name[0] != '.') unlink((directory + "/" + entry->d_name).c_str());
        }
        closedir(listing);
    }
    rmdir(directory.c_str());
}

uint32_t HostWindowOf(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    return record != nullptr ? record->hostWindow : 0;
}

}  // namespace

void TestUseHeadlessHost(bool on) {
    TestResetWindowLayer();
    SelectHostDriver(on ? kHeadlessHost : kSdlHost);
}

void TestResetWindowLayer() {
    static bool cleanupRegistered = false;
    if (!cleanupRegistered) {
        cleanupRegistered = true;
        std::atexit(RemoveTestLockDirectory);
    }
    ResetWindowRecords();
    mkdir(TestLockDirectory().c_str(), 0700);
    TestSetWindowLockDirectory(TestLockDirectory().c_str());
    ResetMessageQueues();
    ResetCursorAndKeys();
    ResetSystemSettings();
    ResetClipboard();
    kMessageQueueHooks.resetInputContexts();
    kMessageQueueHooks.resetSockets();
    ResetHeadlessHost();
}

void TestHostPushEvent(HWND window, HostEvent event) {
    event.window = HostWindowOf(window);
    HeadlessPushEvent(std::move(event));
}

void TestHostScheduleEvent(HWND window, HostEvent event, uint32_t atMillisecond) {
    event.window = HostWindowOf(window);
    HeadlessScheduleEvent(std::move(event), atMillisecond);
}

TestHostWindow TestHostReadWindow(HWND window) {
    return HeadlessReadWindow(HostWindowOf(window));
}

std::vector<uint32_t> TestHostReadSurface(HWND window, int* width, int* height) {
    return HeadlessReadSurface(HostWindowOf(window), width, height);
}

void TestSdlPushKey(HWND window, int scancode, bool down) {
    SdlPushKey(HostWindowOf(window), scancode, down);
}

void TestSdlPushText(HWND window, const char* utf8, bool editing, int start, int length) {
    SdlPushText(HostWindowOf(window), utf8, editing, start, length);
}

void TestSdlPushWindowEvent(HWND window, int sdlWindowEvent) {
    SdlPushWindowEvent(HostWindowOf(window), sdlWindowEvent);
}
