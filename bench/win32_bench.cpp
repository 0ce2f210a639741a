/*
 * Times vitrel.exe and winlist.exe over N top-level windows against
 * walk_loop.exe, the bare walk, and prints medians and ratios. One window in
 * ten has "match" in its title. The windows' thread keeps pumping messages,
 * as vitrel's changes are delivered to it.
 */
#include <stdio.h>
#include <stdlib.h>

#include <windows.h>

enum { RUNS = 7, MAX_WINDOWS = 2000 };

static HWND bench_windows[MAX_WINDOWS];
static int window_count;
static HANDLE windows_ready;

static DWORD WINAPI BenchWindowsThread(LPVOID)
{
	WNDCLASSA window_class = {};
	char title[64];
	MSG message;

	window_class.lpfnWndProc = DefWindowProcA;
	window_class.hInstance = GetModuleHandleA(NULL);
	window_class.lpszClassName = "BenchWindow";
	RegisterClassA(&window_class);
	for (int i = 0; i < window_count; i++) {
		snprintf(title, sizeof title, i % 10 == 0 ? "bench window %d match" : "bench window %d", i);
		bench_windows[i] = CreateWindowExA(0, "BenchWindow", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 60, NULL,
			NULL, window_class.hInstance, NULL);
	}
	PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
	SetEvent(windows_ready);
	while (GetMessageA(&message, NULL, 0, 0) > 0)
		DispatchMessageA(&message);
	return 0;
}

static int CompareDoubles(const void *a, const void *b)
{
	double x = *(const double *)a, y = *(const double *)b;
	return x < y ? -1 : x > y;
}

/* Runs the program beside this one, its output thrown away; returns its exit status. */
static DWORD RunSibling(const char *command_line)
{
	static char command[256];
	STARTUPINFOA startup = {};
	PROCESS_INFORMATION process;
	SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
	DWORD status = 1;

	snprintf(command, sizeof command, "%s", command_line);
	startup.cb = sizeof startup;
	startup.dwFlags = STARTF_USESTDHANDLES;
	startup.hStdOutput = CreateFileA("NUL", GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, NULL);
	startup.hStdError = startup.hStdOutput;
	if (CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
		WaitForSingleObject(process.hProcess, INFINITE);
		GetExitCodeProcess(process.hProcess, &status);
		CloseHandle(process.hProcess);
		CloseHandle(process.hThread);
	}
	CloseHandle(startup.hStdOutput);
	return status;
}

static double MedianMs(const char *command)
{
	double times[RUNS];
	LARGE_INTEGER frequency, start, end;

	QueryPerformanceFrequency(&frequency);
	for (int i = 0; i < RUNS; i++) {
		QueryPerformanceCounter(&start);
		if (RunSibling(command) != 0)
			return -1;
		QueryPerformanceCounter(&end);
		times[i] = 1e3 * (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
	}
	qsort(times, RUNS, sizeof times[0], CompareDoubles);
	return times[RUNS / 2];
}

int main(int argc, char **argv)
{
	window_count = argc > 1 ? atoi(argv[1]) : 1000;
	if (window_count <= 0 || window_count > MAX_WINDOWS) {
		fprintf(stderr, "usage: win32_bench [1..%d]\n", MAX_WINDOWS);
		return 2;
	}
	windows_ready = CreateEventA(NULL, TRUE, FALSE, NULL);
	CreateThread(NULL, 0, BenchWindowsThread, NULL, 0, NULL);
	WaitForSingleObject(windows_ready, INFINITE);

	double loop = MedianMs("walk_loop.exe");
	double winlist = MedianMs("winlist.exe");
	double vitrel = MedianMs("vitrel.exe -name match -trans 200");
	if (loop <= 0 || winlist <= 0 || vitrel <= 0) {
		fputs("win32_bench: a program failed\n", stderr);
		return 1;
	}
	printf("%-8s %-24s %12s %14s\n", "windows", "command (under Wine)", "median ms", "/ walk loop");
	printf("%-8d %-24s %12.2f %13.2fx\n", window_count, "walk_loop", loop, 1.0);
	printf("%-8d %-24s %12.2f %13.2fx\n", window_count, "winlist", winlist, winlist / loop);
	printf("%-8d %-24s %12.2f %13.2fx\n", window_count, "vitrel -name match", vitrel, vitrel / loop);
	return 0;
}
