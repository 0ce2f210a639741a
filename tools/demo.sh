#!/bin/sh
# Builds the Windows tools and shows them at work on a virtual display: winlist
# finding Wine's notepad, and notepad before and after "vitrel -name Notepad -trans 128".
set -eu
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel >/dev/null

bin=build/windows/bin
session=build/windows/demo-session
tests/session.sh start "$session" wine
trap 'tests/session.sh stop "$session"' EXIT INT TERM

tests/session.sh run "$session" notepad.exe >/dev/null 2>&1 &
tries=0
until tests/session.sh run "$session" "$bin/layered_state.exe" Notepad >/dev/null 2>&1; do
	tries=$((tries + 1))
	[ "$tries" -lt 50 ] || { echo "notepad did not start" >&2; exit 1; }
	sleep 0.2
done

echo "$ winlist"
tests/session.sh run "$session" "$bin/winlist.exe" | tr -d '\r' | grep -A2 '^Window class:"Notepad"'
echo "before:"
tests/session.sh run "$session" "$bin/layered_state.exe" Notepad
echo "$ vitrel -name Notepad -trans 128"
tests/session.sh run "$session" "$bin/vitrel.exe" -name Notepad -trans 128
echo "exit status $?"
echo "after:"
tests/session.sh run "$session" "$bin/layered_state.exe" Notepad
