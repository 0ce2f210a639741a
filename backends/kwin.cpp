/*
 * KDE Plasma's Wayland session, through KWin's scripting over D-Bus.
 *
 * KWin runs scripts of the tool's own: the first lists the windows, topmost
 * first where KWin tells its stacking, and hands each one's id, class name
 * and title back to the tool's connection by callDBus; after the walk a
 * second carries the ids of the windows to change and their alphas, and
 * nothing else: no text of a window or of the command line is ever part of a
 * script. The windows are those KWin manages, but for popups, panels and the
 * desktop. The class name is a Wayland window's app_id, and an X11 window's
 * "instance.class" (which KWin 5 lower-cases). A script's file is private and
 * removed again, and the script is unloaded even when the tool fails or is
 * stopped midway.
 */
#include "linux_backends.h"

#include <dbus/dbus.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

enum {
	/* Some 1,500 windows' changes to a script; more go in further ones. */
	CHANGES_CAPACITY = 65536,
	CHANGE_ROOM = 80,
	ID_CAPACITY = 48,
	/*
	 * KWin answers run() once the script has run, after its callDBus; a
	 * script that has not called back this long after is taken as not ours.
	 */
	CALLBACK_GRACE_MS = 200,
	/* Other programs' scripts can hold the objects of several ids in a row. */
	LOAD_ATTEMPTS = 5,
};

/*
 * KWin 6 stacks its windows bottom first; KWin 5's scripts know no stacking
 * and list them oldest first. KWin 6 has no windowId, and tells an X11 window
 * only by its C++ class.
 */
static const char LIST_SCRIPT[] =
	"try {\n"
	"\tvar windows = workspace.stackingOrder ? Array.prototype.slice.call(workspace.stackingOrder).reverse()\n"
	"\t\t: workspace.clientList(), texts = [];\n"
	"\tfor (var i = 0; i < windows.length; i++) {\n"
	"\t\tvar w = windows[i];\n"
	"\t\tif (!w.managed || w.deleted || w.popupWindow || w.desktopWindow || w.dock)\n"
	"\t\t\tcontinue;\n"
	"\t\tvar x11 = w.windowId !== undefined ? w.windowId != 0 : /X11Window/.test(String(w));\n"
	"\t\ttexts.push(w.internalId.toString(), x11 ? w.resourceName + '.' + w.resourceClass : w.resourceClass,\n"
	"\t\t\tw.caption);\n"
	"\t}\n"
	"\tcallDBus('%s', '/', 'org.vitrel.Walk', 'Done', '%s', texts);\n"
	"} catch (error) {\n"
	"\tcallDBus('%s', '/', 'org.vitrel.Walk', 'Failed', '%s');\n"
	"}\n";

static const char CHANGE_SCRIPT[] =
	"try {\n"
	"\tvar alphas = {%s}, windows = (workspace.windowList || workspace.clientList).call(workspace);\n"
	"\tfor (var i = 0; i < windows.length; i++) {\n"
	"\t\tvar alpha = alphas[windows[i].internalId.toString()];\n"
	"\t\tif (alpha !== undefined)\n"
	"\t\t\twindows[i].opacity = alpha;\n"
	"\t}\n"
	"\tcallDBus('%s', '/', 'org.vitrel.Walk', 'Done', '%s');\n"
	"} catch (error) {\n"
	"\tcallDBus('%s', '/', 'org.vitrel.Walk', 'Failed', '%s');\n"
	"}\n";

/* A script's object: KWin 6's path first, then KWin 5's; the one that answers is kept. */
static const char *const script_objects[] = {"/Scripting/Script%d", "/%d"};

static DBusConnection *bus;
/* KWin's unique name on the bus: only its calls are taken as a script's. */
static char kwin_name[256];
/* The value of the script being run, in its names and in every answer it sends. */
static char token[33];
static bool script_failed;
/* The file of the script being run; empty when none is. */
static char script_path[4096];
/* The names of the scripts loaded now: one per attempt. */
static char script_names[LOAD_ATTEMPTS][64];
static char script[sizeof CHANGE_SCRIPT + CHANGES_CAPACITY + 512];
/* The alphas set during the walk, sent at its end or when there is no more room. */
static char changes[CHANGES_CAPACITY];
static int changes_length;
/* Whether KWin failed a script of the walk, or stopped answering. */
static bool kwin_lost;
static sigset_t stop_signals;

/* A window of the listing: its entry, and KWin's id of it. */
struct KWinWindow {
	WindowEntry entry;
	const char *id;
};

/* Returns KWin's reply to a call, or NULL when it failed, saying why in error where that is not NULL. */
static DBusMessage *CallKWin(DBusError *error, const char *path, const char *interface, const char *method,
	int first_type, ...)
{
	DBusMessage *call = dbus_message_new_method_call("org.kde.KWin", path, interface, method);
	DBusMessage *reply = NULL;
	va_list arguments;

	va_start(arguments, first_type);
	if (call != NULL && dbus_message_append_args_valist(call, first_type, arguments))
		reply = dbus_connection_send_with_reply_and_block(bus, call, REPLY_TIMEOUT_MS, error);
	va_end(arguments);
	if (call != NULL)
		dbus_message_unref(call);
	return reply;
}

/*
 * Unloads every script of the run and removes its file. The calls are not
 * waited for, so that a hung KWin still unloads them when it wakes.
 */
static void UnloadScripts(void)
{
	for (char *name : script_names) {
		DBusMessage *call = dbus_message_new_method_call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
			"unloadScript");
		const char *loaded = name;
		if (name[0] != '\0' && call != NULL && dbus_message_append_args(call, DBUS_TYPE_STRING, &loaded,
			DBUS_TYPE_INVALID))
			dbus_connection_send(bus, call, NULL);
		if (call != NULL)
			dbus_message_unref(call);
		name[0] = '\0';
	}
	if (bus != NULL)
		dbus_connection_flush(bus);
	if (script_path[0] != '\0')
		unlink(script_path);
	script_path[0] = '\0';
}

static bool StopAsked(void)
{
	sigset_t pending;

	sigpending(&pending);
	return sigismember(&pending, SIGINT) || sigismember(&pending, SIGTERM) || sigismember(&pending, SIGHUP);
}

/* A stop asked for while a script ran takes effect once it is unloaded. */
static void LetStopSignalsIn(void)
{
	if (StopAsked())
		UnloadScripts();
	sigprocmask(SIG_UNBLOCK, &stop_signals, NULL);
}

/* Returns the next string of an array or message (KWin may wrap each in a variant), or NULL at its end. */
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

/* Returns whether the message is this run's script calling back with method. */
static bool IsOwnAnswer(DBusMessage *message, const char *method)
{
	DBusMessageIter arguments;
	const char *sender = dbus_message_get_sender(message);
	const char *value;

	if (!dbus_message_is_method_call(message, "org.vitrel.Walk", method) || sender == NULL
	    || strcmp(sender, kwin_name) != 0 || !dbus_message_iter_init(message, &arguments))
		return false;
	value = NextText(&arguments);
	return value != NULL && strcmp(value, token) == 0;
}

/*
 * Waits for the script's callDBus, answers it, and returns its message; NULL
 * when the script failed, which script_failed then says, or did not call back
 * in time.
 */
static DBusMessage *AwaitScript(void)
{
	for (int waited = 0; waited <= CALLBACK_GRACE_MS; waited += 50) {
		for (DBusMessage *message; (message = dbus_connection_pop_message(bus)) != NULL;) {
			bool done = IsOwnAnswer(message, "Done");
			if (done || IsOwnAnswer(message, "Failed")) {
				DBusMessage *reply = dbus_message_new_method_return(message);
				if (reply != NULL) {
					dbus_connection_send(bus, reply, NULL);
					dbus_message_unref(reply);
				}
				if (done)
					return message;
				dbus_message_unref(message);
				script_failed = true;
				return NULL;
			}
			dbus_message_unref(message);
		}
		if (StopAsked())
			LetStopSignalsIn();
		if (!dbus_connection_read_write(bus, 50))
			return NULL;
	}
	return NULL;
}

/* The folder the variable names, or /tmp when it names none. */
static const char *FolderOf(const char *variable)
{
	const char *folder = getenv(variable);

	return folder != NULL && folder[0] != '\0' ? folder : "/tmp";
}

/* Writes the script into a private file of the runtime folder, or of the temporary one where that cannot take it. */
static bool WriteScript(const char *source)
{
	const char *folders[] = {FolderOf("XDG_RUNTIME_DIR"), FolderOf("TMPDIR")};
	size_t length = strlen(source);

	for (const char *folder : folders) {
		snprintf(script_path, sizeof script_path, "%s/vitrel-XXXXXX", folder);
		/* mkstemp makes the file readable by its owner alone. */
		int fd = mkstemp(script_path);
		if (fd < 0)
			continue;
		bool written = write(fd, source, length) == (ssize_t)length;
		close(fd);
		if (written)
			return true;
		unlink(script_path);
	}
	script_path[0] = '\0';
	return false;
}

enum RunOutcome { NOT_LOADED, NOT_RUN, RUN };

/*
 * Loads the script file under a new name and runs it. RUN may have run
 * another script, whose object held the path; NOT_RUN found no object.
 */
static RunOutcome LoadAndRun(int attempt)
{
	static int object = 0, loads = 0;
	const char *path = script_path, *name = script_names[attempt];
	char object_path[64];
	dbus_int32_t id = -1;

	/* KWin frees an unloaded script's name only later: every load takes a new one. */
	snprintf(script_names[attempt], sizeof script_names[attempt], "vitrel-%s-%d", token, loads++);
	DBusMessage *reply = CallKWin(NULL, "/Scripting", "org.kde.kwin.Scripting", "loadScript", DBUS_TYPE_STRING, &path,
		DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
	/* A call that timed out may still load the script: its name stays, to be unloaded. */
	if (reply != NULL) {
		dbus_message_get_args(reply, NULL, DBUS_TYPE_INT32, &id, DBUS_TYPE_INVALID);
		dbus_message_unref(reply);
	}
	if (id < 0)
		return NOT_LOADED;
	/* Any answer but an unknown object may be another script's: the callback tells. */
	for (int tried = 0; tried < 2; tried++, object = !object) {
		DBusError error;
		dbus_error_init(&error);
		snprintf(object_path, sizeof object_path, script_objects[object], (int)id);
		reply = CallKWin(&error, object_path, "org.kde.kwin.Script", "run", DBUS_TYPE_INVALID);
		bool unknown = dbus_error_has_name(&error, DBUS_ERROR_UNKNOWN_OBJECT);
		dbus_error_free(&error);
		if (reply != NULL)
			dbus_message_unref(reply);
		if (!unknown)
			return RUN;
	}
	return NOT_RUN;
}

/*
 * Runs the script source in KWin and returns what it handed back, or NULL
 * where KWin failed it or did not answer. Another
 * program's script can hold the object of the id KWin gives a new one; the
 * script is then loaded once more, under another id.
 */
static DBusMessage *RunScript(const char *source)
{
	DBusMessage *answer = NULL;

	sigprocmask(SIG_BLOCK, &stop_signals, NULL);
	if (WriteScript(source)) {
		for (int attempt = 0; answer == NULL && !script_failed && attempt < LOAD_ATTEMPTS; attempt++) {
			RunOutcome outcome = LoadAndRun(attempt);
			if (outcome == NOT_LOADED)
				break;
			answer = outcome == RUN ? AwaitScript() : NULL;
		}
	}
	UnloadScripts();
	LetStopSignalsIn();
	kwin_lost = kwin_lost || answer == NULL;
	return answer;
}

static int Connect(void)
{
	bus = ConnectToOwner("org.kde.KWin", kwin_name, sizeof kwin_name);
	sigemptyset(&stop_signals);
	sigaddset(&stop_signals, SIGINT);
	sigaddset(&stop_signals, SIGTERM);
	sigaddset(&stop_signals, SIGHUP);
	return bus != NULL;
}

/* Each script has a value of its own, so that no run, and no earlier script, can pass for it. */
static void NewToken(void)
{
	static int scripts = 0;
	unsigned char random[(sizeof token - 1) / 2];

	/* Without the kernel's randomness, the process id, clock and count still set scripts apart. */
	if (getrandom(random, sizeof random, 0) != (ssize_t)sizeof random)
		snprintf((char *)random, sizeof random, "%ld%ld%d", (long)getpid(), (long)time(NULL), scripts);
	scripts++;
	for (size_t i = 0; i < sizeof random; i++)
		snprintf(token + 2 * i, 3, "%02x", random[i]);
}

static void SendChanges(void)
{
	const char *name = dbus_bus_get_unique_name(bus);

	if (changes_length == 0)
		return;
	NewToken();
	snprintf(script, sizeof script, CHANGE_SCRIPT, changes, name, token, name, token);
	DBusMessage *answer = RunScript(script);
	if (answer != NULL)
		dbus_message_unref(answer);
	changes_length = 0;
}

static WalkResult Walk(WindowVisit visit)
{
	DBusMessageIter arguments, texts;
	const char *name = dbus_bus_get_unique_name(bus);
	KWinWindow window;

	NewToken();
	snprintf(script, sizeof script, LIST_SCRIPT, name, token, name, token);
	DBusMessage *listing = RunScript(script);
	if (listing == NULL)
		return WALK_LOST;
	/* The token comes first, then each window's id, class name and title. */
	if (dbus_message_iter_init(listing, &arguments) && dbus_message_iter_next(&arguments)
	    && dbus_message_iter_get_arg_type(&arguments) == DBUS_TYPE_ARRAY) {
		dbus_message_iter_recurse(&arguments, &texts);
		for (uint64_t listed = 1;; listed++) {
			const char *class_name, *title;
			window.id = NextText(&texts);
			class_name = NextText(&texts);
			title = NextText(&texts);
			if (title == NULL)
				break;
			window.entry.handle = listed;
			CopyWindowText(window.entry.class_name, class_name, strlen(class_name));
			CopyWindowText(window.entry.title, title, strlen(title));
			visit(&window.entry);
		}
	}
	dbus_message_unref(listing);
	SendChanges();
	return kwin_lost ? WALK_LOST : WALK_DONE;
}

static void SetAlpha(const WindowEntry *entry, unsigned char alpha)
{
	const char *id = reinterpret_cast<const KWinWindow *>(entry)->id;

	/* KWin's ids are braced UUIDs; anything else is never written into a script. */
	if (id[0] == '\0' || strlen(id) >= ID_CAPACITY || strspn(id, "{}-0123456789abcdefABCDEF") != strlen(id))
		return;
	if (changes_length + CHANGE_ROOM > CHANGES_CAPACITY)
		SendChanges();
	changes_length += snprintf(changes + changes_length, CHANGE_ROOM, "'%s': %.6f, ", id, alpha / 255.0);
}

const LinuxBackend kwin_backend = {"kwin", Connect, {Walk, SetAlpha}};
