/*
 * GNOME's Wayland session, through the project's GNOME Shell extension over
 * D-Bus.
 *
 * The extension lists the windows Mutter manages, topmost first, each with
 * its id, class name and title; a window's handle is its id. The alphas set
 * during a walk go to the extension by id at its end, in one call for some
 * thousands of windows. Without the extension on the bus, this is no GNOME
 * session to the tools, and X11 (XWayland) serves instead.
 *
 * Mutter 51 loses the instance part of an XWayland window's class. The
 * extension then names the window's X11 id as well, and its class is read
 * from Xwayland on a connection of this backend's own, as the X11 backend
 * reads it; the requests for a batch of the listing go out before the first
 * of its windows is visited.
 */
#include "linux_backends.h"
#include "x11_text.h"

#include <dbus/dbus.h>
#include <stdlib.h>
#include <string.h>

enum { CHANGES_CAPACITY = 4096, LISTED_BATCH = 256 };

static const char SERVICE[] = "org.vitrel.Shell", OBJECT[] = "/org/vitrel/Shell";

static DBusConnection *bus;
static char shell_name[256];
/* The alphas set during the walk, sent at its end or when there is no more room. */
static struct {
	dbus_uint64_t id;
	unsigned char alpha;
} changes[CHANGES_CAPACITY];
static int changes_count;
/* Whether the shell stopped answering during the walk. */
static bool shell_lost;
/* Xwayland, reached once a window's class has to be read there; NULL where it cannot be. */
static xcb_connection_t *xwayland;

static int Connect(void)
{
	bus = ConnectToOwner(SERVICE, shell_name, sizeof shell_name);
	return bus != NULL;
}

/* Calls the extension by its unique name, so that a name taken over midway answers nothing. */
static DBusMessage *NewCall(const char *method)
{
	return dbus_message_new_method_call(shell_name, OBJECT, SERVICE, method);
}

/* Returns the extension's reply; NULL where it did not answer in time. */
static DBusMessage *CallShell(DBusMessage *call)
{
	DBusMessage *reply = NULL;

	if (call != NULL) {
		reply = dbus_connection_send_with_reply_and_block(bus, call, REPLY_TIMEOUT_MS, NULL);
		dbus_message_unref(call);
	}
	shell_lost = shell_lost || reply == NULL;
	return reply;
}

static void SendChanges(void)
{
	DBusMessageIter arguments, list, change;

	if (changes_count == 0)
		return;
	DBusMessage *call = NewCall("SetAlphas");
	bool built = call != NULL;
	if (built) {
		dbus_message_iter_init_append(call, &arguments);
		built = dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "(ty)", &list);
	}
	for (int i = 0; built && i < changes_count; i++) {
		built = dbus_message_iter_open_container(&list, DBUS_TYPE_STRUCT, NULL, &change)
			&& dbus_message_iter_append_basic(&change, DBUS_TYPE_UINT64, &changes[i].id)
			&& dbus_message_iter_append_basic(&change, DBUS_TYPE_BYTE, &changes[i].alpha)
			&& dbus_message_iter_close_container(&list, &change);
	}
	if (built && dbus_message_iter_close_container(&arguments, &list)) {
		DBusMessage *reply = CallShell(call);
		if (reply != NULL)
			dbus_message_unref(reply);
	} else {
		if (call != NULL)
			dbus_message_unref(call);
		shell_lost = true;
	}
	changes_count = 0;
}

/* A window of the listing, and the request for its class name from Xwayland where it needs one. */
struct Listed {
	dbus_uint64_t id;
	const char *texts[2];
	bool from_xwayland;
	xcb_get_property_cookie_t class_cookie;
};

/*
 * Reads the listing's next windows, as many as a batch holds, and asks
 * Xwayland for the class names Mutter lost; returns how many it read. The
 * listing of an extension from before GNOME 51 has no X11 ids.
 */
static int ReadListed(DBusMessageIter *windows, Listed *listed)
{
	static bool xwayland_tried;
	int count = 0;

	for (; count < LISTED_BATCH && dbus_message_iter_get_arg_type(windows) == DBUS_TYPE_STRUCT; count++) {
		DBusMessageIter fields;
		dbus_uint64_t x11_window = 0;
		dbus_message_iter_recurse(windows, &fields);
		dbus_message_iter_get_basic(&fields, &listed[count].id);
		for (const char *&text : listed[count].texts) {
			dbus_message_iter_next(&fields);
			dbus_message_iter_get_basic(&fields, &text);
		}
		if (dbus_message_iter_next(&fields))
			dbus_message_iter_get_basic(&fields, &x11_window);
		bool x11 = x11_window != 0 && x11_window <= UINT32_MAX;
		if (x11 && !xwayland_tried) {
			xwayland_tried = true;
			xwayland = ConnectToDisplay();
		}
		listed[count].from_xwayland = x11 && xwayland != NULL;
		if (listed[count].from_xwayland)
			listed[count].class_cookie = RequestText(xwayland, (xcb_window_t)x11_window, XCB_ATOM_WM_CLASS);
		dbus_message_iter_next(windows);
	}
	return count;
}

static WalkResult Walk(WindowVisit visit)
{
	WindowEntry entry;
	Listed listed[LISTED_BATCH];
	DBusMessage *listing = CallShell(NewCall("ListWindows"));
	DBusMessageIter arguments, windows;

	if (listing == NULL)
		return WALK_LOST;
	if (!dbus_message_has_signature(listing, "a(tsst)") && !dbus_message_has_signature(listing, "a(tss)")) {
		dbus_message_unref(listing);
		return WALK_LOST;
	}
	dbus_message_iter_init(listing, &arguments);
	dbus_message_iter_recurse(&arguments, &windows);
	for (int count; (count = ReadListed(&windows, listed)) > 0;) {
		for (int i = 0; i < count; i++) {
			xcb_get_property_reply_t *reply = NULL;
			if (listed[i].from_xwayland)
				reply = xcb_get_property_reply(xwayland, listed[i].class_cookie, NULL);
			if (CopyClassName(entry.class_name, reply) < 0)
				CopyWindowText(entry.class_name, listed[i].texts[0], strlen(listed[i].texts[0]));
			free(reply);
			CopyWindowText(entry.title, listed[i].texts[1], strlen(listed[i].texts[1]));
			entry.handle = listed[i].id;
			if (entry.handle != 0)
				visit(&entry);
		}
	}
	dbus_message_unref(listing);
	SendChanges();
	return shell_lost ? WALK_LOST : WALK_DONE;
}

static void SetAlpha(const WindowEntry *entry, unsigned char alpha)
{
	if (changes_count == CHANGES_CAPACITY)
		SendChanges();
	changes[changes_count].id = entry->handle;
	changes[changes_count++].alpha = alpha;
}

const LinuxBackend gnome_backend = {"gnome", Connect, {Walk, SetAlpha}};
