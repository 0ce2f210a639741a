/*
 * Times winlist and vitrel over N top-level windows on the display against
 * the usual tools over the same windows, and prints medians, ratios and peak
 * memory. One window in ten has "match" in its title, for vitrel and for
 * xdotool search --name.
 *
 *   x11_bench BIN-DIR [--managed] N...
 *
 * --managed waits until a window manager has adopted every window and also
 * times wmctrl -lx, which reads the window manager's client list.
 */
#include <fcntl.h>
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

enum { RUNS = 5, MAX_WINDOWS = 10000, MAX_TOOLS = 5 };

struct Tool {
	const char *name;
	const char *argv[8];
	bool ours;
};

struct Figures {
	double median_ms;
	long peak_kib;
};

static xcb_connection_t *connection;
static xcb_window_t windows[MAX_WINDOWS];

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

static void CreateWindows(int count)
{
	const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
	static const char wm_class[] = "bench\0BenchWindow";
	char title[64];

	for (int i = 0; i < count; i++) {
		windows[i] = xcb_generate_id(connection);
		xcb_create_window(connection, XCB_COPY_FROM_PARENT, windows[i], screen->root, (int16_t)(i % 800),
			(int16_t)(i % 600), 100, 60, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, NULL);
		xcb_change_property(connection, XCB_PROP_MODE_REPLACE, windows[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
			sizeof wm_class, wm_class);
		int length = snprintf(title, sizeof title, i % 10 == 0 ? "bench window %d match" : "bench window %d", i);
		xcb_change_property(connection, XCB_PROP_MODE_REPLACE, windows[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
			(uint32_t)length, title);
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

static int CompareDoubles(const void *a, const void *b)
{
	double x = *(const double *)a, y = *(const double *)b;
	return x < y ? -1 : x > y;
}

static bool Measure(const char *bin_dir, const Tool *tool, Figures *figures)
{
	double times[RUNS];
	char path[600];

	figures->peak_kib = 0;
	if (tool->ours)
		snprintf(path, sizeof path, "%s/%s", bin_dir, tool->argv[0]);
	else
		snprintf(path, sizeof path, "/usr/bin/%s", tool->argv[0]);
	for (int run = 0; run < RUNS; run++) {
		posix_spawn_file_actions_t actions;
		posix_spawn_file_actions_init(&actions);
		posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
		pid_t pid;
		double start = Now();
		int spawned = posix_spawn(&pid, path, &actions, NULL, (char *const *)tool->argv, environ);
		posix_spawn_file_actions_destroy(&actions);
		if (spawned != 0)
			return false;
		int status;
		struct rusage usage;
		wait4(pid, &status, 0, &usage);
		times[run] = Now() - start;
		if (usage.ru_maxrss > figures->peak_kib)
			figures->peak_kib = usage.ru_maxrss;
	}
	qsort(times, RUNS, sizeof times[0], CompareDoubles);
	figures->median_ms = times[RUNS / 2];
	return true;
}

int main(int argc, char **argv)
{
	if (argc < 3) {
		fputs("usage: x11_bench BIN-DIR [--managed] N...\n", stderr);
		return 2;
	}
	const char *bin_dir = argv[1];
	int first_count = 2;
	bool managed = strcmp(argv[2], "--managed") == 0;
	if (managed)
		first_count = 3;

	connection = xcb_connect(NULL, NULL);
	if (xcb_connection_has_error(connection)) {
		fputs("x11_bench: cannot open display\n", stderr);
		return 1;
	}

	const Tool tools[MAX_TOOLS] = {
		{"winlist", {"winlist", NULL}, true},
		{"vitrel -name match", {"vitrel", "-name", "match", "-trans", "200", NULL}, true},
		{"xdotool search --name", {"xdotool", "search", "--name", "match", NULL}, false},
		{"xdotool search --class", {"xdotool", "search", "--class", "BenchWindow", NULL}, false},
		{"wmctrl -lx", {"wmctrl", "-lx", NULL}, false},
	};
	int tool_count = managed ? MAX_TOOLS : MAX_TOOLS - 1;

	printf("%-8s %-24s %12s %10s %14s\n", "windows", "command", "median ms", "peak KiB", "xdotool --name /");
	for (int a = first_count; a < argc; a++) {
		int count = atoi(argv[a]);
		if (count <= 0 || count > MAX_WINDOWS) {
			fprintf(stderr, "x11_bench: window count %s out of 1..%d\n", argv[a], MAX_WINDOWS);
			return 2;
		}
		CreateWindows(count);
		if (managed && !WaitForAdoption(count)) {
			fputs("x11_bench: the window manager did not adopt every window\n", stderr);
			return 1;
		}
		Figures figures[MAX_TOOLS];
		for (int t = 0; t < tool_count; t++) {
			if (!Measure(bin_dir, &tools[t], &figures[t])) {
				fprintf(stderr, "x11_bench: cannot run %s\n", tools[t].name);
				return 1;
			}
		}
		for (int t = 0; t < tool_count; t++) {
			printf("%-8d %-24s %12.2f %10ld %13.1fx\n", count, tools[t].name, figures[t].median_ms,
				figures[t].peak_kib, figures[2].median_ms / figures[t].median_ms);
		}
		fflush(stdout);
		DestroyWindows(count);
	}
	xcb_disconnect(connection);
	return 0;
}
