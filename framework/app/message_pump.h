// The message pump's activation ring and handling. The pumping and waiting calls that other
// modules make are in core/shell_hooks.h.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

#include "core/shell_hooks.h"

constexpr int32_t kActivationRingSize = 512;

// Activation messages queued by the window procedure while the pump runs.
struct ActivationRing {
    int32_t wParam[kActivationRingSize];
    int32_t fromActivateApp[kActivationRingSize];
    int32_t head;
    int32_t tail;
    int32_t count;
};

// The pump and the wait behind PumpMessagesUnlocked and WaitForActivation, which the shell
// hooks in at start-up.
int PumpShellMessages();
int WaitForShellActivation();
// 1 when a caller must wait for activation.
int ShouldWaitWhileInactive();
int HandleActivation(int32_t wParam, int32_t fromActivateApp);
// 0 when queued; -1 when the ring is full.
int QueueActivation(int32_t wParam, int32_t fromActivateApp);
int32_t CountQueuedActivations();
