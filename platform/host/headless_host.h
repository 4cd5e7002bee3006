// What the headless host offers beyond the driver, for the window layer's test hooks: its
// reset, events for a host window (a key event may name either code), and what a host window
// shows.
#pragma once

#include <platform/testing_host.h>

#include <cstdint>
#include <vector>

void ResetHeadlessHost();
void HeadlessPushEvent(HostEvent event);
// Delivered once the millisecond time reaches `atMillisecond`.
void HeadlessScheduleEvent(HostEvent event, uint32_t atMillisecond);
TestHostWindow HeadlessReadWindow(uint32_t window);
std::vector<uint32_t> HeadlessReadSurface(uint32_t window, int* width, int* height);
