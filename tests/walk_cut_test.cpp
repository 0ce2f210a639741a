/*
 * The walk against a window manager that cuts a text inside a character at
 * the end of its buffer, as no real one here does (Wine's user32 and the X11
 * backend keep whole characters): each text must reach the step whole.
 */
#include <stdio.h>
#include <string.h>

#include "window_walk.h"

static const char *const texts[][2] = {
	{"Kiwi \xe4\xb8\xad\xe6", "Kiwi \xe4\xb8\xad"},
	{"Kiwi \xf0\x9f\x98", "Kiwi "},
	{"Kiwi \xc3", "Kiwi "},
	{"Kiwi \xc3\xa9", "Kiwi \xc3\xa9"},
	{"\xe4\xb8", NULL},
};
static const int count = sizeof texts / sizeof texts[0];
static int failed, visited;

BOOL EnumWindows(WNDENUMPROC callback, LPARAM context)
{
	for (int i = 0; i < count; i++)
		callback((HWND)i, context);
	return TRUE;
}

int GetClassNameA(HWND window, char *class_name, int capacity)
{
	return snprintf(class_name, (size_t)capacity, "%s", texts[window][0]);
}

int GetWindowTextA(HWND window, char *title, int capacity)
{
	return GetClassNameA(window, title, capacity);
}

UINT GetACP(void)
{
	return CP_UTF8;
}

static void CheckEntry(const WindowEntry *entry)
{
	const char *want = texts[entry->handle][1];

	visited++;
	if (want == NULL || strcmp(entry->class_name, want) != 0 || strcmp(entry->title, want) != 0) {
		failed++;
		printf("FAILED - window %d: \"%s\", want \"%s\"\n", (int)entry->handle, entry->title, want ? want : "(none)");
	}
}

int main(void)
{
	WindowWalk(CheckEntry);
	failed += visited != count - 1;
	printf("%d passed, %d failed\n", visited - failed, failed);
	return failed != 0;
}
