#include <stdio.h>

#include "window_walk.h"

static const char RECORD_FORMAT[] = "Window class:\"%s\"\nWindow name:\"%s\"\n\n";

static BOOL output_is_console;

/*
 * Titles are set by other programs, a web page's among them: on a console,
 * control bytes could smuggle in escape sequences, so they are shown as '?'.
 * A pipe or a file still gets every byte, for scripts.
 */
static void MaskControlBytes(char *shown, const char *text)
{
	int i = 0;

	for (; text[i] != '\0'; i++) {
		unsigned char byte = (unsigned char)text[i];
		shown[i] = byte < 0x20 || byte == 0x7f ? '?' : text[i];
	}
	shown[i] = '\0';
}

static void ListWindow(const WindowEntry *entry)
{
	static char class_name[WINDOW_TEXT_CAPACITY];
	static char title[WINDOW_TEXT_CAPACITY];

	if (!output_is_console) {
		printf(RECORD_FORMAT, entry->class_name, entry->title);
		return;
	}
	MaskControlBytes(class_name, entry->class_name);
	MaskControlBytes(title, entry->title);
	printf(RECORD_FORMAT, class_name, title);
}

int main()
{
	DWORD mode;

	/* Not _isatty: it also says yes for the NUL device. */
	output_is_console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
	WindowWalk(ListWindow);
	return 0;
}
