#include <stdio.h>

#include "options.h"
#include "translucency.h"
#include "window_walk.h"

int main(int argc, char **argv)
{
	ResetTargetSpec();
	if (argc < 3) {
		fputs("Usage:vitrel -class classname -name windowname -trans (0-255)\n", stderr);
		return 1;
	}
	if (ParseOptions(argc, argv) != 0)
		return 1;
	if (target_spec.class_filter[0] == '\0' && target_spec.name_filter[0] == '\0') {
		fputs("No target is specified.\n", stderr);
		return 1;
	}
	return WindowWalk(ApplyTranslucency);
}
