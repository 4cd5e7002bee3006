// The modules the message queue calls without standing below them: the sockets it polls on
// every retrieval, the input contexts that turn the host's text editing into IME messages, and
// the resets of both for the window layer's test reset.
#include "../imm/input_context.h"
#include "../win32/user/message_hooks.h"
#include "../winsock/socket_events.h"

const MessageQueueHooks kMessageQueueHooks = {
    .pollSockets = PollSocketEvents,
    .imeHostEditing = ImeHostEditing,
    .imeHostCommit = ImeHostCommit,
    .imeApplyRetrieved = ImeApplyRetrieved,
    .resetInputContexts = ResetInputContexts,
    .resetSockets = ResetSockets,
};
