/*
 * vitrel.exe run against real top-level windows: the test's own, on a thread
 * that keeps pumping messages, and Wine's notepad. Every case starts from
 * freshly created windows and checks status, exact stderr, empty stdout, and
 * each window's layered bit, alpha and other extended-style bits as user32
 * reports them.
 */
#include <stdio.h>
#include <string.h>

#include "win32_harness.h"

enum { AS_CREATED = -100 };
#define K AS_CREATED

static const char USAGE[] = "Usage:vitrel -class classname -name windowname -trans (0-255)\r\n";
static const char BAD_OPTION[] = "Bad option.\r\n";
static const char BAD_TRANS[] = "Bad transparency\r\n";
static const char NO_TARGET[] = "No target is specified.\r\n";

struct VitrelCase {
	const char *what;
	const char *args[8];
	DWORD status;
	const char *err;
	/* KIWI_REPORT, KIWI_RICHEDIT, KIWI_HIDDEN, EMPTY_TITLE, LONG_TITLE, PRE_LAYERED, NOTEPAD */
	int alpha[TEST_WINDOW_COUNT];
};

static const VitrelCase cases[] = {
	{"no arguments", {NULL}, 1, USAGE, {K, K, K, K, K, K, K}},
	{"a lone option", {"-class", NULL}, 1, USAGE, {K, K, K, K, K, K, K}},
	{"a lone word", {"Kiwi", NULL}, 1, USAGE, {K, K, K, K, K, K, K}},
	{"alpha without a filter", {"-trans", "100", NULL}, 1, NO_TARGET, {K, K, K, K, K, K, K}},
	{"empty filters", {"-class", "", "-name", "", NULL}, 1, NO_TARGET, {K, K, K, K, K, K, K}},
	{"a later empty value empties the filter", {"-name", "Kiwi", "-name", "", NULL}, 1, NO_TARGET,
		{K, K, K, K, K, K, K}},
	{"alpha 256", {"-name", "Kiwi", "-trans", "256", NULL}, 1, BAD_TRANS, {K, K, K, K, K, K, K}},
	{"alpha -1", {"-name", "Kiwi", "-trans", "-1", NULL}, 1, BAD_TRANS, {K, K, K, K, K, K, K}},
	{"alpha that would wrap to 128", {"-name", "Kiwi", "-trans", "4294967424", NULL}, 1, BAD_TRANS,
		{K, K, K, K, K, K, K}},
	{"alpha of twenty digits", {"-name", "Kiwi", "-trans", "-99999999999999999999", NULL}, 1, BAD_TRANS,
		{K, K, K, K, K, K, K}},
	{"options are case-sensitive", {"-CLASS", "VtKiwiFrame", "-name", "Kiwi", NULL}, 1, BAD_OPTION,
		{K, K, K, K, K, K, K}},
	{"a word in option position", {"-name", "Kiwi", "extra", NULL}, 1, BAD_OPTION, {K, K, K, K, K, K, K}},
	{"the word after an option is its value", {"-class", "-name", "Kiwi", NULL}, 1, BAD_OPTION,
		{K, K, K, K, K, K, K}},
	{"first error wins: transparency", {"-trans", "300", "bogus", NULL}, 1, BAD_TRANS, {K, K, K, K, K, K, K}},
	{"first error wins: option", {"bogus", "-trans", "300", NULL}, 1, BAD_OPTION, {K, K, K, K, K, K, K}},
	{"a title filter of 1024 bytes", {"-name", l_1024, NULL}, 1, "Value of -name is too long.\r\n",
		{K, K, K, K, K, K, K}},
	{"a class filter of 1024 bytes", {"-class", l_1024, "-name", "Kiwi", NULL}, 1,
		"Value of -class is too long.\r\n", {K, K, K, K, K, K, K}},

	{"every title match, hidden and layered ones too", {"-name", "Kiwi", "-trans", "128", NULL}, 0, "",
		{128, 128, 128, K, K, 128, K}},
	{"titles match case-sensitively", {"-name", "kiwi", "-trans", "128", NULL}, 0, "", {K, K, K, K, K, K, K}},
	{"a class matches anywhere inside", {"-class", "Edit", "-trans", "10", NULL}, 0, "",
		{K, 10, K, K, K, K, K}},
	{"classes match case-sensitively", {"-class", "edit", "-trans", "10", NULL}, 0, "", {K, K, K, K, K, K, K}},
	{"both filters must match", {"-class", "KiwiFrame", "-name", "Report", "-trans", "0", NULL}, 0, "",
		{0, K, K, K, K, K, K}},
	{"an empty title is never matched", {"-class", "VtEmptyTitle", NULL}, 0, "", {K, K, K, K, K, K, K}},
	{"-trans without a value keeps 192", {"-class", "VtKiwiFrame", "-trans", NULL}, 0, "",
		{192, K, 192, K, K, K, K}},
	{"a trailing option is ignored", {"-name", "Kiwi", "-trans", "12", "-class", NULL}, 0, "",
		{12, 12, 12, K, K, 12, K}},
	{"the last value wins; letters are 0", {"-class", "A", "-class", "VtPreLayered", "-trans", "abc", NULL}, 0,
		"", {K, K, K, K, K, 0, K}},
	{"leading space and trailing letters", {"-name", "Kiwi notes", "-trans", " 12px", NULL}, 0, "",
		{K, 12, K, K, K, K, K}},
	{"a plus sign and quotes in a filter", {"-trans", "+200", "-name", "\"quoted\"", NULL}, 0, "",
		{K, 200, K, K, K, K, K}},
	{"alpha -0", {"-trans", "-0", "-name", "Report", NULL}, 0, "", {0, K, K, K, K, K, K}},
	{"255 makes a layered window opaque", {"-class", "VtPreLayered", "-trans", "255", NULL}, 0, "",
		{K, K, K, K, K, 255, K}},
	{"a filter of 1023 bytes matches the cut title", {"-name", l_1023, NULL}, 0, "", {K, K, K, K, 192, K, K}},
	{"a title is matched only up to 1023 bytes", {"-name", "LT", NULL}, 0, "", {K, K, K, K, K, K, K}},
	{"a third party's window", {"-name", "Untitled - Notepad", "-trans", "128", NULL}, 0, "",
		{K, K, K, K, K, K, 128}},
	{"Note is not note", {"-name", "Note", "-trans", "50", NULL}, 0, "", {K, K, K, K, K, K, 50}},
	{"note is not Note", {"-name", "note", "-trans", "60", NULL}, 0, "", {K, 60, K, K, K, K, K}},
};

static int ExpectedAlpha(const VitrelCase *c, int window)
{
	if (c->alpha[window] != AS_CREATED)
		return c->alpha[window];
	return window == PRE_LAYERED ? PRE_LAYERED_ALPHA : NOT_LAYERED;
}

static void CheckCase(const VitrelCase *c)
{
	static ChildRun run;
	char detail[1024];
	char got[512];
	char want[512];

	if (StartTestWindows() != 0) {
		Report(0, c->what, "test windows not created");
		return;
	}
	LONG styles_before[TEST_WINDOW_COUNT];
	for (int window = 0; window < TEST_WINDOW_COUNT; window++)
		styles_before[window] = GetWindowLongA(test_windows[window], GWL_EXSTYLE);
	if (RunSibling("vitrel.exe", c->args, NULL, &run) != 0) {
		StopTestWindows();
		Report(0, c->what, "vitrel.exe did not run");
		return;
	}

	int ok = 1;
	detail[0] = '\0';
	if (run.status != c->status) {
		ok = 0;
		snprintf(detail, sizeof detail, "status %lu, want %lu", run.status, c->status);
	} else if (run.err_length != strlen(c->err) || memcmp(run.err, c->err, run.err_length) != 0) {
		ok = 0;
		FormatBytes(got, sizeof got, run.err, run.err_length);
		FormatBytes(want, sizeof want, c->err, strlen(c->err));
		snprintf(detail, sizeof detail, "stderr \"%s\", want \"%s\"", got, want);
	} else if (run.out_length != 0) {
		ok = 0;
		FormatBytes(got, sizeof got, run.out, run.out_length);
		snprintf(detail, sizeof detail, "stdout \"%s\", want nothing", got);
	}
	for (int window = 0; ok && window < TEST_WINDOW_COUNT; window++) {
		int state = ReadAlphaState(test_windows[window]);
		if (state != ExpectedAlpha(c, window)) {
			ok = 0;
			snprintf(detail, sizeof detail, "window %d has alpha state %d, want %d", window, state,
				ExpectedAlpha(c, window));
		}
		LONG others_before = styles_before[window] & ~WS_EX_LAYERED;
		LONG others_after = GetWindowLongA(test_windows[window], GWL_EXSTYLE) & ~WS_EX_LAYERED;
		if (ok && others_after != others_before) {
			ok = 0;
			snprintf(detail, sizeof detail, "window %d extended style %#lx became %#lx", window,
				(unsigned long)others_before, (unsigned long)others_after);
		}
	}
	StopTestWindows();
	Report(ok, c->what, detail);
}

int main(void)
{
	for (const VitrelCase &c : cases)
		CheckCase(&c);
	StopNotepad();
	return ReportSummary();
}
