/*
 * The window system of a Linux session, chosen once among the backends, and
 * standard output as a terminal shows it.
 */
#include "linux_backends.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/*
 * VITREL_WINDOW_SYSTEM names the backend to use; else a sway session is told
 * by SWAYSOCK, a Wayfire one by WAYFIRE_SOCKET, a Plasma Wayland one by KWin
 * on the session bus, a GNOME one by the project's Shell extension there, and
 * X11 (XWayland too) is the rest. A variable left behind by a window system
 * that has gone is passed over.
 */
const WindowSystem *FindWindowSystem(void)
{
	static const LinuxBackend *const backends[] = {&sway_backend, &wayfire_backend, &kwin_backend, &gnome_backend,
		&x11_backend};
	const char *forced = getenv("VITREL_WINDOW_SYSTEM");

	/* So that no connection takes a closed standard descriptor, and a write to one still fails. */
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
		if (fcntl(fd, F_GETFD) < 0)
			open("/dev/null", O_RDONLY);
	}
	for (const LinuxBackend *backend : backends) {
		bool chosen = forced == NULL || forced[0] == '\0' || strcmp(forced, backend->name) == 0;
		if (chosen && backend->connect())
			return &backend->system;
	}
	return NULL;
}

int OutputIsConsole(void)
{
	return isatty(STDOUT_FILENO);
}

int WriteConsoleText(const char *text)
{
	size_t length = strlen(text);

	for (ssize_t written; length > 0; text += written, length -= (size_t)written) {
		written = write(STDOUT_FILENO, text, length);
		if (written < 0 && errno != EINTR)
			return 0;
		written = written < 0 ? 0 : written;
	}
	return 1;
}

int OutputReaderGone(void)
{
	return errno == EPIPE;
}
