#include "window_walk.h"

#include <stdio.h>

static const WindowSystem *window_system;
static WindowStep walk_step;

static void VisitWindow(const WindowEntry *entry)
{
	if (entry->class_name[0] != '\0' && entry->title[0] != '\0')
		walk_step(entry);
}

int WindowWalk(WindowStep step)
{
	window_system = FindWindowSystem();
	if (window_system == NULL) {
		fputs("Cannot open display.\n", stderr);
		return 1;
	}
	walk_step = step;
	if (window_system->walk(VisitWindow) == WALK_LOST) {
		fputs("Display connection lost.\n", stderr);
		return 1;
	}
	return 0;
}

void SetWindowAlpha(const WindowEntry *entry, unsigned char alpha)
{
	window_system->set_alpha(entry, alpha);
}
