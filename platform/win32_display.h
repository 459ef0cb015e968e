// The part of the Win32 display API that the program uses: on Windows, <windows.h> itself;
// elsewhere, the same declarations, implemented by a layer of ours.
#pragma once

#ifdef _WIN32

#include <windows.h>

#else

#include <stdint.h>

typedef int BOOL;
#define TRUE 1
#define FALSE 0
#define CALLBACK

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef wchar_t WCHAR;
typedef intptr_t LPARAM;

typedef struct HMONITOR__* HMONITOR;
typedef struct HDC__* HDC;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;

#define CCHDEVICENAME 32
#define MONITORINFOF_PRIMARY 0x00000001

struct MONITORINFO {
    DWORD cbSize;
    RECT rcMonitor;
    RECT rcWork;
    DWORD dwFlags;
};
typedef MONITORINFO* LPMONITORINFO;

// As in the Windows headers for C++: the extended record derives from the plain one.
struct MONITORINFOEXW : MONITORINFO {
    WCHAR szDevice[CCHDEVICENAME];
};
typedef MONITORINFOEXW* LPMONITORINFOEXW;

typedef BOOL(CALLBACK* MONITORENUMPROC)(HMONITOR, HDC, LPRECT, LPARAM);

BOOL EnumDisplayMonitors(HDC hdc, LPCRECT lprcClip, MONITORENUMPROC lpfnEnum, LPARAM dwData);
BOOL GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi);

#endif
