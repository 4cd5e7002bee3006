// Music handles.
#pragma once

#include <platform/win32_user.h>

int StopCurrentMusic();
int UpdateMusicPlayFlags();
// MM_MCINOTIFY of the main window.
int HandleMciNotify(WPARAM wParam, LPARAM lParam);
