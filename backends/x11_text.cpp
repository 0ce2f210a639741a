/*
 * X11 texts as UTF-8. Toolkits often write UTF-8 as STRING all the same,
 * WM_CLASS above all, so only a STRING that is not UTF-8 is read as the
 * Latin-1 ICCCM says it is; COMPOUND_TEXT is converted by Xlib, the one
 * library that knows how.
 */
#include "x11_text.h"
#include "window_text.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

/* A text of 1023 bytes and the byte after it, to tell whether the cut splits a character. */
enum { TEXT_FETCH_LONGS = 256 };

/* Xlib's, opened only to convert a COMPOUND_TEXT title. */
static Display *text_display;

xcb_connection_t *ConnectToDisplay(void)
{
	/* Given somewhere to put the screen's number, xcb refuses a screen the server lacks. */
	int screen = 0;

	/* xcb writes a server's reason for refusing a client to standard error: the tools say one line of their own. */
	int error_output = dup(STDERR_FILENO), quiet = open("/dev/null", O_WRONLY);
	if (error_output >= 0 && quiet >= 0)
		dup2(quiet, STDERR_FILENO);
	xcb_connection_t *connection = xcb_connect(NULL, &screen);
	if (error_output >= 0) {
		dup2(error_output, STDERR_FILENO);
		close(error_output);
	}
	if (quiet >= 0)
		close(quiet);
	if (!xcb_connection_has_error(connection))
		return connection;
	xcb_disconnect(connection);
	return NULL;
}

xcb_get_property_cookie_t RequestText(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property)
{
	return xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, TEXT_FETCH_LONGS);
}

/* Returns whether the bytes read as UTF-8; one cut short by the end of the fetch (cut) may end inside a character. */
static bool IsUtf8(const char *text, int length, bool cut)
{
	for (int i = 0; i < length && text[i] != '\0';) {
		int size = Utf8CharacterLength(text + i, (size_t)(length - i));
		if (size < 0)
			return cut;
		if (size == 0)
			return false;
		i += size;
	}
	return true;
}

/* ICCCM's STRING is Latin-1: copies it as UTF-8, cut the same way. */
static int CopyLatin1(char *buffer, const char *text, int length)
{
	int copied = 0;

	for (int i = 0; i < length && text[i] != '\0'; i++) {
		unsigned char byte = (unsigned char)text[i];
		if (copied + 1 + (byte >= 0x80) > WINDOW_TEXT_CAPACITY - 1)
			break;
		if (byte >= 0x80) {
			buffer[copied++] = (char)(0xC0 | byte >> 6);
			byte = (unsigned char)(0x80 | (byte & 0x3F));
		}
		buffer[copied++] = (char)byte;
	}
	buffer[copied] = '\0';
	return copied;
}

static int CopyCompoundText(char *buffer, const char *value, int length, xcb_atom_t compound_text)
{
	XTextProperty property = {(unsigned char *)value, compound_text, 8, (unsigned long)length};
	char **list = NULL;
	int count = 0;

	if (text_display == NULL)
		text_display = XOpenDisplay(NULL);
	if (text_display == NULL || Xutf8TextPropertyToTextList(text_display, &property, &list, &count) < Success)
		count = 0;
	length = count > 0 ? CopyWindowText(buffer, list[0], strlen(list[0])) : CopyWindowText(buffer, "", 0);
	if (list != NULL)
		XFreeStringList(list);
	return length;
}

int CopyText(char *buffer, xcb_get_property_reply_t *reply, xcb_atom_t compound_text)
{
	if (reply == NULL || reply->type == XCB_ATOM_NONE)
		return -1;
	const char *value = (const char *)xcb_get_property_value(reply);
	int length = xcb_get_property_value_length(reply);
	if (reply->type == XCB_ATOM_STRING && !IsUtf8(value, length, reply->bytes_after > 0))
		return CopyLatin1(buffer, value, length);
	if (reply->type == compound_text && compound_text != XCB_ATOM_NONE)
		return CopyCompoundText(buffer, value, length, compound_text);
	return CopyWindowText(buffer, value, (size_t)length);
}

int CopyClassName(char *buffer, xcb_get_property_reply_t *reply)
{
	if (reply == NULL || reply->type == XCB_ATOM_NONE)
		return -1;
	char *value = (char *)xcb_get_property_value(reply);
	int value_length = xcb_get_property_value_length(reply);
	char *separator = (char *)memchr(value, '\0', (size_t)value_length);
	if (separator != NULL && separator + 1 < value + value_length && separator[1] != '\0')
		*separator = '.';
	return CopyText(buffer, reply, XCB_ATOM_NONE);
}
