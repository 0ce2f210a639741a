/*
 * The least a Windows program can do to read every top-level window's class
 * name and title: the yardstick the tools are timed against.
 */
#include <windows.h>

#include <stdio.h>

static int windows_with_both;

static BOOL CALLBACK ReadTexts(HWND window, LPARAM)
{
	char class_name[1024];
	char title[1024];

	if (GetClassNameA(window, class_name, sizeof class_name) > 0 && GetWindowTextA(window, title, sizeof title) > 0)
		windows_with_both++;
	return TRUE;
}

int main()
{
	EnumWindows(ReadTexts, 0);
	printf("%d\n", windows_with_both);
	return 0;
}
