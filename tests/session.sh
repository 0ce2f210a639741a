#!/bin/sh
# Runs a command on a virtual X display of its own, with what is named started
# on it first, and stops them all after; the command's status is the script's.
#
#   session.sh [wine] [openbox] [picom] [sway | kwin | kwin6] -- COMMAND [ARG ...]
#
# Wine runs in $WINEPREFIX, made on first use (a fresh one when unset). sway
# runs headless as the user nobody, since it will not run as root, with
# XWayland; the command gets its SWAYSOCK, WAYLAND_DISPLAY and DISPLAY, as in
# a sway session. kwin is KWin's virtual Wayland session on a session bus of
# its own, with Xwayland; KWIN_LOG names its log. COMPOSITOR_PID is sway's or
# KWin's process.
# kwin6 is the same from a Debian 13 root at $TRIXIE_ROOT, made on first use
# and kept; IN_ROOT runs a command in it. Only what this script
# started is stopped: by process id, and Wine by wineserver -k for that
# prefix.
set -u
export WINE="${WINE:-/usr/lib/wine/wine64}" TRIXIE_ROOT="${TRIXIE_ROOT:-/var/cache/vitrel/trixie}"
state=$(mktemp -d)
pids=
trap '[ -d "${WINEPREFIX:-/none}" ] && "${WINESERVER:-/usr/lib/wine/wineserver}" -k; kill $pids; rm -rf "$state"' EXIT
trap 'exit 1' INT TERM

# Starts a helper that must not hold this script's output open, and waits until $1 holds.
start() {
	until=$1
	shift
	"$@" </dev/null >>"$state/log" 2>&1 &
	pids="$pids $!"
	for _ in $(seq 100); do
		sh -c "$until" >/dev/null 2>&1 && return
		sleep 0.1
	done
	{ echo "session.sh: $1 did not start:" && cat "$state/log"; } >&2
	exit 1
}

# A compositor started below runs this, to tell its displays.
printf '#!/bin/sh\necho "$DISPLAY $WAYLAND_DISPLAY" >"$XDG_RUNTIME_DIR/session"\n' >"$state/announce"
chmod 755 "$state" "$state/announce" && mkdir -m 700 "$state/run"
start "[ -s $state/display ]" Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$state/display"
export DISPLAY=":$(cat "$state/display")"
for part; do
	shift
	case $part in
	--) break ;;
	openbox) start 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' openbox --sm-disable ;;
	picom) start true picom --backend xrender --config /dev/null ;;
	sway)
		chown nobody "$state/run"
		printf '%s\n' 'output HEADLESS-1 resolution 1280x800 bg #0000ff solid_color' 'default_border none' 'gaps top 210' \
			"exec $state/announce" >"$state/sway.conf"
		start "[ -s $state/run/session ]" setpriv --reuid nobody --regid nogroup \
			--clear-groups env -i PATH="$PATH" HOME="$state/run" XDG_RUNTIME_DIR="$state/run" WLR_BACKENDS=headless \
			WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$state/sway.conf"
		export XDG_RUNTIME_DIR="$state/run" SWAYSOCK="$(ls "$state"/run/sway-ipc.*.sock)" COMPOSITOR_PID=$!
		;;
	wine)
		export WINEPREFIX="${WINEPREFIX:-$state/prefix}" WINEDEBUG=-all
		# With no window manager on the display, Wine waits two seconds for one
		# to withdraw each managed window it hides; unmanaged windows need none.
		{ "$WINE" wineboot -i && "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f; } \
			</dev/null >>"$state/log" 2>&1 || { cat "$state/log" >&2; exit 1; }
		;;
	kwin | kwin6)
		start "[ -s $state/bus ]" dbus-daemon --session --nofork --print-address=3 3>"$state/bus"
		export DBUS_SESSION_BUS_ADDRESS="$(cat "$state/bus")" XDG_RUNTIME_DIR="$state/run" KWIN_LOG="$state/log"
		if [ "$part" = kwin ]; then
			# The packaged binary carries a file capability that a container refuses to run.
			cp /usr/bin/kwin_wayland "$state/kwin_wayland"
			kwin="$state/kwin_wayland"
		else
			"$(dirname "$0")/../tools/trixie_root.sh" "$TRIXIE_ROOT" kwin-wayland xwayland python3-pyqt6 qt6-wayland \
				x11-apps fonts-dejavu-core >>"$state/log" 2>&1 || { cat "$state/log" >&2; exit 1; }
			# Each command in the root sees the host's /tmp, where this session's folders and X sockets are.
			cat >"$state/in-root" <<-EOF
			#!/bin/sh
			exec unshare -m sh -c 'mount -t proc proc $TRIXIE_ROOT/proc && for d in dev sys tmp; do
			mount --rbind /\$d $TRIXIE_ROOT/\$d || exit 1; done && exec chroot $TRIXIE_ROOT "\$@"' sh "\$@"
			EOF
			chmod 755 "$state/in-root"
			export IN_ROOT="$state/in-root"
			kwin="$IN_ROOT kwin_wayland"
		fi
		start "[ -s $state/run/session ]" $kwin --virtual --xwayland --no-lockscreen --width 1280 --height 800 \
			"$state/announce"
		export COMPOSITOR_PID=$!
		;;
	*) echo "usage: session.sh [wine] [openbox] [picom] [sway | kwin | kwin6] -- COMMAND [ARG ...]" >&2; exit 2 ;;
	esac
	[ -s "$state/run/session" ] && read -r DISPLAY WAYLAND_DISPLAY <"$state/run/session" && export WAYLAND_DISPLAY
done
"$@"
