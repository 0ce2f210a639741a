/*
 * The window-manager interface over the X protocol, with xcb.
 *
 * A top-level window is a child of a screen's root (its frame, when a window
 * manager reparented it) together with its client window, found as the X
 * tools find it: the child itself if it has WM_STATE, else the first
 * descendant that has, else the child itself. Its class name is WM_CLASS as
 * "instance.class", its title _NET_WM_NAME or else WM_NAME, and its alpha the
 * _NET_WM_WINDOW_OPACITY that compositors read.
 *
 * The walk sends every request for a batch of windows before it reads the
 * first reply, and the callback's reads of texts and opacity take those
 * replies, so a walk costs a few round trips per batch, not several per
 * window. Where no window manager holds the screen nothing is framed, and
 * each child of the root is its own client. One that lists its clients
 * (_NET_CLIENT_LIST) names the clients of each of its frames, found by
 * climbing from the client: a frame that holds several (tabs) stands for
 * each of them in turn. The list is trusted only while the window manager
 * that wrote it runs, as _NET_SUPPORTING_WM_CHECK tells: one that crashed
 * leaves it behind, naming ids the server may since have given to others.
 * Any other child of the root has its texts asked along with its tree,
 * since it is most often its own client, and only one with children is
 * searched. Each window of a batch keeps its own requests, and the search
 * its own, so that no reply is waited for twice.
 * An X error on a window makes that window's read fail; only a display that
 * cannot be reached ends the process.
 */
#include "linux_backend.h"

#include <algorithm>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xcb/xcb.h>

enum {
	/*
	 * Windows whose requests are on their way at once; bounds the memory a
	 * walk takes. Each batch costs a round trip or two, which a large one
	 * spreads thin.
	 */
	BATCH_SIZE = 2048,
	/*
	 * The first batch is small: a window's opacity is fetched with its texts
	 * only once the program has asked for one, and until then each costs a
	 * round trip of its own.
	 */
	FIRST_BATCH_SIZE = 64,
	/* The children of one window asked about at once, in the search below a frame. */
	SEARCH_BATCH = 256,
	/* Clients of a window manager's list that are placed in their frames; the rest are searched for. */
	LISTED_CAPACITY = 65536,
	SEARCH_DEPTH = 8,
	/* A text of 1023 bytes and the byte after it, to tell whether the cut splits a character. */
	TEXT_FETCH_LONGS = 256,
};

enum AtomId {
	ATOM_WM_STATE, ATOM_NET_WM_NAME, ATOM_UTF8_STRING, ATOM_COMPOUND_TEXT, ATOM_OPACITY, ATOM_CLIENT_LIST,
	ATOM_WM_CHECK, ATOM_COUNT
};

static const char *const atom_names[ATOM_COUNT] = {
	"WM_STATE", "_NET_WM_NAME", "UTF8_STRING", "COMPOUND_TEXT", "_NET_WM_WINDOW_OPACITY", "_NET_CLIENT_LIST",
	"_NET_SUPPORTING_WM_CHECK",
};

/* A client of the window manager's list, the child of the root that holds it, and its place in the list. */
struct Placement {
	xcb_window_t frame;
	xcb_window_t client;
	int listed;
};

struct WindowRequests {
	xcb_get_property_cookie_t wm_class;
	xcb_get_property_cookie_t net_wm_name;
	xcb_get_property_cookie_t wm_name;
	xcb_get_property_cookie_t opacity;
	BOOL class_pending;
	BOOL names_pending;
	BOOL opacity_pending;
};

static xcb_connection_t *connection;
static xcb_atom_t atoms[ATOM_COUNT];
/* Xlib's, opened only to convert a COMPOUND_TEXT title, which only Xlib knows how to. */
static Display *text_display;

/* A top-level window of the batch being walked, with what is asked about it. */
struct BatchWindow {
	xcb_window_t frame;
	/* XCB_WINDOW_NONE until found. */
	xcb_window_t client;
	xcb_query_tree_cookie_t tree_cookie;
	xcb_query_tree_reply_t *tree;
	xcb_get_property_cookie_t state_cookie;
	WindowRequests requests;
};

/* A listed client being climbed from towards the root. */
struct Climb {
	xcb_window_t window;
	xcb_query_tree_cookie_t tree_cookie;
};

static BatchWindow batch[BATCH_SIZE];
static Climb climbs[BATCH_SIZE];
/* The search's own requests: the trees of a piece of each level, and the states of one piece. */
static xcb_query_tree_cookie_t search_tree_cookies[SEARCH_DEPTH][SEARCH_BATCH];
static xcb_get_property_cookie_t search_state_cookies[SEARCH_BATCH];
/* Whether a window manager holds the screen being walked, and the clients it lists, ordered by frame. */
static BOOL screen_managed;
static Placement placements[LISTED_CAPACITY];
static int placement_count;

/* The window whose callback runs now, whose text replies are on their way. */
static HWND current_window;
static WindowRequests *current_requests;

/*
 * Only a program that changes windows asks whether they are layered; once
 * one has, the rest of the walk fetches that along with the texts.
 */
static BOOL prefetch_opacity;

/* What the last GetWindowLongA saw, for the SetWindowLongA that follows it. */
static HWND style_window;
static LONG style_value;

/* A missing reply is the window's failure, unless the connection itself is gone. */
static void CheckConnection(void)
{
	if (xcb_connection_has_error(connection))
		Fail("Display connection lost.\n");
}

/* Connects to the X server of DISPLAY; FALSE, with nothing left open, where it cannot be reached. */
static BOOL OpenDisplay(void)
{
	xcb_intern_atom_cookie_t cookies[ATOM_COUNT];

	PlugStandardDescriptors();
	/* xcb writes a server's reason for refusing a client to standard error: the tools say one line of their own. */
	int error_output = dup(STDERR_FILENO), quiet = open("/dev/null", O_WRONLY);
	if (error_output >= 0 && quiet >= 0)
		dup2(quiet, STDERR_FILENO);
	connection = xcb_connect(NULL, NULL);
	if (error_output >= 0) {
		dup2(error_output, STDERR_FILENO);
		close(error_output);
	}
	if (quiet >= 0)
		close(quiet);
	for (int i = 0; i < ATOM_COUNT; i++)
		cookies[i] = xcb_intern_atom(connection, 0, (uint16_t)strlen(atom_names[i]), atom_names[i]);
	for (int i = 0; i < ATOM_COUNT; i++) {
		xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookies[i], NULL);
		atoms[i] = reply != NULL ? reply->atom : (xcb_atom_t)XCB_ATOM_NONE;
		free(reply);
	}
	if (!xcb_connection_has_error(connection))
		return TRUE;
	xcb_disconnect(connection);
	connection = NULL;
	return FALSE;
}

/* The last backend tried: a display that cannot be reached ends the process. */
static BOOL Connect(void)
{
	if (!OpenDisplay())
		Fail("Cannot open display.\n");
	return TRUE;
}

static HWND MakeHandle(xcb_window_t frame, xcb_window_t client)
{
	return (HWND)frame << 32 | client;
}

static xcb_window_t FrameOf(HWND window)
{
	return (xcb_window_t)(window >> 32);
}

static xcb_window_t ClientOf(HWND window)
{
	return (xcb_window_t)window;
}

static xcb_get_property_cookie_t RequestText(xcb_window_t window, xcb_atom_t property)
{
	return xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, TEXT_FETCH_LONGS);
}

static xcb_get_property_cookie_t RequestOpacity(xcb_window_t client)
{
	return xcb_get_property(connection, 0, client, atoms[ATOM_OPACITY], XCB_ATOM_CARDINAL, 0, 1);
}

static void RequestWindow(xcb_window_t client, WindowRequests *requests)
{
	requests->wm_class = RequestText(client, XCB_ATOM_WM_CLASS);
	requests->net_wm_name = RequestText(client, atoms[ATOM_NET_WM_NAME]);
	requests->wm_name = RequestText(client, XCB_ATOM_WM_NAME);
	requests->class_pending = TRUE;
	requests->names_pending = TRUE;
	requests->opacity_pending = prefetch_opacity;
	if (prefetch_opacity)
		requests->opacity = RequestOpacity(client);
}

/*
 * Takes the replies nobody read. xcb notes every request whose reply is due
 * in a list that discarding one walks from the start, while reading replies
 * in the order they come takes them off its head.
 */
static void DropReplies(WindowRequests *requests)
{
	if (requests->class_pending)
		free(xcb_get_property_reply(connection, requests->wm_class, NULL));
	if (requests->names_pending) {
		free(xcb_get_property_reply(connection, requests->net_wm_name, NULL));
		free(xcb_get_property_reply(connection, requests->wm_name, NULL));
	}
	if (requests->opacity_pending)
		free(xcb_get_property_reply(connection, requests->opacity, NULL));
	requests->class_pending = FALSE;
	requests->names_pending = FALSE;
	requests->opacity_pending = FALSE;
}

static xcb_get_property_reply_t *TakeProperty(xcb_get_property_cookie_t cookie)
{
	xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, NULL);

	if (reply == NULL)
		CheckConnection();
	return reply;
}

static BOOL HasProperty(xcb_get_property_reply_t *reply)
{
	return reply != NULL && reply->type != XCB_ATOM_NONE;
}

static xcb_get_property_cookie_t RequestState(xcb_window_t window)
{
	return xcb_get_property(connection, 0, window, atoms[ATOM_WM_STATE], XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
}

/* Returns the first of the windows that has WM_STATE, asking a batch at a time, or XCB_WINDOW_NONE. */
static xcb_window_t FirstWithState(const xcb_window_t *windows, int count)
{
	xcb_window_t found = XCB_WINDOW_NONE;

	for (int start = 0; start < count && found == XCB_WINDOW_NONE; start += SEARCH_BATCH) {
		int piece = std::min<int>(count - start, SEARCH_BATCH);
		for (int i = 0; i < piece; i++)
			search_state_cookies[i] = RequestState(windows[start + i]);
		for (int i = 0; i < piece; i++) {
			xcb_get_property_reply_t *state = TakeProperty(search_state_cookies[i]);
			if (found == XCB_WINDOW_NONE && HasProperty(state))
				found = windows[start + i];
			free(state);
		}
	}
	return found;
}

/*
 * As the X tools search below a frame: its children first, then each
 * child's subtree in turn. The requests go out a batch at a time, so the
 * memory stays bounded whatever the number of children.
 */
static xcb_window_t SearchSubtree(xcb_query_tree_reply_t *tree, int depth)
{
	xcb_window_t *children = xcb_query_tree_children(tree);
	int count = xcb_query_tree_children_length(tree);
	xcb_window_t found = FirstWithState(children, count);

	for (int start = 0; start < count && found == XCB_WINDOW_NONE && depth + 1 < SEARCH_DEPTH;
	     start += SEARCH_BATCH) {
		int piece = std::min<int>(count - start, SEARCH_BATCH);
		for (int i = 0; i < piece; i++)
			search_tree_cookies[depth + 1][i] = xcb_query_tree(connection, children[start + i]);
		for (int i = 0; i < piece; i++) {
			xcb_query_tree_reply_t *subtree =
				xcb_query_tree_reply(connection, search_tree_cookies[depth + 1][i], NULL);
			if (subtree == NULL)
				CheckConnection();
			else if (found == XCB_WINDOW_NONE)
				found = SearchSubtree(subtree, depth + 1);
			free(subtree);
		}
	}
	return found;
}

static bool ByFrame(const Placement &a, const Placement &b)
{
	return a.frame != b.frame ? a.frame < b.frame : a.listed < b.listed;
}

/*
 * Places each client of the window manager's list in the child of the root
 * that holds it, climbing from the client a level a round trip, for a batch
 * of clients at once. A client not reached within the search's depth is
 * left to the search.
 */
static void PlaceListedClients(xcb_window_t root, xcb_get_property_reply_t *list)
{
	int listed = list != NULL && list->format == 32 ? xcb_get_property_value_length(list) / 4 : 0;
	const xcb_window_t *clients = list != NULL ? (const xcb_window_t *)xcb_get_property_value(list) : NULL;

	placement_count = 0;
	for (int start = 0; start < listed; start += BATCH_SIZE) {
		int piece = std::min<int>(listed - start, BATCH_SIZE);
		for (int i = 0; i < piece; i++)
			climbs[i].window = clients[start + i];
		for (int depth = 0, climbing = piece; depth < SEARCH_DEPTH && climbing > 0; depth++) {
			for (int i = 0; i < piece; i++) {
				if (climbs[i].window != XCB_WINDOW_NONE)
					climbs[i].tree_cookie = xcb_query_tree(connection, climbs[i].window);
			}
			climbing = 0;
			for (int i = 0; i < piece; i++) {
				if (climbs[i].window == XCB_WINDOW_NONE)
					continue;
				xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, climbs[i].tree_cookie, NULL);
				if (tree == NULL) {
					CheckConnection();
					climbs[i].window = XCB_WINDOW_NONE;
				} else if (tree->parent == root) {
					placements[placement_count++] = {climbs[i].window, clients[start + i], start + i};
					climbs[i].window = XCB_WINDOW_NONE;
				} else {
					climbs[i].window = tree->parent;
					climbing++;
				}
				free(tree);
			}
		}
	}
	std::sort(placements, placements + placement_count, ByFrame);
}

/* The window a _NET_SUPPORTING_WM_CHECK property names, or XCB_WINDOW_NONE. */
static xcb_window_t CheckWindowOf(xcb_get_property_reply_t *reply)
{
	if (reply == NULL || reply->format != 32 || xcb_get_property_value_length(reply) < 4)
		return XCB_WINDOW_NONE;
	return *(const xcb_window_t *)xcb_get_property_value(reply);
}

/*
 * Whether the window manager that wrote the client list runs: the root names
 * its check window, and that window exists and names itself.
 */
static BOOL WindowManagerRuns(xcb_get_property_cookie_t root_check)
{
	xcb_get_property_reply_t *reply = TakeProperty(root_check);
	xcb_window_t check = CheckWindowOf(reply);

	free(reply);
	if (check == XCB_WINDOW_NONE)
		return FALSE;
	reply = TakeProperty(xcb_get_property(connection, 0, check, atoms[ATOM_WM_CHECK], XCB_ATOM_WINDOW, 0, 1));
	BOOL runs = CheckWindowOf(reply) == check;
	free(reply);
	return runs;
}

/*
 * Fills the batch with the next top-level windows, topmost first: each child
 * of the root the list does not place, and each client the list places in
 * it. next is the child to go on from, and tab the next of its clients.
 */
static int FillBatch(const xcb_window_t *children, int *next, int *tab, int size)
{
	int count = 0;

	while (count < size && *next >= 0) {
		Placement key = {children[*next], XCB_WINDOW_NONE, 0};
		const Placement *first = std::lower_bound(placements, placements + placement_count, key, ByFrame);
		int tabs = 0;
		while (first + tabs < placements + placement_count && first[tabs].frame == key.frame)
			tabs++;
		BatchWindow *window = &batch[count++];
		window->frame = key.frame;
		if (tabs == 0)
			window->client = screen_managed ? (xcb_window_t)XCB_WINDOW_NONE : key.frame;
		else
			window->client = first[*tab].client;
		if (tabs == 0 || ++*tab == tabs) {
			*tab = 0;
			--*next;
		}
	}
	return count;
}

/*
 * Asks the batch's texts, and finds the clients yet unknown: a child of the
 * root the list does not place is asked for its tree, and for its texts in
 * case it is its own client, which it is when it has no children or has
 * WM_STATE. Only the rest are searched.
 */
static void FindClients(int count)
{
	/*
	 * xcb finds a reply by walking those that came before it: the trees go
	 * out first, as they are read first, and the texts in the order the
	 * callbacks read them.
	 */
	for (int i = 0; i < count; i++) {
		batch[i].tree = NULL;
		if (batch[i].client == XCB_WINDOW_NONE)
			batch[i].tree_cookie = xcb_query_tree(connection, batch[i].frame);
	}
	for (int i = 0; i < count; i++)
		RequestWindow(batch[i].client != XCB_WINDOW_NONE ? batch[i].client : batch[i].frame, &batch[i].requests);
	for (int i = 0; i < count; i++) {
		BatchWindow *window = &batch[i];
		if (window->client != XCB_WINDOW_NONE)
			continue;
		window->tree = xcb_query_tree_reply(connection, window->tree_cookie, NULL);
		if (window->tree == NULL)
			CheckConnection();
		if (window->tree != NULL && xcb_query_tree_children_length(window->tree) > 0)
			window->state_cookie = RequestState(window->frame);
		else
			window->client = window->frame;
	}
	for (int i = 0; i < count; i++) {
		BatchWindow *window = &batch[i];
		if (window->client != XCB_WINDOW_NONE)
			continue;
		xcb_get_property_reply_t *state = TakeProperty(window->state_cookie);
		window->client = HasProperty(state) ? window->frame : SearchSubtree(window->tree, 0);
		free(state);
		if (window->client == XCB_WINDOW_NONE)
			window->client = window->frame;
		if (window->client != window->frame) {
			DropReplies(&window->requests);
			RequestWindow(window->client, &window->requests);
		}
	}
	for (int i = 0; i < count; i++)
		free(batch[i].tree);
}

/* Returns FALSE when the callback asked to stop. */
static BOOL WalkBatch(int count, WNDENUMPROC callback, LPARAM context)
{
	BOOL keep_going = TRUE;

	FindClients(count);
	for (int i = 0; i < count; i++) {
		if (keep_going) {
			current_window = MakeHandle(batch[i].frame, batch[i].client);
			current_requests = &batch[i].requests;
			keep_going = callback(current_window, context);
			current_requests = NULL;
		}
		DropReplies(&batch[i].requests);
	}
	/* Errors of requests nobody waits for (a window gone mid-walk) queue up as events. */
	for (xcb_generic_event_t *event; (event = xcb_poll_for_event(connection)) != NULL;)
		free(event);
	return keep_going;
}

static BOOL EnumX11Windows(WNDENUMPROC callback, LPARAM context)
{
	BOOL keep_going = TRUE;

	xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection));
	for (; screen.rem > 0 && keep_going; xcb_screen_next(&screen)) {
		xcb_window_t root = screen.data->root;
		xcb_query_tree_cookie_t tree_cookie = xcb_query_tree(connection, root);
		xcb_get_window_attributes_cookie_t attributes_cookie = xcb_get_window_attributes(connection, root);
		xcb_get_property_cookie_t check_cookie =
			xcb_get_property(connection, 0, root, atoms[ATOM_WM_CHECK], XCB_ATOM_WINDOW, 0, 1);
		xcb_get_property_cookie_t list_cookie =
			xcb_get_property(connection, 0, root, atoms[ATOM_CLIENT_LIST], XCB_ATOM_WINDOW, 0, LISTED_CAPACITY);
		xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, tree_cookie, NULL);
		xcb_get_window_attributes_reply_t *attributes =
			xcb_get_window_attributes_reply(connection, attributes_cookie, NULL);
		/* Without a window manager no window is framed: each child of the root is its own client. */
		screen_managed = attributes != NULL &&
			(attributes->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT) != 0;
		free(attributes);
		xcb_get_property_reply_t *list = TakeProperty(list_cookie);
		PlaceListedClients(root, WindowManagerRuns(check_cookie) && screen_managed ? list : NULL);
		free(list);
		if (tree == NULL) {
			CheckConnection();
			continue;
		}
		/* The server lists children bottom first; the walk goes topmost first. */
		xcb_window_t *children = xcb_query_tree_children(tree);
		for (int next = xcb_query_tree_children_length(tree) - 1, tab = 0, size = FIRST_BATCH_SIZE;
		     next >= 0 && keep_going; size = BATCH_SIZE)
			keep_going = WalkBatch(FillBatch(children, &next, &tab, size), callback, context);
		free(tree);
	}
	/* One round trip, so every change made during the walk has reached the server. */
	free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), NULL));
	CheckConnection();
	return TRUE;
}

/* Takes the replies the walk asked for if window is the one being visited, else asks now. */
static WindowRequests *RequestsFor(HWND window, WindowRequests *own)
{
	if (current_requests != NULL && window == current_window)
		return current_requests;
	RequestWindow(ClientOf(window), own);
	return own;
}

/* ICCCM's STRING is Latin-1: copies it as UTF-8, cut the same way. */
static int CopyLatin1(char *out, int capacity, const char *text, int length)
{
	int copied = 0;

	for (int i = 0; i < length && text[i] != '\0'; i++) {
		unsigned char byte = (unsigned char)text[i];
		if (copied + 1 + (byte >= 0x80) > capacity - 1)
			break;
		if (byte >= 0x80) {
			out[copied++] = (char)(0xC0 | byte >> 6);
			byte = (unsigned char)(0x80 | (byte & 0x3F));
		}
		out[copied++] = (char)byte;
	}
	if (capacity > 0)
		out[copied] = '\0';
	return copied;
}

/* Returns whether the bytes read as UTF-8; one cut short by the end of the fetch (cut) may end inside a character. */
static BOOL IsUtf8(const char *text, int length, BOOL cut)
{
	for (int i = 0; i < length && text[i] != '\0'; i++) {
		unsigned char byte = (unsigned char)text[i];
		int more = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
		if (byte >= 0x80 && more == 0)
			return FALSE;
		for (; more > 0; more--) {
			if (++i >= length)
				return cut;
			if (((unsigned char)text[i] & 0xC0) != 0x80)
				return FALSE;
		}
	}
	return TRUE;
}

/*
 * Copies a text property as UTF-8, whichever encoding the client chose.
 * Toolkits often write UTF-8 as STRING all the same, WM_CLASS above all, so
 * only a STRING that is not UTF-8 is read as the Latin-1 ICCCM says it is.
 */
static int CopyProperty(char *out, int capacity, xcb_get_property_reply_t *reply)
{
	const char *value = (const char *)xcb_get_property_value(reply);
	int length = xcb_get_property_value_length(reply);

	if (reply->type == XCB_ATOM_STRING && !IsUtf8(value, length, reply->bytes_after > 0))
		return CopyLatin1(out, capacity, value, length);
	if (reply->type != atoms[ATOM_COMPOUND_TEXT])
		return CopyText(out, capacity, value, length);
	XTextProperty property = {(unsigned char *)value, reply->type, 8, (unsigned long)length};
	char **list = NULL;
	int count = 0;
	if (text_display == NULL)
		text_display = XOpenDisplay(NULL);
	if (text_display == NULL || Xutf8TextPropertyToTextList(text_display, &property, &list, &count) < Success)
		count = 0;
	length = count > 0 ? CopyText(out, capacity, list[0], (int)strlen(list[0])) : CopyText(out, capacity, "", 0);
	if (list != NULL)
		XFreeStringList(list);
	return length;
}

/* Copies a WM_CLASS, "instance\0class\0", as "instance.class"; -1 where the window has none. */
static int CopyClassName(char *class_name, int capacity, xcb_get_property_reply_t *reply)
{
	if (!HasProperty(reply))
		return -1;
	char *value = (char *)xcb_get_property_value(reply);
	int value_length = xcb_get_property_value_length(reply);
	char *separator = (char *)memchr(value, '\0', (size_t)value_length);
	if (separator != NULL && separator + 1 < value + value_length && separator[1] != '\0')
		*separator = '.';
	return CopyProperty(class_name, capacity, reply);
}

static int GetX11ClassName(HWND window, char *class_name, int capacity)
{
	WindowRequests own;
	WindowRequests *requests = RequestsFor(window, &own);
	xcb_get_property_reply_t *reply = TakeProperty(requests->wm_class);

	requests->class_pending = FALSE;
	if (requests == &own)
		DropReplies(&own);
	int length = CopyClassName(class_name, capacity, reply);
	free(reply);
	return length >= 0 ? length : CopyText(class_name, capacity, "", 0);
}

static int GetX11WindowText(HWND window, char *title, int capacity)
{
	WindowRequests own;
	WindowRequests *requests = RequestsFor(window, &own);
	xcb_get_property_reply_t *net_wm_name = TakeProperty(requests->net_wm_name);
	xcb_get_property_reply_t *wm_name = TakeProperty(requests->wm_name);
	int length = 0;

	requests->names_pending = FALSE;
	if (requests == &own)
		DropReplies(&own);
	xcb_get_property_reply_t *name = net_wm_name;
	if (!HasProperty(name) || xcb_get_property_value_length(name) == 0)
		name = wm_name;
	if (HasProperty(name))
		length = CopyProperty(title, capacity, name);
	else if (capacity > 0)
		title[0] = '\0';
	free(net_wm_name);
	free(wm_name);
	return length;
}

static BOOL HasOpacity(HWND window)
{
	BOOL prefetched = current_requests != NULL && window == current_window && current_requests->opacity_pending;
	xcb_get_property_cookie_t cookie = prefetched ? current_requests->opacity : RequestOpacity(ClientOf(window));
	xcb_get_property_reply_t *reply = TakeProperty(cookie);
	BOOL has = HasProperty(reply) && xcb_get_property_value_length(reply) >= 4;

	if (prefetched)
		current_requests->opacity_pending = FALSE;
	prefetch_opacity = TRUE;
	free(reply);
	return has;
}

/* Sets the opacity on client and frame alike, or deletes it when opacity is NULL. */
static void SetOpacity(HWND window, const uint32_t *opacity)
{
	xcb_window_t targets[] = {ClientOf(window), FrameOf(window)};

	/* Some compositors read the property only on the window manager's frame. */
	for (int i = 0; i < (targets[1] != targets[0] ? 2 : 1); i++) {
		if (opacity != NULL) {
			xcb_change_property(connection, XCB_PROP_MODE_REPLACE, targets[i], atoms[ATOM_OPACITY],
				XCB_ATOM_CARDINAL, 32, 1, opacity);
		} else {
			xcb_delete_property(connection, targets[i], atoms[ATOM_OPACITY]);
		}
	}
}

/* A window is layered when it carries an opacity for the compositor. */
static LONG GetX11WindowLong(HWND window, int)
{
	style_window = window;
	style_value = HasOpacity(window) ? WS_EX_LAYERED : 0;
	return style_value;
}

static LONG SetX11WindowLong(HWND window, int index, LONG value)
{
	static const uint32_t opaque = 0xFFFFFFFFu;
	LONG previous = window == style_window ? style_value : GetX11WindowLong(window, index);

	if ((value & WS_EX_LAYERED) != (previous & WS_EX_LAYERED))
		SetOpacity(window, (value & WS_EX_LAYERED) != 0 ? &opaque : NULL);
	style_window = window;
	style_value = value & WS_EX_LAYERED;
	return previous;
}

static BOOL SetX11LayeredWindowAttributes(HWND window, COLORREF, BYTE alpha, DWORD flags)
{
	uint32_t opacity = alpha * 0x01010101u;

	if ((flags & LWA_ALPHA) != 0)
		SetOpacity(window, &opacity);
	return TRUE;
}

unsigned RequestX11ClassName(uint32_t window)
{
	static BOOL tried;

	if (connection == NULL && !tried) {
		tried = TRUE;
		OpenDisplay();
	}
	return connection != NULL ? RequestText(window, XCB_ATOM_WM_CLASS).sequence : 0;
}

int TakeX11ClassName(unsigned request, char *class_name, int capacity)
{
	xcb_get_property_cookie_t cookie = {request};
	xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, NULL);
	int length = CopyClassName(class_name, capacity, reply);

	free(reply);
	return length;
}

const LinuxBackend x11_backend = {
	"x11", Connect, EnumX11Windows, GetX11ClassName, GetX11WindowText, GetX11WindowLong, SetX11WindowLong,
	SetX11LayeredWindowAttributes,
};
