#ifndef X11_TEXT_H
#define X11_TEXT_H

/*
 * Reading X11 windows' texts as UTF-8, for every backend that meets X
 * clients: a connection to the X server of DISPLAY, and each text property
 * copied into a text buffer.
 */
#include <xcb/xcb.h>

/*
 * Connects to the X server of DISPLAY, saying nothing on standard error;
 * returns NULL, with nothing left open, where it cannot be reached or has
 * no screen of the number DISPLAY names.
 */
xcb_connection_t *ConnectToDisplay(void);

xcb_get_property_cookie_t RequestText(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property);

/*
 * Copies a text property into a buffer of WINDOW_TEXT_CAPACITY bytes as
 * UTF-8, whichever encoding the client chose; returns its length, or -1
 * where the window has no such property.
 */
int CopyText(char *buffer, xcb_get_property_reply_t *reply, xcb_atom_t compound_text);

/* Copies a WM_CLASS, "instance\0class\0", as "instance.class"; returns -1 where the window has none. */
int CopyClassName(char *buffer, xcb_get_property_reply_t *reply);

#endif
