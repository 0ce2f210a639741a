#!/bin/sh
# A virtual X display of the test run's own, optionally with Wine, a window
# manager or a compositor on it.
#
#   session.sh start DIR [wine] [openbox] [picom]   start Xvfb and what is named
#   session.sh run DIR PROGRAM [ARG ...]            run a program in that session
#                                                   (a .exe through Wine)
#   session.sh stop DIR                             stop what start started
#
# DIR holds the session's state, and its Wine prefix. Only the processes this
# script started are stopped: by their ids, and Wine's by wineserver -k for
# DIR's own prefix.
set -u

WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}

command=${1:?usage: session.sh start|run|stop DIR ...}
dir=${2:?usage: session.sh start|run|stop DIR ...}
shift 2
# Wine takes only an absolute WINEPREFIX.
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

use_session() {
	if [ ! -s "$dir/display" ]; then
		echo "session.sh: no session in $dir" >&2
		exit 1
	fi
	DISPLAY=:$(cat "$dir/display")
	WINEPREFIX=$dir/prefix
	WINEDEBUG=-all
	export DISPLAY WINEPREFIX WINEDEBUG
}

# Wine 8's loader now and then dies on the way out with this message and status
# 127; that one failure, and nothing else, earns a second run.
run_wine() {
	errors=$dir/stderr.$$
	"$WINE" "$@" 2>"$errors"
	status=$?
	if [ "$status" -eq 127 ] && grep -q 'Inconsistency detected by ld.so' "$errors"; then
		cat "$errors" >&2
		echo "session.sh: Wine's loader failed on exit; running once more" >&2
		"$WINE" "$@" 2>"$errors"
		status=$?
	fi
	cat "$errors" >&2
	rm -f "$errors"
	return "$status"
}

stop_session() {
	if [ -s "$dir/display" ] && [ -d "$dir/prefix" ]; then
		WINEPREFIX=$dir/prefix "$WINESERVER" -k 2>/dev/null
	fi
	for pidfile in "$dir"/*.pid; do
		[ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
		rm -f "$pidfile"
	done
	rm -f "$dir/display"
}

# The helpers outlive this script: they must not hold its output open, or
# whoever reads that output waits for them.
start_helper() {
	name=$1
	shift
	"$@" </dev/null >"$dir/$name.log" 2>&1 &
	echo $! >"$dir/$name.pid"
}

start_wine() {
	"$WINESERVER" -p </dev/null >"$dir/wineserver.log" 2>&1
	if ! "$WINE" wineboot -i </dev/null >"$dir/wineboot.log" 2>&1; then
		echo "session.sh: wineboot failed:" >&2
		cat "$dir/wineboot.log" >&2
		return 1
	fi
	# With no window manager on the display, Wine waits two seconds for one to
	# withdraw each managed window it hides; unmanaged windows need no wait.
	"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
		</dev/null >>"$dir/wineboot.log" 2>&1
}

# Waits until a window manager has claimed the screen's WM_S0 selection.
wait_for_window_manager() {
	tries=0
	until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
		tries=$((tries + 1))
		if [ "$tries" -gt 100 ]; then
			echo "session.sh: the window manager did not start:" >&2
			cat "$dir/openbox.log" >&2
			return 1
		fi
		sleep 0.1
	done
}

case $command in
start)
	stop_session
	Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 \
		3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
	echo $! >"$dir/xvfb.pid"
	tries=0
	while [ ! -s "$dir/display" ]; do
		tries=$((tries + 1))
		if [ "$tries" -gt 100 ] || ! kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
			echo "session.sh: Xvfb did not start:" >&2
			cat "$dir/xvfb.log" >&2
			stop_session
			exit 1
		fi
		sleep 0.1
	done
	use_session
	for part in "$@"; do
		case $part in
		wine) start_wine ;;
		openbox) start_helper openbox openbox --sm-disable && wait_for_window_manager ;;
		picom) start_helper picom picom --backend xrender --config /dev/null ;;
		*) echo "session.sh: unknown part $part" >&2; false ;;
		esac || { stop_session; exit 1; }
	done
	;;
run)
	use_session
	case $1 in
	*.exe) run_wine "$@" ;;
	*) "$@" ;;
	esac
	;;
stop)
	stop_session
	;;
*)
	echo "usage: session.sh start|run|stop DIR ..." >&2
	exit 2
	;;
esac
