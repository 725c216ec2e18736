#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds everything and runs the whole test suite.
#
# Operators are not root, and root passes the locks, permissions and exclusive opens that stop
# everyone else. Started as root, the suite therefore runs as the unprivileged user tesma-test
# (created when missing, member of dialout), who is given the build tree; TESMA_TEST_AS_ROOT=1
# runs it as root instead. Only installing packages stays with root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/check-includes.sh"
"$root/scripts/build.sh"
build=$(cd "${BUILD_DIR:-$root/build}" && pwd)
cd "$build"

run=()
if [[ $(id -u) -eq 0 && ${TESMA_TEST_AS_ROOT:-} != 1 ]]; then
    user=${TESMA_TEST_USER:-tesma-test}
    id "$user" >/dev/null 2>&1 || useradd -m -G dialout "$user"
    chown -R "$user" "$build"
    # The tests read the sources (fixtures, the packaging checks): every folder on the way there
    # must let the user in, and everything below must be readable.
    folder=/
    blocked=""
    IFS=/ read -ra parts <<<"${root#/}"
    for part in "${parts[@]}"; do
        folder=${folder%/}/$part
        runuser -u "$user" -- test -x "$folder" || { blocked=$folder; break; }
    done
    if [[ -z $blocked ]]; then
        blocked=$(runuser -u "$user" -- find "$root" -path "$build" -prune -o \
            \( -type d \( ! -readable -o ! -executable \) -print -quit \) -o \( ! -readable -print -quit \) \
            2>/dev/null || true)
        [[ -n $blocked && ! -d $blocked ]] && blocked=$(dirname "$blocked")
    fi
    if [[ -n $blocked ]]; then
        echo "The test user $user cannot read the sources in $blocked." >&2
        echo "Give it access (for instance: chmod o+rX on that folder) or keep the sources elsewhere." >&2
        exit 1
    fi
    home=$(getent passwd "$user" | cut -d: -f6)
    run=(runuser -u "$user" -- env -u XDG_RUNTIME_DIR HOME="$home" USER="$user" LOGNAME="$user")
    echo "Running the tests as $user (TESMA_TEST_AS_ROOT=1 runs them as root)"
fi
"${run[@]}" env QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
