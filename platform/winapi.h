#ifndef WINAPI_H
#define WINAPI_H

/*
 * The part of the Win32 window-manager interface the tools use, for hosts
 * that have no <windows.h>. The backend compiled in (x11_winapi.cpp) gives
 * the functions the meaning they have on Windows, as far as its window
 * system can carry it.
 */
#include <stdint.h>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef uint8_t BYTE;
typedef uint32_t COLORREF;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef intptr_t LRESULT;
typedef uintptr_t DWORD_PTR;
typedef void *HANDLE;
typedef void *HMODULE;
typedef void (*FARPROC)(void);

/* A top-level window: its client window, and the frame a window manager put around it. */
typedef uint64_t HWND;

typedef BOOL (CALLBACK *WNDENUMPROC)(HWND, LPARAM);

#define TRUE 1
#define FALSE 0

#define GWL_EXSTYLE (-20)
#define WS_EX_LAYERED 0x00080000L
#define LWA_ALPHA 0x00000002
#define WM_NULL 0x0000
#define SMTO_ABORTIFHUNG 0x0002
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define CP_UTF8 65001
#define ERROR_BROKEN_PIPE 109L
#define ERROR_NO_DATA 232L
#define ERROR_PIPE_NOT_CONNECTED 233L

BOOL EnumWindows(WNDENUMPROC callback, LPARAM context);
int GetClassNameA(HWND window, char *class_name, int capacity);
int GetWindowTextA(HWND window, char *title, int capacity);
LONG GetWindowLongA(HWND window, int index);
LONG SetWindowLongA(HWND window, int index, LONG value);
BOOL SetLayeredWindowAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags);
/* Returns nonzero: no window system here makes a change wait on the window's own program. */
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT flags, UINT timeout,
	DWORD_PTR *result);
HMODULE LoadLibraryA(const char *name);
FARPROC GetProcAddress(HMODULE module, const char *name);

/* Every text of this window system is UTF-8. */
UINT GetACP(void);
/* ERROR_BROKEN_PIPE when the last failed call met a pipe with no reader; 0 for any other failure. */
DWORD GetLastError(void);
HANDLE GetStdHandle(DWORD which);
/* Says whether the handle is a terminal; no mode is reported. */
BOOL GetConsoleMode(HANDLE handle, DWORD *mode);

#endif
