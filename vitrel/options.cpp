#include "options.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

TargetSpec target_spec;

void ResetTargetSpec(void)
{
	target_spec.class_filter[0] = '\0';
	target_spec.name_filter[0] = '\0';
	target_spec.alpha = DEFAULT_ALPHA;
}

/* Returns 1, copying nothing, when value does not fit a filter. */
static int CopyFilter(char *filter, const char *value)
{
	size_t length = strlen(value);

	if (length >= (size_t)WINDOW_TEXT_CAPACITY)
		return 1;
	memcpy(filter, value, length + 1);
	return 0;
}

/*
 * Reads a number the way atoi does, except that digits beyond the alpha
 * range saturate instead of overflowing: 4294967424 must not wrap to 128.
 */
static int ParseAlpha(const char *text)
{
	int sign = 1;
	int magnitude = 0;

	while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
		text++;
	if (*text == '+' || *text == '-') {
		if (*text == '-')
			sign = -1;
		text++;
	}
	for (; *text >= '0' && *text <= '9'; text++) {
		magnitude = magnitude * 10 + (*text - '0');
		if (magnitude > 255)
			magnitude = 256;
	}
	return sign * magnitude;
}

int ParseOptions(int argc, char **argv)
{
	for (int i = 1; i < argc; i += 2) {
		const char *value = i + 1 < argc ? argv[i + 1] : NULL;

		if (strcmp(argv[i], "-class") == 0 || strcmp(argv[i], "-name") == 0) {
			char *filter = argv[i][1] == 'c' ? target_spec.class_filter : target_spec.name_filter;
			if (value != NULL && CopyFilter(filter, value) != 0) {
				fprintf(stderr, "Value of %s is too long.\n", argv[i]);
				return 1;
			}
		} else if (strcmp(argv[i], "-trans") == 0) {
			if (value == NULL)
				continue;
			target_spec.alpha = ParseAlpha(value);
			if (target_spec.alpha < 0 || target_spec.alpha > 255) {
				fputs("Bad transparency\n", stderr);
				exit(1);
			}
		} else {
			fputs("Bad option.\n", stderr);
			return 1;
		}
	}
	return 0;
}
