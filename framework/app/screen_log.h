// The on-screen log: 80 lines of text drawn over the picture while shown.
#pragma once

int SetupScreenLog();
int ShutdownScreenLog();
int RecreateScreenLogFont();
int IsScreenLogShown();
int DrawScreenLog();
// Tests only: nothing in the system shows the log, so tests show it themselves.
void TestSetScreenLogShown(int shown);
