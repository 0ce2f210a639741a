#include "translucency.h"

#include <string.h>

#include "options.h"

typedef BOOL (WINAPI *SetLayeredWindowAttributesProc)(HWND, COLORREF, BYTE, DWORD);

/*
 * Looked up by name rather than imported, so that vitrel still starts, and
 * still sets the layered bit, where user32 lacks the function.
 */
static SetLayeredWindowAttributesProc LookUpSetLayeredWindowAttributes(void)
{
	HMODULE user32 = LoadLibraryA("user32.dll");

	if (user32 == NULL)
		return NULL;
	/* Through void (*)(void), the one cast GCC accepts between function types. */
	return reinterpret_cast<SetLayeredWindowAttributesProc>(reinterpret_cast<void (*)(void)>(
		GetProcAddress(user32, "SetLayeredWindowAttributes")));
}

void ApplyTranslucency(const WindowEntry *entry)
{
	if (target_spec.class_filter[0] != '\0' && strstr(entry->class_name, target_spec.class_filter) == NULL)
		return;
	if (target_spec.name_filter[0] != '\0' && strstr(entry->title, target_spec.name_filter) == NULL)
		return;

	LONG style = GetWindowLongA(entry->handle, GWL_EXSTYLE);
	SetWindowLongA(entry->handle, GWL_EXSTYLE, style | WS_EX_LAYERED);

	SetLayeredWindowAttributesProc set_layered_window_attributes = LookUpSetLayeredWindowAttributes();
	if (set_layered_window_attributes != NULL)
		set_layered_window_attributes(entry->handle, 0, (BYTE)target_spec.alpha, LWA_ALPHA);
}
