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
WINEPREFIX=$PWD/build/demo-prefix tools/session.sh wine -- bash -c '
	bin=build/windows/bin
	# The test fixture starts notepad and reports its layered state.
	coproc fixture { "$WINE" $bin/win32_fixture.exe "Untitled - Notepad" client Notepad "" 2>/dev/null; }
	read -r ready <&"${fixture[0]}"
	state() {
		echo state >&"${fixture[1]}"
		while read -r line <&"${fixture[0]}"; do
			line=$(printf %s "$line" | tr -d "\r")
			[ "$line" = end ] && break
			echo "$line"
		done
	}
	echo "$ winlist"
	"$WINE" $bin/winlist.exe | tr -d "\r" | grep -A2 "^Window class:\"Notepad\""
	echo "before (- is not layered):"
	state
	echo "$ vitrel -name Notepad -trans 128"
	"$WINE" $bin/vitrel.exe -name Notepad -trans 128
	echo "exit status $?"
	echo "after:"
	state
	exec {fixture[1]}>&-
	wait'

echo
echo "== X11"
tools/session.sh -- sh -c '
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
