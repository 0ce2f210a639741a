#ifndef WINDOW_WALK_H
#define WINDOW_WALK_H

#include "window_system.h"

typedef void (*WindowStep)(const WindowEntry *entry);

/*
 * Calls step for every top-level window that has both a class name and a
 * title. Returns 0, or 1 having said why on standard error where no window
 * system answers or the one found stops answering.
 */
int WindowWalk(WindowStep step);

/* Gives the window whose step runs the alpha, 0 to 255, through its window system. */
void SetWindowAlpha(const WindowEntry *entry, unsigned char alpha);

#endif
