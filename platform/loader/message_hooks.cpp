// The modules the message queue calls without standing below them: the sockets it polls on
// every retrieval and the input contexts that turn the host's text editing into IME messages.
#include "../win32/user/message_hooks.h"

#include "../imm/input_context.h"
#include "../winsock/socket_events.h"

const MessageQueueHooks kMessageQueueHooks = {
    PollSocketEvents,
    ImeHostEditing,
    ImeHostCommit,
    ImeApplyRetrieved,
};
