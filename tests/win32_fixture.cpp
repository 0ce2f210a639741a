/*
 * Real top-level windows for run_cases.py: win32_fixture NAME FLAGS CLASS TITLE...
 * makes a window of each four arguments through the wide functions, on a
 * thread that keeps pumping messages (FLAGS: h hidden, l layered, c notepad's
 * window instead, - none), prints "ready", then answers lines:
 *   reset   every layered bit cleared, alpha 77 for "l"; then as state
 *   state   "NAME ALPHA" per window in EnumWindows order, ALPHA a number or
 *           "-" (not layered), with "+style" when another bit of its extended
 *           style changed
 * each answer ending with "end". Given a piece of a title alone, it prints the
 * state of each window whose title holds it, and fails if none does.
 */
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

enum { MAX_WINDOWS = 32, TITLE_CAPACITY = 2048 };
enum Field { NAME, FLAGS, CLASS, TITLE };

static wchar_t **args;
static HWND handles[MAX_WINDOWS];
static LONG other_styles[MAX_WINDOWS];
static int window_count, states_printed;
static HANDLE ready;

static wchar_t *Described(int window, Field field)
{
	return args[1 + window * 4 + field];
}

static DWORD WINAPI PumpMessages(LPVOID)
{
	MSG message;

	for (int i = 0; i < window_count; i++) {
		WNDCLASSW window_class = {};
		window_class.lpfnWndProc = DefWindowProcW;
		window_class.lpszClassName = Described(i, CLASS);
		RegisterClassW(&window_class);
		if (wcschr(Described(i, FLAGS), L'c') == NULL)
			handles[i] = CreateWindowExW(0, Described(i, CLASS), Described(i, TITLE),
				WS_OVERLAPPEDWINDOW | (wcschr(Described(i, FLAGS), L'h') ? 0 : WS_VISIBLE), i * 10, i * 8, 320,
				200, NULL, NULL, NULL, NULL);
	}
	PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE);
	SetEvent(ready);
	while (GetMessageW(&message, NULL, 0, 0) > 0)
		DispatchMessageW(&message);
	return 0;
}

static BOOL CALLBACK PrintState(HWND handle, LPARAM title_piece)
{
	static wchar_t title[TITLE_CAPACITY];
	const wchar_t *name = NULL;
	const char *style = "";
	LONG ex_style = GetWindowLongW(handle, GWL_EXSTYLE);
	BYTE alpha;
	DWORD layered_flags;

	for (int i = 0; i < window_count; i++) {
		if (handles[i] == handle) {
			name = Described(i, NAME);
			style = (ex_style & ~WS_EX_LAYERED) != other_styles[i] ? "+style" : "";
		}
	}
	if (title_piece != 0)
		name = GetWindowTextW(handle, title, TITLE_CAPACITY) > 0 && wcsstr(title, (wchar_t *)title_piece) ? title : NULL;
	if (name == NULL)
		return TRUE;
	states_printed++;
	if ((ex_style & WS_EX_LAYERED) == 0)
		printf("%ls -%s\n", name, style);
	else if (GetLayeredWindowAttributes(handle, NULL, &alpha, &layered_flags) && (layered_flags & LWA_ALPHA))
		printf("%ls %u%s\n", name, alpha, style);
	return TRUE;
}

int main()
{
	static char line[64];
	STARTUPINFOW startup = {};
	PROCESS_INFORMATION notepad = {};
	wchar_t command[] = L"notepad.exe";
	int argc;

	args = CommandLineToArgvW(GetCommandLineW(), &argc);
	if (argc == 2)
		return EnumWindows(PrintState, (LPARAM)args[1]) && states_printed > 0 ? 0 : 1;
	window_count = (argc - 1) / 4 < MAX_WINDOWS ? (argc - 1) / 4 : MAX_WINDOWS;
	startup.cb = sizeof startup;
	for (int i = 0; i < window_count; i++) {
		if (wcschr(Described(i, FLAGS), L'c') == NULL ||
		    !CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &notepad))
			continue;
		WaitForInputIdle(notepad.hProcess, 10000);
		for (int tries = 0; tries < 200 && !(handles[i] = FindWindowW(Described(i, CLASS), NULL)); tries++)
			Sleep(50);
	}
	ready = CreateEventW(NULL, TRUE, FALSE, NULL);
	CreateThread(NULL, 0, PumpMessages, NULL, 0, NULL);
	WaitForSingleObject(ready, 30000);
	for (int i = 0; i < window_count; i++)
		other_styles[i] = GetWindowLongW(handles[i], GWL_EXSTYLE) & ~WS_EX_LAYERED;
	for (puts("ready"); fflush(stdout) == 0 && fgets(line, sizeof line, stdin) != NULL; puts("end")) {
		for (int i = 0; strcmp(line, "reset\n") == 0 && i < window_count; i++) {
			LONG style = GetWindowLongW(handles[i], GWL_EXSTYLE) & ~WS_EX_LAYERED;
			SetWindowLongW(handles[i], GWL_EXSTYLE, wcschr(Described(i, FLAGS), L'l') ? style | WS_EX_LAYERED : style);
			SetLayeredWindowAttributes(handles[i], 0, 77, LWA_ALPHA);
		}
		EnumWindows(PrintState, 0);
	}
	TerminateProcess(notepad.hProcess, 0);
	return 0;
}
