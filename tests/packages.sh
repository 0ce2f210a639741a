#!/bin/sh
# Builds both packages and checks them as a user gets them: the zip's contents,
# the man pages, and the .deb installed with apt-get, the table of cases run
# against its tools in /usr/bin, then removed again.
#   packages.sh NATIVE-BUILD-DIR WINDOWS-BUILD-DIR
set -u
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
sudo=$([ "$(id -u)" -eq 0 ] || echo sudo)
failed=0
check() {
	[ "$2" = "$3" ] || { failed=$((failed + 1)) && printf 'FAILED - %s:\n  got  [%s]\n  want [%s]\n' "$1" "$2" "$3"; }
}

# A .deb of an earlier run would pass for one this run left.
rm -f "$native"/*.deb
check "without dpkg-shlibdeps, cpack fails and leaves no .deb" "$(cd "$native" && $sudo unshare -m sh -c \
	'mount --bind /dev/null /usr/bin/dpkg-shlibdeps && cpack -G DEB' >/dev/null 2>&1; echo $?; ls ./*.deb 2>&1)" "1
ls: cannot access './*.deb': No such file or directory"
(cd "$native" && cpack >/dev/null && cd "$windows" && cpack >/dev/null) || check "the .deb and the zip are built" no yes
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$native/CMakeCache.txt")
deb=$native/vitrel_${version}_amd64.deb
check "the zip holds the programs, README, its picture and LICENSE" "$(unzip -Z1 "$windows/vitrel-$version-win64.zip" |
	grep -v /$ | sed "s|^vitrel-$version-win64/||" | sort | tr '\n' ' ')" \
	"LICENSE README.md docs/screenshot.png vitrel.exe winlist.exe "
check "the man pages are lint-clean and carry the version" "$(mandoc -T lint -W style "$native"/man/*.1 2>&1 | grep -v "referenced manual not found"
	grep -c "^\.Os vitrel $version\$" "$native"/man/*.1 | sed 's|.*/||' | tr '\n' ' ')" "vitrel.1:1 winlist.1:1 "
for exe in vitrel winlist; do
	check "$exe.exe imports only what Windows ships, and carries its manifest" "$(x86_64-w64-mingw32-objdump -p \
		"$windows/bin/$exe.exe" | sed -n 's/.*\(DLL Name: .*\|Entry: ID: 0x000018\|SetLayeredWindowAttributes\).*/\1/p' |
		LC_ALL=C sort | tr '\n' ' ')" "DLL Name: KERNEL32.dll DLL Name: USER32.dll DLL Name: msvcrt.dll Entry: ID: 0x000018 "
done
check "lintian finds nothing in the .deb" "$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges')" ""

DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$deb" >/dev/null 2>&1
check "the .deb installs" "$(dpkg-query -W -f '${Version}' vitrel 2>/dev/null)" "$version"
check "with its completions and man pages" "$(ls /usr/share/bash-completion/completions/vitrel \
	/usr/share/zsh/vendor-completions/_vitrel /usr/share/fish/vendor_completions.d/vitrel.fish $(man -w vitrel winlist) |
	tr '\n' ' ')" "/usr/share/bash-completion/completions/vitrel /usr/share/fish/vendor_completions.d/vitrel.fish \
/usr/share/man/man1/vitrel.1.gz /usr/share/man/man1/winlist.1.gz /usr/share/zsh/vendor-completions/_vitrel "
check "and the GNOME Shell extension, as in the tree" "$(diff -r "${0%/*}/../gnome-shell" \
	/usr/share/gnome-shell/extensions/vitrel@example.org 2>&1)" ""
check "the table's cases pass on /usr/bin" "$("${0%/*}/../tools/session.sh" -- "${0%/*}/run_cases.py" x11 /usr/bin 2>&1 |
	grep -v ' passed, 0 failed$')" ""
DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -q vitrel >/dev/null 2>&1
check "the .deb is removed again" "$(test -e /usr/bin/vitrel || echo gone)" gone

rpm=$native/vitrel-$version-1.x86_64.rpm
check "rpmlint checks the .rpm and finds nothing" "$(rpmlint -c "${0%/*}/rpmlint.toml" "$rpm" |
	grep -o -e '.*: [EW]: .*' -e '[0-9]* packages .* warnings')" "1 packages and 0 specfiles checked; 0 errors, 0 warnings"
check "the .rpm holds the .deb's files, zsh's completion where Fedora's zsh looks" "$(rpm -qp --qf \
	'[%{FILEMODES:perms} %{FILENAMES}\n]' "$rpm" | sed -n 's/^-[^ ]* //p' | sort)" "$(dpkg-deb -c "$deb" |
	sed -n 's|^-.* \./|/|p' | sed 's|zsh/vendor-completions|zsh/site-functions|' | sort)"

echo "$failed failed"
[ "$failed" -eq 0 ]
