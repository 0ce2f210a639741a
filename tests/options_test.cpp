/*
 * Argument reading in-process, built with the address and undefined-behaviour
 * sanitizers: the filter boundary and the alpha conversion are where an
 * overrun or an overflow would hide. Messages are checked byte for byte by the
 * tests that run the real program.
 */
#include <string.h>

#include <gtest/gtest.h>

#include "options.h"

namespace {

char value_1023[1024];
char value_1024[1025];

struct ParseCase {
	const char *args[8];
	int result;
	const char *class_filter;
	const char *name_filter;
	int alpha;
};

int Parse(const char *const *args)
{
	char *argv[10] = {const_cast<char *>("vitrel")};
	int argc = 1;

	for (; args[argc - 1] != nullptr; argc++)
		argv[argc] = const_cast<char *>(args[argc - 1]);
	ResetTargetSpec();
	return ParseOptions(argc, argv);
}

TEST(ParseOptions, ReadsArgumentsInPairs)
{
	memset(value_1023, 'v', 1023);
	memset(value_1024, 'v', 1024);

	const ParseCase cases[] = {
		{{"-class", "-name", nullptr}, 0, "-name", "", 192},
		{{"-class", "A", "-class", "B", nullptr}, 0, "B", "", 192},
		{{"-class", "Notepad", "-trans", nullptr}, 0, "Notepad", "", 192},
		{{"-name", "X", "-name", "", nullptr}, 0, "", "", 192},
		{{"-name", "X", "-trans", "abc", nullptr}, 0, "", "X", 0},
		{{"-trans", " 12px", "-name", "X", nullptr}, 0, "", "X", 12},
		{{"-trans", "\t\n+255", nullptr}, 0, "", "", 255},
		{{"-trans", "-0", nullptr}, 0, "", "", 0},
		{{"-trans", "0000000000000000000000000000042", nullptr}, 0, "", "", 42},
		{{"-name", value_1023, nullptr}, 0, "", value_1023, 192},
		{{"-name", "X", "extra", "-trans", "300", nullptr}, 1, "", "X", 192},
		{{"-CLASS", "X", nullptr}, 1, "", "", 192},
		{{"-class", "A", "-name", value_1024, nullptr}, 1, "A", "", 192},
		{{"-class", value_1024, "-name", "X", nullptr}, 1, "", "", 192},
	};
	for (const ParseCase &c : cases) {
		SCOPED_TRACE(testing::Message() << c.args[0] << " " << (c.args[1] ? c.args[1] : ""));
		EXPECT_EQ(Parse(c.args), c.result);
		EXPECT_STREQ(target_spec.class_filter, c.class_filter);
		EXPECT_STREQ(target_spec.name_filter, c.name_filter);
		EXPECT_EQ(target_spec.alpha, c.alpha);
	}
}

TEST(ParseOptionsDeathTest, EndsTheRunOnAlphaOutOfRange)
{
	const char *const values[] = {
		"256", "-1", "4294967424", "2147483648", "-2147483649", "99999999999999999999999999",
	};
	for (const char *value : values) {
		SCOPED_TRACE(value);
		const char *args[] = {"-name", "X", "-trans", value, "bogus", nullptr};
		EXPECT_EXIT(Parse(args), testing::ExitedWithCode(1), "^Bad transparency\n$");
	}
}

}
