#!/bin/sh
# Builds both packages and checks them as a user gets them: the zip's contents,
# the man pages, and the .deb installed with apt-get, its tools run from
# /usr/bin on a virtual display, then removed again.
#   packages.sh NATIVE-BUILD-DIR WINDOWS-BUILD-DIR
set -u
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
passed=0
failed=0
check() {
	if [ "$2" = "$3" ]; then
		passed=$((passed + 1))
	else
		failed=$((failed + 1))
		printf 'FAILED - %s:\n  got  [%s]\n  want [%s]\n' "$1" "$2" "$3"
	fi
}

(cd "$native" && cpack >/dev/null) || check "the .deb is built" no yes
(cd "$windows" && cpack >/dev/null) || check "the zip is built" no yes
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$native/CMakeCache.txt")
deb=$native/vitrel_${version}_amd64.deb
zip=$windows/vitrel-${version}-win64.zip

check "the zip holds the programs, README, its picture and LICENSE" "$(unzip -Z1 "$zip" | grep -v /$ | sort | tr '\n' ' ')" \
	"vitrel-$version-win64/LICENSE vitrel-$version-win64/README.md vitrel-$version-win64/docs/screenshot.png vitrel-$version-win64/vitrel.exe vitrel-$version-win64/winlist.exe "
# In a manual path of their own, so that each page's reference to the other resolves.
pages=$(mktemp -d)
mkdir "$pages/man1" && cp "$native"/man/*.1 "$pages/man1" && makewhatis "$pages"
check "the man pages are lint-clean" "$(MANPATH=$pages mandoc -T lint -W style "$pages"/man1/*.1 2>&1)" ""
check "the man pages carry the version" "$(grep -c "^\.Os vitrel $version\$" "$pages"/man1/*.1 | tr '\n' ' ')" \
	"$pages/man1/vitrel.1:1 $pages/man1/winlist.1:1 "
rm -rf "$pages"
check "lintian finds nothing in the .deb" "$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges')" ""

check "the .deb depends on the libraries the tools link" "$(dpkg-deb -f "$deb" Depends | grep -o 'libxcb1\|libx11-6\|libjson-c5\|libdbus-1-3' | tr '\n' ' ')" \
	"libdbus-1-3 libjson-c5 libx11-6 libxcb1 "
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$deb" >/dev/null 2>&1
check "the .deb installs" "$(dpkg-query -W -f '${Version}' vitrel 2>/dev/null)" "$version"
check "with its completion and man pages" \
	"$(ls /usr/share/bash-completion/completions/vitrel && man -w vitrel winlist | wc -l)" \
	"/usr/share/bash-completion/completions/vitrel
2"
check "/usr/bin/vitrel changes what /usr/bin/winlist lists" "$("$(dirname "$0")/session.sh" -- sh -c '
	xlogo -name packaged -title "Packaged Logo" >/dev/null 2>&1 &
	for _ in $(seq 50); do
		/usr/bin/winlist | grep -q "Packaged Logo" && break
		sleep 0.1
	done
	/usr/bin/winlist | grep -B1 "Packaged Logo"
	/usr/bin/vitrel -class packaged -trans 128
	xprop -name "Packaged Logo" _NET_WM_WINDOW_OPACITY
	kill $!')" 'Window class:"packaged.XLogo"
Window name:"Packaged Logo"
_NET_WM_WINDOW_OPACITY(CARDINAL) = 2155905152'
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -q vitrel >/dev/null 2>&1
check "the .deb is removed again" "$(test -e /usr/bin/vitrel || echo gone)" gone

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
