#!/usr/bin/env bash
# A task typed into the demo sheet's card on a real X server, as a user
# does it: a click selects a row, Return adds a row after it and edits its
# text, Return ends the edit. The sheet is written two seconds after the
# edit ends (never while it is open), what is typed when the program is
# asked to end (SIGTERM) is written before it goes, and the rows come back
# at the next start.
# Usage: brindlet-tasks.sh <brindlet>   (run by scripts/with-x11.sh)
# With BRINDLET_TASKS_SCREENSHOT=<path>, the restarted program's screenshot
# is kept there for a look.
set -euo pipefail
brindlet=$1
# A session bus of its own: brindlet keeps one instance per bus, and other
# tests start theirs at the same time.
if [[ -z ${BRINDLET_OWN_BUS:-} ]]; then
    BRINDLET_OWN_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
for program in xdotool xwininfo python3; do
    command -v "$program" >/dev/null || { echo "$program is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

# shellcheck source=program-test-lib.sh
source "$(dirname "$0")/program-test-lib.sh" brindlet-tasks


# One home for every start: the second start finds what the first saved.
home=$scratch/home
mkdir -p "$home/home" "$home/data"
write_preferences "$home/config"
# The first start copies the demo sheet into the sheet folder and opens it.
sheet=$home/data/Brindlet/Demo.brproj

# start <name> [environment...]: brindlet in the home, its output in
# <name>.log; sets $pid, $window and $top (the window's top on the screen).
start() {
    local name=$1
    shift
    current=$name
    env HOME="$home/home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
        "$@" "$brindlet" >"$scratch/$name.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    window=""
    find_window() { window=$(program_window "$pid" Brindlet); }
    eventually find_window || fail "$name: no desktop window appeared"
    opened() { grep -qF "Opened the sheet $sheet." "$scratch/$name.log"; }
    eventually opened || fail "$name: the demo sheet was not opened"
    top=$(xwininfo -id "$window" | sed -n 's/^ *Absolute upper-left Y: *//p')
    [[ $top =~ ^[0-9]+$ ]] || fail "$name: the window has no place on the screen"
    sleep 0.5
}

ended() { ! kill -0 "$pid" 2>/dev/null; }

# wait_for_end <what>: the program ends within 10 s with status 0.
wait_for_end() {
    eventually ended || fail "$current: $1 did not end the program"
    local status=0
    wait "$pid" || status=$?
    ((status == 0)) || fail "$current: the program ended with status $status after $1"
}

# The rows of the sheet's cards, depth first, one a line: text, then
# "done" for a completed row and "due" for one with a due date. Fails when
# the file does not parse as a sheet.
rows() {
    python3 - "$sheet" <<'PY'
import plistlib, sys

with open(sys.argv[1], "rb") as file:
    sheet = plistlib.load(file)

def walk(objects):
    for row in objects:
        marks = [mark for mark, on in (("done", row.get("completed")), ("due", "due" in row)) if on]
        print(" ".join([row.get("text", "")] + marks))
        walk(row.get("system.objects", []))

for card in sheet["system.objects"]:
    walk(card.get("browser", {}).get("system.objects", []))
PY
}

stamp() { stat -c %y "$sheet"; }
now() { date +%s.%N; }

demo_rows="Click a row to select it, double-click to edit it
Press Return to add a task
Tasks can hold tasks
Drag a row to move it
Tick the box when it is done done"
typed="Buy stamps 42"
later="Post letters 7"

# ---- a row added and typed: written two seconds after the edit ends ----
start first
[[ $(rows) == "$demo_rows" ]] || fail "the demo sheet does not hold the demo rows: $(rows)"
before=$(stamp)
xdotool windowactivate --sync "$window" 2>/dev/null || true
# The card lies at 80,90 of the window, its first row 50 points below the
# card's top. A click on the row selects it; Return adds a row after it
# and edits its text.
xdotool mousemove 200 $((top + 140)) click 1
sleep 0.3
xdotool key Return
sleep 0.3
# The text holds keys the outline would take for itself (t: the due date,
# space: done) were they not the text field's.
xdotool type --delay 30 "$typed"
# Longer open than the save's delay: a row being typed is not written.
sleep 2.5
[[ $(stamp) == "$before" ]] || fail "the sheet was written while the row was edited: $(rows)"
# Taken before the key: the delay measured is never shorter than the real one.
edited=$(now)
xdotool key Return
saved=""
for ((tries = 0; tries < 120; ++tries)); do
    if [[ $(stamp) != "$before" ]]; then
        saved=$(now)
        break
    fi
    sleep 0.05
done
[[ -n $saved ]] || fail "the sheet was not written within 6 s of the edit's end"
delay=$(python3 -c "print(f'{$saved - $edited:.2f}')")
echo "the sheet was written ${delay} s after the edit ended"
python3 -c "import sys; sys.exit(not 1.8 <= $delay <= 6)" ||
    fail "the sheet was written ${delay} s after the edit ended, not about 2 s"
expected="Click a row to select it, double-click to edit it
$typed
${demo_rows#*$'\n'}"
[[ $(rows) == "$expected" ]] ||
    fail "the written sheet does not hold the typed row after the selected one:
$(rows)"

# ---- asked to end while a row is typed: the text is written, status 0 ----
xdotool key Return
sleep 0.3
xdotool type --delay 30 "$later"
sleep 0.3
kill -TERM "$pid"
wait_for_end SIGTERM
expected="Click a row to select it, double-click to edit it
$typed
$later
${demo_rows#*$'\n'}"
[[ $(rows) == "$expected" ]] || fail "the row typed when the program was asked to end was not written:
$(rows)"

# ---- the next start shows the rows ----
start second BRINDLET_SCREENSHOT="$scratch/second.png"
shot() { grep -q "^Screenshot: " "$scratch/second.log"; }
eventually shot || fail "the restarted program wrote no screenshot"
[[ $(stat -c %s "$scratch/second.png") -gt 2000 ]] || fail "the screenshot is empty"
if [[ -n ${BRINDLET_TASKS_SCREENSHOT:-} ]]; then
    cp "$scratch/second.png" "$BRINDLET_TASKS_SCREENSHOT"
fi
[[ $(rows) == "$expected" ]] || fail "the restarted program changed the rows: $(rows)"

# ---- quitting from the menu's key leaves with success ----
xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 0.3
xdotool key ctrl+q
wait_for_end Quit
[[ $(rows) == "$expected" ]] || fail "quitting changed the rows: $(rows)"
if grep -q "^Warning: " "$scratch"/*.log; then
    fail "the program warned"
fi
# A sanitizer build reports what it found in the logs.
if grep -l "runtime error\|AddressSanitizer\|LeakSanitizer" "$scratch"/*.log >/dev/null 2>&1; then
    fail "a sanitizer reported a fault"
fi
echo "ok"
