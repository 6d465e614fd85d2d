#!/usr/bin/env bash
# The crash test of sheet saving: a program that saves the open sheet again
# and again (brindlet-sheet-churn) is killed with SIGKILL at random moments,
# <count> times. After every kill the sheet must parse as a property list and
# hold one whole generation of cards: the last one the program reported
# saved, or the one it was writing. A temporary a killed writer left behind
# must be gone once the next program has opened the sheet.
#
#     sheet-kill.sh <brindlet-sheet-churn> [count]   (run under with-test-env.sh)
set -euo pipefail

churn=$1
count=${2:-25}
# shellcheck source=program-test-lib.sh
source "$(dirname "$0")/program-test-lib.sh" sheet-kill
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data XDG_CACHE_HOME=$scratch/cache
mkdir -p "$HOME" "$XDG_DATA_HOME"
write_preferences "$XDG_CONFIG_HOME" "<key>user.TPreferences.showTransitions</key><false/>"
folder=$XDG_DATA_HOME/Brindlet
sheet=$folder/Demo.brproj

fail() {
    echo "FAIL (kill $kill): $*" >&2
    exit 1
}

# The generation every card of the sheet holds; "none" for a sheet without
# cards; fails when the sheet does not parse or the cards disagree.
generation_of() {
    python3 - "$1" <<'PY'
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    sheet = plistlib.load(f)
titles = {card.get("title") for card in sheet.get("system.objects", [])}
if not titles:
    print("none")
elif len(titles) == 1 and next(iter(titles)).startswith("gen "):
    print(next(iter(titles))[4:])
else:
    print("mixed " + " | ".join(sorted(map(str, titles))))
    sys.exit(1)
PY
}

last=0            # the newest generation known to be in the file
previous_pid=""   # the writer killed before
saves=0
for ((kill = 1; kill <= count; kill++)); do
    log=$scratch/churn-$kill.log
    "$churn" $((last + 1)) >"$log" 2>"$scratch/churn-$kill.err" &
    pid=$!
    # Anywhere from the start-up to well into the saves.
    sleep "$(python3 -c 'import random; print(round(random.uniform(0.02, 0.9), 3))')"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true

    [[ -f $sheet ]] || fail "the sheet is gone"
    found=$(generation_of "$sheet") || fail "the sheet does not hold one generation: $found"
    reported=$(sed -n 's/^saved //p' "$log" | tail -n 1)
    saves=$((saves + $(grep -c '^saved ' "$log" || true)))
    if [[ -n $reported ]]; then
        # What was reported saved is there, or the save after it.
        [[ $found == "$reported" || $found == $((reported + 1)) ]] ||
            fail "the sheet holds generation $found, the program had saved $reported"
    elif [[ $found != none ]]; then
        [[ $found == "$last" || $found == $((last + 1)) ]] ||
            fail "the sheet holds generation $found after $last"
    fi
    [[ $found == none ]] || last=$found
    # The program that ran has opened the sheet: a temporary of the writer
    # killed before it is gone.
    if [[ -n $previous_pid && -s $log ]]; then
        leftover=$(find "$folder" -maxdepth 1 -name ".*" -name "*$previous_pid-*" | head -n 1)
        [[ -z $leftover ]] || fail "a killed writer's temporary stayed: $leftover"
    fi
    previous_pid=$pid
done
# One more start clears what the last kill left.
"$churn" $((last + 1)) >"$scratch/final.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do grep -q '^saved ' "$scratch/final.log" && break; sleep 0.1; done
kill -9 "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
leftover=$(find "$folder" -maxdepth 1 -name ".*" ! -name "*$pid-*" | head -n 1)
[[ -z $leftover ]] || fail "a temporary stayed: $leftover"
generation_of "$sheet" >/dev/null || fail "the last sheet does not parse"
((saves > 0)) || fail "the program never saved ($(tail -n 3 "$scratch"/churn-*.err | tail -n 3))"
echo "ok: $count kills, $saves saves, the sheet always whole (generation $last)"
