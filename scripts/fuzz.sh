#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ (or $BUILD_DIR) and runs each
# for TESMA_FUZZ_SECONDS (default 30) from its seeds in fuzz/corpus/<target>/, with a fixed seed
# so a run can be repeated. A crash, a leak or a failed check of a target fails the script; the
# input that did it is left in build-fuzz/artifacts/<target>/. Started as root, the targets run
# as the unprivileged user tesma-test, like the tests.
#
#   scripts/fuzz.sh [TARGET...]        all targets when none is named
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --fuzz
build=${BUILD_DIR:-$root/build-fuzz}
seconds=${TESMA_FUZZ_SECONDS:-30}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
    -DTESMA_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target fuzz_targets -j"$(nproc)"
build=$(cd "$build" && pwd)

targets=("$@")
if ((${#targets[@]} == 0)); then
    for src in "$root"/fuzz/fuzz_*.cpp; do
        name=${src##*/}
        targets+=("${name%.cpp}")
    done
fi

# Every run starts from the committed seeds alone, so the same seed repeats the same run; the
# inputs libFuzzer adds go to the build tree.
for t in "${targets[@]}"; do
    [[ -d $root/fuzz/corpus/$t ]] || { echo "fuzz/corpus/$t: no seeds for $t" >&2; exit 1; }
    rm -rf "${build:?}/corpus/$t"
    mkdir -p "$build/corpus/$t" "$build/artifacts/$t"
done
source "$root/scripts/as-test-user.bash"
as_test_user "$build"

export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS=suppressions=$root/tests/sanitize/lsan.supp:print_suppressions=0
failed=()
for t in "${targets[@]}"; do
    echo "== $t: ${seconds} s from fuzz/corpus/$t"
    log=$build/artifacts/$t/run.log
    if "${run[@]}" "$build/fuzz/$t" -seed=1 -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$t/" "$build/corpus/$t" "$root/fuzz/corpus/$t" >"$log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || tail -n 3 "$log"
    else
        tail -n 60 "$log"
        echo "$t failed; the input is in $build/artifacts/$t/"
        failed+=("$t")
    fi
done
if ((${#failed[@]})); then
    echo "fuzzing failed: ${failed[*]}"
    exit 1
fi
echo "fuzzing passed: ${targets[*]}"
