/*
 * Real top-level windows for run_cases.py: win32_fixture NAME FLAGS CLASS TITLE...
 * makes a window of each four arguments through the wide functions, on a
 * thread that keeps pumping messages (FLAGS holding "hidden", "hung" for a
 * window whose thread takes no messages, or "client" for notepad's window
 * instead), prints "ready", then answers lines:
 *   reset ALPHA...  each window's first extended style back, layered with
 *                   that alpha where ALPHA is a number, not where it is "-";
 *                   then as state
 *   state           "NAME ALPHA" per window in EnumWindows order, with
 *                   "+style" when another bit of its extended style changed
 * each answer ending with "end".
 */
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

enum { MAX_WINDOWS = 32 };

/* The arguments, four to a window: NAME FLAGS CLASS TITLE. */
static wchar_t **described;
static HWND handles[MAX_WINDOWS];
static LONG other_styles[MAX_WINDOWS];
static int window_count;

static bool HasFlag(int i, const wchar_t *flag)
{
	return wcsstr(described[2 + 4 * i], flag) != NULL;
}

/* Makes the windows of hung programs, or the others, on the calling thread. */
static void MakeWindows(bool hung)
{
	for (int i = 0; i < window_count; i++) {
		wchar_t **row = described + 1 + 4 * i;
		WNDCLASSW window_class = {};

		if (HasFlag(i, L"client") || HasFlag(i, L"hung") != hung)
			continue;
		window_class.lpfnWndProc = DefWindowProcW;
		window_class.lpszClassName = row[2];
		RegisterClassW(&window_class);
		handles[i] = CreateWindowExW(0, row[2], row[3], WS_OVERLAPPEDWINDOW | (HasFlag(i, L"hidden") ? 0 : WS_VISIBLE),
			i * 10, i * 8, 320, 200, NULL, NULL, NULL, NULL);
	}
}

static DWORD WINAPI PumpMessages(LPVOID ready)
{
	MSG message;

	MakeWindows(false);
	PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE);
	SetEvent(ready);
	while (GetMessageW(&message, NULL, 0, 0) > 0)
		DispatchMessageW(&message);
	return 0;
}

static BOOL CALLBACK PrintState(HWND handle, LPARAM)
{
	LONG style = GetWindowLongW(handle, GWL_EXSTYLE);
	BYTE alpha;
	DWORD layered_flags;

	for (int i = 0; i < window_count; i++) {
		const char *changed = (style & ~WS_EX_LAYERED) != other_styles[i] ? "+style" : "";
		if (handles[i] == handle && (style & WS_EX_LAYERED) == 0)
			printf("%ls -%s\n", described[1 + 4 * i], changed);
		else if (handles[i] == handle && GetLayeredWindowAttributes(handle, NULL, &alpha, &layered_flags) &&
			 layered_flags & LWA_ALPHA)
			printf("%ls %u%s\n", described[1 + 4 * i], alpha, changed);
	}
	return TRUE;
}

int main()
{
	static char line[256];
	STARTUPINFOW startup = {};
	PROCESS_INFORMATION notepad = {};
	wchar_t notepad_command[] = L"notepad.exe";
	HANDLE ready = CreateEventW(NULL, TRUE, FALSE, NULL);
	int argc;

	startup.cb = sizeof startup;
	described = CommandLineToArgvW(GetCommandLineW(), &argc);
	window_count = (argc - 1) / 4 < MAX_WINDOWS ? (argc - 1) / 4 : MAX_WINDOWS;
	for (int i = 0; i < window_count; i++) {
		if (!HasFlag(i, L"client") ||
		    !CreateProcessW(NULL, notepad_command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &notepad))
			continue;
		WaitForInputIdle(notepad.hProcess, 10000);
		for (int tries = 0; tries < 200 && !(handles[i] = FindWindowW(described[3 + 4 * i], NULL)); tries++)
			Sleep(50);
	}
	/* A hung program's windows: this thread answers the driver, and never takes a message. */
	MakeWindows(true);
	CreateThread(NULL, 0, PumpMessages, ready, 0, NULL);
	WaitForSingleObject(ready, INFINITE);
	for (int i = 0; i < window_count; i++)
		other_styles[i] = GetWindowLongW(handles[i], GWL_EXSTYLE) & ~WS_EX_LAYERED;
	for (puts("ready"); fflush(stdout) == 0 && fgets(line, sizeof line, stdin) != NULL; puts("end")) {
		char *alpha = strncmp(line, "reset", 5) == 0 ? strtok(line + 5, " \n") : NULL;
		for (int i = 0; alpha != NULL && i < window_count; i++, alpha = strtok(NULL, " \n")) {
			SetWindowLongW(handles[i], GWL_EXSTYLE, other_styles[i] | (alpha[0] != '-' ? WS_EX_LAYERED : 0));
			SetLayeredWindowAttributes(handles[i], 0, (BYTE)atoi(alpha), LWA_ALPHA);
		}
		EnumWindows(PrintState, 0);
	}
	TerminateProcess(notepad.hProcess, 0);
	return 0;
}
