#include <stdio.h>

#include "window_walk.h"

static const char RECORD_FORMAT[] = "Window class:\"%s\"\nWindow name:\"%s\"\n\n";

static BOOL output_is_console;
enum WriteState { ALL_WRITTEN, WRITE_FAILED, READER_GONE };
static WriteState write_state;

/*
 * Titles are set by other programs, a web page's among them: on a console,
 * control characters could smuggle in escape sequences, so each C0 and C1
 * control (the latter as UTF-8) and DEL is shown as '?'. A pipe or a file
 * still gets every byte, for scripts.
 */
static void MaskControls(char *shown, const char *text)
{
	for (; *text != '\0'; text++) {
		unsigned char byte = (unsigned char)*text;
		BOOL c1 = byte == 0xC2 && (unsigned char)text[1] >= 0x80 && (unsigned char)text[1] <= 0x9F;
		*shown++ = byte < 0x20 || byte == 0x7F || c1 ? '?' : *text;
		text += c1;
	}
	*shown = '\0';
}

/* Some C runtimes report a failed write only through ferror, not printf's result. */
static void NoteWriteState(void)
{
	DWORD error = GetLastError();

	if (write_state != ALL_WRITTEN || !ferror(stdout))
		return;
	write_state = error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED
		? READER_GONE : WRITE_FAILED;
}

static void ListWindow(const WindowEntry *entry)
{
	static char class_name[WINDOW_TEXT_CAPACITY];
	static char title[WINDOW_TEXT_CAPACITY];
	static char record[2 * WINDOW_TEXT_CAPACITY + sizeof RECORD_FORMAT];

	if (!output_is_console) {
		printf(RECORD_FORMAT, entry->class_name, entry->title);
		NoteWriteState();
		return;
	}
	MaskControls(class_name, entry->class_name);
	MaskControls(title, entry->title);
	snprintf(record, sizeof record, RECORD_FORMAT, class_name, title);
	if (!WriteConsoleUtf8(GetStdHandle(STD_OUTPUT_HANDLE), record) && write_state == ALL_WRITTEN)
		write_state = WRITE_FAILED;
}

int main()
{
	DWORD mode;

	/* Not _isatty: it also says yes for the NUL device. */
	output_is_console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
	WindowWalk(ListWindow);
	fflush(stdout);
	NoteWriteState();
	/* A reader that stopped early is no failure to report, as for every filter. */
	if (write_state == WRITE_FAILED)
		fputs("Cannot write the window list.\n", stderr);
	return write_state == ALL_WRITTEN ? 0 : 1;
}
