#!/bin/sh
# Makes docs/screenshot.png, the README's picture: the same two windows over a
# backdrop on a virtual display with a compositor, before (left) and after
# (right) "vitrel -class front -trans 128".
set -eu
cd "$(dirname "$0")/.."

tools/install-deps.sh
[ -x /usr/bin/convert ] && [ -x /usr/bin/xwd ] || {
	sudo=
	[ "$(id -u)" -eq 0 ] || sudo=sudo
	DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends imagemagick x11-apps
}
cmake --preset release >/dev/null
cmake --build --preset release --parallel >/dev/null

work=build/screenshot
mkdir -p "$work" docs
tools/session.sh picom -- sh -c '
	work=$1
	xlogo -name backdrop -geometry 640x400+0+0 -bg "#204a87" -fg "#fce94f" >/dev/null 2>&1 &
	clients=$!
	xclock -name front -geometry 220x220+70+90 -bg white -update 1 >/dev/null 2>&1 &
	clients="$clients $!"
	xlogo -name front -geometry 220x220+350+90 -bg white -fg black >/dev/null 2>&1 &
	clients="$clients $!"
	for _ in $(seq 50); do
		[ "$(build/release/bin/winlist | grep -c "\"front\.")" -eq 2 ] && break
		sleep 0.1
	done
	sleep 1
	xwd -root -silent | /usr/bin/convert xwd:- -crop 640x400+0+0 +repage "$work/before.png"
	build/release/bin/vitrel -class front -trans 128
	sleep 1
	xwd -root -silent | /usr/bin/convert xwd:- -crop 640x400+0+0 +repage "$work/after.png"
	kill $clients' sh "$work"
/usr/bin/convert "$work/before.png" "$work/after.png" -bordercolor white -border 4 +append docs/screenshot.png
echo "docs/screenshot.png"
