// The sockets' side of the message queue's hooks (win32/user/message_hooks.h): the message
// retrieval polls the sockets that WSAAsyncSelect registered and posts their events; tests
// reset the table.
#pragma once

// Posts the events that registered sockets have to report; cheap when none is registered.
// Call without the window layer's lock held.
void PollSocketEvents();
// Closes every socket and forgets every WSAStartup.
void ResetSockets();
