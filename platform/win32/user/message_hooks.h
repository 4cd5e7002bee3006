// The message queue's seam with the modules above the window layer. The input contexts (imm)
// and the sockets (winsock) stand above it; the queue reaches them only through this table,
// which the layer's start-up tables fill (loader/message_queue_hooks.cpp), as SDL reaches its
// drivers through its bootstrap table. What the queue offers them in return is declared here too.
#pragma once

#include <platform/win32_types.h>

#include <string>

struct MessageQueueHooks {
    // Posts the events that the sockets registered with WSAAsyncSelect have to report; called
    // on every retrieval, without the window layer's lock held.
    void (*pollSockets)();
    // The host's text editing in a window whose input method is enabled: a composition (UTF-8,
    // cursor and selected length in characters; "" ends it), or committed text, which is typed
    // text when the hook answers false (no composition under way).
    void (*imeHostEditing)(HWND window, const std::string& utf8, int cursor, int selected);
    bool (*imeHostCommit)(HWND window, const std::string& cp932);
    // A message that the window's input context posted was retrieved. Called with the window
    // layer's lock held, so the hook takes only a lock of its own and calls nothing of the
    // window layer while it holds it.
    void (*imeApplyRetrieved)(HWND window);
    // For the window layer's test reset: every context forgotten, every socket closed.
    void (*resetInputContexts)();
    void (*resetSockets)();
};
extern const MessageQueueHooks kMessageQueueHooks;

// Posts to the window's thread; `ime` marks a message of the window's input context, whose
// retrieval calls imeApplyRetrieved.
void PostLayerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool ime);
// A window this layer made and has not destroyed (IsWindow also answers for foreign windows).
bool IsLayerWindow(HWND window);
