#!/usr/bin/env bash
# Renews the README's screenshot: the main window after a send to the encoder simulator,
# on a virtual display with a window manager.
#
#   scripts/screenshot.sh [OUT.png]        # default: docs/main-window.png
#
# The console starts in a throw-away folder with a small address book, sends one message to
# every user (">>", a text, F10), the "Invio corretto!" box is closed, and the screen (the
# maximised main window) is captured.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

if [[ ${1:-} != --inside ]]; then
    out=$(realpath -m "${1:-$root/docs/main-window.png}")
    "$root/scripts/install-deps.sh" openbox imagemagick xdotool python3-pyatspi at-spi2-core dbus-daemon sqlite3
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target tesma tesma-encoder-sim -j"$(nproc)"
    mkdir -p "$(dirname "$out")"
    exec xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$0" --inside "$out"
fi

out=$2
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# A first start creates the database; SIGTERM closes its "new database" box and ends it.
QT_QPA_PLATFORM=offscreen "$build/tesma" >first-start.log 2>&1 &
first=$!
for _ in $(seq 100); do
    # Ask only once the file is there: sqlite3 would create an empty one.
    [[ -s TALVENK.db && $(sqlite3 -readonly TALVENK.db "SELECT count(*) FROM sqlite_master WHERE name IN ('recipients','serial')" 2>/dev/null) == 2 ]] && break
    sleep 0.1
done
sleep 1
kill -TERM "$first"
wait "$first" || true

sqlite3 TALVENK.db <<'SQL'
INSERT INTO recipients (Recipient, FirstName, LastName, Company, JobTitle, Comment, PinID, SendName) VALUES
  ('Reparto manutenzione', 'Marco', 'Rossi', 'Tesma', 'Tecnico', '', '0012345A12', 0),
  ('Sala controllo', 'Giulia', 'Bianchi', 'Tesma', 'Operatrice', '', '0012346A12', 0),
  ('Pronto intervento', 'Luca', 'Verdi', 'Tesma', 'Reperibile', '', '0012347A12', 0);
INSERT INTO templates (Name, Content) VALUES ('Riunione', 'Riunione alle 15 in sala A');
SQL

openbox >openbox.log 2>&1 &
pids+=($!)
"$build/tools/tesma-encoder-sim" --link "$work/COM1" --log "$work/encoder-sim.log" >sim.out 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -L COM1 ]] && break; sleep 0.1; done
[[ -L COM1 ]] || { cat sim.out; echo "the encoder simulator did not start" >&2; exit 1; }

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$build/tesma" >console.log 2>&1 &
console=$!
pids+=("$console")
xdotool search --sync --onlyvisible --pid "$console" --name '^Tesma Message Sender' >/dev/null

# Fill the send list and the message through the accessibility tree, as a screen reader would.
/usr/bin/python3 - <<'PY'
import sys, time
import pyatspi

def find(root, role, name, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        node = pyatspi.findDescendant(root, lambda n: n.getRoleName() == role and n.name == name)
        if node:
            return node
        time.sleep(0.2)
    sys.exit(f"no {role} named {name!r}")

desktop = pyatspi.Registry.getDesktop(0)
end = time.time() + 20
app = None
while not app and time.time() < end:
    app = next((a for a in desktop if a and a.name == "Tesma Message Sender"), None)
    time.sleep(0.2)
if not app:
    sys.exit("the console is not on the accessibility bus")
find(app, "push button", ">>").queryAction().doAction(0)
find(app, "text", "Messaggio da inviare").queryEditableText().setTextContents(
    "Riunione alle 15 in sala A")
PY

# F10 sends; the run ends with the "Invio corretto!" box, which Return closes.
sleep 0.5
xdotool search --onlyvisible --pid "$console" --name '^Tesma Message Sender' windowactivate --sync
xdotool key F10
box=$(xdotool search --sync --onlyvisible --pid "$console" --name '^Message$' | head -1)
# The box may take the focus a moment after it maps: press until it has gone.
for _ in $(seq 20); do
    xdotool windowactivate --sync "$box" key Return 2>/dev/null || true
    sleep 0.3
    xdotool search --onlyvisible --pid "$console" --name '^Message$' >/dev/null || break
done
sleep 1
import -window root "$out"
grep -cE '^FRAME .* ok( |$)' encoder-sim.log | xargs echo "frames acknowledged:"
echo "screenshot written to $out"
