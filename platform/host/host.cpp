// Which host driver the layer uses: SDL2 for the program, the headless one when a test asks.
#include "platform/host.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "../win32/user/user_state.h"
#include "headless_host.h"

struct HostSelectionState {
    const HostDriver* driver = &kSdlHost;
};

static HostSelectionState gHostSelection;

const HostDriver& Host() {
    return *gHostSelection.driver;
}

void TestUseHeadlessHost(bool on) {
    TestResetWindowLayer();
    gHostSelection.driver = on ? &kHeadlessHost : &kSdlHost;
}

static std::string TestLockDirectory() {
    return "/tmp/orbek-test-locks-" + std::to_string(getpid());
}

// Tests keep their window lock files apart from other processes' and remove them at exit.
static void RemoveTestLockDirectory() {
    std::string directory = TestLockDirectory();
    if (DIR* listing = opendir(directory.c_str())) {
        while (dirent* entry = readdir(listing)) {
            if (entry->d_name[0] != '.') unlink((directory + "/" + entry->d_name).c_str());
        }
        closedir(listing);
    }
    rmdir(directory.c_str());
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
    ResetHeadlessHost();
}
