/*
 * The Windows desktop, through user32's "A" functions: the top-level windows
 * EnumWindows reports, in its order (topmost first), with the texts
 * GetClassNameA and GetWindowTextA give in the ANSI code page; a window's
 * alpha through the layered style.
 */
#include <windows.h>

#include "window_system.h"

typedef BOOL (WINAPI *SetLayeredWindowAttributesProc)(HWND, COLORREF, BYTE, DWORD);

/* A program that has not taken a message for this long is taken as hung. */
static const UINT HUNG_TIMEOUT_MS = 1000;

/* In UTF-8 a text cut at its buffer's end may end inside a character, whatever the conversion does there. */
static int WholeCharacters(char *text, int length)
{
	return length > 0 && GetACP() == CP_UTF8 ? DropSplitCharacter(text, length) : length;
}

static BOOL CALLBACK VisitWindow(HWND window, LPARAM visit)
{
	static WindowEntry entry;

	/* A window whose texts cannot be read counts as one without them; the title is not asked without a class. */
	if (WholeCharacters(entry.class_name, GetClassNameA(window, entry.class_name, WINDOW_TEXT_CAPACITY)) == 0)
		return TRUE;
	if (WholeCharacters(entry.title, GetWindowTextA(window, entry.title, WINDOW_TEXT_CAPACITY)) == 0)
		return TRUE;
	entry.handle = (uint64_t)(uintptr_t)window;
	reinterpret_cast<WindowVisit>(visit)(&entry);
	return TRUE;
}

static WalkResult Walk(WindowVisit visit)
{
	EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(visit));
	return WALK_DONE;
}

/*
 * Looked up by name rather than imported, so that vitrel still starts, and
 * still sets the layered bit, where user32 lacks the function.
 */
static SetLayeredWindowAttributesProc LookUpSetLayeredWindowAttributes(void)
{
	HMODULE user32 = LoadLibraryA("user32.dll");

	if (user32 == NULL)
		return NULL;
	/* Through void (*)(void), the one cast GCC accepts between function types. */
	return reinterpret_cast<SetLayeredWindowAttributesProc>(reinterpret_cast<void (*)(void)>(
		GetProcAddress(user32, "SetLayeredWindowAttributes")));
}

static void SetAlpha(const WindowEntry *entry, unsigned char alpha)
{
	HWND window = (HWND)(uintptr_t)entry->handle;

	/*
	 * Writing the style waits on the window's own thread, so a window whose
	 * program stopped pumping messages would hang the walk: it is passed
	 * over instead, as one that cannot be changed.
	 */
	if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, HUNG_TIMEOUT_MS, NULL) == 0)
		return;

	LONG style = GetWindowLongA(window, GWL_EXSTYLE);
	SetWindowLongA(window, GWL_EXSTYLE, style | WS_EX_LAYERED);

	SetLayeredWindowAttributesProc set_layered_window_attributes = LookUpSetLayeredWindowAttributes();
	if (set_layered_window_attributes != NULL)
		set_layered_window_attributes(window, 0, alpha, LWA_ALPHA);
}

static const WindowSystem win32_window_system = {Walk, SetAlpha};

const WindowSystem *FindWindowSystem(void)
{
	return &win32_window_system;
}

int OutputIsConsole(void)
{
	DWORD mode;

	/* Not _isatty: it also says yes for the NUL device. */
	return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

/* Written as UTF-16, so that every character shows whatever the console's code page, which is left as it is. */
int WriteConsoleText(const char *text)
{
	/* Room for a record: two texts and the words around them. */
	static wchar_t wide[2 * WINDOW_TEXT_CAPACITY + 64];
	DWORD written;

	int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, (int)(sizeof wide / sizeof wide[0]));
	return length > 0 && WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), wide, (DWORD)length - 1, &written, NULL);
}

int OutputReaderGone(void)
{
	DWORD error = GetLastError();

	return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}
