#!/bin/sh
# Builds the tools and shows them at work on virtual displays: the Windows
# build under Wine on its notepad, then the X11 build on an xlogo window.
set -eu
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --parallel >/dev/null

bin=build/windows/bin
session=build/demo-session
tests/session.sh start "$session" wine
trap 'tests/session.sh stop "$session"' EXIT INT TERM

echo "== Windows, under Wine"
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
tests/session.sh stop "$session"

echo
echo "== X11"
tests/session.sh start "$session"
tests/session.sh run "$session" xlogo -name demo -title "Demo Logo" >/dev/null 2>&1 &
tries=0
until tests/session.sh run "$session" xprop -name "Demo Logo" WM_CLASS >/dev/null 2>&1; do
	tries=$((tries + 1))
	[ "$tries" -lt 50 ] || { echo "xlogo did not start" >&2; exit 1; }
	sleep 0.2
done
echo "$ winlist"
tests/session.sh run "$session" build/release/bin/winlist | grep -B1 -A1 '^Window name:"Demo Logo"'
echo "$ vitrel -class XLogo -trans 128"
tests/session.sh run "$session" build/release/bin/vitrel -class XLogo -trans 128
echo "exit status $?"
tests/session.sh run "$session" xprop -name "Demo Logo" _NET_WM_WINDOW_OPACITY
