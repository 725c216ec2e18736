#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the console and starts it on the current display.
#
#   scripts/run-console.sh                       # simulated encoder attached as COM1
#   scripts/run-console.sh /dev/serial/by-id/X   # a real encoder: COM1 links to that device
#
# The console works in TESMA_WORKDIR (default: ~/tesma-work), where TALVENK.db lives.
# The COM1 link made here is removed when the console ends. While a console holds that
# folder's database, the script refuses to start and leaves its link, simulator and log alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
device=${1:-}
workdir=${TESMA_WORKDIR:-$HOME/tesma-work}

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    cat >&2 <<'MSG'
No graphical display was found (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run this command from a terminal of your desktop session, or over SSH with X forwarding
(ssh -X), or on a virtual display:  xvfb-run -a scripts/run-console.sh
MSG
    exit 1
fi

# One console per database. The lock is only looked at, never created: an empty lock file
# left by this script would keep the console out.
db="$workdir/TALVENK.db"
[[ -e $db ]] && db=$(readlink -f "$db")
lock="$db.lock"
if [[ -e $lock ]]; then
    pid=$(head -n 1 "$lock" 2>/dev/null || true)
    held=false
    [[ $pid =~ ^[0-9]+$ && -d /proc/$pid ]] && held=true
    command -v flock >/dev/null && ! flock -n "$lock" true 2>/dev/null && held=true
    if $held; then
        echo "A console is already running on $workdir/TALVENK.db${pid:+ (process $pid)}; not starting another." >&2
        exit 1
    fi
fi

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
mkdir -p "$workdir"
link="$workdir/COM1"

sim_pid=""
cleanup() {
    if [[ -n $sim_pid ]]; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    # Never leave a link behind that could later point at someone else's terminal.
    [[ -L $link ]] && rm -f "$link"
    return 0
}
trap cleanup EXIT INT TERM

if [[ -e $link && ! -L $link ]]; then
    echo "$link exists and is not a link; move it away first." >&2
    exit 1
fi
rm -f "$link"

if [[ -n $device ]]; then
    [[ -e $device ]] || { echo "Device $device does not exist." >&2; exit 1; }
    ln -s "$device" "$link"
    echo "COM1 -> $device"
else
    log="$workdir/encoder-sim.log"
    "$root/build/tools/tesma-encoder-sim" --link "$link" --log "$log" >"$workdir/encoder-sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 50); do [[ -L $link ]] && break; sleep 0.1; done
    [[ -L $link ]] || { echo "The encoder simulator did not start; see $workdir/encoder-sim.out" >&2; exit 1; }
    echo "Simulated encoder attached as COM1; frames are logged in $log"
fi

cd "$workdir"
"$root/build/tesma"
