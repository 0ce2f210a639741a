/*
 * The window-manager interface over sway's IPC, for sway and the compositors
 * that speak it.
 *
 * A top-level window is a view of GET_TREE, tiled, floating or in the
 * scratchpad, in the tree's order; its handle is its con_id. Its class name
 * is its app_id, or for an XWayland window "instance.class" as on X11; its
 * title is its name. sway reports no opacity, so no window reads as layered;
 * the alphas set during a walk go to sway as one RUN_COMMAND at its end, each
 * naming its window by con_id alone, never by a text.
 */
#include "linux_backend.h"

#include <json-c/json.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

enum {
	IPC_RUN_COMMAND = 0,
	IPC_GET_TREE = 4,
	IPC_HEADER_SIZE = 14,
	/* Some 1,600 windows' changes to a message; more go out in further ones. */
	COMMANDS_CAPACITY = 65536,
	COMMAND_ROOM = 64,
	/* Each part of an XWayland window's "instance.class" is kept to a text's length. */
	CLASS_PART_CAPACITY = 1024,
	/*
	 * Every split container nests the tree two levels deeper: json-c's
	 * default of 32 fails at 14 windows in alternating splits.
	 */
	TREE_DEPTH = 1024,
};

static int ipc = -1;
static json_object *current_view;
static char commands[COMMANDS_CAPACITY];
static int commands_length;

static BOOL Transfer(char *data, size_t length, BOOL sending)
{
	while (length > 0) {
		ssize_t done = sending ? send(ipc, data, length, MSG_NOSIGNAL) : recv(ipc, data, length, 0);
		if (done <= 0)
			return FALSE;
		data += done;
		length -= (size_t)done;
	}
	return TRUE;
}

/* Sends one message and returns its reply, parsed as it arrives; a lost connection ends the process. */
static json_object *Exchange(uint32_t type, char *payload, uint32_t length)
{
	char header[IPC_HEADER_SIZE] = "i3-ipc";
	char piece[4096];
	json_object *reply = NULL;

	memcpy(header + 6, &length, 4);
	memcpy(header + 10, &type, 4);
	if (!Transfer(header, sizeof header, TRUE) || !Transfer(payload, length, TRUE)
	    || !Transfer(header, sizeof header, FALSE) || memcmp(header, "i3-ipc", 6) != 0)
		Fail("Display connection lost.\n");
	memcpy(&length, header + 6, 4);
	json_tokener *tokener = json_tokener_new_ex(TREE_DEPTH);
	for (uint32_t piece_length; length > 0; length -= piece_length) {
		piece_length = length < sizeof piece ? length : (uint32_t)sizeof piece;
		if (tokener == NULL || !Transfer(piece, piece_length, FALSE))
			Fail("Display connection lost.\n");
		reply = json_tokener_parse_ex(tokener, piece, (int)piece_length);
	}
	json_tokener_free(tokener);
	return reply;
}

static BOOL Connect(void)
{
	const char *path = getenv("SWAYSOCK");
	sockaddr_un address = {};

	if (path == NULL || path[0] == '\0')
		return FALSE;
	PlugStandardDescriptors();
	address.sun_family = AF_UNIX;
	ipc = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (strlen(path) >= sizeof address.sun_path || ipc < 0)
		Fail("Cannot open display.\n");
	memcpy(address.sun_path, path, strlen(path) + 1);
	if (connect(ipc, (sockaddr *)&address, sizeof address) != 0)
		Fail("Cannot open display.\n");
	/* A stopped or hung sway still accepts: a reply that does not come is a lost connection. */
	timeval timeout = {REPLY_TIMEOUT_MS / 1000, 0};
	setsockopt(ipc, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
	setsockopt(ipc, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
	return TRUE;
}

static void SendCommands(void)
{
	if (commands_length > 0)
		json_object_put(Exchange(IPC_RUN_COMMAND, commands, (uint32_t)commands_length));
	commands_length = 0;
}

static const char *Member(json_object *node, const char *key)
{
	json_object *value;

	return json_object_object_get_ex(node, key, &value) ? json_object_get_string(value) : NULL;
}

static BOOL VisitViews(json_object *node, WNDENUMPROC callback, LPARAM context)
{
	static const char *const children_keys[] = {"nodes", "floating_nodes"};
	json_object *children;

	if (Member(node, "shell") != NULL) {
		current_view = node;
		BOOL keep_going = callback((HWND)json_object_get_int64(json_object_object_get(node, "id")), context);
		current_view = NULL;
		if (!keep_going)
			return FALSE;
	}
	for (const char *key : children_keys) {
		if (!json_object_object_get_ex(node, key, &children))
			continue;
		for (size_t i = 0; i < json_object_array_length(children); i++) {
			if (!VisitViews(json_object_array_get_idx(children, i), callback, context))
				return FALSE;
		}
	}
	return TRUE;
}

static BOOL EnumSwayWindows(WNDENUMPROC callback, LPARAM context)
{
	json_object *tree = Exchange(IPC_GET_TREE, commands, 0);

	if (tree == NULL)
		Fail("Display connection lost.\n");
	VisitViews(tree, callback, context);
	json_object_put(tree);
	SendCommands();
	return TRUE;
}

/* The texts are read only of the view whose callback runs. */
static json_object *ViewOf(HWND window)
{
	json_object *id;

	if (current_view == NULL || !json_object_object_get_ex(current_view, "id", &id)
	    || (HWND)json_object_get_int64(id) != window)
		return NULL;
	return current_view;
}

static int GetSwayClassName(HWND window, char *class_name, int capacity)
{
	json_object *view = ViewOf(window);
	json_object *properties;
	const char *app_id = view != NULL ? Member(view, "app_id") : NULL;
	char joined[2 * CLASS_PART_CAPACITY + 2];

	if (app_id != NULL)
		return CopyText(class_name, capacity, app_id, (int)strlen(app_id));
	if (view == NULL || !json_object_object_get_ex(view, "window_properties", &properties))
		return CopyText(class_name, capacity, "", 0);
	const char *instance = Member(properties, "instance");
	const char *class_part = Member(properties, "class");
	int length = snprintf(joined, sizeof joined, "%.*s%s%.*s", CLASS_PART_CAPACITY, instance != NULL ? instance : "",
		class_part != NULL && class_part[0] != '\0' ? "." : "", CLASS_PART_CAPACITY,
		class_part != NULL ? class_part : "");
	return CopyText(class_name, capacity, joined, length);
}

static int GetSwayWindowText(HWND window, char *title, int capacity)
{
	json_object *view = ViewOf(window);
	const char *name = view != NULL ? Member(view, "name") : NULL;

	return CopyText(title, capacity, name != NULL ? name : "", name != NULL ? (int)strlen(name) : 0);
}

static BOOL SetSwayLayeredWindowAttributes(HWND window, COLORREF, BYTE alpha, DWORD flags)
{
	if ((flags & LWA_ALPHA) == 0)
		return TRUE;
	if (commands_length + COMMAND_ROOM > COMMANDS_CAPACITY)
		SendCommands();
	/* Six decimals tell every alpha from its neighbours, 1/255 apart. */
	commands_length += snprintf(commands + commands_length, COMMAND_ROOM, "%s[con_id=%llu] opacity %.6f",
		commands_length > 0 ? "; " : "", (unsigned long long)window, alpha / 255.0);
	return TRUE;
}

const LinuxBackend sway_backend = {
	"sway", Connect, EnumSwayWindows, GetSwayClassName, GetSwayWindowText, NULL, NULL,
	SetSwayLayeredWindowAttributes,
};
