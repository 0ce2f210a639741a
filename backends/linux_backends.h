#ifndef LINUX_BACKENDS_H
#define LINUX_BACKENDS_H

/*
 * The window systems a Linux session may have, each a backend of its own,
 * which linux.cpp chooses among once; and what the backends that reach their
 * compositor the same way share: over the session bus, or a socket of JSON.
 */
#include "window_system.h"

#include <stddef.h>
#include <stdint.h>

typedef struct DBusConnection DBusConnection;
typedef struct json_object json_object;

struct LinuxBackend {
	/* What VITREL_WINDOW_SYSTEM calls it. */
	const char *name;
	/* Returns 1 once connected; 0, having left nothing open, where this session has no such window system. */
	int (*connect)(void);
	WindowSystem system;
};

extern const LinuxBackend x11_backend;
extern const LinuxBackend sway_backend;
extern const LinuxBackend wayfire_backend;
extern const LinuxBackend kwin_backend;
extern const LinuxBackend gnome_backend;

/*
 * A window system that answers no request within this is taken as hung: a
 * shell busy mapping some hundred windows answers in time, and a run still
 * ends well within 10 s.
 */
enum { REPLY_TIMEOUT_MS = 6000 };

/*
 * Returns a private connection to the session bus of a Wayland session, on
 * which name has an owner, whose unique name goes to owner; NULL, having left
 * nothing open, where there is none.
 */
DBusConnection *ConnectToOwner(const char *name, char *owner, size_t capacity);

/*
 * Returns a connection to the Unix socket at path, whose every send and
 * receive gives up after REPLY_TIMEOUT_MS; -1 where nothing listens there.
 */
int ConnectToSocket(const char *path);

/* Sends or receives all of length bytes; false where the connection failed first. */
bool TransferAll(int connection, char *data, size_t length, bool sending);

/* Receives a message of length bytes, parsed as it arrives; NULL where it is lost or no JSON. */
json_object *ReceiveJson(int connection, uint32_t length, int depth);

#endif
