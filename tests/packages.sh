#!/bin/sh
# Builds both packages and checks them as a user gets them: the Windows zip's
# contents, the man pages, and the .deb installed with apt-get, its tools run
# from /usr/bin on a virtual display, then removed again.
#
#   packages.sh NATIVE-BUILD-DIR WINDOWS-BUILD-DIR
set -u
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

. "$(dirname "$0")/report.sh"

(cd "$native" && cpack >/dev/null) || check "the .deb is built" no yes
(cd "$windows" && cpack >/dev/null) || check "the zip is built" no yes
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$native/CMakeCache.txt")
deb=$native/vitrel_${version}_amd64.deb
zip=$windows/vitrel-${version}-win64.zip

check "the zip holds the programs, README and LICENSE" \
	"$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" \
	"vitrel-$version-win64/LICENSE vitrel-$version-win64/README.md vitrel-$version-win64/vitrel.exe vitrel-$version-win64/winlist.exe "

for page in vitrel.1 winlist.1; do
	check "$page is lint-clean" "$(mandoc -T lint -W warning "$native/man/$page" 2>&1)" ""
	check "$page renders without warnings" "$(MANWIDTH=80 man -l "$native/man/$page" 2>&1 >/dev/null)" ""
	check "$page carries the version" "$(grep -c "^\.Os vitrel $version\$" "$native/man/$page")" "1"
done

check "the .deb depends on libxcb" "$(dpkg-deb -f "$deb" Depends | grep -c 'libxcb1')" "1"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$deb" >/dev/null 2>&1
check "the .deb installs" "$(dpkg-query -W -f '${Version}' vitrel 2>/dev/null)" "$version"
check "it installs the completion" \
	"$(test -f /usr/share/bash-completion/completions/vitrel && echo yes)" yes
check "it installs the man pages" "$(man -w vitrel winlist 2>/dev/null | wc -l)" "2"

session=$native/package-session
"$here/session.sh" start "$session"
"$here/session.sh" run "$session" xlogo -name packaged -title "Packaged Logo" >/dev/null 2>&1 &
for _ in $(seq 50); do
	"$here/session.sh" run "$session" /usr/bin/winlist | grep -q 'Packaged Logo' && break
	sleep 0.1
done
check "/usr/bin/winlist lists a window" \
	"$("$here/session.sh" run "$session" /usr/bin/winlist | grep -B1 'Packaged Logo' | tr '\n' ' ')" \
	'Window class:"packaged.XLogo" Window name:"Packaged Logo" '
"$here/session.sh" run "$session" /usr/bin/vitrel -class packaged -trans 128
check "/usr/bin/vitrel changes it" \
	"$("$here/session.sh" run "$session" xprop -name 'Packaged Logo' _NET_WM_WINDOW_OPACITY)" \
	"_NET_WM_WINDOW_OPACITY(CARDINAL) = 2155905152"
"$here/session.sh" stop "$session"

DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -q vitrel >/dev/null 2>&1
check "the .deb is removed again" "$(test -e /usr/bin/vitrel || echo gone)" gone

summary
