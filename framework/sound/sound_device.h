// The sound device: its setup and shutdown, which bring up and tear down every sound kind.
#pragma once

int SetupDirectSound();
int ShutdownDirectSound();
