# Sourced by the test scripts: as_test_user BUILD sets the array `run` to the command prefix that
# runs a test as an operator would. Operators are not root, and root passes the locks, permissions
# and exclusive opens that stop everyone else. Started as root, the tests therefore run as the
# unprivileged user tesma-test (created when missing, member of dialout), who is given the build
# tree BUILD; TESMA_TEST_AS_ROOT=1 runs them as root instead. Only installing packages stays root.
as_test_user() {
    local build=$1 root user folder blocked home part parts
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    run=()
    [[ $(id -u) -eq 0 && ${TESMA_TEST_AS_ROOT:-} != 1 ]] || return 0
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
    echo "Running as $user (TESMA_TEST_AS_ROOT=1 runs as root)"
}
