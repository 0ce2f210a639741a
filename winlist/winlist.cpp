#include <stdio.h>
#include <string.h>

#include "window_walk.h"

static const char RECORD_FORMAT[] = "Window class:\"%s\"\nWindow name:\"%s\"\n\n";

static int output_is_console;
enum WriteState { ALL_WRITTEN, WRITE_FAILED, READER_GONE };
static WriteState write_state;

/*
 * Titles are set by other programs, a web page's among them: on a console,
 * control characters could smuggle in escape sequences, so each C0 and C1
 * control and DEL is shown as '?', and so is each byte that is not part of a
 * valid UTF-8 character, since an 8-bit terminal takes a lone 0x9B for a C1
 * control too. A pipe or a file still gets every byte, for scripts.
 */
static void MaskControls(char *shown, const char *text)
{
	const unsigned char *byte = (const unsigned char *)text;
	const unsigned char *end = byte + strlen(text);

	while (byte < end) {
		int length = Utf8CharacterLength((const char *)byte, (size_t)(end - byte));
		bool control = length <= 0 || *byte < 0x20 || *byte == 0x7F || (*byte == 0xC2 && byte[1] <= 0x9F);
		if (control) {
			*shown++ = '?';
		} else {
			memcpy(shown, byte, (size_t)length);
			shown += length;
		}
		byte += length > 0 ? length : 1;
	}
	*shown = '\0';
}

/* Some C runtimes report a failed write only through ferror, not printf's result. */
static void NoteWriteState(void)
{
	if (write_state != ALL_WRITTEN || !ferror(stdout))
		return;
	write_state = OutputReaderGone() ? READER_GONE : WRITE_FAILED;
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
	if (!WriteConsoleText(record) && write_state == ALL_WRITTEN)
		write_state = WRITE_FAILED;
}

int main()
{
	static char output_buffer[1 << 16];

	output_is_console = OutputIsConsole();
	/* The C runtime writes record by record to what _isatty calls a terminal; NUL is none. */
	if (!output_is_console)
		setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
	int walked = WindowWalk(ListWindow);
	fflush(stdout);
	NoteWriteState();
	/* A reader that stopped early is no failure to report, as for every filter. */
	if (walked == 0 && write_state == WRITE_FAILED)
		fputs("Cannot write the window list.\n", stderr);
	return walked != 0 || write_state != ALL_WRITTEN ? 1 : 0;
}
