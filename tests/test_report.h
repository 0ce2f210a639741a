#ifndef TEST_REPORT_H
#define TEST_REPORT_H

#include <stddef.h>

/* Prints one result line, "ok - what" or "FAILED - what: detail", and counts it. */
void Report(int ok, const char *what, const char *detail);
/* Prints "N passed, N failed" and returns the test program's exit status. */
int ReportSummary(void);
/* Writes bytes with everything but printable ASCII as \xNN, for failure details. */
void FormatBytes(char *out, size_t capacity, const char *text, size_t length);

#endif
