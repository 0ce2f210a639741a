/*
 * The least a walk under Wayfire costs, for the benchmark to hold winlist and
 * vitrel against: one plain IPC call that lists the views, its reply read
 * whole and not parsed. Prints the reply's size; fails, as the tools do,
 * where Wayfire drops the connection before the whole reply.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static bool Transfer(int connection, char *data, size_t length, bool sending)
{
	while (length > 0) {
		ssize_t done = sending ? send(connection, data, length, MSG_NOSIGNAL) : recv(connection, data, length, 0);
		if (done <= 0)
			return false;
		data += done;
		length -= (size_t)done;
	}
	return true;
}

int main(void)
{
	static char reply[16 << 20];
	char request[64];
	const char *path = getenv("WAYFIRE_SOCKET");
	sockaddr_un address = {};
	uint32_t length;

	if (path == NULL || strlen(path) >= sizeof address.sun_path)
		return 2;
	address.sun_family = AF_UNIX;
	strcpy(address.sun_path, path);
	int connection = socket(AF_UNIX, SOCK_STREAM, 0);
	length = (uint32_t)snprintf(request + 4, sizeof request - 4, "{\"method\":\"window-rules/list-views\",\"data\":{}}");
	memcpy(request, &length, 4);
	bool listed = connect(connection, (sockaddr *)&address, sizeof address) == 0
		&& Transfer(connection, request, length + 4, true) && Transfer(connection, (char *)&length, 4, false)
		&& length <= sizeof reply && Transfer(connection, reply, length, false);
	if (!listed) {
		fputs("wayfire_list: the list did not come whole\n", stderr);
		return 1;
	}
	printf("%u bytes\n", length);
	return 0;
}
