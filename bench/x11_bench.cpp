/*
 * Times winlist and vitrel over N top-level windows on the display against
 * the limit a walk can reach (x11_limit: the same records with every request
 * of a step pipelined) and against the usual tools over the same windows, and
 * prints each command's fastest run, its peak memory and the ratios. One
 * window in ten has "match" in its title, for vitrel and for xdotool search
 * --name. It also checks that winlist prints the limit program's records.
 *
 *   x11_bench BIN-DIR [--managed] N...
 *
 * --managed makes N windows that a window manager adopts and N it never
 * sees (never mapped), waits until it has adopted them, holds the walk
 * against a breadth-first search of the frames (x11_limit bfs) and also
 * times wmctrl -lx, which reads the window manager's client list.
 *
 * An idle virtual CPU wakes slowly, which taxes every round trip, so a
 * process spins at the lowest priority while the commands run, in turn,
 * round after round; each command's fastest run is its figure.
 */
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <xcb/xcb.h>

extern char **environ;

enum { ROUNDS = 15, MAX_WINDOWS = 10000, MAX_TOOLS = 6, OUTPUT_CAPACITY = 4 << 20 };

struct Tool {
	const char *name;
	const char *argv[8];
	bool ours;
};

struct Figures {
	double fastest_ms;
	long peak_kib;
};

static xcb_connection_t *connection;
static xcb_window_t windows[2 * MAX_WINDOWS];
static char outputs[2][OUTPUT_CAPACITY];

static double Now(void)
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

static xcb_atom_t Atom(const char *name)
{
	xcb_intern_atom_reply_t *reply =
		xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, strlen(name), name), NULL);
	xcb_atom_t atom = reply->atom;
	free(reply);
	return atom;
}

static void CreateWindows(int count, int unmapped)
{
	const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
	static const char wm_class[] = "bench\0BenchWindow";
	char title[64];

	for (int i = 0; i < count + unmapped; i++) {
		windows[i] = xcb_generate_id(connection);
		xcb_create_window(connection, XCB_COPY_FROM_PARENT, windows[i], screen->root, (int16_t)(i % 800),
			(int16_t)(i % 600), 100, 60, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, NULL);
		xcb_change_property(connection, XCB_PROP_MODE_REPLACE, windows[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
			sizeof wm_class, wm_class);
		int length = snprintf(title, sizeof title, i % 10 == 0 ? "bench window %d match" : "bench window %d", i);
		xcb_change_property(connection, XCB_PROP_MODE_REPLACE, windows[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
			(uint32_t)length, title);
		if (i < count)
			xcb_map_window(connection, windows[i]);
	}
	free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), NULL));
}

static void DestroyWindows(int count)
{
	for (int i = 0; i < count; i++)
		xcb_destroy_window(connection, windows[i]);
	free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), NULL));
}

/* Waits until the window manager lists at least count clients. */
static bool WaitForAdoption(int count)
{
	xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
	xcb_atom_t client_list = Atom("_NET_CLIENT_LIST");

	for (int tries = 0; tries < 1200; tries++) {
		xcb_get_property_reply_t *reply = xcb_get_property_reply(connection,
			xcb_get_property(connection, 0, root, client_list, XCB_ATOM_WINDOW, 0, MAX_WINDOWS + 100), NULL);
		int listed = reply != NULL ? xcb_get_property_value_length(reply) / 4 : 0;
		free(reply);
		if (listed >= count)
			return true;
		usleep(100000);
	}
	return false;
}

static void PathOf(const char *bin_dir, const Tool *tool, char *path, size_t capacity)
{
	snprintf(path, capacity, tool->ours ? "%s/%s" : "/usr/bin/%s", tool->ours ? bin_dir : tool->argv[0],
		tool->argv[0]);
}

/* Runs the tool once with its output to the file, and returns its wall time; peak_kib takes its memory. */
static double RunOnce(const char *path, const Tool *tool, const char *output, long *peak_kib)
{
	posix_spawn_file_actions_t actions;
	pid_t pid;
	int status;
	struct rusage usage;

	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
	double start = Now();
	int spawned = posix_spawn(&pid, path, &actions, NULL, (char *const *)tool->argv, environ);
	posix_spawn_file_actions_destroy(&actions);
	if (spawned != 0 || wait4(pid, &status, 0, &usage) < 0 || !WIFEXITED(status)) {
		fprintf(stderr, "x11_bench: cannot run %s\n", path);
		exit(1);
	}
	double elapsed = Now() - start;
	if (usage.ru_maxrss > *peak_kib)
		*peak_kib = usage.ru_maxrss;
	return elapsed;
}

/* Returns whether two tools print the same bytes. */
static bool SameOutput(const char *bin_dir, const Tool *first, const Tool *second)
{
	const Tool *tools[2] = {first, second};
	size_t lengths[2];
	char path[600], output[64];
	long peak = 0;

	snprintf(output, sizeof output, "/tmp/x11_bench.%d", (int)getpid());
	for (int t = 0; t < 2; t++) {
		PathOf(bin_dir, tools[t], path, sizeof path);
		RunOnce(path, tools[t], output, &peak);
		FILE *file = fopen(output, "rb");
		lengths[t] = file != NULL ? fread(outputs[t], 1, OUTPUT_CAPACITY, file) : 0;
		if (file != NULL)
			fclose(file);
	}
	unlink(output);
	return lengths[0] == lengths[1] && lengths[0] > 0 && memcmp(outputs[0], outputs[1], lengths[0]) == 0;
}

static void Measure(const char *bin_dir, const Tool *tools, int count, Figures *figures)
{
	char path[600];
	pid_t spinner = fork();

	if (spinner == 0) {
		nice(19);
		for (volatile unsigned long spin = 0;; spin++) {
		}
	}
	for (int t = 0; t < count; t++)
		figures[t] = {1e9, 0};
	for (int round = 0; round < ROUNDS; round++) {
		for (int t = 0; t < count; t++) {
			PathOf(bin_dir, &tools[t], path, sizeof path);
			double elapsed = RunOnce(path, &tools[t], "/dev/null", &figures[t].peak_kib);
			figures[t].fastest_ms = elapsed < figures[t].fastest_ms ? elapsed : figures[t].fastest_ms;
		}
	}
	kill(spinner, SIGKILL);
	waitpid(spinner, NULL, 0);
}

int main(int argc, char **argv)
{
	if (argc < 3) {
		fputs("usage: x11_bench BIN-DIR [--managed] N...\n", stderr);
		return 2;
	}
	const char *bin_dir = argv[1];
	bool managed = strcmp(argv[2], "--managed") == 0;
	int first_count = managed ? 3 : 2;

	connection = xcb_connect(NULL, NULL);
	if (xcb_connection_has_error(connection)) {
		fputs("x11_bench: cannot open display\n", stderr);
		return 1;
	}

	/* Ours first, then the limit, then the others: the ratios read them by place. */
	const Tool tools[MAX_TOOLS] = {
		{"winlist", {"winlist", NULL}, true},
		{"vitrel -name match", {"vitrel", "-name", "match", "-trans", "200", NULL}, true},
		{managed ? "x11_limit bfs" : "x11_limit flat", {"x11_limit", managed ? "bfs" : "flat", NULL}, true},
		{"xdotool search --name", {"xdotool", "search", "--name", "match", NULL}, false},
		{"xdotool search --class", {"xdotool", "search", "--class", "BenchWindow", NULL}, false},
		{"wmctrl -lx", {"wmctrl", "-lx", NULL}, false},
	};
	int tool_count = managed ? MAX_TOOLS : MAX_TOOLS - 1;
	long first_peaks[2] = {0, 0};

	printf("%-12s %-24s %11s %9s  %s\n", "windows", "command", "fastest ms", "peak KiB", "ratio");
	for (int a = first_count; a < argc; a++) {
		int count = atoi(argv[a]);
		if (count <= 0 || count > MAX_WINDOWS) {
			fprintf(stderr, "x11_bench: window count %s out of 1..%d\n", argv[a], MAX_WINDOWS);
			return 2;
		}
		CreateWindows(count, managed ? count : 0);
		if (managed && !WaitForAdoption(count)) {
			fputs("x11_bench: the window manager did not adopt every window\n", stderr);
			return 1;
		}
		bool same = SameOutput(bin_dir, &tools[0], &tools[2]);
		Figures figures[MAX_TOOLS];
		Measure(bin_dir, tools, tool_count, figures);
		char windows_label[32];
		snprintf(windows_label, sizeof windows_label, managed ? "%d+%d" : "%d", count, count);
		for (int t = 0; t < tool_count; t++) {
			char ratio[64] = "";
			if (t < 2)
				snprintf(ratio, sizeof ratio, "%.2f x the limit", figures[t].fastest_ms / figures[2].fastest_ms);
			else if (t == 5)
				snprintf(ratio, sizeof ratio, "%.2f x winlist", figures[t].fastest_ms / figures[0].fastest_ms);
			else if (t > 2)
				snprintf(ratio, sizeof ratio, "%.1f x winlist", figures[t].fastest_ms / figures[0].fastest_ms);
			printf("%-12s %-24s %11.2f %9ld  %s\n", windows_label, tools[t].name, figures[t].fastest_ms,
				figures[t].peak_kib, ratio);
		}
		printf("%-12s winlist's records are the limit program's: %s\n", windows_label, same ? "yes" : "NO");
		for (int t = 0; t < 2; t++) {
			if (a == first_count)
				first_peaks[t] = figures[t].peak_kib;
			else
				printf("%-12s %s's peak memory: %.2f x that at %s windows\n", windows_label, tools[t].name,
					(double)figures[t].peak_kib / (double)first_peaks[t], argv[first_count]);
		}
		fflush(stdout);
		DestroyWindows(managed ? 2 * count : count);
	}
	xcb_disconnect(connection);
	return 0;
}
