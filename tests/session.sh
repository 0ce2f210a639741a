#!/bin/sh
# A virtual X display and a Wine prefix of the test run's own.
#
#   wine-session.sh start DIR            start Xvfb and a wineserver, boot the prefix
#   wine-session.sh run DIR PROGRAM ...  run a Windows program in that session
#   wine-session.sh stop DIR             stop the wineserver and Xvfb started by start
#
# DIR holds the prefix and the session's state. Only the processes this script
# started are stopped, by their ids and by wineserver -k for DIR's own prefix.
set -u

WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}

command=${1:?usage: wine-session.sh start|run|stop DIR [PROGRAM ...]}
dir=${2:?usage: wine-session.sh start|run|stop DIR [PROGRAM ...]}
shift 2
# Wine takes only an absolute WINEPREFIX.
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

use_session() {
	if [ ! -s "$dir/display" ]; then
		echo "wine-session.sh: no session in $dir" >&2
		exit 1
	fi
	DISPLAY=:$(cat "$dir/display")
	WINEPREFIX=$dir/prefix
	WINEDEBUG=-all
	export DISPLAY WINEPREFIX WINEDEBUG
}

# Wine 8's loader now and then dies on the way out with this message and status
# 127; that one failure, and nothing else, earns a second run.
run_program() {
	errors=$dir/stderr.$$
	"$WINE" "$@" 2>"$errors"
	status=$?
	if [ "$status" -eq 127 ] && grep -q 'Inconsistency detected by ld.so' "$errors"; then
		cat "$errors" >&2
		echo "wine-session.sh: Wine's loader failed on exit; running once more" >&2
		"$WINE" "$@" 2>"$errors"
		status=$?
	fi
	cat "$errors" >&2
	rm -f "$errors"
	return "$status"
}

stop_session() {
	if [ -s "$dir/display" ]; then
		WINEPREFIX=$dir/prefix "$WINESERVER" -k 2>/dev/null
	fi
	if [ -s "$dir/xvfb.pid" ]; then
		kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
	fi
	rm -f "$dir/display" "$dir/xvfb.pid"
}

case $command in
start)
	stop_session
	Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 \
		3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
	echo $! >"$dir/xvfb.pid"
	tries=0
	while [ ! -s "$dir/display" ]; do
		tries=$((tries + 1))
		if [ "$tries" -gt 100 ] || ! kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
			echo "wine-session.sh: Xvfb did not start:" >&2
			cat "$dir/xvfb.log" >&2
			exit 1
		fi
		sleep 0.1
	done
	use_session
	# The server and the services that boot starts outlive this script: they
	# must not hold its output open, or whoever reads it waits for them.
	"$WINESERVER" -p </dev/null >"$dir/wineserver.log" 2>&1
	if ! "$WINE" wineboot -i </dev/null >"$dir/wineboot.log" 2>&1; then
		echo "wine-session.sh: wineboot failed:" >&2
		cat "$dir/wineboot.log" >&2
		stop_session
		exit 1
	fi
	# With no window manager on the display, Wine waits two seconds for one to
	# withdraw each managed window it hides; unmanaged windows need no wait.
	"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
		</dev/null >>"$dir/wineboot.log" 2>&1
	;;
run)
	use_session
	run_program "$@"
	;;
stop)
	stop_session
	exit 0
	;;
*)
	echo "usage: wine-session.sh start|run|stop DIR [PROGRAM ...]" >&2
	exit 2
	;;
esac
