/*
 * What the tools need of Windows beyond user32 and the C runtime: text for a
 * console, written as UTF-16 so that every character shows whatever the
 * console's code page, which is left as it is.
 */
#include "window_api.h"
#include "window_text.h"

BOOL WriteConsoleUtf8(HANDLE console, const char *text)
{
	/* Room for a record: two texts and the words around them. */
	static wchar_t wide[2 * WINDOW_TEXT_CAPACITY + 64];
	DWORD written;

	int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, (int)(sizeof wide / sizeof wide[0]));
	return length > 0 && WriteConsoleW(console, wide, (DWORD)length - 1, &written, NULL);
}
