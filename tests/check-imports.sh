#!/bin/sh
# A copied .exe must start on a bare Windows: it may import only DLLs that
# Windows itself ships, and SetLayeredWindowAttributes only by run-time lookup.
set -u
objdump=${1:?usage: check-imports.sh OBJDUMP PROGRAM.exe [FUNCTION-NOT-IMPORTED]}
program=${2:?usage: check-imports.sh OBJDUMP PROGRAM.exe [FUNCTION-NOT-IMPORTED]}
not_imported=${3:-}

imports=$("$objdump" -p "$program") || exit 1
dlls=$(printf '%s\n' "$imports" | sed -n 's/^[[:space:]]*DLL Name: //p')
if [ -z "$dlls" ]; then
	echo "FAILED - $program: no import table found" >&2
	exit 1
fi
status=0
for dll in $dlls; do
	case $(printf '%s' "$dll" | tr 'A-Z' 'a-z') in
	kernel32.dll | user32.dll | msvcrt.dll) echo "ok - $program imports $dll" ;;
	*) echo "FAILED - $program imports $dll, which Windows does not ship"; status=1 ;;
	esac
done
if [ -n "$not_imported" ]; then
	if printf '%s\n' "$imports" | grep -qw "$not_imported"; then
		echo "FAILED - $program imports $not_imported instead of looking it up"
		status=1
	else
		echo "ok - $program does not import $not_imported"
	fi
fi
exit $status
