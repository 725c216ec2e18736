#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (or
# $BUILD_DIR) and runs the test suite there, the packaging checks left out; started as root,
# the suite runs as the unprivileged user tesma-test. A leak or undefined behaviour fails the
# test that met it. Leaks inside Qt's and fontconfig's own libraries are suppressed
# (tests/sanitize/lsan.supp); the project's are not.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${BUILD_DIR:-$root/build-asan}
BUILD_DIR=$build "$root/scripts/build.sh" -DTESMA_SANITIZE=ON -DTESMA_BENCHMARKS=OFF
build=$(cd "$build" && pwd)
cd "$build"

source "$root/scripts/as-test-user.bash"
as_test_user "$build"
"${run[@]}" env QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 -LE packaging
