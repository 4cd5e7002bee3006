// The services that the message pump runs on the main thread once per pass, after its window
// messages and activation events. Each module fills its slot when it is set up and empties it
// when it ends; the pump runs the slots in the order below and knows nothing of the modules.
#pragma once

#include <cstdint>

enum PumpService : int32_t {
    kPumpStreamSounds,        // stream sounds and soft-sound players, while no stream thread runs
    kPumpMainThreadRequests,  // the calls that loading workers hand to the main thread
    kPumpMusic,               // the music play flags
    kPumpKeyboard,            // the key table
    kPumpJoypadRumble,        // joypad vibration
    kPumpSockets,             // the socket layer's messages
    kPumpKeyInput,            // key-input strings and the input method
    kPumpServiceCount
};

using PumpServiceFunction = int (*)();

// Null empties the slot.
void SetPumpService(PumpService slot, PumpServiceFunction service);
// Runs the slot's service; nothing for an empty slot.
void RunPumpService(PumpService slot);
