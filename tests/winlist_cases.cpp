/*
 * winlist.exe run against the test's own windows and Wine's notepad. Wine
 * has windows of its own, so the checks are on these windows' records: each
 * byte for byte, in the order EnumWindows reports the windows, through a pipe
 * (every byte kept, line feeds as CR LF) and on a console (control bytes
 * shown as '?').
 */
#include <stdio.h>
#include <string.h>

#include "win32_harness.h"

enum OutputKind { THROUGH_PIPE, ON_CONSOLE };

struct WinlistCase {
	const char *what;
	const char *args[8];
	OutputKind output;
};

static const WinlistCase cases[] = {
	{"through a pipe", {NULL}, THROUGH_PIPE},
	{"arguments of any kind are ignored", {"-class", "Kiwi", "-trans", "300", "bogus", "", NULL}, THROUGH_PIPE},
	{"on a console", {NULL}, ON_CONSOLE},
	{"on a console, arguments ignored", {"/?", "-name", NULL}, ON_CONSOLE},
};

enum { CONSOLE_COLUMNS = 2048, CONSOLE_ROWS = 200 };

struct WalkOrder {
	HWND windows[TEST_WINDOW_COUNT];
	int length;
};

static char transcript[CONSOLE_COLUMNS * CONSOLE_ROWS];

static BOOL CALLBACK NoteOrder(HWND window, LPARAM context)
{
	WalkOrder *order = (WalkOrder *)context;

	for (int i = 0; i < TEST_WINDOW_COUNT; i++) {
		if (test_windows[i] == window)
			order->windows[order->length++] = window;
	}
	return TRUE;
}

static void ReadWalkOrder(WalkOrder *order)
{
	memset(order, 0, sizeof *order);
	EnumWindows(NoteOrder, (LPARAM)order);
}

static int WindowId(HWND window)
{
	for (int i = 0; i < TEST_WINDOW_COUNT; i++) {
		if (test_windows[i] == window)
			return i;
	}
	return -1;
}

/* Appends text as winlist should show it: cut to 1023 bytes, and as the stream turns it. */
static size_t AppendShown(char *out, size_t length, const char *text, OutputKind output)
{
	for (int i = 0; text[i] != '\0' && i < 1023; i++) {
		unsigned char byte = (unsigned char)text[i];
		if (output == ON_CONSOLE && (byte < 0x20 || byte == 0x7f)) {
			out[length++] = '?';
			continue;
		}
		if (byte == '\n')
			out[length++] = '\r';
		out[length++] = (char)byte;
	}
	return length;
}

static size_t ExpectedRecord(char *out, int window, OutputKind output)
{
	size_t length = 0;

	memcpy(out, "Window class:\"", 14);
	length = AppendShown(out, 14, test_window_specs[window].class_name, output);
	memcpy(out + length, "\"\r\nWindow name:\"", 16);
	length = AppendShown(out, length + 16, test_window_specs[window].title, output);
	memcpy(out + length, "\"\r\n\r\n", 5);
	return length + 5;
}

static const char *FindBytes(const char *haystack, size_t haystack_length, const char *needle, size_t length)
{
	for (size_t i = 0; i + length <= haystack_length; i++) {
		if (memcmp(haystack + i, needle, length) == 0)
			return haystack + i;
	}
	return NULL;
}

/* The console's rows, trailing blanks dropped, each ended by CR LF as a pipe would carry them. */
static size_t ReadConsoleTranscript(HANDLE screen)
{
	static char row[CONSOLE_COLUMNS];
	size_t length = 0;
	DWORD got;

	for (SHORT y = 0; y < CONSOLE_ROWS; y++) {
		COORD at = {0, y};
		if (!ReadConsoleOutputCharacterA(screen, row, CONSOLE_COLUMNS, at, &got))
			break;
		while (got > 0 && row[got - 1] == ' ')
			got--;
		memcpy(transcript + length, row, got);
		length += got;
		transcript[length++] = '\r';
		transcript[length++] = '\n';
	}
	return length;
}

static HANDLE NewConsoleScreen(void)
{
	SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
	COORD size = {CONSOLE_COLUMNS, CONSOLE_ROWS};

	HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
		&inherit, CONSOLE_TEXTMODE_BUFFER, NULL);
	if (screen != INVALID_HANDLE_VALUE && !SetConsoleScreenBufferSize(screen, size)) {
		CloseHandle(screen);
		return INVALID_HANDLE_VALUE;
	}
	return screen;
}

/*
 * Runs winlist, and reads what it showed into *shown. Returns 0 once the
 * windows' order stood still around the run: Wine may still be restacking
 * newly shown windows, and only a settled order says what winlist must print.
 */
static int RunWinlist(const WinlistCase *c, WalkOrder *order, ChildRun *run, const char **shown,
	size_t *shown_length)
{
	for (int attempt = 0; attempt < 10; attempt++) {
		HANDLE screen = NULL;
		WalkOrder order_after;

		if (c->output == ON_CONSOLE && (screen = NewConsoleScreen()) == INVALID_HANDLE_VALUE)
			return 1;
		ReadWalkOrder(order);
		if (RunSibling("winlist.exe", c->args, screen, run) != 0)
			return 1;
		ReadWalkOrder(&order_after);
		*shown = run->out;
		*shown_length = run->out_length;
		if (c->output == ON_CONSOLE) {
			*shown_length = ReadConsoleTranscript(screen);
			*shown = transcript;
			CloseHandle(screen);
		}
		if (memcmp(order, &order_after, sizeof order_after) == 0)
			return 0;
		Sleep(100);
	}
	return 1;
}

static void CheckCase(const WinlistCase *c)
{
	static ChildRun run;
	static char record[4096];
	char detail[1024] = "";
	WalkOrder order;
	const char *shown;
	size_t shown_length;

	if (RunWinlist(c, &order, &run, &shown, &shown_length) != 0) {
		Report(0, c->what, "winlist.exe did not run against settled windows");
		return;
	}

	int ok = run.status == 0 && run.err_length == 0;
	if (!ok)
		snprintf(detail, sizeof detail, "status %lu, %lu bytes on stderr", run.status, run.err_length);
	const char *after = shown;
	for (int i = 0; ok && i < order.length; i++) {
		int window = WindowId(order.windows[i]);
		if (window == EMPTY_TITLE)
			continue;
		size_t length = ExpectedRecord(record, window, c->output);
		const char *found = FindBytes(after, shown_length - (after - shown), record, length);
		if (found == NULL) {
			ok = 0;
			char want[512];
			FormatBytes(want, sizeof want, record, length < 200 ? length : 200);
			snprintf(detail, sizeof detail, "record of window %d missing or out of order: %s", window, want);
		} else {
			after = found + length;
		}
	}
	if (ok && FindBytes(shown, shown_length, "VtEmptyTitle", 12) != NULL) {
		ok = 0;
		snprintf(detail, sizeof detail, "the window with an empty title is listed");
	}
	Report(ok, c->what, detail);
}

int main(void)
{
	/* A console of this test's own, whatever it was started from, to give winlist. */
	FreeConsole();
	if (!AllocConsole())
		fputs("no console could be made; the console cases will fail\n", stderr);

	if (StartTestWindows() != 0) {
		Report(0, "test windows", "not created");
		return ReportSummary();
	}
	for (const WinlistCase &c : cases)
		CheckCase(&c);
	StopTestWindows();
	StopNotepad();
	return ReportSummary();
}
