#!/bin/sh
# Builds the tools and shows them at work on virtual displays: the Windows
# build under Wine on its notepad, then the X11 build on an xlogo window.
set -eu
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset windows-ci >/dev/null
cmake --build --preset windows-ci --parallel >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --parallel >/dev/null

echo "== Windows, under Wine"
WINEPREFIX=$PWD/build/demo-prefix tests/session.sh wine -- sh -c '
	bin=build/windows/bin
	"$WINE" notepad.exe >/dev/null 2>&1 &
	for _ in $(seq 50); do
		"$WINE" $bin/win32_fixture.exe Notepad >/dev/null 2>&1 && break
		sleep 0.2
	done
	echo "$ winlist"
	"$WINE" $bin/winlist.exe | tr -d "\r" | grep -A2 "^Window class:\"Notepad\""
	echo "before (- is not layered):"
	"$WINE" $bin/win32_fixture.exe Notepad
	echo "$ vitrel -name Notepad -trans 128"
	"$WINE" $bin/vitrel.exe -name Notepad -trans 128
	echo "exit status $?"
	echo "after:"
	"$WINE" $bin/win32_fixture.exe Notepad'

echo
echo "== X11"
tests/session.sh -- sh -c '
	bin=build/release/bin
	xlogo -name demo -title "Demo Logo" >/dev/null 2>&1 &
	for _ in $(seq 50); do
		xprop -name "Demo Logo" WM_CLASS >/dev/null 2>&1 && break
		sleep 0.2
	done
	echo "$ winlist"
	$bin/winlist | grep -B1 -A1 "^Window name:\"Demo Logo\""
	echo "$ vitrel -class XLogo -trans 128"
	$bin/vitrel -class XLogo -trans 128
	echo "exit status $?"
	xprop -name "Demo Logo" _NET_WM_WINDOW_OPACITY
	kill $!'
