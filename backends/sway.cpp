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

/* Sends one message and returns its reply; NULL, with the connection closed, where it is lost. */
static json_object *Exchange(uint32_t type, char *payload, uint32_t length)
{
	char header[IPC_HEADER_SIZE] = "i3-ipc";
	json_object *reply = NULL;

	memcpy(header + 6, &length, 4);
	memcpy(header + 10, &type, 4);
	if (ipc >= 0 && TransferAll(ipc, header, sizeof header, true) && TransferAll(ipc, payload, length, true)
		&& TransferAll(ipc, header, sizeof header, false) && memcmp(header, "i3-ipc", 6) == 0) {
		memcpy(&length, header + 6, 4);
		reply = ReceiveJson(ipc, length, TREE_DEPTH);
	}
	if (reply == NULL && ipc >= 0) {
		close(ipc);
		ipc = -1;
	}
	return reply;
}

static int Connect(void)
{
	ipc = ConnectToSocket(getenv("SWAYSOCK"));
	return ipc >= 0;
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
