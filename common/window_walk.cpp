#include "window_walk.h"

static WindowEntry entry;
static WindowStep walk_step;

/*
 * A text cut at the end of its buffer may end inside a character, whatever
 * the window manager's conversion does there; in UTF-8 that tail is dropped.
 * Returns the length left.
 */
static int WholeCharacters(char *text, int length)
{
	int lead = length;

	if (length <= 0 || GetACP() != CP_UTF8)
		return length;
	while (lead > 0 && ((unsigned char)text[lead - 1] & 0xC0) == 0x80)
		lead--;
	unsigned char first = lead > 0 ? (unsigned char)text[lead - 1] : 0;
	int size = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
	if (lead > 0 && length - (lead - 1) < size)
		length = lead - 1;
	text[length] = '\0';
	return length;
}

static BOOL CALLBACK VisitWindow(HWND window, LPARAM)
{
	/* A window whose texts cannot be read counts as one without them. */
	if (WholeCharacters(entry.class_name, GetClassNameA(window, entry.class_name, WINDOW_TEXT_CAPACITY)) == 0)
		return TRUE;
	if (WholeCharacters(entry.title, GetWindowTextA(window, entry.title, WINDOW_TEXT_CAPACITY)) == 0)
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
