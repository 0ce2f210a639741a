/*
 * What a walk over the root's children costs at the least, for the
 * benchmark to hold winlist and vitrel against: winlist's records of the same
 * windows, with every request of a step sent before the first reply is read,
 * and WM_NAME asked only of windows without _NET_WM_NAME, in a second round.
 *
 *   x11_limit flat   each child of the root is its own client: its texts,
 *                    asked for every child at once
 *   x11_limit bfs    each child's client found breadth-first, level by level
 *                    across all children: WM_STATE and the tree of every
 *                    window of a level at once; then the clients' texts
 *
 * The texts are printed as they come: the benchmark's windows are ASCII.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <xcb/xcb.h>

enum { MAX_FRAMES = 20000, MAX_LEVEL = 200000, SEARCH_DEPTH = 8 };

struct Node {
	xcb_window_t window;
	int frame;
};

static xcb_connection_t *connection;
static xcb_window_t frames[MAX_FRAMES], clients[MAX_FRAMES];
static Node level[MAX_LEVEL], next_level[MAX_LEVEL];
static xcb_get_property_cookie_t state_cookies[MAX_LEVEL];
static xcb_query_tree_cookie_t tree_cookies[MAX_LEVEL];
static xcb_get_property_cookie_t text_cookies[MAX_FRAMES][3];
static xcb_get_property_reply_t *class_replies[MAX_FRAMES], *name_replies[MAX_FRAMES];

static xcb_atom_t Atom(const char *name)
{
	xcb_intern_atom_reply_t *reply =
		xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, strlen(name), name), NULL);
	xcb_atom_t atom = reply != NULL ? reply->atom : (xcb_atom_t)XCB_ATOM_NONE;
	free(reply);
	return atom;
}

/*
 * Finds every frame's client: the first window of the shallowest level below
 * it that has WM_STATE. A level's WM_STATEs are asked first, then the trees
 * of its windows whose frame is still unresolved; a frame's own tree comes
 * with its WM_STATE, since a frame without children is its own client.
 */
static void SearchBreadthFirst(int frame_count, xcb_atom_t wm_state)
{
	int count = 0;

	for (int i = 0; i < frame_count; i++) {
		clients[i] = XCB_WINDOW_NONE;
		level[count++] = {frames[i], i};
	}
	for (int depth = 0; depth <= SEARCH_DEPTH && count > 0; depth++) {
		int next_count = 0;
		for (int i = 0; i < count; i++) {
			state_cookies[i] = xcb_get_property(connection, 0, level[i].window, wm_state, XCB_GET_PROPERTY_TYPE_ANY,
				0, 0);
			if (depth == 0)
				tree_cookies[i] = xcb_query_tree(connection, level[i].window);
		}
		for (int i = 0; i < count; i++) {
			xcb_get_property_reply_t *state = xcb_get_property_reply(connection, state_cookies[i], NULL);
			if (state != NULL && state->type != XCB_ATOM_NONE && clients[level[i].frame] == XCB_WINDOW_NONE)
				clients[level[i].frame] = level[i].window;
			free(state);
		}
		for (int i = 0; i < count && depth > 0; i++) {
			if (clients[level[i].frame] == XCB_WINDOW_NONE)
				tree_cookies[i] = xcb_query_tree(connection, level[i].window);
		}
		for (int i = 0; i < count; i++) {
			if (depth > 0 && clients[level[i].frame] != XCB_WINDOW_NONE)
				continue;
			xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, tree_cookies[i], NULL);
			int children = tree != NULL ? xcb_query_tree_children_length(tree) : 0;
			if (depth == 0 && children == 0 && clients[i] == XCB_WINDOW_NONE)
				clients[i] = frames[i];
			for (int c = 0; c < children && clients[level[i].frame] == XCB_WINDOW_NONE && next_count < MAX_LEVEL; c++)
				next_level[next_count++] = {xcb_query_tree_children(tree)[c], level[i].frame};
			free(tree);
		}
		memcpy(level, next_level, sizeof level[0] * (size_t)next_count);
		count = next_count;
	}
	for (int i = 0; i < frame_count; i++) {
		if (clients[i] == XCB_WINDOW_NONE)
			clients[i] = frames[i];
	}
}

/* Copies a text of at most 1023 bytes out of a reply, and frees it. */
static void TakeText(xcb_get_property_reply_t *reply, char *value)
{
	int length = reply != NULL ? xcb_get_property_value_length(reply) : 0;

	length = length < 1023 ? length : 1023;
	memcpy(value, reply != NULL ? xcb_get_property_value(reply) : "", (size_t)length);
	value[length] = '\0';
	free(reply);
}

/*
 * Every client's WM_CLASS and _NET_WM_NAME at once; then, in a second round,
 * WM_NAME of those that have no _NET_WM_NAME.
 */
static void PrintRecords(int count, xcb_atom_t net_wm_name)
{
	for (int i = 0; i < count; i++) {
		text_cookies[i][0] = xcb_get_property(connection, 0, clients[i], XCB_ATOM_WM_CLASS, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
		text_cookies[i][1] = xcb_get_property(connection, 0, clients[i], net_wm_name, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
	}
	for (int i = 0; i < count; i++) {
		class_replies[i] = xcb_get_property_reply(connection, text_cookies[i][0], NULL);
		name_replies[i] = xcb_get_property_reply(connection, text_cookies[i][1], NULL);
		if (name_replies[i] != NULL && xcb_get_property_value_length(name_replies[i]) == 0) {
			free(name_replies[i]);
			name_replies[i] = NULL;
		}
		if (name_replies[i] == NULL)
			text_cookies[i][2] = xcb_get_property(connection, 0, clients[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
	}
	for (int i = 0; i < count; i++) {
		char class_name[1024], title[1024];
		if (name_replies[i] == NULL)
			name_replies[i] = xcb_get_property_reply(connection, text_cookies[i][2], NULL);
		int length = class_replies[i] != NULL ? xcb_get_property_value_length(class_replies[i]) : 0;
		TakeText(class_replies[i], class_name);
		TakeText(name_replies[i], title);
		/* WM_CLASS holds "instance\0class\0", shown as "instance.class". */
		int instance = (int)strlen(class_name);
		if (instance + 1 < length && instance + 1 < 1023 && class_name[instance + 1] != '\0')
			class_name[instance] = '.';
		if (class_name[0] != '\0' && title[0] != '\0')
			printf("Window class:\"%s\"\nWindow name:\"%s\"\n\n", class_name, title);
	}
}

int main(int argc, char **argv)
{
	if (argc != 2 || (strcmp(argv[1], "flat") != 0 && strcmp(argv[1], "bfs") != 0)) {
		fputs("usage: x11_limit flat|bfs\n", stderr);
		return 2;
	}
	connection = xcb_connect(NULL, NULL);
	if (xcb_connection_has_error(connection)) {
		fputs("x11_limit: cannot open display\n", stderr);
		return 1;
	}
	xcb_atom_t wm_state = Atom("WM_STATE"), net_wm_name = Atom("_NET_WM_NAME");
	xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
	xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, root), NULL);
	int count = tree != NULL ? xcb_query_tree_children_length(tree) : 0;
	count = count < MAX_FRAMES ? count : MAX_FRAMES;
	/* Topmost first, as the walk goes. */
	for (int i = 0; i < count; i++)
		frames[i] = clients[i] = xcb_query_tree_children(tree)[count - 1 - i];
	free(tree);
	if (strcmp(argv[1], "bfs") == 0)
		SearchBreadthFirst(count, wm_state);
	PrintRecords(count, net_wm_name);
	xcb_disconnect(connection);
	return 0;
}
