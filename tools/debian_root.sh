#!/bin/sh
# Makes a Debian root of the suite named (trixie, testing or unstable) at $2,
# with the packages named after them, for running compositors newer than the
# host's. It is kept for later runs: a stamp lists what the root holds, and
# only what is missing is made or installed again.
set -eu
suite=$1 root=$2
shift 2
packages="dbus $*"
stamp=$root/.vitrel-root
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$packages" ] && exit 0

# The mirror the host's own apt sources name.
mirror=$(grep -h -o -E 'https?://[^ ]*/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null |
	head -n 1 | tr -d ' ')
if [ ! -x "$root/usr/bin/apt-get" ]; then
	rm -rf "$root" "$root.new"
	mkdir -p "$(dirname "$root")"
	# An older debootstrap knows no newer suite by name; each is made as unstable is.
	debootstrap --variant=minbase "$suite" "$root.new" "${mirror:-http://deb.debian.org/debian}" \
		/usr/share/debootstrap/scripts/sid >&2
	# A suite's Release file may be past its date on the mirror while still the newest.
	echo 'Acquire::Check-Valid-Until "false";' >"$root.new/etc/apt/apt.conf.d/99vitrel"
	mv "$root.new" "$root"
fi
# apt inside the root wants /proc; the mount ends with the namespace.
# shellcheck disable=SC2086
unshare -m sh -c 'root=$1 && shift && mount -t proc proc "$root/proc" && chroot "$root" apt-get update -q &&
	DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -q --no-install-recommends "$@"' \
	sh "$root" $packages >&2
printf '%s\n' "$packages" >"$stamp"
