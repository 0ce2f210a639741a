#include "translucency.h"

#include <string.h>

#include "options.h"

void ApplyTranslucency(const WindowEntry *entry)
{
	if (target_spec.class_filter[0] != '\0' && strstr(entry->class_name, target_spec.class_filter) == NULL)
		return;
	if (target_spec.name_filter[0] != '\0' && strstr(entry->title, target_spec.name_filter) == NULL)
		return;
	SetWindowAlpha(entry, (unsigned char)target_spec.alpha);
}
