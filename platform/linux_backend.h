#ifndef LINUX_BACKEND_H
#define LINUX_BACKEND_H

/*
 * One window system's part of the window-manager interface on Linux. The
 * walk's functions go through the table of the backend chosen for the
 * session (linux_platform.cpp); the rest is shared by all.
 */
#include "winapi.h"

#include <stddef.h>
#include <stdint.h>

typedef struct DBusConnection DBusConnection;

struct LinuxBackend {
	const char *name;
	/* Returns FALSE, having touched nothing, when this session has no such window system. */
	BOOL (*connect)(void);
	BOOL (*enum_windows)(WNDENUMPROC callback, LPARAM context);
	int (*get_class_name)(HWND window, char *class_name, int capacity);
	int (*get_window_text)(HWND window, char *title, int capacity);
	/*
	 * NULL where the window system cannot say whether a window has an
	 * opacity of its own: no window reads as layered, and every match gets
	 * its alpha set each time.
	 */
	LONG (*get_window_long)(HWND window, int index);
	LONG (*set_window_long)(HWND window, int index, LONG value);
	BOOL (*set_layered_window_attributes)(HWND window, COLORREF key, BYTE alpha, DWORD flags);
};

extern const LinuxBackend x11_backend;
extern const LinuxBackend sway_backend;
extern const LinuxBackend kwin_backend;
extern const LinuxBackend gnome_backend;

/*
 * A window system that answers no request within this is taken as hung: a
 * shell busy mapping some hundred windows answers in time, and a run still
 * ends well within 10 s.
 */
enum { REPLY_TIMEOUT_MS = 6000 };

/*
 * For a shell that lost an XWayland window's class name: asks the X server
 * of DISPLAY for the WM_CLASS of window, one of its ids. Returns the
 * request's number, or 0 where that server cannot be reached.
 */
unsigned RequestX11ClassName(uint32_t window);

/* Copies the answer to a RequestX11ClassName as "instance.class"; returns -1 where it has none. */
int TakeX11ClassName(unsigned request, char *class_name, int capacity);

/* Writes the message to standard error and ends the process with status 1. */
[[noreturn]] void Fail(const char *message);

/*
 * Opens /dev/null read-only on each closed standard descriptor, so that no
 * connection gets one and a write to it still fails as it would have.
 */
void PlugStandardDescriptors(void);

/*
 * Returns a private connection to the session bus of a Wayland session, on
 * which name has an owner, whose unique name goes to owner; NULL, having left
 * nothing open, where there is none.
 */
DBusConnection *ConnectToOwner(const char *name, char *owner, size_t capacity);

/*
 * Copies text up to its first NUL, cut to the capacity; returns its length.
 * The walk drops a character that the cut splits.
 */
int CopyText(char *out, int capacity, const char *text, int length);

/*
 * Copies the text of window when it is current, the window whose callback
 * runs, and else nothing; returns its length. Backends that hold the texts
 * of the current window alone answer through this.
 */
int CopyCurrentText(HWND window, HWND current, const char *text, char *out, int capacity);

#endif
