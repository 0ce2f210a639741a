#ifndef WINDOW_TEXT_H
#define WINDOW_TEXT_H

#include <stddef.h>

/* Room for every class name, title and filter: 1023 bytes and the NUL. */
constexpr int WINDOW_TEXT_CAPACITY = 1024;

/*
 * Returns the length of the valid UTF-8 character that starts text, which
 * has length bytes; 0 where none starts there, and -1 where the bytes end
 * inside one that would be valid. Overlong forms, surrogates and code points
 * past U+10FFFF are no characters.
 */
int Utf8CharacterLength(const char *text, size_t length);

/*
 * A text cut at the end of its buffer may end inside a character: in UTF-8
 * that tail is dropped. Returns the length left.
 */
int DropSplitCharacter(char *text, int length);

/*
 * Copies text, up to its first NUL, into a buffer of WINDOW_TEXT_CAPACITY
 * bytes, cut without splitting a UTF-8 character; returns the length copied.
 */
int CopyWindowText(char *buffer, const char *text, size_t length);

#endif
