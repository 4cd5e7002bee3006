// The input contexts' side of the message queue's hooks (win32/user/message_hooks.h): the
// host's text editing becomes posted IME messages, each carrying the context's state as of that
// moment, which the context takes on when the message is retrieved (as the key table follows
// retrieved key messages).
#pragma once

#include <platform/win32_types.h>

#include <string>

// A composition from the host (UTF-8, cursor and selection in characters); "" ends it.
void ImeHostEditing(HWND window, const std::string& utf8, int cursor, int selected);
// Text the host committed. False when no composition is under way: the text is then typed
// text, not an input-method result.
bool ImeHostCommit(HWND window, const std::string& cp932);
// A posted IME message of the layer was retrieved: the window's context takes on its state.
void ImeApplyRetrieved(HWND window);
// Forgets every context.
void ResetInputContexts();
