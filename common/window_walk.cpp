#include "window_walk.h"

static WindowEntry entry;
static WindowStep walk_step;

static BOOL CALLBACK VisitWindow(HWND window, LPARAM)
{
	/* A window whose texts cannot be read counts as one without them. */
	if (GetClassNameA(window, entry.class_name, WINDOW_TEXT_CAPACITY) == 0)
		return TRUE;
	if (GetWindowTextA(window, entry.title, WINDOW_TEXT_CAPACITY) == 0)
		return TRUE;
	entry.handle = window;
	walk_step(&entry);
	return TRUE;
}

void WindowWalk(WindowStep step)
{
	walk_step = step;
	EnumWindows(VisitWindow, 0);
}
