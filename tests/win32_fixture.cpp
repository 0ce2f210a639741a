/*
 * Real top-level windows for run_cases.py: win32_fixture NAME FLAGS CLASS TITLE...
 * makes a window of each four arguments through the wide functions, on a
 * thread that keeps pumping messages (FLAGS holding "hidden", "layered",
 * "hung" for a window whose thread takes no messages, or "client" for
 * notepad's window instead), prints "ready", then answers lines:
 *   reset   each window's first extended style back, with the layered bit
 *           and alpha 77 where FLAGS hold "layered"; then as state
 *   state   "NAME ALPHA" per window in EnumWindows order, ALPHA a number or
 *           "-" (not layered), with "+style" when another bit of its extended
 *           style changed
 * each answer ending with "end".
 */
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

enum { MAX_WINDOWS = 32 };

/* The arguments, four to a window: NAME FLAGS CLASS TITLE. */
static wchar_t **described;
static HWND handles[MAX_WINDOWS];
static LONG other_styles[MAX_WINDOWS];
static int window_count;
static HANDLE ready;

static BOOL HasFlag(int i, const wchar_t *flag)
{
	return wcsstr(described[2 + 4 * i], flag) != NULL;
}

static void MakeWindow(int i)
{
	wchar_t **row = described + 1 + 4 * i;
	WNDCLASSW window_class = {};

	window_class.lpfnWndProc = DefWindowProcW;
	window_class.lpszClassName = row[2];
	RegisterClassW(&window_class);
	handles[i] = CreateWindowExW(0, row[2], row[3], WS_OVERLAPPEDWINDOW | (HasFlag(i, L"hidden") ? 0 : WS_VISIBLE),
		i * 10, i * 8, 320, 200, NULL, NULL, NULL, NULL);
}

static DWORD WINAPI PumpMessages(LPVOID)
{
	MSG message;

	for (int i = 0; i < window_count; i++) {
		if (!HasFlag(i, L"client") && !HasFlag(i, L"hung"))
			MakeWindow(i);
	}
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
	static char line[64];
	STARTUPINFOW startup = {};
	PROCESS_INFORMATION notepad = {};
	wchar_t notepad_command[] = L"notepad.exe";
	int argc;

	described = CommandLineToArgvW(GetCommandLineW(), &argc);
	window_count = (argc - 1) / 4 < MAX_WINDOWS ? (argc - 1) / 4 : MAX_WINDOWS;
	startup.cb = sizeof startup;
	for (int i = 0; i < window_count; i++) {
		if (!HasFlag(i, L"client") ||
		    !CreateProcessW(NULL, notepad_command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &notepad))
			continue;
		WaitForInputIdle(notepad.hProcess, 10000);
		for (int tries = 0; tries < 200 && !(handles[i] = FindWindowW(described[3 + 4 * i], NULL)); tries++)
			Sleep(50);
	}
	/* A hung program's windows: this thread answers the driver, and never takes a message. */
	for (int i = 0; i < window_count; i++) {
		if (HasFlag(i, L"hung"))
			MakeWindow(i);
	}
	ready = CreateEventW(NULL, TRUE, FALSE, NULL);
	CreateThread(NULL, 0, PumpMessages, NULL, 0, NULL);
	WaitForSingleObject(ready, INFINITE);
	for (int i = 0; i < window_count; i++)
		other_styles[i] = GetWindowLongW(handles[i], GWL_EXSTYLE) & ~WS_EX_LAYERED;
	for (puts("ready"); fflush(stdout) == 0 && fgets(line, sizeof line, stdin) != NULL; puts("end")) {
		for (int i = 0; strcmp(line, "reset\n") == 0 && i < window_count; i++) {
			SetWindowLongW(handles[i], GWL_EXSTYLE, other_styles[i] | (HasFlag(i, L"layered") ? WS_EX_LAYERED : 0));
			SetLayeredWindowAttributes(handles[i], 0, 77, LWA_ALPHA);
		}
		EnumWindows(PrintState, 0);
	}
	TerminateProcess(notepad.hProcess, 0);
	return 0;
}
