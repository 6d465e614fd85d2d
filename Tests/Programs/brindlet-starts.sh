#!/usr/bin/env bash
# The desktop program starts on a private X server, shows its desktop and
# writes a screenshot of it. Usage: brindlet-starts.sh <brindlet>
set -euo pipefail
scratch=$(mktemp -d "${TMPDIR:-/tmp}/brindlet-starts.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
status=0
# On a session bus of its own: brindlet keeps one instance per bus, and
# other tests start theirs at the same time.
BRINDLET_SCREENSHOT="$scratch/screen.png" BRINDLET_X11_TIMEOUT=8 \
    dbus-run-session -- "$(dirname "$0")/../../scripts/with-x11.sh" "$1" >"$scratch/output" 2>&1 || status=$?
# Stopped by the time limit (124) is how a run that keeps going ends here.
if ((status != 0 && status != 124)); then
    cat "$scratch/output" >&2
    echo "brindlet ended with status $status" >&2
    exit 1
fi
if ! grep -q "^Screenshot: " "$scratch/output" || [[ $(stat -c %s "$scratch/screen.png" 2>/dev/null || echo 0) -lt 2000 ]]; then
    cat "$scratch/output" >&2
    echo "no screenshot of the desktop was written" >&2
    exit 1
fi
if grep -q "^Warning: " "$scratch/output"; then
    grep "^Warning: " "$scratch/output" >&2
    exit 1
fi
