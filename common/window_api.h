#ifndef WINDOW_API_H
#define WINDOW_API_H

/*
 * The window-manager functions the tools call, under their Win32 names.
 * This is the one place that knows which host it is built for.
 */
#ifdef _WIN32
#include <windows.h>
#else
#include "winapi.h"
#endif

/*
 * Writes UTF-8 text to a console or terminal so that every character shows,
 * whatever its code page. Returns FALSE when it could not.
 */
BOOL WriteConsoleUtf8(HANDLE console, const char *text);

#endif
