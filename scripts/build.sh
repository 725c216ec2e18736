#!/usr/bin/env bash
# Configures and builds the project into build/ (or $BUILD_DIR). Arguments go to the configure
# step, e.g. scripts/build.sh -DTESMA_BENCHMARKS=ON.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
