/*
 * What the backends whose compositor answers JSON on a Unix socket (sway,
 * Wayfire) share: reaching the socket, and moving whole messages.
 */
#include "linux_backends.h"

#include <json-c/json.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

int ConnectToSocket(const char *path)
{
	sockaddr_un address = {};

	if (path == NULL || strlen(path) == 0 || strlen(path) >= sizeof address.sun_path)
		return -1;
	address.sun_family = AF_UNIX;
	memcpy(address.sun_path, path, strlen(path) + 1);
	int connection = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (connection < 0)
		return -1;
	/* A stopped or hung compositor still accepts: a reply that does not come is a lost connection. */
	timeval timeout = {REPLY_TIMEOUT_MS / 1000, 0};
	setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
	setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
	if (connect(connection, (sockaddr *)&address, sizeof address) == 0)
		return connection;
	close(connection);
	return -1;
}

bool TransferAll(int connection, char *data, size_t length, bool sending)
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

json_object *ReceiveJson(int connection, uint32_t length, int depth)
{
	char piece[4096];
	json_object *reply = NULL;
	json_tokener *tokener = json_tokener_new_ex(depth);
	bool received = tokener != NULL;

	for (uint32_t piece_length; received && length > 0; length -= piece_length) {
		piece_length = length < sizeof piece ? length : (uint32_t)sizeof piece;
		received = TransferAll(connection, piece, piece_length, false);
		if (received)
			reply = json_tokener_parse_ex(tokener, piece, (int)piece_length);
	}
	if (tokener != NULL)
		json_tokener_free(tokener);
	if (received && reply != NULL)
		return reply;
	json_object_put(reply);
	return NULL;
}
