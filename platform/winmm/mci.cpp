// The media control interface: every command is recorded for tests and answered as by a system
// on which no device is open, since the layer synthesises no MIDI.
#include <mutex>

#include "platform/mmsystem.h"
#include "platform/testing_sound.h"

struct MciState {
    std::mutex mutex;
    std::vector<TestMciCommand> commands;
};

static MciState gMci;

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR command,
                         DWORD_PTR parameters) {
    TestMciCommand record{device, message, command, 0, 0};
    if (parameters != 0) {
        // Every parameter block begins with the callback window.
        record.callback = reinterpret_cast<const MCI_GENERIC_PARMS*>(parameters)->dwCallback;
        if (message == MCI_PLAY && (command & MCI_FROM) != 0) {
            record.from = reinterpret_cast<const MCI_PLAY_PARMS*>(parameters)->dwFrom;
        }
    }
    std::lock_guard guard(gMci.mutex);
    gMci.commands.push_back(record);
    return MCIERR_INVALID_DEVICE_ID;
}

std::vector<TestMciCommand> TestTakeMciCommands() {
    std::lock_guard guard(gMci.mutex);
    std::vector<TestMciCommand> taken;
    taken.swap(gMci.commands);
    return taken;
}
