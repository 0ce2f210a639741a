#ifndef WINDOW_WALK_H
#define WINDOW_WALK_H

#include "window_api.h"
#include "window_text.h"

/*
 * One top-level window as the walk hands it on. Both texts are non-empty.
 * The walk refills the same entry for every window, so a step that needs a
 * text after it returns must copy it.
 */
struct WindowEntry {
	HWND handle;
	char class_name[WINDOW_TEXT_CAPACITY];
	char title[WINDOW_TEXT_CAPACITY];
};

typedef void (*WindowStep)(const WindowEntry *entry);

/* Calls step for every top-level window that has both a class name and a title. */
void WindowWalk(WindowStep step);

#endif
