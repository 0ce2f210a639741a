/*
 * The window-manager interface through KWin's scripting, over D-Bus, for a
 * Plasma Wayland session.
 *
 * KWin runs scripts of the tool's own: the first lists the windows, in
 * KWin's order, and hands each one's id, class name and title back to the
 * tool's connection by callDBus; after the walk a second carries the ids of
 * the windows to change and their alphas, and nothing else: no text of a
 * window or of the command line is ever part of a script. The class name is
 * a Wayland window's app_id, and an X11 window's "instance.class", both of
 * which KWin lower-cases. A script's file is private and removed again, and
 * the script is unloaded even when the tool ends midway.
 */
#include "linux_backend.h"

#include <dbus/dbus.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum {
	/* Some 1,500 windows' changes to a script; more go in further ones. */
	CHANGES_CAPACITY = 65536,
	CHANGE_ROOM = 80,
	ID_CAPACITY = 48,
	REPLY_TIMEOUT_MS = 10000,
};

static const char WINDOWS[] = "(workspace.windowList || workspace.clientList).call(workspace)";

static const char LIST_SCRIPT[] =
	"var windows = %s, texts = [];\n"
	"for (var i = 0; i < windows.length; i++) {\n"
	"\tvar w = windows[i];\n"
	"\ttexts.push(w.internalId.toString(), w.windowId ? w.resourceName + '.' + w.resourceClass : w.resourceClass,\n"
	"\t\tw.caption);\n"
	"}\n"
	"callDBus('%s', '/', 'org.vitrel.Walk', 'Done', texts);\n";

static const char CHANGE_SCRIPT[] =
	"var alphas = {%s}, windows = %s;\n"
	"for (var i = 0; i < windows.length; i++) {\n"
	"\tvar alpha = alphas[windows[i].internalId.toString()];\n"
	"\tif (alpha !== undefined)\n"
	"\t\twindows[i].opacity = alpha;\n"
	"}\n"
	"callDBus('%s', '/', 'org.vitrel.Walk', 'Done');\n";

static DBusConnection *bus;
/* The file of the script loaded now; empty when none is. */
static char script_path[4096];
static char script_name[64];
static char script[sizeof CHANGE_SCRIPT + CHANGES_CAPACITY + 256];
static char changes[CHANGES_CAPACITY];
static int changes_length;
/* The id, class name and title of the window whose callback runs. */
static const char *current_texts[3];
static HWND current_window;

/* Returns KWin's reply to a call, or NULL when it failed. */
static DBusMessage *CallKWin(const char *path, const char *interface, const char *method, int first_type, ...)
{
	DBusMessage *call = dbus_message_new_method_call("org.kde.KWin", path, interface, method);
	DBusMessage *reply = NULL;
	va_list arguments;

	va_start(arguments, first_type);
	if (call != NULL && dbus_message_append_args_valist(call, first_type, arguments))
		reply = dbus_connection_send_with_reply_and_block(bus, call, REPLY_TIMEOUT_MS, NULL);
	va_end(arguments);
	if (call != NULL)
		dbus_message_unref(call);
	return reply;
}

static void UnloadScript(void)
{
	const char *name = script_name;

	if (script_path[0] == '\0')
		return;
	DBusMessage *reply = CallKWin("/Scripting", "org.kde.kwin.Scripting", "unloadScript", DBUS_TYPE_STRING, &name,
		DBUS_TYPE_INVALID);
	if (reply != NULL)
		dbus_message_unref(reply);
	unlink(script_path);
	script_path[0] = '\0';
}

/* Waits for the script's callDBus, answers it, and returns its message. */
static DBusMessage *AwaitScript(void)
{
	for (int waited = 0; waited <= REPLY_TIMEOUT_MS; waited += 100) {
		for (DBusMessage *message; (message = dbus_connection_pop_message(bus)) != NULL;) {
			if (dbus_message_is_method_call(message, "org.vitrel.Walk", "Done")) {
				DBusMessage *reply = dbus_message_new_method_return(message);
				if (reply != NULL) {
					dbus_connection_send(bus, reply, NULL);
					dbus_message_unref(reply);
				}
				return message;
			}
			dbus_message_unref(message);
		}
		if (!dbus_connection_read_write(bus, 100))
			break;
	}
	Fail("Display connection lost.\n");
}

/* Runs the script source in KWin and returns what it handed back. */
static DBusMessage *RunScript(const char *source)
{
	const char *directory = getenv("XDG_RUNTIME_DIR");
	const char *path = script_path, *name = script_name;
	char object[64];
	dbus_int32_t id = -1;

	snprintf(script_path, sizeof script_path, "%s/vitrel-XXXXXX", directory != NULL && directory[0] != '\0' ? directory : "/tmp");
	snprintf(script_name, sizeof script_name, "vitrel-%ld", (long)getpid());
	/* mkstemp makes the file readable by its owner alone. */
	int fd = mkstemp(script_path);
	size_t length = strlen(source);
	if (fd < 0 || write(fd, source, length) != (ssize_t)length) {
		if (fd >= 0)
			unlink(script_path);
		script_path[0] = '\0';
		Fail("Display connection lost.\n");
	}
	close(fd);
	DBusMessage *reply = CallKWin("/Scripting", "org.kde.kwin.Scripting", "loadScript", DBUS_TYPE_STRING, &path,
		DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
	if (reply == NULL || !dbus_message_get_args(reply, NULL, DBUS_TYPE_INT32, &id, DBUS_TYPE_INVALID) || id < 0)
		Fail("Display connection lost.\n");
	dbus_message_unref(reply);
	/* A script's object is /ID on KWin 5, /Scripting/ScriptID on KWin 6. */
	snprintf(object, sizeof object, "/%d", (int)id);
	reply = CallKWin(object, "org.kde.kwin.Script", "run", DBUS_TYPE_INVALID);
	if (reply == NULL) {
		snprintf(object, sizeof object, "/Scripting/Script%d", (int)id);
		reply = CallKWin(object, "org.kde.kwin.Script", "run", DBUS_TYPE_INVALID);
	}
	if (reply == NULL)
		Fail("Display connection lost.\n");
	dbus_message_unref(reply);
	DBusMessage *answer = AwaitScript();
	UnloadScript();
	return answer;
}

static BOOL Connect(void)
{
	const char *wayland = getenv("WAYLAND_DISPLAY");

	if (wayland == NULL || wayland[0] == '\0' || getenv("DBUS_SESSION_BUS_ADDRESS") == NULL)
		return FALSE;
	PlugStandardDescriptors();
	bus = dbus_bus_get_private(DBUS_BUS_SESSION, NULL);
	if (bus == NULL)
		return FALSE;
	dbus_connection_set_exit_on_disconnect(bus, FALSE);
	if (!dbus_bus_name_has_owner(bus, "org.kde.KWin", NULL)) {
		dbus_connection_close(bus);
		dbus_connection_unref(bus);
		bus = NULL;
		return FALSE;
	}
	atexit(UnloadScript);
	return TRUE;
}

/* Returns the next string of the array (KWin hands them over as variants), or NULL at its end. */
static const char *NextText(DBusMessageIter *texts)
{
	DBusMessageIter variant;
	DBusMessageIter *item = texts;
	const char *text = "";

	if (dbus_message_iter_get_arg_type(texts) == DBUS_TYPE_INVALID)
		return NULL;
	if (dbus_message_iter_get_arg_type(texts) == DBUS_TYPE_VARIANT) {
		dbus_message_iter_recurse(texts, &variant);
		item = &variant;
	}
	if (dbus_message_iter_get_arg_type(item) == DBUS_TYPE_STRING)
		dbus_message_iter_get_basic(item, &text);
	dbus_message_iter_next(texts);
	return text;
}

static void SendChanges(void)
{
	if (changes_length == 0)
		return;
	snprintf(script, sizeof script, CHANGE_SCRIPT, changes, WINDOWS, dbus_bus_get_unique_name(bus));
	dbus_message_unref(RunScript(script));
	changes_length = 0;
}

static BOOL EnumKWinWindows(WNDENUMPROC callback, LPARAM context)
{
	DBusMessageIter arguments, texts;

	snprintf(script, sizeof script, LIST_SCRIPT, WINDOWS, dbus_bus_get_unique_name(bus));
	DBusMessage *listing = RunScript(script);
	if (dbus_message_iter_init(listing, &arguments) && dbus_message_iter_get_arg_type(&arguments) == DBUS_TYPE_ARRAY) {
		dbus_message_iter_recurse(&arguments, &texts);
		for (current_window = 1; current_window > 0; current_window++) {
			current_texts[0] = NextText(&texts);
			current_texts[1] = NextText(&texts);
			current_texts[2] = NextText(&texts);
			if (current_texts[2] == NULL || !callback(current_window, context))
				break;
		}
	}
	current_window = 0;
	dbus_message_unref(listing);
	SendChanges();
	return TRUE;
}

static int CurrentText(HWND window, int which, char *out, int capacity)
{
	const char *text = window == current_window && window != 0 ? current_texts[which] : "";

	return CopyText(out, capacity, text, (int)strlen(text));
}

static int GetKWinClassName(HWND window, char *class_name, int capacity)
{
	return CurrentText(window, 1, class_name, capacity);
}

static int GetKWinWindowText(HWND window, char *title, int capacity)
{
	return CurrentText(window, 2, title, capacity);
}

static BOOL SetKWinLayeredWindowAttributes(HWND window, COLORREF, BYTE alpha, DWORD flags)
{
	const char *id = window == current_window && window != 0 ? current_texts[0] : "";

	/* KWin's ids are braced UUIDs; anything else is never written into a script. */
	if ((flags & LWA_ALPHA) == 0 || id[0] == '\0' || strlen(id) >= ID_CAPACITY
	    || strspn(id, "{}-0123456789abcdefABCDEF") != strlen(id))
		return FALSE;
	if (changes_length + CHANGE_ROOM > CHANGES_CAPACITY)
		SendChanges();
	changes_length += snprintf(changes + changes_length, CHANGE_ROOM, "'%s': %.6f, ", id, alpha / 255.0);
	return TRUE;
}

const LinuxBackend kwin_backend = {
	"kwin", Connect, EnumKWinWindows, GetKWinClassName, GetKWinWindowText, NULL, NULL,
	SetKWinLayeredWindowAttributes,
};
