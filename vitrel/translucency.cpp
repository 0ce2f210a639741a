#include "translucency.h"

#include <string.h>

#include "options.h"

typedef BOOL (WINAPI *SetLayeredWindowAttributesProc)(HWND, COLORREF, BYTE, DWORD);

/* A program that has not taken a message for this long is taken as hung. */
static const UINT HUNG_TIMEOUT_MS = 1000;

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

	/*
	 * Writing the style waits on the window's own thread, so a window whose
	 * program stopped pumping messages would hang the walk: it is passed
	 * over instead, as one that cannot be changed.
	 */
	if (SendMessageTimeoutA(entry->handle, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, HUNG_TIMEOUT_MS, NULL) == 0)
		return;

	LONG style = GetWindowLongA(entry->handle, GWL_EXSTYLE);
	SetWindowLongA(entry->handle, GWL_EXSTYLE, style | WS_EX_LAYERED);

	SetLayeredWindowAttributesProc set_layered_window_attributes = LookUpSetLayeredWindowAttributes();
	if (set_layered_window_attributes != NULL)
		set_layered_window_attributes(entry->handle, 0, (BYTE)target_spec.alpha, LWA_ALPHA);
}
