#!/usr/bin/env bash
# Runs a command on a private X server, for what only a real X server shows:
# key grabs, window-manager states and levels, input shapes, the clipboard
# between two processes. The server (Xvfb) picks a free display itself, a
# small EWMH window manager (Openbox) runs on it unless --no-wm is given,
# and both end with the command. The command gets DISPLAY and
# QT_QPA_PLATFORM=xcb and is stopped after BRINDLET_X11_TIMEOUT seconds
# (default 120). Meant to run inside scripts/with-test-env.sh.
#
# Usage: scripts/with-x11.sh [--no-wm] <command> [arguments...]
set -euo pipefail

with_wm=1
if [[ ${1:-} == --no-wm ]]; then
    with_wm=0
    shift
fi
if (($# == 0)); then
    echo "usage: $0 [--no-wm] <command> [arguments...]" >&2
    exit 2
fi

needed=(Xvfb xprop)
((with_wm)) && needed+=(openbox)
for program in "${needed[@]}"; do
    if ! command -v "$program" >/dev/null; then
        echo "with-x11: $program is missing (scripts/install-deps.sh installs it)" >&2
        exit 1
    fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/brindlet-x11.XXXXXX")
server_pid=""
wm_pid=""

stop() {
    local pid
    for pid in $wm_pid $server_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap stop EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

fail() {
    echo "with-x11: $1" >&2
    for log in "$scratch"/*.log; do
        [[ -s $log ]] && sed "s|^|$(basename "$log" .log): |" "$log" >&2
    done
    exit 1
}

# The server writes its display number to the pipe once it takes clients.
mkfifo "$scratch/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset \
    3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
server_pid=$!
display=""
read -r -t 20 display <"$scratch/display" || true
[[ $display =~ ^[0-9]+$ ]] || fail "Xvfb did not start"

export DISPLAY=":$display"
unset WAYLAND_DISPLAY XAUTHORITY
export QT_QPA_PLATFORM=xcb

if ((with_wm)); then
    openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
    wm_pid=$!
    # Ready once it names itself on the root window (EWMH).
    for ((tries = 0; ; ++tries)); do
        if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
            break
        fi
        kill -0 "$wm_pid" 2>/dev/null || fail "openbox stopped"
        ((tries < 400)) || fail "openbox did not start"
        sleep 0.025
    done
fi

status=0
timeout --kill-after=5 "${BRINDLET_X11_TIMEOUT:-120}" "$@" || status=$?
if ((status == 124)); then
    echo "with-x11: stopped after ${BRINDLET_X11_TIMEOUT:-120} seconds: $*" >&2
fi
exit "$status"
