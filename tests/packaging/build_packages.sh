#!/bin/bash
# Makes the release artifacts with CPack from the build folder BUILD into OUT, afresh: a package
# left from an earlier run must not pass for this one.
# build_packages.sh BUILD OUT
set -euo pipefail
build=$1
out=$2
rm -rf "$out"
cd "$build"
cpack --config CPackConfig.cmake -B "$out"
echo "artifacts:"
ls -l "$out"/*.deb "$out"/*.zip 2>/dev/null || ls -l "$out"
