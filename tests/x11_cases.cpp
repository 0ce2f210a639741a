/*
 * vitrel and winlist run against real X clients (xlogo) and windows of this
 * test's own, for what real clients cannot show: no WM_CLASS, no title,
 * never mapped, a UTF-8 title, a title over 1023 bytes, control bytes.
 * With a window manager (the "framed" argument) every mapped window must be
 * reparented, and the opacity must land on both client and frame. OWN_FRAME
 * is framed by this test in the way a window manager frames, for a frame
 * whose manager does not copy the client's opacity to it, as openbox does.
 * With the "composited" argument it checks instead what a person sees: a
 * white window at alpha 128 over a blue one, read back from the screen as
 * the blend of the two.
 */
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include "test_report.h"

extern char **environ;

enum TestWindowId {
	KIWI_LOGO, PLAIN_LOGO, NO_CLASS, NO_TITLE, UNMAPPED, UTF8_TITLE, FALLBACK_TITLE, LONG_TITLE,
	CONTROL_TITLE, OWN_FRAME, WINDOW_COUNT
};

struct TestWindow {
	const char *logo_name;   /* a real xlogo started with -name and -title, or NULL */
	const char *wm_class;    /* "instance\0class" as stored, or NULL */
	size_t wm_class_length;
	const char *net_wm_name; /* or NULL */
	const char *wm_name;     /* or NULL */
	bool mapped;
	bool own_frame;          /* put inside a frame of this test's own */
	const char *shown_class; /* what winlist shows, NULL when not listed */
	const char *shown_title;
};

static char long_title[1030];
static char long_title_cut[1024];

#define CLASS(text) text, sizeof text - 1
static const TestWindow windows[WINDOW_COUNT] = {
	{"kiwiLogo", NULL, 0, NULL, "Kiwi Logo", true, false, "kiwiLogo.XLogo", "Kiwi Logo"},
	{"plainLogo", NULL, 0, NULL, "Plain Logo", true, false, "plainLogo.XLogo", "Plain Logo"},
	{NULL, NULL, 0, NULL, "Kiwi without class", true, false, NULL, NULL},
	{NULL, CLASS("vtnotitle\0VtNoTitle"), NULL, NULL, true, false, NULL, NULL},
	{NULL, CLASS("vthidden\0VtHidden"), NULL, "Kiwi hidden", false, false, "vthidden.VtHidden", "Kiwi hidden"},
	{NULL, CLASS("vtutf8\0VtUtf8"), "Kiwi \xe2\x9c\x93 na\xc3\xafve", "Kiwi ascii", true, false, "vtutf8.VtUtf8",
		"Kiwi \xe2\x9c\x93 na\xc3\xafve"},
	{NULL, CLASS("vtfallback\0VtFallback"), "", "Kiwi fallback", true, false, "vtfallback.VtFallback", "Kiwi fallback"},
	{NULL, CLASS("vtlong\0VtLong"), long_title, NULL, true, false, "vtlong.VtLong", long_title_cut},
	{NULL, CLASS("vtcontrol\0VtControl"), NULL, "Kiwi \x1b]0;pwned\x07\tend\x7f", true, false, "vtcontrol.VtControl",
		"Kiwi \x1b]0;pwned\x07\tend\x7f"},
	{NULL, CLASS("vtframed\0VtFramed"), NULL, "Kiwi framed", true, true, "vtframed.VtFramed", "Kiwi framed"},
};

static xcb_connection_t *connection;
static xcb_window_t root;
static xcb_atom_t atom_net_wm_name, atom_utf8_string, atom_opacity, atom_wm_state;
static xcb_window_t clients[WINDOW_COUNT];
static pid_t logo_pids[WINDOW_COUNT];
static char bin_dir[512];

static xcb_atom_t Atom(const char *name)
{
	xcb_intern_atom_reply_t *reply =
		xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, strlen(name), name), NULL);
	xcb_atom_t atom = reply != NULL ? reply->atom : (xcb_atom_t)XCB_ATOM_NONE;
	free(reply);
	return atom;
}

static void Sleep(int milliseconds)
{
	struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
	nanosleep(&pause, NULL);
}

/* Returns the root's child that holds window: its frame, or the window itself. */
static xcb_window_t FrameOf(xcb_window_t window)
{
	for (;;) {
		xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), NULL);
		if (tree == NULL)
			return window;
		xcb_window_t parent = tree->parent;
		free(tree);
		if (parent == root || parent == XCB_WINDOW_NONE)
			return window;
		window = parent;
	}
}

static bool HasName(xcb_window_t window, const char *name)
{
	xcb_get_property_reply_t *reply = xcb_get_property_reply(connection,
		xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 64), NULL);
	bool same = reply != NULL && (size_t)xcb_get_property_value_length(reply) == strlen(name)
		&& memcmp(xcb_get_property_value(reply), name, strlen(name)) == 0;
	free(reply);
	return same;
}

static xcb_window_t FindByName(xcb_window_t parent, const char *name, int depth)
{
	xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), NULL);
	xcb_window_t found = XCB_WINDOW_NONE;

	if (tree == NULL)
		return found;
	xcb_window_t *children = xcb_query_tree_children(tree);
	for (int i = 0; i < xcb_query_tree_children_length(tree) && found == XCB_WINDOW_NONE; i++) {
		if (HasName(children[i], name))
			found = children[i];
		else if (depth > 0)
			found = FindByName(children[i], name, depth - 1);
	}
	free(tree);
	return found;
}

static void SetText(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const char *text, size_t length)
{
	xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, type, 8, (uint32_t)length, text);
}

static bool CreateWindows(bool framed)
{
	const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;

	for (int i = 0; i < WINDOW_COUNT; i++) {
		const TestWindow *w = &windows[i];
		if (w->logo_name != NULL) {
			char *argv[] = {(char *)"xlogo", (char *)"-name", (char *)w->logo_name, (char *)"-title",
				(char *)w->wm_name, NULL};
			if (posix_spawnp(&logo_pids[i], "xlogo", NULL, NULL, argv, environ) != 0)
				return false;
			continue;
		}
		uint32_t background = screen->white_pixel;
		xcb_window_t parent = root;
		if (w->own_frame) {
			/* Override-redirect, so that no window manager frames the frame. */
			uint32_t frame_values[] = {screen->black_pixel, 1};
			parent = xcb_generate_id(connection);
			xcb_create_window(connection, XCB_COPY_FROM_PARENT, parent, root, (int16_t)(30 * i),
				(int16_t)(20 * i), 210, 140, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
				XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, frame_values);
			xcb_map_window(connection, parent);
		}
		clients[i] = xcb_generate_id(connection);
		xcb_create_window(connection, XCB_COPY_FROM_PARENT, clients[i], parent,
			(int16_t)(w->own_frame ? 5 : 30 * i), (int16_t)(w->own_frame ? 15 : 20 * i), 200, 120, 0,
			XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, &background);
		if (w->own_frame) {
			uint32_t normal_state[] = {1, XCB_WINDOW_NONE};
			xcb_change_property(connection, XCB_PROP_MODE_REPLACE, clients[i], atom_wm_state, atom_wm_state,
				32, 2, normal_state);
		}
		if (w->wm_class != NULL)
			SetText(clients[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, w->wm_class, w->wm_class_length + 1);
		if (w->net_wm_name != NULL)
			SetText(clients[i], atom_net_wm_name, atom_utf8_string, w->net_wm_name, strlen(w->net_wm_name));
		if (w->wm_name != NULL)
			SetText(clients[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING, w->wm_name, strlen(w->wm_name));
		if (w->mapped)
			xcb_map_window(connection, clients[i]);
	}
	xcb_flush(connection);

	/* Wait for the xlogos to show, and for a window manager to frame every mapped window. */
	for (int tries = 0; tries < 100; tries++) {
		bool ready = true;
		for (int i = 0; i < WINDOW_COUNT; i++) {
			if (windows[i].logo_name != NULL && clients[i] == XCB_WINDOW_NONE)
				clients[i] = FindByName(root, windows[i].wm_name, 3);
			bool should_be_framed = (framed && windows[i].mapped) || windows[i].own_frame;
			if (clients[i] == XCB_WINDOW_NONE || (should_be_framed && FrameOf(clients[i]) == clients[i]))
				ready = false;
		}
		if (ready)
			return true;
		Sleep(100);
	}
	return false;
}

/* Returns the opacity on window, or -1 when it has none. */
static long long Opacity(xcb_window_t window)
{
	xcb_get_property_reply_t *reply = xcb_get_property_reply(connection,
		xcb_get_property(connection, 0, window, atom_opacity, XCB_ATOM_CARDINAL, 0, 1), NULL);
	long long opacity = -1;
	if (reply != NULL && xcb_get_property_value_length(reply) == 4)
		opacity = *(uint32_t *)xcb_get_property_value(reply);
	free(reply);
	return opacity;
}

static void ClearOpacity(void)
{
	for (int i = 0; i < WINDOW_COUNT; i++) {
		xcb_delete_property(connection, clients[i], atom_opacity);
		xcb_delete_property(connection, FrameOf(clients[i]), atom_opacity);
	}
	free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), NULL));
}

struct Run {
	int status;
	char out[65536];
	size_t out_length;
	char err[1024];
	size_t err_length;
};

enum OutputKind { THROUGH_PIPE, ON_TERMINAL };

/* Runs a tool from bin_dir; with_display false runs it with no DISPLAY at all. */
static bool RunTool(const char *tool, const char *const *args, bool with_display, OutputKind output, Run *run)
{
	char path[600];
	char *argv[12];
	int argc = 0;
	int out_pipe[2], err_pipe[2];
	int out_read;
	pid_t pid;

	if (strchr(tool, '/') != NULL)
		snprintf(path, sizeof path, "%s", tool);
	else
		snprintf(path, sizeof path, "%s/%s", bin_dir, tool);
	argv[argc++] = (char *)tool;
	for (; args[argc - 1] != NULL && argc < 11; argc++)
		argv[argc] = (char *)args[argc - 1];
	argv[argc] = NULL;

	int out_write;
	if (output == ON_TERMINAL) {
		out_read = posix_openpt(O_RDWR | O_NOCTTY);
		if (out_read < 0 || grantpt(out_read) != 0 || unlockpt(out_read) != 0)
			return false;
		out_write = open(ptsname(out_read), O_RDWR | O_NOCTTY);
	} else {
		if (pipe(out_pipe) != 0)
			return false;
		out_read = out_pipe[0];
		out_write = out_pipe[1];
	}
	if (out_write < 0 || pipe(err_pipe) != 0)
		return false;
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_adddup2(&actions, out_write, STDOUT_FILENO);
	posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
	posix_spawn_file_actions_addclose(&actions, out_read);
	posix_spawn_file_actions_addclose(&actions, err_pipe[0]);

	static char *no_display[] = {(char *)"PATH=/usr/bin:/bin", NULL};
	int spawned = posix_spawn(&pid, path, &actions, NULL, argv, with_display ? environ : no_display);
	posix_spawn_file_actions_destroy(&actions);
	close(err_pipe[1]);
	/* A terminal stays open on this side until the end, so it never hangs up early. */
	if (output == THROUGH_PIPE)
		close(out_write);
	if (spawned != 0)
		return false;

	run->out_length = run->err_length = 0;
	struct pollfd fds[2] = {{out_read, POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
	bool exited = false;
	int status = 0;
	for (;;) {
		int ready = poll(fds, 2, 100);
		for (int i = 0; i < 2 && ready > 0; i++) {
			if (fds[i].fd < 0 || fds[i].revents == 0)
				continue;
			char *buffer = i == 0 ? run->out : run->err;
			size_t *length = i == 0 ? &run->out_length : &run->err_length;
			size_t capacity = i == 0 ? sizeof run->out : sizeof run->err;
			ssize_t got = read(fds[i].fd, buffer + *length, capacity - 1 - *length);
			if (got <= 0) {
				close(fds[i].fd);
				fds[i].fd = -1;
			} else {
				*length += (size_t)got;
			}
		}
		if (!exited)
			exited = waitpid(pid, &status, WNOHANG) == pid;
		else if (ready == 0 || (fds[0].fd < 0 && fds[1].fd < 0))
			break;
	}
	for (int i = 0; i < 2; i++) {
		if (fds[i].fd >= 0)
			close(fds[i].fd);
	}
	if (output == ON_TERMINAL)
		close(out_write);
	run->out[run->out_length] = '\0';
	run->err[run->err_length] = '\0';
	run->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	return true;
}

static bool CheckRun(const Run *run, int status, const char *err, char *detail, size_t capacity)
{
	char got[256];

	if (run->status != status || run->err_length != strlen(err) || memcmp(run->err, err, run->err_length) != 0) {
		FormatBytes(got, sizeof got, run->err, run->err_length);
		snprintf(detail, capacity, "status %d, stderr \"%s\"", run->status, got);
		return false;
	}
	return true;
}

enum { NONE = -1 };
#define N NONE

struct VitrelCase {
	const char *what;
	const char *args[8];
	int status;
	const char *err;
	/* alpha per window, in TestWindowId order */
	int alpha[WINDOW_COUNT];
};

static const char USAGE[] = "Usage:vitrel -class classname -name windowname -trans (0-255)\n";

static const VitrelCase vitrel_cases[] = {
	{"every title match, unmapped too", {"-name", "Kiwi", "-trans", "128", NULL}, 0, "",
		{128, N, N, N, 128, 128, 128, N, 128, 128}},
	{"a class matches its class part", {"-class", "XLogo", "-trans", "0", NULL}, 0, "", {0, 0, N, N, N, N, N, N, N, N}},
	{"a class matches its instance part", {"-class", "kiwiLogo.", NULL}, 0, "", {192, N, N, N, N, N, N, N, N, N}},
	{"a window without title is never matched", {"-class", "VtNoTitle", NULL}, 0, "", {N, N, N, N, N, N, N, N, N, N}},
	{"_NET_WM_NAME hides WM_NAME", {"-name", "ascii", NULL}, 0, "", {N, N, N, N, N, N, N, N, N, N}},
	{"a UTF-8 title", {"-name", "\xe2\x9c\x93 na", "-trans", "7", NULL}, 0, "", {N, N, N, N, N, 7, N, N, N, N}},
	{"255 is full opacity", {"-trans", "255", "-name", "Kiwi Logo", NULL}, 0, "", {255, N, N, N, N, N, N, N, N, N}},
	{"both filters", {"-class", "XLogo", "-name", "Plain", "-trans", "1", NULL}, 0, "",
		{N, 1, N, N, N, N, N, N, N, N}},
	{"bad input touches nothing", {"-name", "Kiwi", "-trans", "256", NULL}, 1, "Bad transparency\n",
		{N, N, N, N, N, N, N, N, N, N}},
	{"usage", {"-name", NULL}, 1, USAGE, {N, N, N, N, N, N, N, N, N, N}},
};

static void CheckVitrel(const VitrelCase *c)
{
	static Run run;
	char detail[512] = "";

	ClearOpacity();
	if (!RunTool("vitrel", c->args, true, THROUGH_PIPE, &run)) {
		Report(false, c->what, "vitrel did not run");
		return;
	}
	bool ok = CheckRun(&run, c->status, c->err, detail, sizeof detail);
	for (int i = 0; ok && i < WINDOW_COUNT; i++) {
		long long want = c->alpha[i] == NONE ? -1 : (long long)c->alpha[i] * 0x01010101LL;
		xcb_window_t frame = FrameOf(clients[i]);
		if (Opacity(clients[i]) != want || Opacity(frame) != want) {
			ok = false;
			snprintf(detail, sizeof detail, "window %d: opacity %lld on client, %lld on frame, want %lld", i,
				Opacity(clients[i]), Opacity(frame), want);
		}
	}
	Report(ok, c->what, detail);
}

static void CheckWithoutDisplay(void)
{
	static Run run;
	char detail[512] = "";
	const char *const target[] = {"-name", "Kiwi", NULL};
	const char *const no_target[] = {"-trans", "5", NULL};

	bool ok = RunTool("vitrel", target, false, THROUGH_PIPE, &run)
		&& CheckRun(&run, 1, "Cannot open display.\n", detail, sizeof detail);
	Report(ok, "vitrel with no display fails", detail);
	ok = RunTool("vitrel", no_target, false, THROUGH_PIPE, &run)
		&& CheckRun(&run, 1, "No target is specified.\n", detail, sizeof detail);
	Report(ok, "vitrel's argument errors come before the display's", detail);
	ok = RunTool("winlist", target, false, THROUGH_PIPE, &run)
		&& CheckRun(&run, 1, "Cannot open display.\n", detail, sizeof detail) && run.out_length == 0;
	Report(ok, "winlist with no display fails", detail);
}

static void Shown(char *out, const char *text, OutputKind output)
{
	size_t i = 0;
	for (; text[i] != '\0'; i++) {
		unsigned char byte = (unsigned char)text[i];
		out[i] = output == ON_TERMINAL && (byte < 0x20 || byte == 0x7f) ? '?' : text[i];
	}
	out[i] = '\0';
}

static size_t ExpectedRecord(char *out, size_t capacity, int i, OutputKind output)
{
	static char class_name[1100], title[1100];
	/* A terminal's line discipline sends each line feed as CR LF. */
	const char *eol = output == ON_TERMINAL ? "\r\n" : "\n";

	Shown(class_name, windows[i].shown_class, output);
	Shown(title, windows[i].shown_title, output);
	return (size_t)snprintf(out, capacity, "Window class:\"%s\"%sWindow name:\"%s\"%s%s", class_name, eol,
		title, eol, eol);
}

static void ReadStackingOrder(int *order, int *count)
{
	xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, root), NULL);
	xcb_window_t *children = xcb_query_tree_children(tree);

	*count = 0;
	for (int k = xcb_query_tree_children_length(tree) - 1; k >= 0; k--) {
		for (int i = 0; i < WINDOW_COUNT; i++) {
			if (FrameOf(clients[i]) == children[k])
				order[(*count)++] = i;
		}
	}
	free(tree);
}

static void CheckWinlist(const char *what, const char *const *args, OutputKind output)
{
	static Run run;
	static char record[4096];
	char detail[600] = "";
	int order[WINDOW_COUNT], count;

	ReadStackingOrder(order, &count);
	if (!RunTool("winlist", args, true, output, &run)) {
		Report(false, what, "winlist did not run");
		return;
	}
	bool ok = CheckRun(&run, 0, "", detail, sizeof detail);
	const char *after = run.out;
	for (int k = 0; ok && k < count; k++) {
		int i = order[k];
		if (windows[i].shown_class == NULL) {
			const char *absent = i == NO_CLASS ? "Kiwi without class" : "VtNoTitle";
			if (strstr(run.out, absent) != NULL) {
				ok = false;
				snprintf(detail, sizeof detail, "window %d is listed", i);
			}
			continue;
		}
		size_t length = ExpectedRecord(record, sizeof record, i, output);
		const char *found = (const char *)memmem(after, run.out_length - (size_t)(after - run.out), record, length);
		if (found == NULL) {
			ok = false;
			FormatBytes(detail, 200, record, length);
			snprintf(detail + strlen(detail), sizeof detail - strlen(detail), " (window %d) missing or out of order", i);
		} else {
			after = found + length;
		}
	}
	Report(ok, what, detail);
}

/*
 * Under a window manager, wmctrl -lx lists its clients as "id desktop
 * instance.class host title": winlist must show each of them with the same
 * class and title.
 */
static void CheckAgainstWmctrl(void)
{
	static Run wmctrl;
	static Run winlist;
	static char record[2200];
	const char *const lx[] = {"-lx", NULL};
	const char *const no_args[] = {NULL};
	char detail[600] = "";
	int compared = 0;

	if (!RunTool("/usr/bin/wmctrl", lx, true, THROUGH_PIPE, &wmctrl) || wmctrl.status != 0
	    || !RunTool("winlist", no_args, true, THROUGH_PIPE, &winlist)) {
		Report(false, "winlist agrees with wmctrl -lx", "wmctrl or winlist did not run");
		return;
	}
	bool ok = true;
	for (char *line = strtok(wmctrl.out, "\n"); line != NULL && ok; line = strtok(NULL, "\n")) {
		char wm_class[1100], host[256];
		int title_at = 0;
		if (sscanf(line, "%*s %*s %1099s %255s %n", wm_class, host, &title_at) != 2 || title_at == 0)
			continue;
		/*
		 * wmctrl's word for a missing class or title: such windows winlist
		 * leaves out. An empty title is wmctrl's reading of an empty
		 * _NET_WM_NAME, where winlist falls back to WM_NAME; a longer one
		 * than 1023 bytes winlist cuts.
		 */
		const char *title = line + title_at;
		if (strcmp(wm_class, "N/A") == 0 || strcmp(title, "N/A") == 0 || title[0] == '\0' || strlen(title) > 1023)
			continue;
		snprintf(record, sizeof record, "Window class:\"%s\"\nWindow name:\"%s\"\n\n", wm_class, title);
		compared++;
		if (strstr(winlist.out, record) == NULL) {
			ok = false;
			snprintf(detail, sizeof detail, "no record for wmctrl's line \"%.400s\"", line);
		}
	}
	if (ok && compared < 4)
		snprintf(detail, sizeof detail, "wmctrl listed only %d windows", compared);
	Report(ok && compared >= 4, "winlist agrees with wmctrl -lx", detail);
}

struct Pixel {
	int red, green, blue;
};

static Pixel ReadPixel(int x, int y)
{
	Pixel pixel = {-1, -1, -1};
	xcb_get_image_reply_t *image = xcb_get_image_reply(connection,
		xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, (int16_t)x, (int16_t)y, 1, 1, ~0u), NULL);

	/* A 24-bit screen keeps a pixel as blue, green, red and a pad byte. */
	if (image != NULL && xcb_get_image_data_length(image) >= 4) {
		const uint8_t *data = xcb_get_image_data(image);
		pixel = Pixel{data[2], data[1], data[0]};
	}
	free(image);
	return pixel;
}

static bool Near(Pixel pixel, Pixel want)
{
	return abs(pixel.red - want.red) <= 8 && abs(pixel.green - want.green) <= 8 && abs(pixel.blue - want.blue) <= 8;
}

static xcb_window_t CreatePlainWindow(uint32_t colour, const char *wm_class, size_t wm_class_length)
{
	const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
	xcb_window_t window = xcb_generate_id(connection);

	xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, root, 100, 100, 200, 200, 0,
		XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, &colour);
	SetText(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, wm_class, wm_class_length + 1);
	SetText(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, "Blend", 5);
	xcb_map_window(connection, window);
	return window;
}

/* Polls the screen until the compositor shows what is wanted, or gives up. */
static Pixel AwaitPixel(Pixel want)
{
	Pixel pixel = ReadPixel(200, 200);
	for (int tries = 0; tries < 50 && !Near(pixel, want); tries++) {
		Sleep(100);
		pixel = ReadPixel(200, 200);
	}
	return pixel;
}

static void CheckBlend(void)
{
	static Run run;
	char detail[256];
	const Pixel white = {255, 255, 255};
	const Pixel blend = {128, 128, 255};
	const char *const args[] = {"-class", "VtBlendTop", "-trans", "128", NULL};

	CreatePlainWindow(0x0000ff, CLASS("vtblendbottom\0VtBlendBottom"));
	CreatePlainWindow(0xffffff, CLASS("vtblendtop\0VtBlendTop"));
	xcb_flush(connection);

	Pixel before = AwaitPixel(white);
	snprintf(detail, sizeof detail, "shows (%d, %d, %d)", before.red, before.green, before.blue);
	Report(Near(before, white), "an opaque white window is shown white", detail);

	bool ran = RunTool("vitrel", args, true, THROUGH_PIPE, &run) && CheckRun(&run, 0, "", detail, sizeof detail);
	Pixel after = AwaitPixel(blend);
	if (ran)
		snprintf(detail, sizeof detail, "shows (%d, %d, %d), want about (128, 128, 255)", after.red, after.green,
			after.blue);
	Report(ran && Near(after, blend), "at alpha 128 it is shown half blue", detail);
}

static void StopLogos(void)
{
	for (int i = 0; i < WINDOW_COUNT; i++) {
		if (logo_pids[i] > 0) {
			kill(logo_pids[i], SIGTERM);
			waitpid(logo_pids[i], NULL, 0);
		}
	}
}

int main(int argc, char **argv)
{
	if (argc < 2) {
		fputs("usage: x11_cases BIN-DIR [framed | composited]\n", stderr);
		return 2;
	}
	snprintf(bin_dir, sizeof bin_dir, "%s", argv[1]);
	bool framed = argc > 2 && strcmp(argv[2], "framed") == 0;
	bool composited = argc > 2 && strcmp(argv[2], "composited") == 0;

	memset(long_title, 'L', 1022);
	memcpy(long_title + 1022, "\xc3\xa9TAIL", 7);
	memset(long_title_cut, 'L', 1022);

	connection = xcb_connect(NULL, NULL);
	if (xcb_connection_has_error(connection)) {
		fputs("x11_cases: cannot open display\n", stderr);
		return 1;
	}
	root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
	atom_net_wm_name = Atom("_NET_WM_NAME");
	atom_utf8_string = Atom("UTF8_STRING");
	atom_opacity = Atom("_NET_WM_WINDOW_OPACITY");
	atom_wm_state = Atom("WM_STATE");

	if (composited) {
		CheckBlend();
		xcb_disconnect(connection);
		return ReportSummary();
	}

	bool created = CreateWindows(framed);
	Report(created, framed ? "windows shown, every mapped one framed" : "windows shown", "timed out");
	if (created) {
		for (const VitrelCase &c : vitrel_cases)
			CheckVitrel(&c);
		const char *const no_args[] = {NULL};
		const char *const some_args[] = {"-class", "x", "--help", "", NULL};
		CheckWinlist("winlist through a pipe", no_args, THROUGH_PIPE);
		CheckWinlist("winlist ignores its arguments", some_args, THROUGH_PIPE);
		CheckWinlist("winlist on a terminal", no_args, ON_TERMINAL);
		if (framed)
			CheckAgainstWmctrl();
	}
	CheckWithoutDisplay();
	StopLogos();
	xcb_disconnect(connection);
	return ReportSummary();
}
