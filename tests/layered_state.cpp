/*
 * Prints the layered state of every top-level window whose title contains the
 * argument, as user32 reports it: what vitrel changed, seen from outside.
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

static const char *title_piece;
static int found;

static BOOL CALLBACK PrintState(HWND window, LPARAM)
{
	char title[1024];
	COLORREF key;
	BYTE alpha;
	DWORD flags;

	if (GetWindowTextA(window, title, sizeof title) == 0 || strstr(title, title_piece) == NULL)
		return TRUE;
	found++;
	if ((GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) == 0)
		printf("\"%s\": not layered\n", title);
	else if (GetLayeredWindowAttributes(window, &key, &alpha, &flags) && (flags & LWA_ALPHA) != 0)
		printf("\"%s\": layered, alpha %u\n", title, alpha);
	else
		printf("\"%s\": layered, no alpha\n", title);
	return TRUE;
}

int main(int argc, char **argv)
{
	if (argc != 2) {
		fputs("usage: layered_state title-piece\n", stderr);
		return 2;
	}
	title_piece = argv[1];
	EnumWindows(PrintState, 0);
	return found > 0 ? 0 : 1;
}
