// Multimedia services of winmm: the millisecond clock, timer periods and timer events, the
// joystick calls, the wave format header and the media control interface.
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
// A format whose tag stands in its subformat GUID, in a 22-byte extension after the header.
constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

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

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR command, DWORD_PTR parameters);

// ---- Joysticks -------------------------------------------------------------------------------

constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT JOYERR_NOERROR = 0;
constexpr MMRESULT JOYERR_PARMS = 165;
constexpr MMRESULT JOYERR_UNPLUGGED = 167;

constexpr UINT JOYCAPS_HASZ = 0x1;
constexpr UINT JOYCAPS_HASR = 0x2;
constexpr UINT JOYCAPS_HASU = 0x4;
constexpr UINT JOYCAPS_HASV = 0x8;
constexpr UINT JOYCAPS_HASPOV = 0x10;
constexpr UINT JOYCAPS_POV4DIR = 0x20;

constexpr DWORD JOY_RETURNX = 0x1;
constexpr DWORD JOY_RETURNY = 0x2;
constexpr DWORD JOY_RETURNZ = 0x4;
constexpr DWORD JOY_RETURNR = 0x8;
constexpr DWORD JOY_RETURNU = 0x10;
constexpr DWORD JOY_RETURNV = 0x20;
constexpr DWORD JOY_RETURNPOV = 0x40;
constexpr DWORD JOY_RETURNBUTTONS = 0x80;
constexpr DWORD JOY_RETURNALL = 0xFF;
constexpr DWORD JOY_POVCENTERED = 0xFFFF;

struct JOYCAPSA {
    WORD wMid;
    WORD wPid;
    CHAR szPname[32];
    UINT wXmin;
    UINT wXmax;
    UINT wYmin;
    UINT wYmax;
    UINT wZmin;
    UINT wZmax;
    UINT wNumButtons;
    UINT wPeriodMin;
    UINT wPeriodMax;
    UINT wRmin;
    UINT wRmax;
    UINT wUmin;
    UINT wUmax;
    UINT wVmin;
    UINT wVmax;
    UINT wCaps;
    UINT wMaxAxes;
    UINT wNumAxes;
    UINT wMaxButtons;
    CHAR szRegKey[32];
    CHAR szOEMVxD[260];
};
typedef JOYCAPSA* LPJOYCAPSA;

// Axis positions run from 0 to 65535; buttons are bits of dwButtons.
struct JOYINFOEX {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwXpos;
    DWORD dwYpos;
    DWORD dwZpos;
    DWORD dwRpos;
    DWORD dwUpos;
    DWORD dwVpos;
    DWORD dwButtons;
    DWORD dwButtonNumber;  // how many buttons are held
    DWORD dwPOV;           // hundredths of a degree clockwise from up; JOY_POVCENTERED
    DWORD dwReserved1;
    DWORD dwReserved2;
};
typedef JOYINFOEX* LPJOYINFOEX;

MMRESULT joyGetDevCapsA(UINT_PTR joystickId, LPJOYCAPSA caps, UINT capsSize);
MMRESULT joyGetPosEx(UINT joystickId, LPJOYINFOEX info);
