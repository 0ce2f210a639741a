/*
 * The window-manager interface on Linux: the backend of the session's window
 * system, chosen once at the start of the walk, and what all backends share.
 */
#include "linux_backend.h"
#include "window_api.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const LinuxBackend *const backends[] = {&sway_backend, &kwin_backend, &gnome_backend, &x11_backend};
static const LinuxBackend *backend;

/*
 * VITREL_WINDOW_SYSTEM names the backend to use; else a sway session is told
 * by SWAYSOCK, a Plasma Wayland one by KWin on the session bus, a GNOME one by
 * the project's Shell extension there, and X11 (XWayland too) is the rest.
 */
static const LinuxBackend *Backend(void)
{
	if (backend != NULL)
		return backend;
	const char *forced = getenv("VITREL_WINDOW_SYSTEM");
	for (const LinuxBackend *candidate : backends) {
		BOOL chosen = forced != NULL && forced[0] != '\0' ? strcmp(forced, candidate->name) == 0 : TRUE;
		if (backend == NULL && chosen && candidate->connect())
			backend = candidate;
	}
	if (backend == NULL)
		Fail("Cannot open display.\n");
	return backend;
}

void Fail(const char *message)
{
	fputs(message, stderr);
	exit(1);
}

void PlugStandardDescriptors(void)
{
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
		if (fcntl(fd, F_GETFD) < 0)
			open("/dev/null", O_RDONLY);
	}
}

int CopyText(char *out, int capacity, const char *text, int length)
{
	if (capacity <= 0)
		return 0;
	const char *end = (const char *)memchr(text, '\0', (size_t)length);
	if (end != NULL)
		length = (int)(end - text);
	int copied = length < capacity - 1 ? length : capacity - 1;
	memcpy(out, text, (size_t)copied);
	out[copied] = '\0';
	return copied;
}

int CopyCurrentText(HWND window, HWND current, const char *text, char *out, int capacity)
{
	if (window != current || window == 0)
		text = "";
	return CopyText(out, capacity, text, (int)strlen(text));
}

BOOL EnumWindows(WNDENUMPROC callback, LPARAM context)
{
	return Backend()->enum_windows(callback, context);
}

int GetClassNameA(HWND window, char *class_name, int capacity)
{
	return Backend()->get_class_name(window, class_name, capacity);
}

int GetWindowTextA(HWND window, char *title, int capacity)
{
	return Backend()->get_window_text(window, title, capacity);
}

LONG GetWindowLongA(HWND window, int index)
{
	return index == GWL_EXSTYLE && Backend()->get_window_long != NULL ? backend->get_window_long(window, index) : 0;
}

LONG SetWindowLongA(HWND window, int index, LONG value)
{
	return index == GWL_EXSTYLE && Backend()->set_window_long != NULL ? backend->set_window_long(window, index, value)
	                                                                 : 0;
}

BOOL SetLayeredWindowAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags)
{
	return Backend()->set_layered_window_attributes(window, key, alpha, flags);
}

LRESULT SendMessageTimeoutA(HWND, UINT, WPARAM, LPARAM, UINT, UINT, DWORD_PTR *)
{
	return 1;
}

HMODULE LoadLibraryA(const char *name)
{
	static char user32;

	return strcmp(name, "user32.dll") == 0 ? &user32 : NULL;
}

FARPROC GetProcAddress(HMODULE module, const char *name)
{
	if (module == NULL || strcmp(name, "SetLayeredWindowAttributes") != 0)
		return NULL;
	return reinterpret_cast<FARPROC>(SetLayeredWindowAttributes);
}

UINT GetACP(void)
{
	return CP_UTF8;
}

DWORD GetLastError(void)
{
	return errno == EPIPE ? ERROR_BROKEN_PIPE : 0;
}

HANDLE GetStdHandle(DWORD which)
{
	if (which != STD_OUTPUT_HANDLE)
		return NULL;
	/* Offset by one so that no descriptor reads as a null handle. */
	return (HANDLE)(intptr_t)(STDOUT_FILENO + 1);
}

BOOL GetConsoleMode(HANDLE handle, DWORD *mode)
{
	if (handle == NULL)
		return FALSE;
	*mode = 0;
	return isatty((int)(intptr_t)handle - 1);
}

BOOL WriteConsoleUtf8(HANDLE console, const char *text)
{
	size_t length = strlen(text);

	for (ssize_t written; length > 0; text += written, length -= (size_t)written) {
		written = write((int)(intptr_t)console - 1, text, length);
		if (written < 0 && errno != EINTR)
			return FALSE;
		written = written < 0 ? 0 : written;
	}
	return TRUE;
}
