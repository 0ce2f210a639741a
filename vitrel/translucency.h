#ifndef TRANSLUCENCY_H
#define TRANSLUCENCY_H

#include "window_walk.h"

/* Gives the window target_spec's alpha if both its filters match. */
void ApplyTranslucency(const WindowEntry *entry);

#endif
