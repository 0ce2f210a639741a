#!/bin/sh
# Builds optimised tools and prints the benchmark's figures: the X11 build
# against xdotool and wmctrl over 100, 1,000 and 10,000 windows, and the
# Windows build under Wine against a bare walk of the same windows.
set -eu
cd "$(dirname "$0")/.."

tools/install-deps.sh
for tool in xdotool wmctrl; do
	command -v "$tool" >/dev/null || {
		sudo=
		[ "$(id -u)" -eq 0 ] || sudo=sudo
		DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends xdotool wmctrl
	}
done
cmake --preset release >/dev/null
cmake --build --preset release --parallel >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel >/dev/null

session=build/bench-session
trap 'tests/session.sh stop "$session"' EXIT INT TERM

echo "X11, no window manager:"
tests/session.sh start "$session"
tests/session.sh run "$session" build/release/bin/x11_bench build/release/bin 100 1000 10000
tests/session.sh stop "$session"

# openbox adopts windows ever more slowly as they add up (here some 600 in the
# first 20 seconds, then a crawl), so wmctrl is timed at 500.
echo
echo "X11, under openbox:"
tests/session.sh start "$session" openbox
tests/session.sh run "$session" build/release/bin/x11_bench build/release/bin --managed 500
tests/session.sh stop "$session"

echo
echo "Windows build under Wine:"
tests/session.sh start "$session" wine
tests/session.sh run "$session" build/windows/bin/win32_bench.exe 1000
