// The system DLLs that the framework loads at run time, with one typed slot per function it
// uses. A null slot means the DLL or the function is missing; callers test the slot first.
#pragma once

#include <platform/com.h>
#include <platform/imm.h>
#include <platform/mmsystem.h>
#include <platform/win32.h>
#include <platform/winsock.h>

// Name look-ups that no Part calls: the layer exports none of them, and their slots stay null.
struct hostent;
struct addrinfo;

struct PlatformDllTable {
    HMODULE ws2_32Module;
    int (*WSAGetLastError)();
    int (*WSAStartup)(WORD version, LPWSADATA data);
    int (*WSACleanup)();
    int (*WSAAsyncSelect)(SOCKET s, HWND window, UINT message, LONG events);
    int (*getaddrinfo)(const char* node, const char* service, const addrinfo* hints,
                       addrinfo** result);
    hostent* (*gethostbyaddr)(const char* address, int length, int type);
    hostent* (*gethostbyname)(const char* name);
    int (*gethostname)(char* name, int length);
    USHORT (*ntohs)(USHORT value);
    USHORT (*htons)(USHORT value);
    int (*connect)(SOCKET s, const sockaddr* address, int length);
    SOCKET (*socket)(int family, int type, int protocol);
    int (*send)(SOCKET s, const char* buffer, int length, int flags);
    int (*sendto)(SOCKET s, const char* buffer, int length, int flags, const sockaddr* to,
                  int toLength);
    int (*recvfrom)(SOCKET s, char* buffer, int length, int flags, sockaddr* from, int* fromLength);
    SOCKET (*accept)(SOCKET s, sockaddr* address, int* length);
    int (*closesocket)(SOCKET s);
    int (*shutdown)(SOCKET s, int how);
    int (*listen)(SOCKET s, int backlog);
    int (*bind)(SOCKET s, const sockaddr* address, int length);
    ULONG (*inet_addr)(const char* text);
    int (*recv)(SOCKET s, char* buffer, int length, int flags);

    HMODULE imm32Module;
    HIMC (*ImmGetContext)(HWND window);
    BOOL (*ImmReleaseContext)(HWND window, HIMC context);
    BOOL (*ImmGetOpenStatus)(HIMC context);
    BOOL (*ImmGetConversionStatus)(HIMC context, LPDWORD conversion, LPDWORD sentence);
    BOOL (*ImmNotifyIME)(HIMC context, DWORD action, DWORD index, DWORD value);
    BOOL (*ImmSetOpenStatus)(HIMC context, BOOL open);
    DWORD(*ImmGetCandidateListA)
    (HIMC context, DWORD index, LPCANDIDATELIST list, DWORD bufferBytes);
    LONG (*ImmGetCompositionStringA)(HIMC context, DWORD index, LPVOID buffer, DWORD bufferBytes);
    BOOL(*ImmSetCompositionStringA)
    (HIMC context, DWORD index, LPVOID composition, DWORD compositionBytes, LPVOID reading,
     DWORD readingBytes);

    HMODULE winmmModule;
    MMRESULT(*timeSetEvent)
    (UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user, UINT eventType);
    MMRESULT (*timeKillEvent)(UINT timerId);
    MMRESULT (*timeBeginPeriod)(UINT period);
    MMRESULT (*timeEndPeriod)(UINT period);
    DWORD (*timeGetTime)();
    MMRESULT (*timeGetDevCaps)(LPTIMECAPS caps, UINT capsSize);
    MMRESULT (*joyGetPosEx)(UINT joystickId, LPJOYINFOEX info);
    MMRESULT (*joyGetDevCapsA)(UINT_PTR joystickId, LPJOYCAPSA caps, UINT capsSize);
    MCIERROR(*mciSendCommandA)
    (MCIDEVICEID device, UINT message, DWORD_PTR command, DWORD_PTR parameters);

    HMODULE ole32Module;
    HRESULT(*CoCreateInstance)
    (REFCLSID classId, LPUNKNOWN outer, DWORD classContext, REFIID iid, LPVOID* object);
    LPVOID (*CoTaskMemAlloc)(SIZE_T bytes);
    void (*CoTaskMemFree)(LPVOID memory);
    HRESULT (*CoInitializeEx)(LPVOID reserved, DWORD coInit);
    void (*CoFreeUnusedLibraries)();
    void (*CoUninitialize)();

    HMODULE comctl32Module;
    void (*InitCommonControls)();

    HMODULE dwmapiModule;
    HRESULT (*DwmEnableComposition)(UINT compositionAction);

    HMODULE user32Module;
    BOOL (*WINNLSEnableIME)(HWND window, BOOL enable);
};
extern PlatformDllTable gPlatformDlls;

// Loads every DLL whose module slot is empty and looks its functions up; 0.
int LoadPlatformDlls();
// Frees every loaded DLL and clears its slots; 0.
int FreePlatformDlls();
