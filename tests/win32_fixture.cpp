/*
 * Real top-level windows for run_cases.py: win32_fixture NAME:FLAGS:HEXCLASS:HEXTITLE...
 * creates them on a thread that keeps pumping messages (FLAGS: h hidden,
 * l layered, c notepad's window instead), prints "ready", then answers lines:
 *   reset             every layered bit cleared, alpha 77 for "l"; then as state
 *   state             "NAME ALPHA" per window in EnumWindows order, ALPHA a
 *                     number or "-" (not layered), with "+style" when another
 *                     bit of its extended style changed
 *   console HEXARG... winlist.exe run on a console of its own: its status and whether
 *                     the console's code page stayed, then the screen in UTF-8, in hex
 * each answer ending with "end". Texts are UTF-8, and the windows are made
 * through the wide functions. Given a piece of a title alone, it prints the
 * state of each window whose title holds it, and fails if none does.
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

enum { MAX_WINDOWS = 32, TEXT = 2100, COLUMNS = 2048, ROWS = 200 };

static char names[MAX_WINDOWS][32], flags[MAX_WINDOWS][8], class_names[MAX_WINDOWS][TEXT], titles[MAX_WINDOWS][TEXT];
static HWND handles[MAX_WINDOWS];
static LONG other_styles[MAX_WINDOWS];
static int window_count, states_printed;
static HANDLE ready;

static char *FromHex(char *out, const char *hex)
{
	unsigned byte;
	char *end = out;

	for (; sscanf(hex, "%2x", &byte) == 1; hex += 2)
		*end++ = (char)byte;
	*end = '\0';
	return out;
}

static wchar_t *Wide(const char *text, wchar_t *wide)
{
	MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, TEXT);
	return wide;
}

static DWORD WINAPI PumpMessages(LPVOID)
{
	static wchar_t class_name[TEXT], title[TEXT];
	MSG message;

	for (int i = 0; i < window_count; i++) {
		WNDCLASSW window_class = {};
		window_class.lpfnWndProc = DefWindowProcW;
		window_class.lpszClassName = Wide(class_names[i], class_name);
		RegisterClassW(&window_class);
		if (strchr(flags[i], 'c') == NULL)
			handles[i] = CreateWindowExW(0, class_name, Wide(titles[i], title),
				WS_OVERLAPPEDWINDOW | (strchr(flags[i], 'h') ? 0 : WS_VISIBLE), i * 10, i * 8, 320, 200, NULL,
				NULL, NULL, NULL);
	}
	PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
	SetEvent(ready);
	while (GetMessageA(&message, NULL, 0, 0) > 0)
		DispatchMessageA(&message);
	return 0;
}

static BOOL CALLBACK PrintState(HWND handle, LPARAM title_piece)
{
	char name[TEXT] = "";
	const char *style = "";
	BYTE alpha;
	DWORD layered_flags;

	for (int i = 0; i < window_count; i++) {
		if (handles[i] == handle) {
			strcpy(name, names[i]);
			style = (GetWindowLongA(handle, GWL_EXSTYLE) & ~WS_EX_LAYERED) != other_styles[i] ? "+style" : "";
		}
	}
	if (title_piece != 0 && (GetWindowTextA(handle, name, TEXT) == 0 || !strstr(name, (char *)title_piece)))
		name[0] = '\0';
	if (name[0] == '\0')
		return TRUE;
	states_printed++;
	if ((GetWindowLongA(handle, GWL_EXSTYLE) & WS_EX_LAYERED) == 0)
		printf("%s -%s\n", name, style);
	else if (GetLayeredWindowAttributes(handle, NULL, &alpha, &layered_flags) && (layered_flags & LWA_ALPHA))
		printf("%s %u%s\n", name, alpha, style);
	return TRUE;
}

static void RunOnConsole(char *args)
{
	static char command[8192], row[COLUMNS * 4];
	static wchar_t wide_row[COLUMNS];
	SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
	STARTUPINFOA startup = {};
	PROCESS_INFORMATION process;
	DWORD got;

	strcpy(command, "winlist.exe");
	for (char *arg = strtok(args, " \n"); arg != NULL; arg = strtok(NULL, " \n"))
		strcat(strcat(strcat(command, " \""), FromHex(row, arg + 1)), "\"");
	startup.cb = sizeof startup;
	startup.dwFlags = STARTF_USESTDHANDLES;
	startup.hStdOutput = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
		&inherit, CONSOLE_TEXTMODE_BUFFER, NULL);
	SetConsoleScreenBufferSize(startup.hStdOutput, COORD{COLUMNS, ROWS});
	SetConsoleOutputCP(437);
	if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
		return;
	WaitForSingleObject(process.hProcess, INFINITE);
	GetExitCodeProcess(process.hProcess, &got);
	printf("%lu %s\n", got, GetConsoleOutputCP() == 437 ? "kept" : "changed");
	for (SHORT y = 0; y < ROWS && ReadConsoleOutputCharacterW(startup.hStdOutput, wide_row, COLUMNS, COORD{0, y}, &got);
	     y++) {
		while (got > 0 && wide_row[got - 1] == L' ')
			got--;
		got = (DWORD)WideCharToMultiByte(CP_UTF8, 0, wide_row, (int)got, row, (int)sizeof row, NULL, NULL);
		for (DWORD i = 0; i < got; i++)
			printf("%02x", (unsigned char)row[i]);
		printf("0d0a");
	}
	putchar('\n');
	CloseHandle(startup.hStdOutput);
}

int main(int argc, char **argv)
{
	static char line[16384], hex_class[TEXT * 2], hex_title[TEXT * 2];
	STARTUPINFOA startup = {};
	PROCESS_INFORMATION notepad = {};
	char command[] = "notepad.exe";

	if (argc == 2 && strchr(argv[1], ':') == NULL)
		return EnumWindows(PrintState, (LPARAM)argv[1]) && states_printed > 0 ? 0 : 1;
	for (int i = 1; i < argc && window_count < MAX_WINDOWS; i++, window_count++) {
		hex_class[0] = hex_title[0] = '\0';
		sscanf(argv[i], "%31[^:]:%7[^:]:x%4199[^:]:x%4199s", names[i - 1], flags[i - 1], hex_class, hex_title);
		FromHex(class_names[i - 1], hex_class);
		FromHex(titles[i - 1], hex_title);
		startup.cb = sizeof startup;
		if (strchr(flags[i - 1], 'c') && CreateProcessA(NULL, command, NULL, NULL, 0, 0, NULL, NULL, &startup, &notepad)) {
			WaitForInputIdle(notepad.hProcess, 10000);
			for (int tries = 0; tries < 200 && !(handles[i - 1] = FindWindowA("Notepad", NULL)); tries++)
				Sleep(50);
		}
	}
	/* A console of its own, to make screen buffers on. */
	FreeConsole();
	AllocConsole();
	ready = CreateEventA(NULL, TRUE, FALSE, NULL);
	CreateThread(NULL, 0, PumpMessages, NULL, 0, NULL);
	WaitForSingleObject(ready, 30000);
	for (int i = 0; i < window_count; i++)
		other_styles[i] = GetWindowLongA(handles[i], GWL_EXSTYLE) & ~WS_EX_LAYERED;
	for (puts("ready\nend"); fflush(stdout) == 0 && fgets(line, sizeof line, stdin) != NULL; puts("end")) {
		for (int i = 0; strcmp(line, "reset\n") == 0 && i < window_count; i++) {
			LONG style = GetWindowLongA(handles[i], GWL_EXSTYLE) & ~WS_EX_LAYERED;
			SetWindowLongA(handles[i], GWL_EXSTYLE, strchr(flags[i], 'l') ? style | WS_EX_LAYERED : style);
			SetLayeredWindowAttributes(handles[i], 0, 77, LWA_ALPHA);
		}
		if (strncmp(line, "console", 7) == 0)
			RunOnConsole(line + 7);
		else
			EnumWindows(PrintState, 0);
	}
	TerminateProcess(notepad.hProcess, 0);
	return 0;
}
