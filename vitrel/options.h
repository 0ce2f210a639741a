#ifndef OPTIONS_H
#define OPTIONS_H

#include "window_text.h"

constexpr int DEFAULT_ALPHA = 192;

/* What one run of vitrel changes: an empty filter sets no condition. */
struct TargetSpec {
	char class_filter[WINDOW_TEXT_CAPACITY];
	char name_filter[WINDOW_TEXT_CAPACITY];
	int alpha;
};

extern TargetSpec target_spec;

void ResetTargetSpec(void);

/*
 * Fills target_spec from the arguments, read in option-value pairs.
 * Returns 0 when all were accepted, 1 after writing why one was not.
 * An out-of-range -trans value ends the process with status 1.
 */
int ParseOptions(int argc, char **argv);

#endif
