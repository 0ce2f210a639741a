#!/bin/sh
# Runs a command on a virtual X display of its own, with what is named started
# on it first, and stops them all after; the command's status is the script's.
#
#   session.sh [wine] [openbox] [picom] [DESKTOP] -- COMMAND [ARG ...]
#   session.sh --make-roots
#
# DESKTOP is sway, kwin or gnome from the host (sway 1.7, KWin 5.27, GNOME
# Shell 43), or one from a Debian root: kwin6 and gnome48 from trixie, kwin67,
# sway112 and gnome50 from testing, gnome51 and wayfire (0.10) from unstable.
#
# Wine runs in $WINEPREFIX, made on first use (a fresh one when unset). sway
# runs headless as the user nobody, since it will not run as root, with
# XWayland, which lets root's clients in as well; the command gets its
# SWAYSOCK, WAYLAND_DISPLAY and DISPLAY, as in a sway session. wayfire runs so
# too, with its IPC plugins, and the command gets WAYFIRE_SOCKET in place of
# SWAYSOCK. kwin is KWin's virtual Wayland session on a session bus of its
# own, with Xwayland; COMPOSITOR_LOG names its log, and GNOME Shell's.
# COMPOSITOR_PID is the compositor's process.
# A Debian root is made under $DEBIAN_ROOTS on first use and kept
# (--make-roots makes those the tests use at once); IN_ROOT runs a command in
# it. gnome is GNOME Shell headless with this tree's extension turned on as a
# user does, through gnome-extensions and the shell's extensions service,
# which the session bus starts on demand, on that bus and a permissive system
# bus of its own, since the shell will not start without logind's: installed
# for all users, or from $EXTENSION_ZIP by gnome-extensions install when that
# is set. TMPDIR is a folder of the session's own. Only what this script
# started is stopped: by process id, and Wine by wineserver -k for that prefix.
set -u
export WINE="${WINE:-/usr/lib/wine/wine64}" DEBIAN_ROOTS="${DEBIAN_ROOTS:-/var/cache/vitrel}"
state=$(mktemp -d)
pids=
# A compositor stopped by a test takes its SIGTERM once it goes on.
trap '[ -d "${WINEPREFIX:-/none}" ] && "${WINESERVER:-/usr/lib/wine/wineserver}" -k
kill $pids; kill -CONT $pids 2>/dev/null; wait; rm -rf "$state"' EXIT
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

# Starts a bus of the type given, open to all, at $state/TYPE. Of the services a desktop's session bus starts on
# demand, the session's starts one: GNOME Shell's for gnome-extensions, from the root where the shell is.
bus() {
	services=
	if [ "$1" = session ]; then
		mkdir -p "$state/services"
		service=${IN_ROOT:+$at}/usr/share/dbus-1/services/org.gnome.Shell.Extensions.service
		[ -f "$service" ] && sed "s|^Exec=|Exec=${IN_ROOT:+$IN_ROOT }|" "$service" >"$state/services/${service##*/}"
		services="<servicedir>$state/services</servicedir>"
	fi
	printf '<busconfig><type>%s</type><listen>unix:path=%s</listen>%s%s</busconfig>' "$1" "$state/$1" "$services" \
		'<policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/>
		<allow receive_sender="*"/></policy>' >"$state/$1.conf"
	start "[ -S $state/$1 ]" dbus-daemon --nofork --config-file="$state/$1.conf"
}

# Makes the Debian root of the suite named, with the desktops it serves and the fixtures' clients, and IN_ROOT to
# run a command in it.
root() {
	packages="xwayland x11-apps fonts-dejavu-core gnome-shell python3-pyqt6 qt6-wayland"
	case $1 in
	trixie) packages="$packages kwin-wayland" ;;
	testing) packages="$packages kwin-wayland sway x11-xserver-utils" ;;
	unstable) packages="$packages wayfire x11-xserver-utils" ;;
	esac
	at=$DEBIAN_ROOTS/$1
	# shellcheck disable=SC2086
	"$(dirname "$0")/debian_root.sh" "$1" "$at" $packages >>"$state/log" 2>&1 || { cat "$state/log" >&2; exit 1; }
	# Each command in the root sees the host's /tmp, where this session's folders and X sockets are.
	cat >"$state/in-root" <<-EOF
	#!/bin/sh
	exec unshare -m sh -c 'mount -t proc proc $at/proc && for d in dev sys tmp; do
	mount --rbind /\$d $at/\$d || exit 1; done && exec chroot $at "\$@"' sh "\$@"
	EOF
	chmod 755 "$state/in-root"
	export IN_ROOT="$state/in-root"
}

# Starts GNOME Shell, through the command given first if any, and turns this tree's extension on as a user
# does: installed for all users while the shell runs, then logged out and in again, then enabled.
gnome() {
	bus system
	export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$state/system" GSETTINGS_BACKEND=keyfile \
		XDG_CONFIG_HOME="$state/config" XDG_DATA_HOME="$state/data" XDG_CACHE_HOME="$state/cache" \
		XDG_DATA_DIRS="$state/share:/usr/local/share:/usr/share"
	mkdir -p "$state/config/glib-2.0/settings" "$state/share/gnome-shell/extensions"
	printf '%s\n' '[org/gnome/shell]' 'disable-user-extensions=false' \
		"welcome-dialog-last-shown-version='999'" '[org/gnome/desktop/interface]' 'enable-animations=false' \
		'[org/gnome/desktop/background]' "picture-options='none'" "primary-color='#0000ff'" \
		'[org/gnome/desktop/notifications]' 'show-banners=false' '[org/gnome/mutter]' 'center-new-windows=false' \
		>"$state/config/glib-2.0/settings/keyfile"
	owned='dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner'
	shell='dbus-send --session --print-reply --dest=org.gnome.Shell /org/gnome/Shell org.freedesktop.DBus.Properties'
	overview="$shell.Get string:org.gnome.Shell string:OverviewActive | grep -q"
	login "$@"
	if [ -n "${EXTENSION_ZIP:-}" ]; then
		# Into the user's own folder, by way of their cache; a root sees the host's /tmp alone.
		cp "$EXTENSION_ZIP" "$state/extension.zip"
		"$@" gnome-extensions install "$state/extension.zip"
	else
		cp -r "$(dirname "$0")/../gnome-shell" "$state/share/gnome-shell/extensions/vitrel@example.org"
	fi
	kill "$COMPOSITOR_PID" && wait "$COMPOSITOR_PID"
	pids=${pids% "$COMPOSITOR_PID"}
	login "$@"
	# As a desktop's session does, for the services its bus starts.
	dbus-update-activation-environment DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME \
		XDG_CACHE_HOME XDG_DATA_DIRS GSETTINGS_BACKEND XAUTHORITY
	"$@" gnome-extensions info vitrel@example.org >/dev/null && "$@" gnome-extensions enable vitrel@example.org
	timeout 10 sh -c "until $owned string:org.vitrel.Shell | grep -q true; do sleep 0.1; done" ||
		{ echo "session.sh: the extension did not start:" && cat "$state/log"; } >&2
}

# Starts the shell and, once it has opened the overview, above every window, which it does last, closes it.
login() {
	logged=$(wc -l <"$state/log")
	start "tail -n +$((logged + 1)) $state/log | grep -q 'public X11 display' && $overview true" \
		"$@" gnome-shell --headless --wayland --virtual-monitor 1280x800
	export COMPOSITOR_PID=$! XAUTHORITY="$(ls -t "$state"/run/.mutter-Xwaylandauth.* | head -n 1)" \
		DISPLAY="$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$state/log" | tail -n 1)" \
		WAYLAND_DISPLAY="$(sed -n "s/.*Using Wayland display name '\(.*\)'.*/\1/p" "$state/log" | tail -n 1)"
	$shell.Set string:org.gnome.Shell string:OverviewActive variant:boolean:false >/dev/null
	timeout 10 sh -c "until $overview false; do sleep 0.1; done"
}

if [ "${1:-}" = --make-roots ]; then
	trap 'rm -rf "$state"' EXIT
	for suite in trixie testing unstable; do
		root "$suite" &
	done
	wait
	exit
fi

# A compositor started below runs this, to tell its displays; the Xwayland of one run as nobody takes the clients
# of that user alone, and lets root's in as well.
printf '#!/bin/sh\nxhost +si:localuser:root >/dev/null 2>&1\necho "$DISPLAY $WAYLAND_DISPLAY" >"$XDG_RUNTIME_DIR/session"\n' \
	>"$state/announce"
chmod 755 "$state" "$state/announce" && mkdir -m 700 "$state/run" "$state/tmp"
# Temporary files of the session's own, where a test can tell them from other programs'.
export TMPDIR="$state/tmp"
# The display wants a cookie, as a desktop's does; the server takes it whatever display the entry names.
cookie=$(mcookie)
: >"$state/xauth"
xauth -q -f "$state/xauth" add :0 . "$cookie"
start "[ -s $state/display ]" Xvfb -displayfd 3 -auth "$state/xauth" -noreset -nolisten tcp -screen 0 1280x1024x24 \
	3>"$state/display"
export DISPLAY=":$(cat "$state/display")" XAUTHORITY="$state/xauth"
xauth -q add "$DISPLAY" . "$cookie"
for part; do
	shift
	case $part in
	--) break ;;
	openbox) start 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' openbox --sm-disable ;;
	picom) start true picom --backend xrender --config /dev/null ;;
	sway | sway112)
		chown nobody "$state/run"
		printf '%s\n' 'output HEADLESS-1 resolution 1280x800 bg #0000ff solid_color' 'default_border none' 'gaps top 210' 'xwayland force' \
			"exec $state/announce" >"$state/sway.conf"
		[ "$part" = sway ] || root testing
		start "[ -s $state/run/session ]" ${IN_ROOT:-} setpriv --reuid nobody --regid nogroup \
			--clear-groups env -i PATH="$PATH" HOME="$state/run" XDG_RUNTIME_DIR="$state/run" WLR_BACKENDS=headless \
			WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$state/sway.conf"
		export XDG_RUNTIME_DIR="$state/run" SWAYSOCK="$(ls "$state"/run/sway-ipc.*.sock)" COMPOSITOR_PID=$!
		;;
	wayfire)
		chown nobody "$state/run"
		root unstable
		printf '%s\n' '[core]' 'plugins = ipc ipc-rules alpha autostart' 'background_color = 0.0 0.0 1.0 1.0' \
			'preferred_decoration_mode = client' '[autostart]' 'autostart_wf_shell = false' \
			"announce = $state/announce" >"$state/wayfire.ini"
		start "[ -s $state/run/session ]" "$IN_ROOT" setpriv --reuid nobody --regid nogroup --clear-groups env -i \
			PATH="$PATH" HOME="$state/run" XDG_RUNTIME_DIR="$state/run" WLR_BACKENDS=headless WLR_RENDERER=pixman \
			WLR_LIBINPUT_NO_DEVICES=1 wayfire -c "$state/wayfire.ini"
		read -r _ display <"$state/run/session"
		export XDG_RUNTIME_DIR="$state/run" WAYFIRE_SOCKET="$state/run/wayfire-$display-.socket" COMPOSITOR_PID=$!
		;;
	wine)
		export WINEPREFIX="${WINEPREFIX:-$state/prefix}" WINEDEBUG=-all
		# With no window manager on the display, Wine waits two seconds for one
		# to withdraw each managed window it hides; unmanaged windows need none.
		{ "$WINE" wineboot -i && "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f; } \
			</dev/null >>"$state/log" 2>&1 || { cat "$state/log" >&2; exit 1; }
		;;
	kwin | kwin6 | kwin67 | gnome | gnome48 | gnome50 | gnome51)
		case $part in
		kwin6 | gnome48) root trixie ;;
		kwin67 | gnome50) root testing ;;
		gnome51) root unstable ;;
		esac
		bus session
		export DBUS_SESSION_BUS_ADDRESS="unix:path=$state/session" XDG_RUNTIME_DIR="$state/run" COMPOSITOR_LOG="$state/log"
		case $part in
		gnome*) gnome ${IN_ROOT:-} ;;
		*)
			# The packaged binary carries a file capability that a container refuses to run.
			kwin="$state/kwin_wayland"
			[ "$part" = kwin ] && cp /usr/bin/kwin_wayland "$kwin" || kwin="$IN_ROOT kwin_wayland"
			start "[ -s $state/run/session ]" $kwin --virtual --xwayland --no-lockscreen --width 1280 --height 800 \
				"$state/announce"
			export COMPOSITOR_PID=$!
			;;
		esac
		;;
	*) echo "usage: session.sh [wine] [openbox] [picom] [DESKTOP] -- COMMAND [ARG ...]" >&2
		exit 2 ;;
	esac
	[ -s "$state/run/session" ] && read -r DISPLAY WAYLAND_DISPLAY <"$state/run/session" && export WAYLAND_DISPLAY
done
"$@"
