// Sound data conversion and the audio compression manager.
#pragma once

int OpenAcmLibrary();
int CloseAcmLibrary();
