#!/bin/sh
# Makes a Debian 13 root at $1 with the packages named after it, for running
# compositors newer than the host's. It is kept for later runs: a stamp lists
# what the root holds, and only what is missing is made or installed again.
set -eu
root=$1
shift
packages="dbus $*"
stamp=$root/.vitrel-root
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$packages" ] && exit 0

# The mirror the host's own apt sources name.
mirror=$(grep -h -o -E 'https?://[^ ]*/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null |
	head -n 1 | tr -d ' ')
if [ ! -x "$root/usr/bin/apt-get" ]; then
	rm -rf "$root"
	mkdir -p "$(dirname "$root")"
	debootstrap --variant=minbase trixie "$root.new" "${mirror:-http://deb.debian.org/debian}" >&2
	mv "$root.new" "$root"
fi
# apt inside the root wants /proc; the mount ends with the namespace.
# shellcheck disable=SC2086
unshare -m sh -c 'root=$1 && shift && mount -t proc proc "$root/proc" && chroot "$root" apt-get update -q &&
	DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -q --no-install-recommends "$@"' \
	sh "$root" $packages >&2
printf '%s\n' "$packages" >"$stamp"
