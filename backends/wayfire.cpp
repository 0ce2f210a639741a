/*
 * Wayfire, through its IPC socket, with its plugins ipc, ipc-rules and alpha
 * on; without them this is no Wayfire session to the tools.
 *
 * A top-level window is a mapped view of the toplevel role in Wayfire's list
 * of views: application windows and their dialogs. Its handle is the view's
 * id. Wayfire tells no stacking, but it raises each view it focuses: the
 * views go most recently focused first, and of those focused at the same
 * time, the newest first. The class name is the view's app-id; of an XWayland
 * view Wayfire gives the class alone, so its instance is read from Xwayland,
 * of the window in Xwayland's client list with that class and title.
 *
 * The alphas set during a walk go out at its end, a few dozen requests at a
 * time before their replies are read: Wayfire drops a client whose unread
 * replies fill its socket, some 130 short ones. For the same reason Wayfire
 * sends no list of views past some 200 KB (about 350 views), and the walk is
 * then lost.
 */
#include "linux_backends.h"
#include "x11_text.h"

#include <json-c/json.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum {
	REQUESTS_IN_FLIGHT = 64,
	REQUEST_ROOM = 128,
	CHANGES_CAPACITY = 4096,
	/* Views past this many keep their XWayland class without its instance. */
	VIEW_CAPACITY = 4096,
	CLIENT_BATCH = 256,
};

static const char LIST_VIEWS[] = "window-rules/list-views", SET_ALPHA[] = "wf/alpha/set-view-alpha";

/* The socket to Wayfire; -1 once it is lost. */
static int ipc = -1;
static struct {
	uint64_t id;
	unsigned char alpha;
} changes[CHANGES_CAPACITY];
static int changes_count;

/* Writes one request, its length first as Wayfire reads it; returns its size. */
static int FormatRequest(char *request, const char *method, const char *data)
{
	int length = snprintf(request + 4, REQUEST_ROOM - 4, "{\"method\":\"%s\",\"data\":%s}", method, data);
	uint32_t size = (uint32_t)length;

	memcpy(request, &size, 4);
	return length + 4;
}

/* Returns the next reply; NULL, with the connection closed, where it is lost. */
static json_object *Receive(void)
{
	uint32_t length = 0;
	json_object *reply = NULL;

	if (ipc >= 0 && TransferAll(ipc, (char *)&length, sizeof length, false))
		reply = ReceiveJson(ipc, length, JSON_TOKENER_DEFAULT_DEPTH);
	if (reply == NULL && ipc >= 0) {
		close(ipc);
		ipc = -1;
	}
	return reply;
}

static json_object *Call(const char *method)
{
	char request[REQUEST_ROOM];
	int length = FormatRequest(request, method, "{}");

	if (ipc >= 0 && !TransferAll(ipc, request, (size_t)length, true)) {
		close(ipc);
		ipc = -1;
	}
	return Receive();
}

static json_object *Member(json_object *object, const char *key, json_type type)
{
	json_object *value;

	return json_object_object_get_ex(object, key, &value) && json_object_is_type(value, type) ? value : NULL;
}

static bool HasMethod(json_object *listing, const char *name)
{
	json_object *methods = Member(listing, "methods", json_type_array);

	for (size_t i = 0; methods != NULL && i < json_object_array_length(methods); i++) {
		json_object *method = json_object_array_get_idx(methods, i);
		if (json_object_is_type(method, json_type_string) && strcmp(json_object_get_string(method), name) == 0)
			return true;
	}
	return false;
}

/* A Wayfire that does not answer is there all the same: its walk is lost. */
static int Connect(void)
{
	ipc = ConnectToSocket(getenv("WAYFIRE_SOCKET"));
	if (ipc < 0)
		return 0;
	json_object *listing = Call("list-methods");
	bool served = listing == NULL || (HasMethod(listing, LIST_VIEWS) && HasMethod(listing, SET_ALPHA));
	json_object_put(listing);
	if (!served) {
		close(ipc);
		ipc = -1;
	}
	return served;
}

static void SendChanges(void)
{
	char requests[REQUESTS_IN_FLIGHT * REQUEST_ROOM];

	for (int sent = 0, count; ipc >= 0 && sent < changes_count; sent += count) {
		int length = 0;
		count = changes_count - sent < REQUESTS_IN_FLIGHT ? changes_count - sent : REQUESTS_IN_FLIGHT;
		for (int i = sent; i < sent + count; i++) {
			char data[64];
			/* Six decimals tell every alpha from its neighbours, 1/255 apart. */
			snprintf(data, sizeof data, "{\"view-id\":%llu,\"alpha\":%.6f}", (unsigned long long)changes[i].id,
				changes[i].alpha / 255.0);
			length += FormatRequest(requests + length, SET_ALPHA, data);
		}
		if (!TransferAll(ipc, requests, (size_t)length, true)) {
			close(ipc);
			ipc = -1;
		}
		/* A view closed since the list answers an error, and keeps no alpha. */
		for (int i = 0; i < count; i++)
			json_object_put(Receive());
	}
	changes_count = 0;
}

static bool IsTopLevel(json_object *view)
{
	json_object *role = Member(view, "role", json_type_string), *mapped = Member(view, "mapped", json_type_boolean);

	return role != NULL && strcmp(json_object_get_string(role), "toplevel") == 0 && mapped != NULL
		&& json_object_get_boolean(mapped) && Member(view, "id", json_type_int) != NULL
		&& json_object_get_int64(Member(view, "id", json_type_int)) > 0;
}

static int64_t Number(json_object *view, const char *key)
{
	return json_object_get_int64(Member(view, key, json_type_int));
}

/* Most recently focused first; of those focused at the same time, the newest, whose id is the larger. */
static int ByStacking(const void *first, const void *second)
{
	json_object *one = *(json_object *const *)first, *other = *(json_object *const *)second;
	int64_t one_focus = Number(one, "last-focus-timestamp"), other_focus = Number(other, "last-focus-timestamp");

	if (one_focus != other_focus)
		return one_focus > other_focus ? -1 : 1;
	return Number(one, "id") > Number(other, "id") ? -1 : Number(one, "id") < Number(other, "id");
}

/* Whether the view's text of key is the X11 property's (cut short where the property was fetched in part). */
static bool SameText(json_object *view, const char *key, const char *text, int length, bool cut)
{
	json_object *value = Member(view, key, json_type_string);
	int value_length = value != NULL ? json_object_get_string_len(value) : -1;

	length = (int)strnlen(text, (size_t)length);
	return value != NULL && (value_length == length || (cut && value_length > length))
		&& memcmp(json_object_get_string(value), text, (size_t)length) == 0;
}

/*
 * Gives the first view that has the class and title of the window whose
 * WM_CLASS and titles are these, and no class read yet, that WM_CLASS;
 * returns whether one took it. The title is the window's as Xwayland's
 * window manager reads it: _NET_WM_NAME where it is UTF8_STRING, else
 * WM_NAME.
 */
static bool MatchView(json_object *views, xcb_get_property_reply_t **classes, xcb_get_property_reply_t *wm_class,
	xcb_get_property_reply_t *net_name, xcb_get_property_reply_t *name, xcb_atom_t utf8_string)
{
	if (wm_class == NULL || name == NULL || net_name == NULL)
		return false;
	const char *value = (const char *)xcb_get_property_value(wm_class);
	int length = xcb_get_property_value_length(wm_class), instance = (int)strnlen(value, (size_t)length);
	xcb_get_property_reply_t *title = net_name->type == utf8_string ? net_name : name;
	size_t count = json_object_array_length(views);

	for (size_t i = 0; instance < length && i < count && i < VIEW_CAPACITY; i++) {
		json_object *view = json_object_array_get_idx(views, i);
		if (classes[i] == NULL && IsTopLevel(view)
			&& SameText(view, "app-id", value + instance + 1, length - instance - 1, false)
			&& SameText(view, "title", (const char *)xcb_get_property_value(title),
				xcb_get_property_value_length(title), title->bytes_after > 0)) {
			classes[i] = wm_class;
			return true;
		}
	}
	return false;
}

/*
 * Reads the WM_CLASS of each XWayland view's window into classes, by the
 * view's place in views; NULL for every other view, and for all where
 * Xwayland is out of reach.
 */
static void ReadXwaylandClasses(json_object *views, xcb_get_property_reply_t **classes)
{
	static const char *const atom_names[] = {"_NET_CLIENT_LIST", "_NET_WM_NAME", "UTF8_STRING"};
	xcb_intern_atom_cookie_t atom_cookies[3];
	xcb_atom_t atoms[3];
	xcb_connection_t *xwayland = json_object_array_length(views) > 0 ? ConnectToDisplay() : NULL;

	if (xwayland == NULL)
		return;
	for (int i = 0; i < 3; i++)
		atom_cookies[i] = xcb_intern_atom(xwayland, 0, (uint16_t)strlen(atom_names[i]), atom_names[i]);
	for (int i = 0; i < 3; i++) {
		xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(xwayland, atom_cookies[i], NULL);
		atoms[i] = atom != NULL ? atom->atom : (xcb_atom_t)XCB_ATOM_NONE;
		free(atom);
	}
	xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(xwayland)).data->root;
	xcb_get_property_reply_t *list = xcb_get_property_reply(xwayland,
		xcb_get_property(xwayland, 0, root, atoms[0], XCB_ATOM_WINDOW, 0, UINT32_MAX / 4), NULL);
	int count = list != NULL ? xcb_get_property_value_length(list) / 4 : 0;
	const xcb_window_t *clients = list != NULL ? (const xcb_window_t *)xcb_get_property_value(list) : NULL;
	for (int first = 0; first < count; first += CLIENT_BATCH) {
		xcb_get_property_cookie_t cookies[CLIENT_BATCH][3];
		int batch = count - first < CLIENT_BATCH ? count - first : CLIENT_BATCH;
		for (int i = 0; i < batch; i++) {
			cookies[i][0] = RequestText(xwayland, clients[first + i], XCB_ATOM_WM_CLASS);
			cookies[i][1] = RequestText(xwayland, clients[first + i], atoms[1]);
			cookies[i][2] = RequestText(xwayland, clients[first + i], XCB_ATOM_WM_NAME);
		}
		for (int i = 0; i < batch; i++) {
			xcb_get_property_reply_t *replies[3];
			for (int j = 0; j < 3; j++)
				replies[j] = xcb_get_property_reply(xwayland, cookies[i][j], NULL);
			if (!MatchView(views, classes, replies[0], replies[1], replies[2], atoms[2]))
				free(replies[0]);
			free(replies[1]);
			free(replies[2]);
		}
	}
	free(list);
	xcb_disconnect(xwayland);
}

static WalkResult Walk(WindowVisit visit)
{
	WindowEntry entry;
	xcb_get_property_reply_t *classes[VIEW_CAPACITY] = {};
	json_object *views = Call(LIST_VIEWS);

	if (!json_object_is_type(views, json_type_array)) {
		json_object_put(views);
		return WALK_LOST;
	}
	json_object_array_sort(views, ByStacking);
	ReadXwaylandClasses(views, classes);
	for (size_t i = 0; i < json_object_array_length(views); i++) {
		json_object *view = json_object_array_get_idx(views, i), *app_id = Member(view, "app-id", json_type_string),
			*title = Member(view, "title", json_type_string);
		xcb_get_property_reply_t *wm_class = i < VIEW_CAPACITY ? classes[i] : NULL;
		if (CopyClassName(entry.class_name, wm_class) < 0)
			CopyWindowText(entry.class_name, app_id != NULL ? json_object_get_string(app_id) : "",
				app_id != NULL ? (size_t)json_object_get_string_len(app_id) : 0);
		free(wm_class);
		CopyWindowText(entry.title, title != NULL ? json_object_get_string(title) : "",
			title != NULL ? (size_t)json_object_get_string_len(title) : 0);
		entry.handle = (uint64_t)Number(view, "id");
		if (IsTopLevel(view))
			visit(&entry);
	}
	json_object_put(views);
	SendChanges();
	return ipc >= 0 ? WALK_DONE : WALK_LOST;
}

static void SetAlpha(const WindowEntry *entry, unsigned char alpha)
{
	if (changes_count == CHANGES_CAPACITY)
		SendChanges();
	changes[changes_count].id = entry->handle;
	changes[changes_count++].alpha = alpha;
}

const LinuxBackend wayfire_backend = {"wayfire", Connect, {Walk, SetAlpha}};
