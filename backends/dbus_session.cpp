/*
 * What the backends that talk to a Wayland compositor over the session bus
 * (KWin, GNOME Shell) share: finding it there.
 */
#include "linux_backends.h"

#include <dbus/dbus.h>
#include <stdio.h>
#include <stdlib.h>

/* Returns false when the bus has no owner of the name. */
static bool FindOwner(DBusConnection *bus, const char *name, char *owner, size_t capacity)
{
	DBusMessage *call = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
		"GetNameOwner");
	DBusMessage *reply = NULL;
	const char *found = NULL;

	if (call != NULL && dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID))
		reply = dbus_connection_send_with_reply_and_block(bus, call, REPLY_TIMEOUT_MS, NULL);
	if (reply != NULL && dbus_message_get_args(reply, NULL, DBUS_TYPE_STRING, &found, DBUS_TYPE_INVALID))
		snprintf(owner, capacity, "%s", found);
	if (reply != NULL)
		dbus_message_unref(reply);
	if (call != NULL)
		dbus_message_unref(call);
	return found != NULL;
}

DBusConnection *ConnectToOwner(const char *name, char *owner, size_t capacity)
{
	const char *wayland = getenv("WAYLAND_DISPLAY");

	if (wayland == NULL || wayland[0] == '\0' || getenv("DBUS_SESSION_BUS_ADDRESS") == NULL)
		return NULL;
	DBusConnection *bus = dbus_bus_get_private(DBUS_BUS_SESSION, NULL);
	if (bus == NULL)
		return NULL;
	dbus_connection_set_exit_on_disconnect(bus, FALSE);
	if (!FindOwner(bus, name, owner, capacity)) {
		dbus_connection_close(bus);
		dbus_connection_unref(bus);
		return NULL;
	}
	return bus;
}
