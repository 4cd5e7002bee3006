// The DirectDraw object that waits for the vertical blank, the measured refresh period, and the
// paced wait that sleeps until shortly before the expected blank.
#pragma once

#include <platform/ddraw.h>

#include <cstdint>

struct VerticalBlankState {
    IDirectDraw7* directDraw;
    int64_t periodUs;     // measured refresh period; -1 = unknown
    int64_t lastBlankUs;  // GetMicrosecondCount at the last blank waited for
};
extern VerticalBlankState gVerticalBlank;

int SetupDirectDraw7();
int ReleaseDirectDraw7();
IDirectDraw7* GetDirectDraw7Object();
void MeasureVerticalBlankPeriod();
void WaitVerticalBlankPaced();
