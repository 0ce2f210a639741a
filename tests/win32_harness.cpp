#include "win32_harness.h"

#include <stdio.h>
#include <string.h>

HWND test_windows[TEST_WINDOW_COUNT];
char l_1023[1024];
char l_1024[1025];

static char long_title[1028];
static HANDLE window_thread;
static DWORD window_thread_id;
static HANDLE windows_ready;
static PROCESS_INFORMATION notepad;

const TestWindowSpec test_window_specs[TEST_WINDOW_COUNT] = {
	{"VtKiwiFrame", "Kiwi Report - Editor", TRUE, FALSE},
	{"VtRichEdit20A", "Kiwi notes: a \"quoted\" word\t\x1b[31mred\x7f\nend", TRUE, FALSE},
	{"VtKiwiFrame", "Hidden Kiwi", FALSE, FALSE},
	{"VtEmptyTitle", "", TRUE, FALSE},
	{"Vt\x01LongTitle", long_title, TRUE, FALSE},
	{"VtPreLayered", "Kiwi layered", TRUE, TRUE},
	{"Notepad", "Untitled - Notepad", TRUE, FALSE},
};

static DWORD WINAPI OwnWindowsThread(LPVOID)
{
	HINSTANCE instance = GetModuleHandleA(NULL);
	MSG message;

	for (int i = 0; i < NOTEPAD; i++) {
		WNDCLASSA window_class = {};
		window_class.lpfnWndProc = DefWindowProcA;
		window_class.hInstance = instance;
		window_class.lpszClassName = test_window_specs[i].class_name;
		RegisterClassA(&window_class);

		DWORD ex_style = test_window_specs[i].layered ? WS_EX_LAYERED : 0;
		DWORD style = WS_OVERLAPPEDWINDOW | (test_window_specs[i].visible ? WS_VISIBLE : 0);
		test_windows[i] = CreateWindowExA(ex_style, test_window_specs[i].class_name, test_window_specs[i].title,
			style, 40 * i, 30 * i, 320, 200, NULL, NULL, instance, NULL);
		if (test_window_specs[i].layered)
			SetLayeredWindowAttributes(test_windows[i], 0, PRE_LAYERED_ALPHA, LWA_ALPHA);
	}
	/* Make sure the queue exists before the main thread may post WM_QUIT. */
	PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
	SetEvent(windows_ready);
	while (GetMessageA(&message, NULL, 0, 0) > 0) {
		TranslateMessage(&message);
		DispatchMessageA(&message);
	}
	for (int i = 0; i < NOTEPAD; i++)
		DestroyWindow(test_windows[i]);
	return 0;
}

struct NotepadSearch {
	DWORD process_id;
	HWND window;
};

static BOOL CALLBACK FindNotepadWindow(HWND window, LPARAM context)
{
	NotepadSearch *search = (NotepadSearch *)context;
	DWORD process_id = 0;
	char class_name[64];

	GetWindowThreadProcessId(window, &process_id);
	if (process_id == search->process_id && GetClassNameA(window, class_name, sizeof class_name) > 0
	    && strcmp(class_name, "Notepad") == 0) {
		search->window = window;
		return FALSE;
	}
	return TRUE;
}

static int StartNotepad(void)
{
	STARTUPINFOA startup = {};
	char command[] = "notepad.exe";
	NotepadSearch search = {};

	startup.cb = sizeof startup;
	if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &notepad)) {
		fprintf(stderr, "cannot start notepad.exe: error %lu\n", GetLastError());
		return 1;
	}
	WaitForInputIdle(notepad.hProcess, 10000);
	search.process_id = notepad.dwProcessId;
	for (int tries = 0; tries < 200 && search.window == NULL; tries++) {
		EnumWindows(FindNotepadWindow, (LPARAM)&search);
		if (search.window == NULL)
			Sleep(50);
	}
	if (search.window == NULL) {
		fputs("notepad.exe started but showed no window\n", stderr);
		return 1;
	}
	test_windows[NOTEPAD] = search.window;
	return 0;
}

int StartTestWindows(void)
{
	memset(long_title, 'L', 1023);
	memcpy(long_title + 1023, "TAIL", 5);
	memcpy(l_1023, long_title, 1023);
	l_1023[1023] = '\0';
	memset(l_1024, 'L', 1024);
	l_1024[1024] = '\0';

	if (test_windows[NOTEPAD] == NULL && StartNotepad() != 0)
		return 1;
	windows_ready = CreateEventA(NULL, TRUE, FALSE, NULL);
	window_thread = CreateThread(NULL, 0, OwnWindowsThread, NULL, 0, &window_thread_id);
	if (window_thread == NULL || WaitForSingleObject(windows_ready, 10000) != WAIT_OBJECT_0) {
		fputs("the test windows were not created\n", stderr);
		return 1;
	}
	CloseHandle(windows_ready);
	for (int i = 0; i < NOTEPAD; i++) {
		if (test_windows[i] == NULL) {
			fprintf(stderr, "cannot create test window %d\n", i);
			return 1;
		}
	}
	return 0;
}

void StopTestWindows(void)
{
	PostThreadMessageA(window_thread_id, WM_QUIT, 0, 0);
	WaitForSingleObject(window_thread, INFINITE);
	CloseHandle(window_thread);
	for (int i = 0; i < NOTEPAD; i++)
		test_windows[i] = NULL;

	LONG style = GetWindowLongA(test_windows[NOTEPAD], GWL_EXSTYLE);
	SetWindowLongA(test_windows[NOTEPAD], GWL_EXSTYLE, style & ~WS_EX_LAYERED);
}

void StopNotepad(void)
{
	TerminateProcess(notepad.hProcess, 0);
	WaitForSingleObject(notepad.hProcess, 10000);
	CloseHandle(notepad.hProcess);
	CloseHandle(notepad.hThread);
	test_windows[NOTEPAD] = NULL;
}

int ReadAlphaState(HWND window)
{
	COLORREF key;
	BYTE alpha;
	DWORD flags;

	if ((GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) == 0)
		return NOT_LAYERED;
	if (!GetLayeredWindowAttributes(window, &key, &alpha, &flags) || (flags & LWA_ALPHA) == 0)
		return LAYERED_NO_ALPHA;
	return alpha;
}

/* Quotes one argument so that the C runtime's parser gives it back unchanged. */
static size_t AppendArgument(char *command, size_t length, size_t capacity, const char *arg)
{
	size_t backslashes = 0;

	if (length + 4 >= capacity)
		return capacity;
	command[length++] = ' ';
	command[length++] = '"';
	for (const char *p = arg; *p != '\0'; p++) {
		if (length + 2 * backslashes + 4 >= capacity)
			return capacity;
		if (*p == '\\') {
			backslashes++;
			command[length++] = '\\';
			continue;
		}
		if (*p == '"') {
			for (size_t i = 0; i < backslashes + 1; i++)
				command[length++] = '\\';
		}
		backslashes = 0;
		command[length++] = *p;
	}
	for (size_t i = 0; i < backslashes; i++)
		command[length++] = '\\';
	command[length++] = '"';
	command[length] = '\0';
	return length;
}

static DWORD ReadAll(HANDLE pipe, char *buffer, DWORD capacity)
{
	DWORD length = 0;
	DWORD got;

	while (length + 1 < capacity && ReadFile(pipe, buffer + length, capacity - 1 - length, &got, NULL) && got > 0)
		length += got;
	buffer[length] = '\0';
	return length;
}

static int RunOnce(const char *path, char *command, HANDLE output, ChildRun *run)
{
	SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
	HANDLE out_read, out_write, err_read, err_write;
	STARTUPINFOA startup = {};
	PROCESS_INFORMATION process;

	if (!CreatePipe(&out_read, &out_write, &inherit, 0) || !CreatePipe(&err_read, &err_write, &inherit, 0))
		return 1;
	if (output != NULL) {
		CloseHandle(out_write);
		if (!DuplicateHandle(GetCurrentProcess(), output, GetCurrentProcess(), &out_write, 0, TRUE,
			DUPLICATE_SAME_ACCESS))
			return 1;
	}
	SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
	SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
	startup.cb = sizeof startup;
	startup.dwFlags = STARTF_USESTDHANDLES;
	startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
	startup.hStdOutput = out_write;
	startup.hStdError = err_write;
	BOOL started = CreateProcessA(path, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
	CloseHandle(out_write);
	CloseHandle(err_write);
	if (!started) {
		fprintf(stderr, "cannot start %s: error %lu\n", path, GetLastError());
		CloseHandle(out_read);
		CloseHandle(err_read);
		return 1;
	}
	run->out_length = ReadAll(out_read, run->out, sizeof run->out);
	run->err_length = ReadAll(err_read, run->err, sizeof run->err);
	WaitForSingleObject(process.hProcess, INFINITE);
	GetExitCodeProcess(process.hProcess, &run->status);
	CloseHandle(process.hProcess);
	CloseHandle(process.hThread);
	CloseHandle(out_read);
	CloseHandle(err_read);
	return 0;
}

int RunSibling(const char *program, const char *const *args, HANDLE output, ChildRun *run)
{
	static char path[MAX_PATH];
	static char command[8192];

	DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
	while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/')
		length--;
	size_t command_length = strlen(program);
	if (length + command_length + 1 > MAX_PATH)
		return 1;
	memcpy(path + length, program, command_length + 1);
	memcpy(command, program, command_length + 1);
	for (const char *const *arg = args; *arg != NULL; arg++)
		command_length = AppendArgument(command, command_length, sizeof command, *arg);
	if (command_length >= sizeof command)
		return 1;

	if (RunOnce(path, command, output, run) != 0)
		return 1;
	/* Wine's loader may die on the way out; that failure alone is run again. */
	if (run->status == 127 && strstr(run->err, "Inconsistency detected by ld.so") != NULL)
		return RunOnce(path, command, output, run);
	return 0;
}
