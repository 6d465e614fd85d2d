# shellcheck shell=bash
# What the scripts that drive the real programs share; sourced, with the
# script's name: `source program-test-lib.sh <name>`. It makes $scratch (a
# scratch folder removed at the end, with every program whose process id
# was added to $pids), and offers fail, eventually, program_window and
# write_preferences.

scratch=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

# Ends the test with the reason and every program's log.
fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "$scratch"/*.log; do
        [[ -s $log ]] && sed "s|^|$(basename "$log" .log): |" "$log" >&2
    done
    exit 1
}

# program_window <pid> <title>: prints the program's visible window of that
# exact title that is not a dock (the menu bar strip is one), if any.
program_window() {
    local id type
    for id in $(xdotool search --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null); do
        type=$(xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null || true)
        [[ $type == *_NET_WM_WINDOW_TYPE_DOCK* ]] && continue
        echo "$id"
        return 0
    done
    return 1
}

# Waits up to 10 s for the command to succeed.
eventually() {
    local tries
    for ((tries = 0; tries < 100; ++tries)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# write_preferences <config folder> [entries]: the desktop program's
# preferences file of the current version with installed fonts, and the
# entries (XML of keys and values) besides.
write_preferences() {
    mkdir -p "$1/brindlet"
    cat >"$1/brindlet/com.orvandel.Brindlet.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
<key>user.preferences.version</key><integer>8</integer>
<key>user.title-font-family</key><string>DejaVu Sans</string>
<key>user.list-font-family</key><string>DejaVu Sans</string>
<key>user.tab-font-family</key><string>DejaVu Sans</string>
${2:-}
</dict>
</plist>
PLIST
}
