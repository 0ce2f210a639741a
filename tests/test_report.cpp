#include "test_report.h"

#include <stdio.h>

static int passed, failed;

void Report(int ok, const char *what, const char *detail)
{
	if (ok) {
		passed++;
		printf("ok - %s\n", what);
	} else {
		failed++;
		printf("FAILED - %s: %s\n", what, detail);
	}
	fflush(stdout);
}

int ReportSummary(void)
{
	printf("%d passed, %d failed\n", passed, failed);
	return failed == 0 && passed > 0 ? 0 : 1;
}

void FormatBytes(char *out, size_t capacity, const char *text, size_t length)
{
	size_t used = 0;

	for (size_t i = 0; i < length && used + 5 < capacity; i++) {
		unsigned char byte = (unsigned char)text[i];
		if (byte >= 0x20 && byte < 0x7f && byte != '\\')
			out[used++] = (char)byte;
		else
			used += (size_t)snprintf(out + used, capacity - used, "\\x%02x", byte);
	}
	out[used] = '\0';
}
