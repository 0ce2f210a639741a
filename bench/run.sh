#!/bin/sh
# Builds optimised tools and prints the benchmark's figures: the X11 build
# against the limit a pipelined walk reaches and against xdotool over 100,
# 1,000 and 10,000 windows, and under openbox over 300 managed and 300
# unmapped windows against a breadth-first search and wmctrl; the Wayland
# backends under sway, Wayfire (against one plain call that lists the views),
# KWin and GNOME (its XWayland windows on 50 and 51),
# and the Windows build under Wine against a bare walk of the same windows.
set -eu
cd "$(dirname "$0")/.."

tools/install-deps.sh xdotool wmctrl time
cmake --preset release >/dev/null
cmake --build --preset release --parallel >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel >/dev/null

echo "X11, no window manager:"
tools/session.sh -- build/release/bin/x11_bench build/release/bin 100 1000 10000

echo
echo "X11, under openbox:"
tools/session.sh openbox -- build/release/bin/x11_bench build/release/bin --managed 300

echo
echo "sway, headless:"
tools/session.sh sway -- bench/wayland_bench.py sway build/release/bin 50

echo
echo "Wayfire 0.10, headless, from a Debian unstable root (it lists no more than about 350 views):"
for windows in 100 300 1000; do
	tools/session.sh wayfire -- bench/wayland_bench.py wayfire build/release/bin "$windows"
done

echo
echo "KWin 5.27, virtual:"
tools/session.sh kwin -- bench/wayland_bench.py kwin build/release/bin 20

echo
echo "KWin 6, virtual, from a Debian 13 root:"
tools/session.sh kwin6 -- bench/wayland_bench.py kwin6 build/release/bin 20

echo
echo "GNOME Shell 43, headless:"
tools/session.sh gnome -- bench/wayland_bench.py gnome build/release/bin 20

echo
echo "GNOME Shell 48, headless, from a Debian 13 root:"
tools/session.sh gnome48 -- bench/wayland_bench.py gnome48 build/release/bin 20

echo
echo "GNOME Shell 50 and 51, headless, XWayland windows (51 loses their instances, read from Xwayland):"
tools/session.sh gnome50 -- bench/wayland_bench.py gnome50 build/release/bin 100 x11
tools/session.sh gnome51 -- bench/wayland_bench.py gnome51 build/release/bin 100 x11

echo
echo "Windows build under Wine:"
tools/session.sh wine -- sh -c '"$WINE" build/windows/bin/win32_bench.exe 1000'
