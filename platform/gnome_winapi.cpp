/*
 * The window-manager interface through the project's GNOME Shell extension,
 * over D-Bus, for a GNOME Wayland session.
 *
 * The extension lists the windows Mutter manages, topmost first, each with
 * its id, class name and title; a window's handle is its id. The alphas set
 * during a walk go to the extension by id at its end, in one call for some
 * thousands of windows. Without the extension on the bus, this is no GNOME
 * session to the tools, and X11 (XWayland) serves instead.
 *
 * Mutter 51 loses the instance part of an XWayland window's class. The
 * extension then names the window's X11 id as well, and its class is read
 * from the X server, as the X11 backend reads it; the requests for a batch
 * of the listing go out before the first window's callback runs.
 */
#include "linux_backend.h"
#include "window_text.h"

#include <dbus/dbus.h>
#include <string.h>

enum { CHANGES_CAPACITY = 4096, LISTED_BATCH = 256 };

static const char SERVICE[] = "org.vitrel.Shell", OBJECT[] = "/org/vitrel/Shell";

static DBusConnection *bus;
static char shell_name[256];
static struct {
	dbus_uint64_t id;
	unsigned char alpha;
} changes[CHANGES_CAPACITY];
static int changes_count;
/* A window of the listing, and the request for its class name from the X server, or 0. */
static struct {
	dbus_uint64_t id;
	const char *texts[2];
	unsigned class_request;
} listed[LISTED_BATCH];
static char x11_class_name[WINDOW_TEXT_CAPACITY];
/* The class name and title of the window whose callback runs. */
static const char *current_texts[2];
static HWND current_window;

static BOOL Connect(void)
{
	bus = ConnectToOwner(SERVICE, shell_name, sizeof shell_name);
	return bus != NULL;
}

/* Calls the extension by its unique name, so that a name taken over midway answers nothing. */
static DBusMessage *NewCall(const char *method)
{
	DBusMessage *call = dbus_message_new_method_call(shell_name, OBJECT, SERVICE, method);

	if (call == NULL)
		Fail("Display connection lost.\n");
	return call;
}

/* Returns the extension's reply; a call it does not answer in time ends the process. */
static DBusMessage *CallShell(DBusMessage *call)
{
	DBusMessage *reply = dbus_connection_send_with_reply_and_block(bus, call, REPLY_TIMEOUT_MS, NULL);

	dbus_message_unref(call);
	if (reply == NULL)
		Fail("Display connection lost.\n");
	return reply;
}

static void SendChanges(void)
{
	DBusMessageIter arguments, list, change;

	if (changes_count == 0)
		return;
	DBusMessage *call = NewCall("SetAlphas");
	dbus_message_iter_init_append(call, &arguments);
	BOOL built = dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "(ty)", &list);
	for (int i = 0; built && i < changes_count; i++) {
		built = dbus_message_iter_open_container(&list, DBUS_TYPE_STRUCT, NULL, &change)
			&& dbus_message_iter_append_basic(&change, DBUS_TYPE_UINT64, &changes[i].id)
			&& dbus_message_iter_append_basic(&change, DBUS_TYPE_BYTE, &changes[i].alpha)
			&& dbus_message_iter_close_container(&list, &change);
	}
	if (!built || !dbus_message_iter_close_container(&arguments, &list))
		Fail("Display connection lost.\n");
	dbus_message_unref(CallShell(call));
	changes_count = 0;
}

/*
 * Reads the listing's next windows, as many as a batch holds, and asks for
 * the class names to be read from the X server; returns how many it read.
 * The listing of an extension from before GNOME 51 has no X11 ids.
 */
static int ReadListed(DBusMessageIter *windows)
{
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
		BOOL x11 = x11_window != 0 && x11_window <= UINT32_MAX;
		listed[count].class_request = x11 ? RequestX11ClassName((uint32_t)x11_window) : 0;
		dbus_message_iter_next(windows);
	}
	return count;
}

static BOOL EnumGnomeWindows(WNDENUMPROC callback, LPARAM context)
{
	DBusMessage *listing = CallShell(NewCall("ListWindows"));
	DBusMessageIter arguments, windows;
	BOOL more = TRUE;

	if (!dbus_message_has_signature(listing, "a(tsst)") && !dbus_message_has_signature(listing, "a(tss)"))
		Fail("Display connection lost.\n");
	dbus_message_iter_init(listing, &arguments);
	dbus_message_iter_recurse(&arguments, &windows);
	for (int count; more && (count = ReadListed(&windows)) > 0;) {
		for (int i = 0; more && i < count; i++) {
			current_window = listed[i].id;
			current_texts[0] = listed[i].texts[0];
			current_texts[1] = listed[i].texts[1];
			if (listed[i].class_request != 0
				&& TakeX11ClassName(listed[i].class_request, x11_class_name, sizeof x11_class_name) >= 0)
				current_texts[0] = x11_class_name;
			more = current_window == 0 || callback(current_window, context);
		}
	}
	current_window = 0;
	dbus_message_unref(listing);
	SendChanges();
	return TRUE;
}

static int GetGnomeClassName(HWND window, char *class_name, int capacity)
{
	return CopyCurrentText(window, current_window, current_texts[0], class_name, capacity);
}

static int GetGnomeWindowText(HWND window, char *title, int capacity)
{
	return CopyCurrentText(window, current_window, current_texts[1], title, capacity);
}

static BOOL SetGnomeLayeredWindowAttributes(HWND window, COLORREF, BYTE alpha, DWORD flags)
{
	if ((flags & LWA_ALPHA) == 0 || window == 0)
		return FALSE;
	if (changes_count == CHANGES_CAPACITY)
		SendChanges();
	changes[changes_count].id = window;
	changes[changes_count++].alpha = alpha;
	return TRUE;
}

const LinuxBackend gnome_backend = {
	"gnome", Connect, EnumGnomeWindows, GetGnomeClassName, GetGnomeWindowText, NULL, NULL,
	SetGnomeLayeredWindowAttributes,
};
