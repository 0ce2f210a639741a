#ifndef WINDOW_SYSTEM_H
#define WINDOW_SYSTEM_H

/*
 * The one interface to a window system: find the session's, walk its
 * top-level windows with their texts, set one window's alpha. Each backend
 * speaks its own system's terms behind it.
 */
#include <stdint.h>

#include "window_text.h"

/*
 * One top-level window as a window system hands it on: its handle, which
 * means something to its own backend alone, and its texts, either of which
 * may be empty. The walk refills the same entry for every window, so a step
 * that needs a text after it returns must copy it.
 */
struct WindowEntry {
	uint64_t handle;
	char class_name[WINDOW_TEXT_CAPACITY];
	char title[WINDOW_TEXT_CAPACITY];
};

typedef void (*WindowVisit)(const WindowEntry *entry);

enum WalkResult { WALK_DONE, WALK_LOST };

struct WindowSystem {
	/*
	 * Hands each top-level window to visit, topmost first, and sends the
	 * alphas set meanwhile; WALK_LOST where the window system stopped
	 * answering, and then visits no more.
	 */
	WalkResult (*walk)(WindowVisit visit);
	/* Gives the window being visited the alpha, now or by the end of the walk; a failure leaves it as it is. */
	void (*set_alpha)(const WindowEntry *entry, unsigned char alpha);
};

/* Returns the session's window system, connected, or NULL where none answers. */
const WindowSystem *FindWindowSystem(void);

/*
 * Standard output as a console shows it: whether it is one (a file, a pipe
 * and the null device are not), and a write that shows every character of
 * UTF-8 text there. Returns 0 where it cannot.
 */
int OutputIsConsole(void);
int WriteConsoleText(const char *text);

/* Whether the last failed write to standard output met a pipe whose reader has gone. */
int OutputReaderGone(void);

#endif
