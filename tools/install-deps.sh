#!/bin/sh
# Installs what building and testing need on Debian 12, and any packages
# named as arguments, skipping what is there; with --only, the packages named
# alone.
set -eu

packages="cmake make g++ pkg-config libxcb1-dev libx11-dev libjson-c-dev libdbus-1-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
wine64 xvfb xauth x11-apps x11-utils x11-xserver-utils openbox picom python3-xlib sway foot grim xwayland kwin-wayland qtwayland5 python3-pyqt5 dbus fonts-dejavu-core mandoc man-db unzip dpkg-dev lintian debootstrap bash-completion zsh fish rpm rpmlint
gnome-shell gjs python3-gi gir1.2-gdkpixbuf-2.0 $*"
if [ "${1:-}" = --only ]; then
	shift
	packages=$*
fi

missing=
for package in $packages; do
	dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
		missing="$missing $package"
done
[ -z "$missing" ] && exit 0

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "installing:$missing"
$sudo apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
