/*
 * sway, and the compositors that speak its IPC.
 *
 * A top-level window is a view of GET_TREE, tiled, floating or in the
 * scratchpad, in the tree's order; its handle is its con_id. Its class name
 * is its app_id, or for an XWayland window "instance.class" as on X11; its
 * title is its name. The alphas set during a walk go to sway as one
 * RUN_COMMAND at its end, each naming its window by con_id alone, never by a
 * text.
 */
#include "linux_backends.h"

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
	/*
	 * Every split container nests the tree two levels deeper: json-c's
	 * default of 32 fails at 14 windows in alternating splits.
	 */
	TREE_DEPTH = 1024,
};

/* The socket to sway; -1 once it is lost. */
static int ipc = -1;
static char commands[COMMANDS_CAPACITY];
static int commands_length;

static bool Transfer(char *data, size_t length, bool sending)
{
	while (length > 0) {
		ssize_t done = sending ? send(ipc, data, length, MSG_NOSIGNAL) : recv(ipc, data, length, 0);
		if (done <= 0)
			return false;
		data += done;
		length -= (size_t)done;
	}
	return true;
}

/* Sends one message and returns its reply, parsed as it arrives; NULL, with the connection closed, where it is lost. */
static json_object *Exchange(uint32_t type, char *payload, uint32_t length)
{
	char header[IPC_HEADER_SIZE] = "i3-ipc";
	char piece[4096];
	json_object *reply = NULL;
	json_tokener *tokener = NULL;
	bool received = ipc >= 0;

	memcpy(header + 6, &length, 4);
	memcpy(header + 10, &type, 4);
	received = received && Transfer(header, sizeof header, true) && Transfer(payload, length, true)
		&& Transfer(header, sizeof header, false) && memcmp(header, "i3-ipc", 6) == 0;
	if (received) {
		memcpy(&length, header + 6, 4);
		tokener = json_tokener_new_ex(TREE_DEPTH);
		received = tokener != NULL;
	}
	for (uint32_t piece_length; received && length > 0; length -= piece_length) {
		piece_length = length < sizeof piece ? length : (uint32_t)sizeof piece;
		received = Transfer(piece, piece_length, false);
		if (received)
			reply = json_tokener_parse_ex(tokener, piece, (int)piece_length);
	}
	if (tokener != NULL)
		json_tokener_free(tokener);
	if (received && reply != NULL)
		return reply;
	json_object_put(reply);
	if (ipc >= 0)
		close(ipc);
	ipc = -1;
	return NULL;
}

static int Connect(void)
{
	const char *path = getenv("SWAYSOCK");
	sockaddr_un address = {};

	if (path == NULL || strlen(path) == 0 || strlen(path) >= sizeof address.sun_path)
		return 0;
	address.sun_family = AF_UNIX;
	memcpy(address.sun_path, path, strlen(path) + 1);
	ipc = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (ipc >= 0 && connect(ipc, (sockaddr *)&address, sizeof address) == 0) {
		/* A stopped or hung sway still accepts: a reply that does not come is a lost connection. */
		timeval timeout = {REPLY_TIMEOUT_MS / 1000, 0};
		setsockopt(ipc, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
		setsockopt(ipc, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
		return 1;
	}
	if (ipc >= 0)
		close(ipc);
	ipc = -1;
	return 0;
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

static void ReadClassName(json_object *view, char *class_name)
{
	json_object *properties;
	const char *app_id = Member(view, "app_id");

	class_name[0] = '\0';
	if (app_id != NULL) {
		CopyWindowText(class_name, app_id, strlen(app_id));
	} else if (json_object_object_get_ex(view, "window_properties", &properties)) {
		const char *instance = Member(properties, "instance"), *class_part = Member(properties, "class");
		char joined[2 * WINDOW_TEXT_CAPACITY + 2];
		int length = snprintf(joined, sizeof joined, "%.*s%s%.*s", WINDOW_TEXT_CAPACITY,
			instance != NULL ? instance : "", class_part != NULL && class_part[0] != '\0' ? "." : "",
			WINDOW_TEXT_CAPACITY, class_part != NULL ? class_part : "");
		CopyWindowText(class_name, joined, (size_t)length);
	}
}

static void VisitViews(json_object *node, WindowEntry *entry, WindowVisit visit)
{
	static const char *const children_keys[] = {"nodes", "floating_nodes"};
	json_object *children;

	if (Member(node, "shell") != NULL) {
		const char *name = Member(node, "name");
		entry->handle = (uint64_t)json_object_get_int64(json_object_object_get(node, "id"));
		ReadClassName(node, entry->class_name);
		CopyWindowText(entry->title, name != NULL ? name : "", name != NULL ? strlen(name) : 0);
		visit(entry);
	}
	for (const char *key : children_keys) {
		if (!json_object_object_get_ex(node, key, &children))
			continue;
		for (size_t i = 0; i < json_object_array_length(children); i++)
			VisitViews(json_object_array_get_idx(children, i), entry, visit);
	}
}

static WalkResult Walk(WindowVisit visit)
{
	WindowEntry entry;
	json_object *tree = Exchange(IPC_GET_TREE, commands, 0);

	if (tree == NULL)
		return WALK_LOST;
	VisitViews(tree, &entry, visit);
	json_object_put(tree);
	SendCommands();
	return ipc >= 0 ? WALK_DONE : WALK_LOST;
}

static void SetAlpha(const WindowEntry *entry, unsigned char alpha)
{
	if (commands_length + COMMAND_ROOM > COMMANDS_CAPACITY)
		SendCommands();
	/* Six decimals tell every alpha from its neighbours, 1/255 apart. */
	commands_length += snprintf(commands + commands_length, COMMAND_ROOM, "%s[con_id=%llu] opacity %.6f",
		commands_length > 0 ? "; " : "", (unsigned long long)entry->handle, alpha / 255.0);
}

const LinuxBackend sway_backend = {"sway", Connect, {Walk, SetAlpha}};
