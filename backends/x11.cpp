/*
 * X11, over xcb.
 *
 * A top-level window is a child of a screen's root (its frame, when a window
 * manager reparented it) together with its client window, found as the X
 * tools find it: the child itself if it has WM_STATE, else the first
 * descendant that has, else the child itself. Its class name is WM_CLASS as
 * "instance.class", its title _NET_WM_NAME or else WM_NAME, and its alpha the
 * _NET_WM_WINDOW_OPACITY that compositors read, on client and frame alike.
 *
 * Where no window manager holds the screen nothing is framed, and each child
 * of the root is its own client. One that lists its clients
 * (_NET_CLIENT_LIST) names the clients of each of its frames, found by
 * climbing from the client: a frame that holds several (tabs) stands for
 * each of them in turn, in its own stacking order, the tab it shows first.
 * The list is trusted only while the window manager that wrote it runs, as
 * _NET_SUPPORTING_WM_CHECK tells: one that crashed leaves it behind, naming
 * ids the server may since have given to others. Any other child of the
 * root is searched.
 *
 * The walk goes in stages, each of which sends its requests for a whole
 * batch of windows before it takes the first reply, and takes the replies in
 * the order it sent them: xcb finds a reply by walking those that came
 * before it. An X error on a window makes that window's read fail; only a
 * connection that breaks ends the walk.
 */
#include "linux_backends.h"
#include "x11_text.h"

#include <algorithm>
#include <stdlib.h>
#include <string.h>

enum {
	/*
	 * Windows whose requests are on their way at once; bounds the memory a
	 * walk takes. Each batch costs a few round trips, which a large one
	 * spreads thin.
	 */
	BATCH_SIZE = 1536,
	/* The children of one window asked about at once, in the search below a frame. */
	SEARCH_BATCH = 256,
	/* Clients of a window manager's list that are placed in their frames; the rest are searched for. */
	LISTED_CAPACITY = 65536,
	SEARCH_DEPTH = 8,
};

enum AtomId { ATOM_WM_STATE, ATOM_NET_WM_NAME, ATOM_COMPOUND_TEXT, ATOM_OPACITY, ATOM_CLIENT_LIST, ATOM_WM_CHECK, ATOM_COUNT };

static const char *const atom_names[ATOM_COUNT] = {
	"WM_STATE", "_NET_WM_NAME", "COMPOUND_TEXT", "_NET_WM_WINDOW_OPACITY", "_NET_CLIENT_LIST",
	"_NET_SUPPORTING_WM_CHECK",
};

static xcb_connection_t *connection;
static xcb_atom_t atoms[ATOM_COUNT];

/*
 * A client of the window manager's list: the child of the root that holds it
 * (its frame), the child of the frame on the way to it, and that child's
 * place in the frame's stacking order, topmost highest.
 */
struct Placement {
	xcb_window_t frame;
	xcb_window_t client;
	xcb_window_t below;
	int stacked;
	int listed;
};

/* What the walk of one screen knows before its first batch. */
struct Screen {
	xcb_window_t root;
	bool managed;
	Placement placements[LISTED_CAPACITY];
	int placement_count;
};

/* A top-level window of a batch, with what is asked about it. */
struct BatchWindow {
	xcb_window_t frame;
	/* XCB_WINDOW_NONE until found. */
	xcb_window_t client;
	xcb_query_tree_cookie_t tree_cookie;
	xcb_get_property_cookie_t state_cookie;
	xcb_get_property_cookie_t class_cookie;
	xcb_get_property_cookie_t name_cookie;
	xcb_get_property_reply_t *class_reply;
	/* NULL while WM_NAME is asked, for want of a _NET_WM_NAME. */
	xcb_get_property_reply_t *name_reply;
};

static int Connect(void)
{
	xcb_intern_atom_cookie_t cookies[ATOM_COUNT];

	connection = ConnectToDisplay();
	if (connection == NULL)
		return 0;
	for (int i = 0; i < ATOM_COUNT; i++)
		cookies[i] = xcb_intern_atom(connection, 0, (uint16_t)strlen(atom_names[i]), atom_names[i]);
	for (int i = 0; i < ATOM_COUNT; i++) {
		xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookies[i], NULL);
		atoms[i] = reply != NULL ? reply->atom : (xcb_atom_t)XCB_ATOM_NONE;
		free(reply);
	}
	return 1;
}

static bool HasProperty(xcb_get_property_reply_t *reply)
{
	return reply != NULL && reply->type != XCB_ATOM_NONE;
}

static xcb_get_property_cookie_t RequestState(xcb_window_t window)
{
	return xcb_get_property(connection, 0, window, atoms[ATOM_WM_STATE], XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
}

static bool TakeState(xcb_get_property_cookie_t cookie)
{
	xcb_get_property_reply_t *state = xcb_get_property_reply(connection, cookie, NULL);
	bool has = HasProperty(state);

	free(state);
	return has;
}

/* Returns the first of the windows that has WM_STATE, asking a piece at a time, or XCB_WINDOW_NONE. */
static xcb_window_t FirstWithState(const xcb_window_t *windows, int count)
{
	xcb_get_property_cookie_t cookies[SEARCH_BATCH];
	xcb_window_t found = XCB_WINDOW_NONE;

	for (int start = 0; start < count && found == XCB_WINDOW_NONE; start += SEARCH_BATCH) {
		int piece = std::min<int>(count - start, SEARCH_BATCH);
		for (int i = 0; i < piece; i++)
			cookies[i] = RequestState(windows[start + i]);
		for (int i = 0; i < piece; i++) {
			if (TakeState(cookies[i]) && found == XCB_WINDOW_NONE)
				found = windows[start + i];
		}
	}
	return found;
}

/*
 * As the X tools search below a frame: its children first, then each
 * child's subtree in turn, a piece of the children at a time, so that the
 * memory stays bounded whatever their number.
 */
static xcb_window_t SearchSubtree(xcb_query_tree_reply_t *tree, int depth)
{
	xcb_query_tree_cookie_t cookies[SEARCH_BATCH];
	xcb_window_t *children = xcb_query_tree_children(tree);
	int count = xcb_query_tree_children_length(tree);
	xcb_window_t found = FirstWithState(children, count);

	for (int start = 0; start < count && found == XCB_WINDOW_NONE && depth + 1 < SEARCH_DEPTH;
	     start += SEARCH_BATCH) {
		int piece = std::min<int>(count - start, SEARCH_BATCH);
		for (int i = 0; i < piece; i++)
			cookies[i] = xcb_query_tree(connection, children[start + i]);
		for (int i = 0; i < piece; i++) {
			xcb_query_tree_reply_t *subtree = xcb_query_tree_reply(connection, cookies[i], NULL);
			if (subtree != NULL && found == XCB_WINDOW_NONE)
				found = SearchSubtree(subtree, depth + 1);
			free(subtree);
		}
	}
	return found;
}

/* By frame, and a frame's clients topmost first, then as listed. */
static bool ByFrame(const Placement &a, const Placement &b)
{
	if (a.frame != b.frame)
		return a.frame < b.frame;
	return a.stacked != b.stacked ? a.stacked > b.stacked : a.listed < b.listed;
}

/*
 * Places each client of the window manager's list in the child of the root
 * that holds it, climbing from the client a level a round trip, for a batch
 * of clients at once. A client not reached within the search's depth is
 * left to the search.
 */
static void PlaceListedClients(Screen *screen, xcb_get_property_reply_t *list)
{
	struct Climb {
		xcb_window_t window;
		xcb_window_t below;
		xcb_query_tree_cookie_t cookie;
	};
	static Climb climbs[BATCH_SIZE];
	int listed = list != NULL && list->format == 32 ? xcb_get_property_value_length(list) / 4 : 0;
	const xcb_window_t *clients = list != NULL ? (const xcb_window_t *)xcb_get_property_value(list) : NULL;

	screen->placement_count = 0;
	for (int start = 0; start < listed; start += BATCH_SIZE) {
		int piece = std::min<int>(listed - start, BATCH_SIZE);
		for (int i = 0; i < piece; i++)
			climbs[i].window = climbs[i].below = clients[start + i];
		for (int depth = 0, climbing = piece; depth < SEARCH_DEPTH && climbing > 0; depth++) {
			for (int i = 0; i < piece; i++) {
				if (climbs[i].window != XCB_WINDOW_NONE)
					climbs[i].cookie = xcb_query_tree(connection, climbs[i].window);
			}
			climbing = 0;
			for (int i = 0; i < piece; i++) {
				if (climbs[i].window == XCB_WINDOW_NONE)
					continue;
				xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, climbs[i].cookie, NULL);
				if (tree != NULL && tree->parent == screen->root) {
					screen->placements[screen->placement_count++] =
						{climbs[i].window, clients[start + i], climbs[i].below, 0, start + i};
					climbs[i].window = XCB_WINDOW_NONE;
				} else if (tree != NULL) {
					climbs[i].below = climbs[i].window;
					climbs[i].window = tree->parent;
					climbing++;
				} else {
					climbs[i].window = XCB_WINDOW_NONE;
				}
				free(tree);
			}
		}
	}
	std::sort(screen->placements, screen->placements + screen->placement_count, ByFrame);
}

/* Whether placement i is the first of a frame that holds several clients. */
static bool FirstOfTabs(const Placement *placements, int i, int count)
{
	return i + 1 < count && placements[i].frame == placements[i + 1].frame
		&& (i == 0 || placements[i - 1].frame != placements[i].frame);
}

/* Puts the tabs of each frame that holds several clients in the frame's own stacking order. */
static void StackTabs(Screen *screen)
{
	static xcb_query_tree_cookie_t cookies[LISTED_CAPACITY];
	Placement *placements = screen->placements;
	int count = screen->placement_count;

	for (int i = 0; i < count; i++) {
		if (FirstOfTabs(placements, i, count))
			cookies[i] = xcb_query_tree(connection, placements[i].frame);
	}
	for (int i = 0; i < count; i++) {
		if (!FirstOfTabs(placements, i, count))
			continue;
		xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, cookies[i], NULL);
		xcb_window_t *children = tree != NULL ? xcb_query_tree_children(tree) : NULL;
		int length = tree != NULL ? xcb_query_tree_children_length(tree) : 0;
		for (int tab = i; tab < count && placements[tab].frame == placements[i].frame; tab++)
			placements[tab].stacked = (int)(std::find(children, children + length, placements[tab].below) - children);
		free(tree);
	}
	std::sort(placements, placements + count, ByFrame);
}

/* The window a _NET_SUPPORTING_WM_CHECK property names, or XCB_WINDOW_NONE. */
static xcb_window_t CheckWindowOf(xcb_get_property_reply_t *reply)
{
	if (reply == NULL || reply->format != 32 || xcb_get_property_value_length(reply) < 4)
		return XCB_WINDOW_NONE;
	return *(const xcb_window_t *)xcb_get_property_value(reply);
}

static xcb_get_property_cookie_t RequestCheck(xcb_window_t window)
{
	return xcb_get_property(connection, 0, window, atoms[ATOM_WM_CHECK], XCB_ATOM_WINDOW, 0, 1);
}

/* Whether the window manager that wrote the client list runs: the check window the root names names itself. */
static bool WindowManagerRuns(xcb_get_property_reply_t *root_check)
{
	xcb_window_t check = CheckWindowOf(root_check);

	if (check == XCB_WINDOW_NONE)
		return false;
	xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, RequestCheck(check), NULL);
	bool runs = CheckWindowOf(reply) == check;
	free(reply);
	return runs;
}

/*
 * Reads the root: its children, bottom first, whether a window manager
 * holds it, and where that places the clients it lists.
 */
static xcb_query_tree_reply_t *ReadRoot(Screen *screen)
{
	xcb_query_tree_cookie_t tree_cookie = xcb_query_tree(connection, screen->root);
	xcb_get_window_attributes_cookie_t attributes_cookie = xcb_get_window_attributes(connection, screen->root);
	xcb_get_property_cookie_t check_cookie = RequestCheck(screen->root);
	xcb_get_property_cookie_t list_cookie =
		xcb_get_property(connection, 0, screen->root, atoms[ATOM_CLIENT_LIST], XCB_ATOM_WINDOW, 0, LISTED_CAPACITY);
	xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, tree_cookie, NULL);
	xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(connection, attributes_cookie, NULL);
	xcb_get_property_reply_t *check = xcb_get_property_reply(connection, check_cookie, NULL);
	xcb_get_property_reply_t *list = xcb_get_property_reply(connection, list_cookie, NULL);

	/* Without a window manager no window is framed: each child of the root is its own client. */
	screen->managed = attributes != NULL && (attributes->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT) != 0;
	PlaceListedClients(screen, screen->managed && WindowManagerRuns(check) ? list : NULL);
	StackTabs(screen);
	free(attributes);
	free(check);
	free(list);
	return tree;
}

/*
 * Fills the batch with the next top-level windows, topmost first: each child
 * of the root the list does not place, and each client the list places in
 * it. next is the child to go on from, and tab the next of its clients.
 */
static int FillBatch(const Screen *screen, BatchWindow *batch, const xcb_window_t *children, int *next, int *tab)
{
	const Placement *end = screen->placements + screen->placement_count;
	int count = 0;

	while (count < BATCH_SIZE && *next >= 0) {
		Placement key = {children[*next], XCB_WINDOW_NONE, XCB_WINDOW_NONE, INT32_MAX, 0};
		const Placement *first = std::lower_bound(screen->placements, end, key, ByFrame);
		int tabs = 0;
		while (first + tabs < end && first[tabs].frame == key.frame)
			tabs++;
		BatchWindow *window = &batch[count++];
		window->frame = key.frame;
		if (tabs > 0)
			window->client = first[*tab].client;
		else
			window->client = screen->managed ? (xcb_window_t)XCB_WINDOW_NONE : key.frame;
		if (tabs == 0 || ++*tab == tabs) {
			*tab = 0;
			--*next;
		}
	}
	return count;
}

static void RequestTexts(BatchWindow *window, xcb_window_t client)
{
	window->class_cookie = RequestText(connection, client, XCB_ATOM_WM_CLASS);
	window->name_cookie = RequestText(connection, client, atoms[ATOM_NET_WM_NAME]);
}

/*
 * Takes a window's class and _NET_WM_NAME, and asks its WM_NAME at once
 * where it has no _NET_WM_NAME, so that the server works on that while the
 * rest come; that reply is taken as the window is visited.
 */
static void TakeTexts(BatchWindow *window)
{
	window->class_reply = xcb_get_property_reply(connection, window->class_cookie, NULL);
	window->name_reply = xcb_get_property_reply(connection, window->name_cookie, NULL);
	if (!HasProperty(window->name_reply) || xcb_get_property_value_length(window->name_reply) == 0) {
		free(window->name_reply);
		window->name_reply = NULL;
		window->name_cookie = RequestText(connection, window->client, XCB_ATOM_WM_NAME);
	}
}

/*
 * Asks every window's texts, and about the frames the list does not place:
 * one with WM_STATE or without children is its own client, and so the texts
 * of each are asked along with its tree.
 */
static void RequestBatch(BatchWindow *batch, int count)
{
	for (int i = 0; i < count; i++) {
		if (batch[i].client != XCB_WINDOW_NONE)
			continue;
		batch[i].tree_cookie = xcb_query_tree(connection, batch[i].frame);
		batch[i].state_cookie = RequestState(batch[i].frame);
	}
	for (int i = 0; i < count; i++)
		RequestTexts(&batch[i], batch[i].client != XCB_WINDOW_NONE ? batch[i].client : batch[i].frame);
}

/*
 * Takes what RequestBatch asked, and searches below the frames that are not
 * their own clients, once every reply of the batch has come; their clients'
 * texts are asked anew.
 */
static void TakeBatch(BatchWindow *batch, int count)
{
	xcb_query_tree_reply_t *trees[BATCH_SIZE];
	bool searched[BATCH_SIZE];

	for (int i = 0; i < count; i++) {
		trees[i] = NULL;
		searched[i] = false;
		if (batch[i].client != XCB_WINDOW_NONE)
			continue;
		trees[i] = xcb_query_tree_reply(connection, batch[i].tree_cookie, NULL);
		searched[i] = !TakeState(batch[i].state_cookie) && trees[i] != NULL
			&& xcb_query_tree_children_length(trees[i]) > 0;
		if (!searched[i])
			batch[i].client = batch[i].frame;
	}
	for (int i = 0; i < count; i++) {
		if (!searched[i]) {
			TakeTexts(&batch[i]);
			continue;
		}
		free(xcb_get_property_reply(connection, batch[i].class_cookie, NULL));
		free(xcb_get_property_reply(connection, batch[i].name_cookie, NULL));
	}
	for (int i = 0; i < count; i++) {
		if (!searched[i])
			continue;
		batch[i].client = SearchSubtree(trees[i], 0);
		if (batch[i].client == XCB_WINDOW_NONE)
			batch[i].client = batch[i].frame;
		RequestTexts(&batch[i], batch[i].client);
	}
	for (int i = 0; i < count; i++) {
		if (searched[i])
			TakeTexts(&batch[i]);
		free(trees[i]);
	}
}

static void VisitBatch(BatchWindow *batch, int count, WindowVisit visit)
{
	static WindowEntry entry;

	for (int i = 0; i < count; i++) {
		BatchWindow *window = &batch[i];
		if (window->name_reply == NULL)
			window->name_reply = xcb_get_property_reply(connection, window->name_cookie, NULL);
		entry.handle = (uint64_t)window->frame << 32 | window->client;
		if (CopyClassName(entry.class_name, window->class_reply) < 0)
			entry.class_name[0] = '\0';
		if (CopyText(entry.title, window->name_reply, atoms[ATOM_COMPOUND_TEXT]) < 0)
			entry.title[0] = '\0';
		free(window->class_reply);
		free(window->name_reply);
		visit(&entry);
	}
	/* Errors of requests nobody waits for (a window gone mid-walk) queue up as events. */
	for (xcb_generic_event_t *event; (event = xcb_poll_for_event(connection)) != NULL;)
		free(event);
}

static WalkResult Walk(WindowVisit visit)
{
	static Screen screen;
	/* While the windows of one are visited, the server answers for the next. */
	static BatchWindow batches[2][BATCH_SIZE];

	for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem > 0;
	     xcb_screen_next(&it)) {
		screen.root = it.data->root;
		xcb_query_tree_reply_t *tree = ReadRoot(&screen);
		xcb_window_t *children = tree != NULL ? xcb_query_tree_children(tree) : NULL;
		/* The server lists children bottom first; the walk goes topmost first. */
		int next = tree != NULL ? xcb_query_tree_children_length(tree) - 1 : -1, tab = 0;
		int counts[2] = {next >= 0 ? FillBatch(&screen, batches[0], children, &next, &tab) : 0, 0}, current = 0;
		RequestBatch(batches[0], counts[0]);
		while (counts[current] > 0 && !xcb_connection_has_error(connection)) {
			int following = 1 - current;
			TakeBatch(batches[current], counts[current]);
			counts[following] = next >= 0 ? FillBatch(&screen, batches[following], children, &next, &tab) : 0;
			RequestBatch(batches[following], counts[following]);
			VisitBatch(batches[current], counts[current], visit);
			current = following;
		}
		free(tree);
	}
	/* One round trip, so every change made during the walk has reached the server. */
	free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), NULL));
	return xcb_connection_has_error(connection) ? WALK_LOST : WALK_DONE;
}

/* Sets the opacity on client and frame alike: some compositors read it only on the window manager's frame. */
static void SetAlpha(const WindowEntry *entry, unsigned char alpha)
{
	xcb_window_t targets[] = {(xcb_window_t)entry->handle, (xcb_window_t)(entry->handle >> 32)};
	uint32_t opacity = alpha * 0x01010101u;

	for (int i = 0; i < (targets[1] != targets[0] ? 2 : 1); i++) {
		xcb_change_property(connection, XCB_PROP_MODE_REPLACE, targets[i], atoms[ATOM_OPACITY], XCB_ATOM_CARDINAL,
			32, 1, &opacity);
	}
}

const LinuxBackend x11_backend = {"x11", Connect, {Walk, SetAlpha}};
