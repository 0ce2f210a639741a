/*
 * The least a walk under Wayfire costs, for the benchmark to hold winlist and
 * vitrel against: one plain IPC call that lists the views, its reply read
 * whole and not parsed. Prints the reply's size; fails, as the tools do,
 * where Wayfire drops the connection before the whole reply.
 */
#include "linux_backends.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void)
{
	static char reply[16 << 20];
	char request[64];
	int connection = ConnectToSocket(getenv("WAYFIRE_SOCKET"));
	uint32_t length =
		(uint32_t)snprintf(request + 4, sizeof request - 4, "{\"method\":\"window-rules/list-views\",\"data\":{}}");

	memcpy(request, &length, 4);
	bool listed = connection >= 0 && TransferAll(connection, request, length + 4, true)
		&& TransferAll(connection, (char *)&length, 4, false) && length <= sizeof reply
		&& TransferAll(connection, reply, length, false);
	if (!listed) {
		fputs("wayfire_list: the list did not come whole\n", stderr);
		return 1;
	}
	printf("%u bytes\n", length);
	return 0;
}
