// Multimedia services of winmm: the millisecond clock, timer periods and timer events, the wave
// format header and the media control interface.
#pragma once

#include "platform/win32_types.h"

typedef UINT MMRESULT;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;

constexpr UINT TIME_ONESHOT = 0x0;
constexpr UINT TIME_PERIODIC = 0x1;
constexpr UINT TIME_CALLBACK_FUNCTION = 0x0;

struct TIMECAPS {
    UINT wPeriodMin;
    UINT wPeriodMax;
};
typedef TIMECAPS* LPTIMECAPS;

typedef void (*LPTIMECALLBACK)(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                               DWORD_PTR reserved2);

DWORD timeGetTime();
MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT capsSize);
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
MMRESULT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user,
                      UINT eventType);
MMRESULT timeKillEvent(UINT timerId);

// Wave formats: the header every sound format begins with, packed as Windows packs it (18
// bytes), and the format tags the layer knows.
#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;  // bytes of format-specific data that follow
};
#pragma pack(pop)
typedef WAVEFORMATEX* LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;

constexpr WORD WAVE_FORMAT_PCM = 0x0001;
constexpr WORD WAVE_FORMAT_ADPCM = 0x0002;
constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr WORD WAVE_FORMAT_ALAW = 0x0006;
constexpr WORD WAVE_FORMAT_MULAW = 0x0007;
constexpr WORD WAVE_FORMAT_IMA_ADPCM = 0x0011;
constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;

// The media control interface: commands are recorded and answered; no device ever opens, since
// the layer synthesises no MIDI.
typedef DWORD MCIERROR;
typedef UINT MCIDEVICEID;

constexpr UINT MCI_CLOSE = 0x0804;
constexpr UINT MCI_PLAY = 0x0806;

constexpr DWORD MCI_NOTIFY = 0x00000001;
constexpr DWORD MCI_FROM = 0x00000004;

constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;

struct MCI_GENERIC_PARMS {
    DWORD_PTR dwCallback;
};

struct MCI_PLAY_PARMS {
    DWORD_PTR dwCallback;
    DWORD dwFrom;
    DWORD dwTo;
};

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR command,
                         DWORD_PTR parameters);
