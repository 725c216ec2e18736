#!/usr/bin/env bash
# Sets up a fresh Debian machine, checks the sources' format and includes, builds everything
# (benchmarks too) and runs the whole test suite; started as root, the suite runs as the
# unprivileged user tesma-test (scripts/as-test-user.bash).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/format.sh" --check
"$root/scripts/check-includes.sh"
"$root/scripts/build.sh" -DTESMA_BENCHMARKS=ON
build=$(cd "${BUILD_DIR:-$root/build}" && pwd)
cd "$build"

source "$root/scripts/as-test-user.bash"
as_test_user "$build"
"${run[@]}" env QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
