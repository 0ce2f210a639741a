#ifndef WIN32_HARNESS_H
#define WIN32_HARNESS_H

#include <windows.h>

#include "test_report.h"

/* The test's own top-level windows, owned by a thread that keeps pumping messages. */
enum TestWindowId {
	KIWI_REPORT,     /* "VtKiwiFrame", "Kiwi Report - Editor" */
	KIWI_RICHEDIT,   /* "VtRichEdit20A", "Kiwi notes: a \"quoted\" word" and control bytes */
	KIWI_HIDDEN,     /* "VtKiwiFrame", "Hidden Kiwi", never shown */
	EMPTY_TITLE,     /* "VtEmptyTitle", no title */
	LONG_TITLE,      /* "Vt\x01LongTitle", 1023 'L's then "TAIL" */
	PRE_LAYERED,     /* "VtPreLayered", "Kiwi layered", created layered with alpha 77 */
	NOTEPAD,         /* Wine's notepad.exe, "Notepad", "Untitled - Notepad" */
	TEST_WINDOW_COUNT
};

enum {
	NOT_LAYERED = -1,     /* the layered bit is clear */
	LAYERED_NO_ALPHA = -2, /* layered, with no whole-window alpha */
	PRE_LAYERED_ALPHA = 77
};

extern HWND test_windows[TEST_WINDOW_COUNT];

struct TestWindowSpec {
	const char *class_name;
	const char *title;
	BOOL visible;
	BOOL layered;
};

/* What each window was created with; notepad's are what it sets itself. */
extern const TestWindowSpec test_window_specs[TEST_WINDOW_COUNT];

/* The title of LONG_TITLE and the filters near it, built by StartTestWindows. */
extern char l_1023[1024];   /* the first 1023 bytes of LONG_TITLE's title */
extern char l_1024[1025];   /* one byte more than a filter holds */

/* Creates the windows (and starts notepad on the first call); returns 0 on success. */
int StartTestWindows(void);
/* Destroys the test's own windows; notepad only gets its layered bit cleared. */
void StopTestWindows(void);
/* Ends the notepad this harness started. */
void StopNotepad(void);

/* Returns the alpha of a layered window, or NOT_LAYERED, or LAYERED_NO_ALPHA. */
int ReadAlphaState(HWND window);

struct ChildRun {
	DWORD status;
	char out[262144];
	DWORD out_length;
	char err[4096];
	DWORD err_length;
};

/*
 * Runs the program beside this test's own executable with the given
 * arguments (NULL-terminated), capturing standard error, and standard output
 * too unless output names a handle to give the program instead.
 * Returns 0 when it ran to its end.
 */
int RunSibling(const char *program, const char *const *args, HANDLE output, ChildRun *run);

#endif
