#include "window_text.h"

#include <string.h>

int Utf8CharacterLength(const char *text, size_t length)
{
	const unsigned char *bytes = (const unsigned char *)text;
	unsigned char lead = length > 0 ? bytes[0] : 0;
	size_t size = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
	/* The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF. */
	unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
	unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;

	if (length == 0 || size == 0)
		return 0;
	for (size_t i = 1; i < size; i++) {
		if (i >= length)
			return -1;
		if (bytes[i] < (i == 1 ? low : 0x80) || bytes[i] > (i == 1 ? high : 0xBF))
			return 0;
	}
	return (int)size;
}

int DropSplitCharacter(char *text, int length)
{
	int lead = length;

	while (lead > 0 && length - lead < 3 && ((unsigned char)text[lead - 1] & 0xC0) == 0x80)
		lead--;
	if (lead > 0 && Utf8CharacterLength(text + lead - 1, (size_t)(length - lead + 1)) < 0)
		length = lead - 1;
	text[length] = '\0';
	return length;
}

int CopyWindowText(char *buffer, const char *text, size_t length)
{
	const char *end = (const char *)memchr(text, '\0', length);
	size_t copied = end != NULL ? (size_t)(end - text) : length;

	if (copied > (size_t)WINDOW_TEXT_CAPACITY - 1)
		copied = WINDOW_TEXT_CAPACITY - 1;
	memcpy(buffer, text, copied);
	return DropSplitCharacter(buffer, (int)copied);
}
