#!/bin/sh
# Installs what is missing, builds every build with warnings as errors, and
# runs every test: natively, the Windows build under Wine on a virtual display,
# and both packages as a user installs them.
set -eu
cd "$(dirname "$0")/.."

tools/install-deps.sh
# The Debian roots of the newer desktops download while the builds compile; a
# test that finds one missing makes it again, and shows why it failed.
tools/session.sh --make-roots >/dev/null 2>&1 &
roots=$!
for preset in native-ci windows-ci; do
	cmake --preset "$preset"
	cmake --build --preset "$preset" --parallel
done
wait "$roots" || true
for preset in native-ci windows-ci; do
	ctest --preset "$preset"
done
cmake --preset release
cmake --build --preset release --parallel
tests/packages.sh build/release build/windows
