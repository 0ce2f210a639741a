#!/bin/sh
# Installs what is missing, builds every build with warnings as errors, and
# runs every test: natively, the Windows build under Wine on a virtual display,
# and both packages as a user installs them.
set -eu
cd "$(dirname "$0")/.."

tools/install-deps.sh
for preset in native-ci windows-ci; do
	cmake --preset "$preset"
	cmake --build --preset "$preset" --parallel
	ctest --preset "$preset"
done
cmake --preset release
cmake --build --preset release --parallel
tests/packages.sh build/release build/windows
